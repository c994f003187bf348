#include "about/frmAbout.h"
#include "suite/Texts.h"

#include "platform/Prompter.h"
#include "platform/ShellOpen.h"
#include "platform/win/Codepage.h"
#include "platform/win/Registry.h"
#include "platform/win/WinPath.h"
#include "suite/mod_Shell32.h"
#include "ui_frmAbout.h"
#include "widgets/ClickFilter.h"
#include "widgets/SkinFramework.h"

#include <QDate>
#include <QUrl>

frmAbout::frmAbout(const SkinFramework* skin, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::frmAbout>()) {
    ui_->setupUi(this);
    setWindowFlags(
        (windowFlags() & ~Qt::WindowContextHelpButtonHint & ~Qt::WindowMinMaxButtonsHint) |
        Qt::MSWindowsFixedSizeDialogHint);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    QFont version = ui_->lblVersion->font();
    version.setPointSizeF(27.75);
    ui_->lblVersion->setFont(version);
    setTabOrder(ui_->cmdSysInfo, ui_->cmdOK);
    ui_->lblCopyRight->setText(
        QStringLiteral("Copyright © %1 Quarn").arg(QDate::currentDate().year()));
    ui_->Label1->setText(QUrl(WebAddress()).host());
    connect(ClickFilter::Watch(ui_->Label1), &ClickFilter::clicked, this, [this] {
        mod_Shell32::GShell(WebAddress(), 3, QString(), QString(), QStringLiteral("open"), this);
    });
    connect(ui_->cmdOK, &QPushButton::clicked, this, &QWidget::close);
    connect(ui_->cmdSysInfo, &QPushButton::clicked, this, [] { SysInfo::StartSysInfo(); });

    // The load sequence.
    if (skin)
        skin->ApplyWindow(this);
    setWindowTitle(QStringLiteral("About ") + platform::ProgramTitle);
    ui_->lblVersion->setText(VersionText(QStringLiteral(QUARN_VERSION)));
}

frmAbout::~frmAbout() = default;

QString frmAbout::WebAddress() {
    return QStringLiteral("https://quarn.example.org/");
}

QString frmAbout::VersionText(const QString& version) {
    const QStringList parts = version.split(u'.');
    QStringList numbers;
    for (const QString& p : parts.mid(0, 3))
        numbers << QString::number(p.toInt());
    return numbers.join(u'.');
}

void frmAbout::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    ui_->cmdSysInfo->setFocus(); // hidden, it holds the focus: Enter starts the tool
}

namespace SysInfo {

bool GetKeyValue(quint32 KeyRoot, const QString& KeyName, const QString& SubKeyRef,
                 QString& KeyVal) {
    if (KeyRoot != HKEY_LOCAL_MACHINE) {
        KeyVal.clear();
        return false;
    }
    const auto value = platform::ReadMachineValue(KeyName, SubKeyRef);
    // As the ANSI query hands it over: text in the code page with its
    // terminating zero, and a final zero byte cut off whatever the type.
    const bool text = value && value->type == 1;
    QByteArray data;
    if (value)
        data = text ? platform::EncodeAnsi(QString::fromUtf8(value->data)) + '\0' : value->data;
    if (!value || data.size() > 1024) {
        KeyVal.clear();
        return false;
    }
    if (data.endsWith('\0'))
        data.chop(1);
    if (text) {
        KeyVal = QString::fromUtf8(value->data);
    } else if (value->type == 4) {
        QString hex = QStringLiteral("&h");
        for (qsizetype i = data.size() - 1; i >= 0; --i)
            hex += QStringLiteral("%1").arg(quint8(data[i]), 2, 16, QChar(u'0')).toUpper();
        KeyVal = hex;
    }
    return true;
}

namespace {

bool Start(const QString& program) {
    const int answer = platform::CurrentShell().execute(
        {QStringLiteral("open"), program, QString(), QString(), 1});
    return answer > 32 || answer < 0;
}

} // namespace

void StartSysInfo() {
    QString path;
    if (GetKeyValue(HKEY_LOCAL_MACHINE, QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"),
                    QStringLiteral("PATH"), path)) {
        if (Start(path))
            return;
    } else if (GetKeyValue(HKEY_LOCAL_MACHINE,
                           QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location"),
                           QStringLiteral("MSINFO"), path)) {
        const QString program = path + QStringLiteral("\\MSINFO32.EXE");
        if (platform::FileLength(program).ok() && Start(program))
            return;
    }
    platform::MsgBox(Texts::NoSystemInformation());
}

} // namespace SysInfo
