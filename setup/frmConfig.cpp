#include "setup/frmConfig.h"

#include "suite/DirectoryCheck.h"
#include "config/ModCommon.h"
#include "platform/Prompter.h"
#include "widgets/SkinFramework.h"
#include "config/TagIni.h"
#include "config/WPINI.h"
#include "platform/WinPath.h"
#include "ui_frmConfig.h"

#include <QApplication>

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QScopeGuard>

using Quarn_v2::DirectorySet;

frmConfig::frmConfig(Quarn_v2::SuiteState& state, const SkinFramework* skin, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::frmConfig>()), state_(state) {
    ui_->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose); // closing unloads: the next use loads afresh
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    // The form holds whole points; the layout's sizes are these.
    for (QWidget* w : findChildren<QWidget*>()) {
        QFont f = w->font();
        if (qobject_cast<QLineEdit*>(w) || qobject_cast<QPushButton*>(w))
            f.setPointSizeF(8.25);
        else if (qobject_cast<QLabel*>(w))
            f.setPointSizeF(9.75);
        else
            continue;
        w->setFont(f);
    }

    auto* menu = new QMenuBar(this);
    QMenu* mnuFile = menu->addMenu(QStringLiteral("File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    QAction* mnuFileExit = mnuFile->addAction(QStringLiteral("Exit"));
    mnuFileExit->setObjectName(QStringLiteral("mnuFileExit"));
    layout()->setMenuBar(menu);
    connect(mnuFileExit, &QAction::triggered, this, &QWidget::close);

    connect(ui_->cmdSaveChanges, &QPushButton::clicked, this, &frmConfig::Save);
    connect(ui_->cmdCancel, &QPushButton::clicked, this, &frmConfig::Cancel);
    connect(ui_->cmdExit, &QPushButton::clicked, this, &frmConfig::Exit);

    const auto u = ui_.get();
    // Exit first: invisible, it holds the focus when the dialog opens.
    const QList<QWidget*> order = {u->cmdExit,
                                   u->txtNetworkQXADataDir,
                                   u->txtLocalQXAdataDir,
                                   u->txtNetworkQXPPdataDir,
                                   u->txtLocalQXPPdataDir,
                                   u->txtNetworkQXPPphotoDir,
                                   u->txtLocalQXPPphotoDir,
                                   u->txtNetworkQXSdataDir,
                                   u->txtLocalQXSdataDir,
                                   u->txtNetworkAPEXDataDir,
                                   u->txtLocalApexDataDir,
                                   u->cmdCancel,
                                   u->cmdSaveChanges,
                                   u->txtNetworkQXPdataDir,
                                   u->txtNetworkQXOdataDir,
                                   u->txtNetworkQXCdataDir,
                                   u->txtNetworkQXPphotoDir,
                                   u->txtLocalQXPdataDir,
                                   u->txtLocalQXPphotoDir,
                                   u->txtLocalQXCdataDir,
                                   u->txtLocalQXOdataDir,
                                   u->txtNetworkQXopdataDir,
                                   u->txtLocalQXopDataDir};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
    for (QLineEdit* local : {u->txtLocalQXAdataDir, u->txtLocalQXPPdataDir, u->txtLocalQXPPphotoDir,
                             u->txtLocalQXSdataDir, u->txtLocalApexDataDir, u->txtLocalQXPdataDir,
                             u->txtLocalQXPphotoDir, u->txtLocalQXCdataDir, u->txtLocalQXOdataDir,
                             u->txtLocalQXopDataDir})
        local->installEventFilter(this);

    // The load sequence.
    if (skin)
        skin->ApplyWindow(this);
    for (QLineEdit* field : findChildren<QLineEdit*>())
        field->clear();
    LoadDirectoryFields();
}

frmConfig::~frmConfig() = default;

void frmConfig::LoadDirectoryFields() {
    for (QWidget* control : findChildren<QWidget*>()) {
        if (!TagIni::ErrTagLegit(control))
            continue;
        const QString kind = TagIni::ControlKind(control);
        if (kind == u"TEXTBOX" || kind == u"AUTOCOMPLETE" || kind == u"LABEL")
            TagIni::ErrTagReadTag(control, state_.SuiteIniPath);
        else if (kind == u"OPTIONBUTTON")
            TagIni::ErrTagReadOptionTag(control, state_.SuiteIniPath);
        else if (kind == u"LISTBOX")
            TagIni::TagLstreadIni(control, state_.SuiteIniPath);
        else if (kind == u"CHECKBOX")
            TagIni::ErrTagReadBkBoxTag(control, state_.SuiteIniPath);
    }
}

void frmConfig::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        ui_->cmdExit->setFocus();
}

void frmConfig::keyPressEvent(QKeyEvent* event) {
    // Escape is none of the dialog's ways out: edits are not dropped unasked.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool frmConfig::eventFilter(QObject* watched, QEvent* event) {
    const auto reason = event->type() == QEvent::FocusIn
                            ? static_cast<QFocusEvent*>(event)->reason()
                            : Qt::OtherFocusReason;
    // Coming back to the window is no visit to the field.
    if (event->type() == QEvent::FocusIn && reason != Qt::ActiveWindowFocusReason &&
        reason != Qt::PopupFocusReason) {
        const auto u = ui_.get();
        const std::pair<QLineEdit*, QLineEdit*> rows[] = {
            {u->txtLocalQXAdataDir, u->txtNetworkQXADataDir},
            {u->txtLocalQXPPdataDir, u->txtNetworkQXPPdataDir},
            {u->txtLocalQXPPphotoDir, u->txtNetworkQXPPphotoDir},
            {u->txtLocalQXSdataDir, u->txtNetworkQXSdataDir},
            {u->txtLocalApexDataDir, u->txtNetworkAPEXDataDir},
            {u->txtLocalQXPdataDir, u->txtNetworkQXPdataDir},
            {u->txtLocalQXPphotoDir, u->txtNetworkQXPphotoDir},
            {u->txtLocalQXCdataDir, u->txtNetworkQXCdataDir},
            {u->txtLocalQXOdataDir, u->txtNetworkQXOdataDir},
            {u->txtLocalQXopDataDir, u->txtNetworkQXopdataDir}};
        for (const auto& [local, network] : rows)
            if (watched == local)
                FillLocalDefault(local, network);
    }
    return QDialog::eventFilter(watched, event);
}

void frmConfig::FillLocalDefault(QLineEdit* local, const QLineEdit* network) {
    if (!ModCommon::Trim(local->text()).isEmpty())
        return;
    const QString rest =
        ModCommon::SplitLR(network->text(), QStringLiteral("R"), QStringLiteral("\\"));
    local->setText(state_.WindowsDrive + u'\\' + rest);
}

QString frmConfig::NetworkAppraisalText() const {
    return ui_->txtNetworkQXADataDir->text();
}

QString frmConfig::LocalAppraisalText() const {
    return ui_->txtLocalQXAdataDir->text();
}

bool frmConfig::DirectoryExists(const QString& path) {
    // A share that stops answering is given up after a while; meanwhile the
    // pointer shows that Quarn is waiting.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const auto restore = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
    return DirectoryCheck::DirectoryExists(path);
}

bool frmConfig::ValidDirectoryEntry(QLineEdit* field) {
    if (DirectoryExists(field->text()))
        return true;
    platform::MsgBox(QStringLiteral("This directory does not exist. Either correct or remove."));
    if (isVisible())
        field->setFocus();
    return false;
}

bool frmConfig::CheckDirectories() {
    failedField_ = nullptr;
    for (const DirectoryCheck::Field& f : DirectoryCheck::CheckOrder) {
        auto* field = findChild<QLineEdit*>(QString::fromLatin1(f.name));
        if (!ValidDirectoryEntry(field)) {
            failedField_ = field;
            return false;
        }
    }
    return true;
}

bool frmConfig::SaveWithoutClosing() {
    if (!CheckDirectories())
        return false;
    const auto u = ui_.get();
    DirectorySet& network = state_.NetworkSet;
    DirectorySet& local = state_.LocalSet;
    const QString file = state_.SuiteIniPath;
    const auto write = [&](const char* section, const char* key, const QLineEdit* field) {
        WPINI::WriteIni(file, QString::fromLatin1(section), QString::fromLatin1(key),
                        field->text());
    };
    network.QXADATADIR = u->txtNetworkQXADataDir->text();
    network.QXPPDATADIR = u->txtNetworkQXPPdataDir->text();
    network.QXPPPHOTODIR = u->txtNetworkQXPPphotoDir->text();
    network.APEXDATADIR = u->txtNetworkAPEXDataDir->text();
    write("NETWORK", "QXAdataDir", u->txtNetworkQXADataDir);
    write("NETWORK", "QXPPDATADIR", u->txtNetworkQXPPdataDir);
    write("NETWORK", "QXPPphotoDir", u->txtNetworkQXPPphotoDir);
    write("NETWORK", "ApexdataDir", u->txtNetworkAPEXDataDir);
    network.QXSDATADIR = u->txtNetworkQXSdataDir->text();
    write("NETWORK", "QXsDataDir", u->txtNetworkQXSdataDir);
    local.QXADATADIR = u->txtLocalQXAdataDir->text();
    local.QXPPDATADIR = u->txtLocalQXPPdataDir->text();
    local.QXPPPHOTODIR = u->txtLocalQXPPphotoDir->text();
    local.APEXDATADIR = u->txtLocalApexDataDir->text();
    write("LOCAL", "QXAdataDir", u->txtLocalQXAdataDir);
    write("LOCAL", "QXPPDATADIR", u->txtLocalQXPPdataDir);
    write("LOCAL", "QXPPphotoDir", u->txtLocalQXPPphotoDir);
    write("LOCAL", "ApexdataDir", u->txtLocalApexDataDir);
    local.QXPDATADIR = u->txtLocalQXPdataDir->text();
    local.QXPPHOTODIR = u->txtLocalQXPphotoDir->text();
    local.QXCDATADIR = u->txtLocalQXCdataDir->text();
    local.QXODATADIR = u->txtLocalQXOdataDir->text();
    local.QXSDATADIR = u->txtLocalQXSdataDir->text();
    write("LOCAL", "QXsDataDir", u->txtLocalQXSdataDir);
    return true;
}

void frmConfig::Save() {
    if (SaveWithoutClosing())
        close();
}

void frmConfig::Cancel() {
    if (platform::MsgBox(QStringLiteral("Ignore changes?"), platform::Buttons::YesNo) ==
        platform::Answer::Yes)
        close();
}

void frmConfig::Exit() {
    SaveWithoutClosing();
    close();
}
