#include "office/windows/OfficeShareDialog.h"
#include "office/Texts.h"

#include "platform/Prompter.h"
#include "platform/share/ShareMount.h"
#include "platform/win/WinPath.h"
#include "ui_OfficeShareDialog.h"
#include "widgets/SkinFramework.h"
#include "widgets/WorkerQuestion.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>

#include <optional>
#include <system_error>

namespace {

bool Yes(const QString& question) {
    return platform::MsgBox(question, platform::Buttons::YesNo, platform::Icon::Question) ==
           platform::Answer::Yes;
}

// The share as the state line names it: \\server\share when it reads as one.
QString Named(const QString& share) {
    const auto a = platform::ParseShareAddress(share);
    return a ? a->unc() : share.trimmed();
}

} // namespace

OfficeShareDialog::OfficeShareDialog(const Quarn_v2::SuiteState& state,
                                     std::function<bool()> switchToLocal, const SkinFramework* skin,
                                     QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::OfficeShareDialog>()), state_(state),
      switchToLocal_(std::move(switchToLocal)) {
    ui_->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    // The longest message wraps within the fields' width.
    for (QLabel* line : {ui_->lblState, ui_->lblLimits, ui_->lblMessage})
        line->setMaximumWidth(ui_->fields->sizeHint().width());

    for (char letter = 'D'; letter <= 'Z'; ++letter)
        ui_->cboDrive->addItem(QString(QChar(letter)) + u':');
    const OfficeShare::Settings remembered = OfficeShare::Remembered(state_);
    ui_->txtShare->setText(remembered.share);
    ui_->txtUser->setText(remembered.user);
    ui_->txtDomain->setText(remembered.domain);
    ui_->cboDrive->setCurrentText(remembered.drive);

    connect(ui_->cmdConnect, &QPushButton::clicked, this, &OfficeShareDialog::Connect);
    connect(ui_->cmdDisconnect, &QPushButton::clicked, this, &OfficeShareDialog::Disconnect);
    connect(ui_->cmdClose, &QPushButton::clicked, this, &QDialog::reject);
    ShowOutcome(nullptr);

    if (skin)
        skin->ApplyWindow(this);
}

OfficeShareDialog::~OfficeShareDialog() {
    if (!busy())
        return;
    Abandon();
    // The work is bounded (the mount's ten seconds, reg's minute at worst).
    QApplication::setOverrideCursor(Qt::WaitCursor);
    thread_.join();
    QApplication::restoreOverrideCursor();
}

OfficeShare::Settings OfficeShareDialog::settings() const {
    return {ui_->txtShare->text().trimmed(), ui_->txtUser->text().trimmed(),
            ui_->txtDomain->text().trimmed(), ui_->cboDrive->currentText()};
}

void OfficeShareDialog::Connect() {
    if (busy())
        return;
    const OfficeShare::Settings chosen = settings();
    // The password goes to the thread and nowhere else.
    QString password = ui_->txtPassword->text();
    ui_->txtPassword->clear();
    const bool remember = ui_->chkRemember->isChecked();
    Start(Texts::ShareConnecting(Named(chosen.share)),
          [state = state_, chosen, password = std::move(password),
           remember](const OfficeShare::Ask& ask) {
              return OfficeShare::Connect(state, chosen, password, remember, ask);
          });
}

void OfficeShareDialog::Disconnect() {
    if (busy())
        return;
    // What Connect made, whatever the fields say now.
    const OfficeShare::Settings made = OfficeShare::Remembered(state_);
    if (made.share.isEmpty())
        return;
    if (OfficeShare::SuiteUsesDrive(made)) {
        if (!Yes(Texts::ShareOfferLocal(made.drive)))
            return;
        if (!switchToLocal_ || !switchToLocal_())
            return;
    }
    Start(Texts::ShareDisconnecting(Named(made.share)),
          [state = state_, made](const OfficeShare::Ask&) {
              return OfficeShare::Disconnect(state, made);
          });
}

void OfficeShareDialog::Start(const QString& doing, const Work& work) {
    focus_ = focusWidget();
    SetWorking(true);
    ui_->lblState->setText(doing);
    ui_->lblMessage->clear();
    ui_->lblMessage->hide();

    // Once the dialog has gone, every question answers No unasked.
    const WorkerQuestion questions(this);
    questions_ = questions;
    const OfficeShare::Ask ask = [questions](const QString& question) {
        return questions.Ask<bool>([question] { return Yes(question); }, false);
    };
    // The thread maps paths through the prefix in force here and now.
    auto run = [this, prefix = platform::WinePrefix(), ask, work] {
        const platform::ScopedWinePrefix in(prefix);
        const OfficeShare::Result r = work(ask);
        // The dialog waits for this thread before it goes, so it is there.
        QMetaObject::invokeMethod(
            this, [this, r] { ShowOutcome(&r); }, Qt::QueuedConnection);
    };
    try {
        thread_ = std::thread(std::move(run));
    } catch (const std::system_error&) {
        // No thread to be had: the work runs here, the window waiting.
        questions_.reset();
        const OfficeShare::Result r = work(Yes);
        ShowOutcome(&r);
    }
}

void OfficeShareDialog::SetWorking(bool working) {
    for (QWidget* w : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        if (!qobject_cast<QLabel*>(w))
            w->setEnabled(!working);
}

void OfficeShareDialog::ShowOutcome(const OfficeShare::Result* outcome) {
    if (outcome) {
        if (thread_.joinable())
            thread_.join();
        questions_.reset();
        SetWorking(false);
    }
    const OfficeShare::Settings made = OfficeShare::Remembered(state_);
    const OfficeShare::State state = OfficeShare::Look(made);
    ui_->lblState->setText(state.text);
    ui_->lblLimits->setText(state.limits);
    ui_->lblLimits->setVisible(!state.limits.isEmpty());
    ui_->cmdDisconnect->setEnabled(!made.share.isEmpty());
    const QString message = !outcome ? QString() : outcome->ok ? outcome->note : outcome->text;
    ui_->lblMessage->setText(message);
    ui_->lblMessage->setVisible(!message.isEmpty());
    if (outcome && outcome->passwordNeeded)
        ui_->txtPassword->setFocus();
    else if (outcome && focus_ && focus_->isEnabled())
        focus_->setFocus(); // where it was before the fields waited
}

void OfficeShareDialog::Abandon() {
    if (questions_)
        questions_->Abandon();
}

void OfficeShareDialog::done(int result) {
    Abandon(); // closed while working: a question still to come answers No
    QDialog::done(result);
}
