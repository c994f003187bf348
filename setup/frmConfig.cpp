#include "setup/frmConfig.h"
#include "suite/Texts.h"

#include "config/ModCommon.h"
#include "config/TagIni.h"
#include "config/WPINI.h"
#include "platform/Prompter.h"
#include "platform/win/WinPath.h"
#include "suite/DirectoryCheck.h"
#include "suite/DirectoryEntries.h"
#include "ui_frmConfig.h"
#include "widgets/SkinFramework.h"

#include <QApplication>

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QScopeGuard>

using Quarn_v2::DirectorySet;

namespace {

// The twenty fields in tab order, with the three buttons' places (Exit,
// Cancel, Save) held by their object names.
std::vector<const char*> TabOrder() {
    std::vector<const char*> order(23, nullptr);
    order[0] = "cmdExit";
    order[11] = "cmdCancel";
    order[12] = "cmdSaveChanges";
    for (const Quarn_v2::DirectoryEntry& e : Quarn_v2::DirectoryEntries) {
        order[e.tabNetwork] = e.networkField;
        order[e.tabLocal] = e.localField;
    }
    return order;
}

} // namespace

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

    // Exit first: invisible, it holds the focus when the dialog opens.
    const std::vector<const char*> order = TabOrder();
    const auto control = [this](const char* name) {
        return findChild<QWidget*>(QString::fromLatin1(name));
    };
    for (size_t i = 1; i < order.size(); ++i)
        setTabOrder(control(order[i - 1]), control(order[i]));
    for (const Quarn_v2::DirectoryEntry& e : Quarn_v2::DirectoryEntries)
        Field(e.localField)->installEventFilter(this);

    // The load sequence.
    if (skin)
        skin->ApplyWindow(this);
    for (QLineEdit* field : findChildren<QLineEdit*>())
        field->clear();
    TagIni::LoadTaggedControls(this, state_.SuiteIniPath);
}

frmConfig::~frmConfig() = default;

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
        for (const Quarn_v2::DirectoryEntry& e : Quarn_v2::DirectoryEntries)
            if (watched == Field(e.localField))
                FillLocalDefault(Field(e.localField), Field(e.networkField));
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

QLineEdit* frmConfig::Field(const char* name) const {
    return findChild<QLineEdit*>(QString::fromLatin1(name));
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
    return DirectoryCheck::ListsAnEntry(path);
}

bool frmConfig::ValidDirectoryEntry(QLineEdit* field) {
    if (DirectoryExists(field->text()))
        return true;
    platform::MsgBox(Texts::NoSuchDirectory());
    if (isVisible())
        field->setFocus();
    return false;
}

bool frmConfig::CheckDirectories() {
    failedField_ = nullptr;
    for (const Quarn_v2::CheckedField& f : Quarn_v2::CheckOrder()) {
        QLineEdit* field = Field(f.field);
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
    // Each section: the copies into its set, then the writes in table order.
    for (const bool network : {true, false}) {
        DirectorySet& set = network ? state_.NetworkSet : state_.LocalSet;
        const QString section = network ? QStringLiteral("NETWORK") : QStringLiteral("LOCAL");
        for (const Quarn_v2::DirectoryEntry& e : Quarn_v2::DirectoryEntries)
            if (e.member && (!network || e.copiedToNetwork))
                set.*e.member = Field(network ? e.networkField : e.localField)->text();
        for (const Quarn_v2::DirectoryEntry& e : Quarn_v2::DirectoryEntries)
            if (e.saveKey)
                WPINI::WriteIni(state_.SuiteIniPath, section, QString::fromLatin1(e.saveKey),
                                Field(network ? e.networkField : e.localField)->text());
    }
    return true;
}

void frmConfig::Save() {
    if (SaveWithoutClosing())
        close();
}

void frmConfig::Cancel() {
    if (platform::MsgBox(Texts::IgnoreChanges(), platform::Buttons::YesNo) == platform::Answer::Yes)
        close();
}

void frmConfig::Exit() {
    SaveWithoutClosing();
    close();
}
