#include "office/windows/frmSync.h"
#include "office/AutoSync.h"
#include "office/Texts.h"
#include "office/windows/frmSyncHistory.h"
#include "office/windows/frmVersions.h"

#include "office/SyncRecord.h"
#include "platform/Prompter.h"
#include "platform/win/WinPath.h"
#include "ui_frmSync.h"
#include "widgets/SkinFramework.h"
#include "widgets/WorkerQuestion.h"

#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLocale>
#include <QScreen>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyle>
#include <QThread>

#include <atomic>
#include <optional>
#include <system_error>

using SyncPlan::Action;
using SyncPlan::Row;
using SyncPlan::State;

// What the window and its thread share: its questions, which answer as
// Escape would, unasked, once the window has gone; whether the run is to stop.
struct frmSync::Job {
    explicit Job(QObject* window) : questions(window) {}
    WorkerQuestion questions;
    std::atomic<bool> cancel{false};
    std::atomic<bool> progressShown{true}; // the last progress sent has been shown
};

namespace {

enum Column { cReport, cLocalDate, cLocalSize, cNetworkDate, cNetworkSize, cState, cAction };

// The job of the thread that asks: questions of the plan's and the run's go
// to the window's thread, and wait there for their answer.
thread_local std::shared_ptr<frmSync::Job> tJob;

bool OnGuiThread() {
    return QThread::currentThread() == QCoreApplication::instance()->thread();
}

bool NeedsChoice(State s) {
    return s == State::Conflict || s == State::Unknown || s == State::DeletedLocal ||
           s == State::DeletedNetwork;
}

bool IsConflict(State s) {
    return s == State::Conflict || s == State::Unknown;
}

QString Date(const platform::SeenVersion& v) {
    if (!v.exists())
        return {};
    return QLocale().toString(QDateTime::fromMSecsSinceEpoch(v.mtimeMs).toLocalTime(),
                              QLocale::ShortFormat);
}

// Kilobytes as the desktop's file lists give them: a byte makes one.
QString Kilobytes(const platform::SeenVersion& v) {
    if (!v.exists())
        return {};
    return QLocale().toString((v.size + 1023) / 1024) + QStringLiteral(" KB");
}

// A size in words, as the table's: KB, MB and GB of 1024.
QString Bytes(qint64 bytes) {
    if (bytes < 1024)
        return QLocale().toString(bytes) + QStringLiteral(" bytes");
    const char* units[] = {"KB", "MB", "GB", "TB"};
    double size = double(bytes) / 1024;
    int unit = 0;
    for (; size >= 1024 && unit < 3; ++unit)
        size /= 1024;
    return QLocale().toString(size, 'f', 1) + u' ' + QLatin1String(units[unit]);
}

QString Files(const SyncPlan::SideFiles& side) {
    return (QStringList{side.report} + side.sketches).join(QStringLiteral(", "));
}

} // namespace

// Message boxes asked on the run's thread are shown on the window's, which
// the thread waits for; on the window's own thread they go straight on.
class frmSync::Prompter : public platform::Prompter {
public:
    Prompter() : previous_(platform::CurrentPrompter()) {}

    platform::Answer ask(const platform::Message& message) override {
        if (OnGuiThread())
            return previous_.ask(message);
        const platform::Answer escape = platform::EscapeAnswer(message.buttons);
        const std::shared_ptr<Job> job = tJob;
        if (!job)
            return escape;
        return job->questions.Ask<platform::Answer>(
            [message] { return platform::CurrentPrompter().ask(message); }, escape);
    }

private:
    platform::Prompter& previous_;
};

frmSync::frmSync(const SyncPlan::Folders& folders, const SkinFramework* skin, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::frmSync>()), folders_(folders), skin_(skin),
      prompter_(std::make_unique<Prompter>()), usePrompter_(*prompter_) {
    ui_->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setWindowTitle(Texts::SyncTitle());
    ui_->lblFolders->setText(QStringLiteral("Laptop: ") + folders_.localReports +
                             QStringLiteral("     Share: ") + folders_.networkReports);
    ui_->tblReports->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    ui_->tblReports->horizontalHeader()->setHighlightSections(false);
    ui_->fraProgress->hide();
    ui_->txtSummary->hide();

    connect(ui_->cmdToNetwork, &QPushButton::clicked, this, [this] { Choose(Choice::ToShare); });
    connect(ui_->cmdToLocal, &QPushButton::clicked, this, [this] { Choose(Choice::ToLaptop); });
    connect(ui_->cmdKeepBoth, &QPushButton::clicked, this, [this] { Choose(Choice::KeepBoth); });
    connect(ui_->cmdSkip, &QPushButton::clicked, this, [this] { Choose(Choice::Skip); });
    connect(ui_->cmdCarryDeletion, &QPushButton::clicked, this,
            [this] { Choose(Choice::CarryDeletion); });
    connect(ui_->cboShow, &QComboBox::currentIndexChanged, this,
            [this](int index) { ShowOnly(Show(index)); });
    connect(ui_->tblReports->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &frmSync::UpdateButtons);
    connect(ui_->cmdRefresh, &QPushButton::clicked, this, &frmSync::Refresh);
    connect(ui_->cmdSynchronize, &QPushButton::clicked, this, &frmSync::Synchronize);
    connect(ui_->cmdCancel, &QPushButton::clicked, this, &frmSync::Cancel);
    connect(ui_->cmdClose, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui_->cmdHistory, &QPushButton::clicked, this, &frmSync::ShowHistory);
    connect(ui_->cmdVersions, &QPushButton::clicked, this, &frmSync::ShowVersions);
    ui_->chkAutomatic->setChecked(AutoSync::Read(folders_.suiteIni).automatic);
    connect(ui_->chkAutomatic, &QCheckBox::toggled, this, [this](bool on) {
        if (const QString why = AutoSync::WriteAutomatic(folders_.suiteIni, on); !why.isEmpty()) {
            const QSignalBlocker still(ui_->chkAutomatic);
            ui_->chkAutomatic->setChecked(!on);
            ui_->lblStatus->setText(Texts::SyncAutomaticNotChanged(on, why));
        }
    });
    ShowLast();

    if (skin)
        skin->ApplyWindow(this);
    WidenForColumns();
    Refresh();
}

frmSync::~frmSync() {
    if (!busy())
        return;
    Abandon();
    // A run stops at its next block; a plan's listing is bounded.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    thread_.join();
    QApplication::restoreOverrideCursor();
}

std::optional<Action> frmSync::ActionOf(Choice choice, State state) {
    Action wanted = Action::Nothing;
    switch (choice) {
    case Choice::ToShare: wanted = Action::ToNetwork; break;
    case Choice::ToLaptop: wanted = Action::ToLocal; break;
    case Choice::KeepBoth: wanted = Action::KeepBoth; break;
    case Choice::Skip: wanted = Action::Nothing; break;
    case Choice::CarryDeletion:
        if (state == State::DeletedLocal)
            wanted = Action::TrashNetwork;
        else if (state == State::DeletedNetwork)
            wanted = Action::TrashLocal;
        else
            return std::nullopt;
        break;
    }
    if (!SyncPlan::ActionsFor(state).contains(wanted))
        return std::nullopt;
    return wanted;
}

bool frmSync::Shows(const Row& row, Show show) {
    switch (show) {
    case Show::Everything: return true;
    case Show::WhatWillMove: return row.action != Action::Nothing;
    case Show::Conflicts: return IsConflict(row.state);
    }
    return true;
}

void frmSync::Refresh() {
    if (working_)
        return;
    SetWorking(true);
    ui_->lblStatus->setText(Texts::SyncLooking());
    Start([this, folders = folders_](const std::shared_ptr<Job>& job) {
        platform::SyncRecord record(folders.pairKey());
        SyncPlan::Plan plan = SyncPlan::Make(folders, record);
        // What was found alike, contents compared, need not be read again.
        Synchronize::RememberAgreed(plan.rows, record);
        QMetaObject::invokeMethod(
            this,
            [this, job, plan = std::move(plan)] {
                Finished();
                if (!job->questions.abandoned())
                    ShowPlan(plan);
            },
            Qt::QueuedConnection);
    });
}

void frmSync::Synchronize() {
    if (working_ || !plan_.stop.isEmpty())
        return;
    QList<Row> rows = plan_.rows;
    if (std::none_of(rows.cbegin(), rows.cend(),
                     [](const Row& r) { return r.action != Action::Nothing; }))
        return;
    running_ = true;
    SetWorking(true);
    ui_->lblStatus->clear();
    ui_->lblProgress->clear();
    ui_->barProgress->setValue(0);
    ui_->fraProgress->show();
    ui_->cmdCancel->setEnabled(true);
    ui_->txtSummary->hide();
    Start([this, folders = folders_, rows](const std::shared_ptr<Job>& job) mutable {
        platform::SyncRecord record(folders.pairKey());
        Synchronize::Hooks hooks;
        QString lastReport;
        hooks.progress = [this, job, lastReport](const Synchronize::Progress& p) mutable {
            if (job->cancel)
                return false;
            // At most one waits to be shown, so that a fast copy does not
            // flood the window; but each report is shown as it begins.
            const bool next = p.current != lastReport;
            lastReport = p.current;
            if (job->progressShown.exchange(false) || next)
                QMetaObject::invokeMethod(
                    this,
                    [this, job, p] {
                        job->progressShown = true;
                        ShowProgress(p);
                    },
                    Qt::QueuedConnection);
            return !job->cancel;
        };
        hooks.rowDone = [this, job](const Row& row, bool ok) {
            QMetaObject::invokeMethod(
                this, [this, row, ok, job] { ShowRowDone(row, ok, job->cancel); },
                Qt::QueuedConnection);
        };
        const qint64 started = QDateTime::currentMSecsSinceEpoch();
        const Synchronize::Summary summary = Synchronize::Run(folders, rows, record, hooks);
        record.addRun(Synchronize::Entry(summary, rows, platform::SyncRun::By::Window, started));
        // What the folders hold now, unless the window is going.
        std::optional<SyncPlan::Plan> plan;
        if (!job->questions.abandoned())
            plan = SyncPlan::Make(folders, record);
        QMetaObject::invokeMethod(
            this,
            [this, job, summary, plan] {
                Finished();
                ShowRunDone(summary);
                ShowLast();
                if (closeAfterRun_)
                    QDialog::done(result_);
                else if (plan)
                    ShowPlan(*plan);
            },
            Qt::QueuedConnection);
    });
}

void frmSync::Cancel() {
    if (!running_ || !job_)
        return;
    job_->cancel = true;
    ui_->cmdCancel->setEnabled(false);
    ui_->lblStatus->setText(Texts::SyncStopping());
}

void frmSync::Choose(Choice choice) {
    if (working_ || !plan_.stop.isEmpty())
        return;
    int refused = 0;
    for (const int i : SelectedRows()) {
        Row& row = plan_.rows[i];
        if (const auto action = ActionOf(choice, row.state)) {
            row.action = *action;
            chosen_.insert(row.name);
            ShowRow(i);
        } else {
            ++refused;
        }
    }
    ApplyFilter();
    UpdateButtons();
    ui_->lblStatus->setText(refused ? Texts::SyncCannotTake(refused) : PlanStatus());
}

void frmSync::ShowOnly(Show show) {
    if (ui_->cboShow->currentIndex() != int(show))
        ui_->cboShow->setCurrentIndex(int(show)); // comes back here
    else
        ApplyFilter();
}

void frmSync::Start(std::function<void(const std::shared_ptr<Job>&)> work) {
    auto job = std::make_shared<Job>(this);
    job_ = job;
    // The thread maps paths through the prefix in force here and now.
    auto run = [job, work = std::move(work), prefix = platform::WinePrefix()] {
        const platform::ScopedWinePrefix in(prefix);
        tJob = job;
        work(job);
        tJob.reset();
    };
    try {
        thread_ = std::thread(std::move(run));
    } catch (const std::system_error&) {
        run(); // no thread to be had: the work runs here, the window waiting
    }
}

void frmSync::Finished() {
    if (thread_.joinable())
        thread_.join();
    job_.reset();
    running_ = false;
    SetWorking(false);
}

void frmSync::Abandon() {
    if (!job_)
        return;
    job_->cancel = true;
    job_->questions.Abandon();
}

void frmSync::ShowPlan(const SyncPlan::Plan& plan) {
    plan_ = plan;
    chosen_.clear();
    outcomes_.clear();
    QTableWidget* table = ui_->tblReports;
    table->clearSelection();
    table->setRowCount(int(plan_.rows.size()));
    for (int i = 0; i < plan_.rows.size(); ++i)
        ShowRow(i);
    FitColumns();
    ApplyFilter();
    UpdateButtons();
    ui_->lblStatus->setText(PlanStatus());
    if (!plan_.stop.isEmpty())
        platform::MsgBox(plan_.stop, platform::Buttons::Ok, platform::Icon::Exclamation);
}

void frmSync::ShowRow(int index) {
    const Row& row = plan_.rows[index];
    QTableWidget* table = ui_->tblReports;
    const auto cell = [&](int column, const QString& text) {
        QTableWidgetItem* item = table->item(index, column);
        if (!item) {
            item = new QTableWidgetItem;
            table->setItem(index, column, item);
        }
        item->setText(text);
        if (column == cLocalSize || column == cNetworkSize)
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        return item;
    };
    QStringList files;
    if (!row.local.report.isEmpty())
        files << QStringLiteral("Laptop: ") + Files(row.local);
    if (!row.network.report.isEmpty())
        files << QStringLiteral("Share: ") + Files(row.network);
    cell(cReport, SyncPlan::RowName(row))->setToolTip(files.join(u'\n'));
    cell(cLocalDate, Date(row.local.seen));
    cell(cLocalSize, Kilobytes(row.local.seen));
    cell(cNetworkDate, Date(row.network.seen));
    cell(cNetworkSize, Kilobytes(row.network.seen));
    // A conflict stands out: its row waits for the user's choice.
    QTableWidgetItem* state = cell(cState, SyncPlan::StateText(row.state));
    QFont font = table->font();
    font.setBold(IsConflict(row.state));
    state->setFont(font);
    state->setIcon(IsConflict(row.state) ? style()->standardIcon(QStyle::SP_MessageBoxWarning)
                                         : QIcon());
    cell(cAction, SyncPlan::ActionText(row.action) + outcomes_.value(row.name));
}

void frmSync::FitColumns() {
    QTableWidget* table = ui_->tblReports;
    table->horizontalHeader()->setStretchLastSection(false);
    table->resizeColumnsToContents();
    table->horizontalHeader()->setStretchLastSection(true); // the room left, past the last column
}

// Before it is first shown, the window is made wide enough for a row of the
// widest words, as far as the screen allows: the plan that comes later must
// not move its edges.
void frmSync::WidenForColumns() {
    Row sample;
    sample.name = QStringLiteral("WILLIAMS.RPT");
    sample.local.seen.size = sample.network.seen.size = qint64(999999) * 1024;
    sample.local.seen.mtimeMs = sample.network.seen.mtimeMs =
        QDateTime(QDate(2026, 12, 28), QTime(23, 59, 59)).toMSecsSinceEpoch();
    sample.state = State::Unknown;
    sample.action = Action::TrashLocal;
    plan_.rows = {sample};
    outcomes_[sample.name] = QStringLiteral(": cancelled");
    QTableWidget* table = ui_->tblReports;
    table->setRowCount(1);
    ShowRow(0);
    FitColumns();
    layout()->activate();
    const int missing = table->horizontalHeader()->length() +
                        table->verticalScrollBar()->sizeHint().width() + 2 * table->frameWidth() -
                        table->width();
    if (missing > 0)
        resize(std::min(width() + missing, screen()->availableGeometry().width() - 40), height());
    table->setRowCount(0);
    plan_ = {};
    outcomes_.clear();
}

void frmSync::ShowRowDone(const Row& row, bool ok, bool cancelled) {
    const auto it = std::find_if(plan_.rows.begin(), plan_.rows.end(),
                                 [&](const Row& r) { return r.name == row.name; });
    if (it == plan_.rows.end())
        return;
    if (row.action != Action::Nothing)
        outcomes_[row.name] = ok          ? QStringLiteral(": done")
                              : cancelled ? QStringLiteral(": cancelled")
                                          : QStringLiteral(": failed");
    *it = row;
    ShowRow(int(it - plan_.rows.begin())); // the last column, stretched, has room for it
}

void frmSync::ShowProgress(const Synchronize::Progress& p) {
    if (!running_)
        return;
    const qint64 secondsLeft = p.msLeft < 0 ? -1 : (p.msLeft + 999) / 1000;
    ui_->lblProgress->setText(Texts::SyncProgress(std::min(p.reportsDone + 1, p.reportsTotal),
                                                  p.reportsTotal, p.current, Bytes(p.bytesDone),
                                                  Bytes(p.bytesTotal), secondsLeft));
    ui_->barProgress->setValue(p.bytesTotal > 0 ? int(p.bytesDone * 1000 / p.bytesTotal) : 0);
}

void frmSync::ShowRunDone(const Synchronize::Summary& summary) {
    ui_->fraProgress->hide();
    ui_->txtSummary->setPlainText(Synchronize::SummaryText(summary).trimmed());
    ui_->txtSummary->show();
}

void frmSync::SetWorking(bool working) {
    working_ = working;
    UpdateButtons();
}

void frmSync::ApplyFilter() {
    const Show show = Show(ui_->cboShow->currentIndex());
    for (int i = 0; i < plan_.rows.size(); ++i)
        ui_->tblReports->setRowHidden(i, !Shows(plan_.rows[i], show));
}

void frmSync::UpdateButtons() {
    const bool ready = !working_ && plan_.stop.isEmpty();
    for (QPushButton* b : {ui_->cmdToNetwork, ui_->cmdToLocal, ui_->cmdKeepBoth, ui_->cmdSkip,
                           ui_->cmdCarryDeletion})
        b->setEnabled(ready && !SelectedRows().isEmpty());
    ui_->cmdRefresh->setEnabled(!working_);
    ui_->cmdVersions->setEnabled(!working_ && SelectedRows().size() == 1);
    ui_->cmdSynchronize->setEnabled(
        ready && std::any_of(plan_.rows.cbegin(), plan_.rows.cend(),
                             [](const Row& r) { return r.action != Action::Nothing; }));
}

void frmSync::ShowLast() {
    platform::SyncRecord record(folders_.pairKey());
    const QList<platform::SyncRun> last = record.runs(1);
    ui_->lblLast->setText(record.problem().isEmpty()
                              ? Synchronize::LastSynchronized(last, QDateTime::currentDateTime())
                              : record.problem());
}

void frmSync::ShowHistory() {
    platform::SyncRecord record(folders_.pairKey());
    const QList<platform::SyncRun> runs = record.runs();
    frmSyncHistory history(runs, record.problem(), skin_, this);
    history.exec();
}

void frmSync::ShowVersions() {
    const QList<int> rows = SelectedRows();
    if (working_ || rows.size() != 1)
        return;
    frmVersions versions(folders_, plan_.rows[rows.front()].name, skin_, this);
    versions.exec();
    if (versions.putBack())
        Refresh();
}

QString frmSync::PlanStatus() const {
    if (!plan_.stop.isEmpty())
        return plan_.stop;
    int moving = 0, waiting = 0;
    for (const Row& row : plan_.rows) {
        if (row.action != Action::Nothing)
            ++moving;
        else if (NeedsChoice(row.state) && !chosen_.contains(row.name))
            ++waiting;
    }
    QStringList lines;
    if (!plan_.recordProblem.isEmpty())
        lines << Texts::SyncRecordUnreadable(plan_.recordProblem);
    const bool allSame = std::all_of(plan_.rows.cbegin(), plan_.rows.cend(),
                                     [](const Row& r) { return r.state == State::Same; });
    lines << (allSame ? Texts::SyncNothingToDo()
                      : Texts::SyncPlanned(int(plan_.rows.size()), moving, waiting));
    return lines.join(u'\n');
}

QList<int> frmSync::SelectedRows() const {
    QList<int> rows;
    for (const QModelIndex& index : ui_->tblReports->selectionModel()->selectedRows())
        if (!ui_->tblReports->isRowHidden(index.row()))
            rows << index.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

void frmSync::done(int result) {
    if (running_) {
        if (closeAfterRun_)
            return; // already stopping; the window goes when the run has
        if (platform::MsgBox(Texts::SyncCloseWhileRunning(), platform::Buttons::YesNo,
                             platform::Icon::Question) != platform::Answer::Yes)
            return;
        if (running_) { // it may have ended while the question was up
            closeAfterRun_ = true;
            result_ = result;
            Abandon();
            ui_->cmdCancel->setEnabled(false);
            ui_->lblStatus->setText(Texts::SyncStopping());
            return;
        }
    }
    Abandon(); // a plan still being made is let go; the destructor waits for it
    QDialog::done(result);
}
