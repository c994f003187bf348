#include "transfer/frmCopy.h"
#include "suite/Texts.h"

#include "config/ModCommon.h"
#include "config/TagIni.h"
#include "config/WPINI.h"
#include "platform/Prompter.h"
#include "platform/win/DirectoryListing.h"
#include "platform/win/HostError.h"
#include "platform/win/WinPath.h"
#include "setup/frmConfig.h"
#include "ui_frmCopy.h"
#include "widgets/SkinFramework.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QProgressDialog>

using platform::RuntimeError;

namespace {

// A folder a list can be set to, or the error setting it would raise.
QString ListFolder(const QString& windowsPath) {
    if (!platform::CanListDirectory(windowsPath))
        throw RuntimeError(platform::PathNotFound);
    return windowsPath;
}

} // namespace

frmCopy::frmCopy(Quarn_v2::SuiteState& state, const SkinFramework* skin,
                 std::function<frmConfig&()> config, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::frmCopy>()), state_(state),
      config_(std::move(config)) {
    ui_->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    ShowDirection(ui_->optCopy1->isChecked() ? 1 : 0); // one of the two at a time
    // The hidden Apex options keep their stored values; the keyboard must not
    // reach them (only the hidden Cancel is meant to be reachable).
    for (QRadioButton* hidden : {ui_->optsketch2, ui_->optsketch3, ui_->optsketch4})
        hidden->setFocusPolicy(Qt::NoFocus);

    openReport = [this](const QString& start) {
        return QFileDialog::getOpenFileName(this, QStringLiteral("Open"), start,
                                            QStringLiteral("Appraisal Report (*.rpt)"));
    };
    // Whatever checks a direction (a click, the stored options, the stored
    // direction), its Copy button is the one shown.
    connect(ui_->optCopy0, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            ShowDirection(0);
    });
    connect(ui_->optCopy1, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            ShowDirection(1);
    });
    connect(ui_->txtDialogResult, &QLineEdit::textChanged, this, [this] {
        ui_->cmdcopy0->setEnabled(true);
        ui_->cmdcopy1->setEnabled(true);
    });
    connect(ui_->cmdBrowse, &QPushButton::clicked, this, &frmCopy::Browse);
    connect(ui_->PushButton1, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui_->cmdCancel, &QPushButton::clicked, this, [this] {
        reject();
        if (QWidget* owner = parentWidget())
            owner->setEnabled(true);
    });
    connect(ui_->cmdcopy0, &QPushButton::clicked, this, [this] { Copy(0); });
    connect(ui_->cmdcopy1, &QPushButton::clicked, this, [this] { Copy(1); });

    if (skin)
        skin->ApplyWindow(this);
    Load();
}

frmCopy::~frmCopy() = default;

void frmCopy::Load() {
    try {
        TagIni::LoadTaggedControls(this, state_.SuiteIniPath);
        if (!ModCommon::PathExists(state_.NetworkTransferRoot)) {
            platform::MsgBox(Texts::CannotReachNetwork(state_.NetworkTransferRoot));
            return;
        }
        ListFolder(QStringLiteral("c:\\")); // the network drive list
        networkTarget_ = ListFolder(CopyProcedure::NetworkReportDir(state_.NetworkSet));
        if (!ModCommon::PathExists(state_.LocalTransferRoot)) {
            platform::MsgBox(Texts::CannotReachLocal(state_.LocalTransferRoot));
            return;
        }
        ListFolder(state_.LocalSet.QXADATADIR.left(2) + u'\\'); // the local drive list
        localTarget_ = ListFolder(CopyProcedure::LocalReportDir(state_.LocalSet));
    } catch (const RuntimeError&) {
        platform::MsgBox(Texts::SettingsInvalid());
        config_().exec();
    }
}

bool frmCopy::event(QEvent* event) {
    // Once per showing: coming back from a message box or the file dialog
    // must not turn the user's direction back to the stored one.
    if (event->type() == QEvent::Show)
        directionApplied_ = false;
    if (event->type() == QEvent::WindowActivate && !directionApplied_) {
        directionApplied_ = true;
        ApplyStoredDirection();
    }
    return QDialog::event(event);
}

void frmCopy::ApplyStoredDirection() {
    QString value =
        ModCommon::Trim(WPINI::ReadIni(state_.SuiteIniPath, QStringLiteral("PREFERENCES"),
                                       QStringLiteral("COPYNETWORK2LOCAL"), QString()));
    if (value.isEmpty())
        value = QStringLiteral("0");
    int direction = 0;
    try {
        direction = TagIni::CheckBoxNumber(value) != 0 ? 1 : 0;
    } catch (const RuntimeError&) {
        direction = 1; // a number too large to hold is not zero
    }
    (direction ? ui_->optCopy1 : ui_->optCopy0)->setChecked(true);
    ShowDirection(direction);
}

void frmCopy::ShowDirection(int direction) {
    ui_->cmdcopy0->setVisible(direction == 0);
    ui_->cmdcopy1->setVisible(direction == 1);
}

int frmCopy::SelectedSketchOption() const {
    const QRadioButton* options[] = {ui_->optsketch0, ui_->optsketch1, ui_->optsketch2,
                                     ui_->optsketch3, ui_->optsketch4, ui_->optsketch5};
    for (int i = 0; i < 6; ++i)
        if (options[i]->isChecked())
            return i;
    return 0;
}

void frmCopy::Browse() {
    frmConfig& config = config_();
    QString start =
        ui_->optCopy1->isChecked() ? config.NetworkAppraisalText() : config.LocalAppraisalText();
    start = ModCommon::CkRSlash(start) + QStringLiteral("Data\\");
    const auto host = platform::ToHostPath(start);
    const QString chosen = openReport(host.ok() ? host.value : QDir::homePath());
    if (chosen.isEmpty()) {
        ui_->txtDialogResult->setText(QString());
        return;
    }
    if (const QString refusal = CopyProcedure::NameRefusal(chosen); !refusal.isEmpty()) {
        platform::MsgBox(refusal);
        ui_->txtDialogResult->setText(QString());
        return;
    }
    ui_->txtDialogResult->setText(CopyProcedure::ReportPathFor(chosen));
}

void frmCopy::Copy(int direction) {
    // A copy that takes more than a moment shows how far it has come.
    std::unique_ptr<QProgressDialog> progress;
    QElapsedTimer clock;
    QString copying;
    const auto report = [&](const QString& target, qint64 done, qint64 total) {
        if (target != copying) { // each copy has its own clock and its own Cancel
            copying = target;
            progress.reset();
            clock.start();
        }
        if (!progress && clock.elapsed() > 1000) {
            progress = std::make_unique<QProgressDialog>(QString(), QStringLiteral("Cancel"), 0,
                                                         1000, this);
            progress->setWindowTitle(platform::ProgramTitle);
            progress->setWindowModality(Qt::WindowModal);
            progress->setMinimumDuration(0);
        }
        if (!progress)
            return true;
        progress->setLabelText(Texts::Copying(target));
        progress->setValue(total > 0 ? int(done * 1000 / total) : 0);
        QCoreApplication::processEvents();
        return !progress->wasCanceled();
    };
    const CopyProcedure::Inputs in{
        CopyProcedure::Direction(direction), ui_->txtDialogResult->text(),
        direction == 0 ? networkTarget_ : localTarget_,
        CopyProcedure::Sketch(SelectedSketchOption()), CopyProcedure::KeepDays(state_)};
    const auto out = CopyProcedure::Run(
        in, [this] { return config_().CheckDirectories(); }, state_.LocalSet, state_.NetworkSet,
        report);
    if (out.errorReported)
        return; // the path stays for another try
    if (out.checked)
        ui_->cmdCancel->setText(Texts::ExitCaption());
    ui_->txtDialogResult->setText(QString());
}

// Every way out (Back, Cancel, Escape, the window's close box) ends here; a
// dialog already hidden has stored its options on the way out.
void frmCopy::done(int result) {
    if (isVisible())
        TagIni::SaveTaggedControls(this, state_.SuiteIniPath);
    QDialog::done(result);
}
