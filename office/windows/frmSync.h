#pragma once
// The Synchronize Reports window (File > Synchronize Reports…): every report
// of the laptop's and the share's report folders side by side, the action
// each takes, and the run that carries them out. The rules are
// office/SyncPlan's and office/Synchronize's; the plan is made and carried out
// on a thread of its own, since a share may be slow, and a question the run
// asks is shown here while that thread waits for the answer.

#include "office/Synchronize.h"

#include "platform/Prompter.h"

#include <QDialog>
#include <QHash>
#include <QSet>

#include <atomic>
#include <memory>
#include <optional>
#include <thread>

class SkinFramework;
namespace Ui {
class frmSync;
}

class frmSync : public QDialog {
    Q_OBJECT

public:
    enum class Show { Everything, WhatWillMove, Conflicts };

    // Makes the plan at once; `skin` may be null. Message boxes go to the
    // prompter in force when the window is made.
    frmSync(const SyncPlan::Folders& folders, const SkinFramework* skin, QWidget* parent = nullptr);
    // Stops a run still going and waits for its thread.
    ~frmSync() override;

    // Both return at once; the table and the status line follow when the
    // thread is done.
    void Refresh();
    void Synchronize();
    // Asks the run to stop: the file being copied is left whole as it was.
    void Cancel();
    // What the buttons under the table give the selected rows.
    enum class Choice { ToShare, ToLaptop, KeepBoth, Skip, CarryDeletion };
    // Gives every selected row that may take it the choice's action; the
    // rest stay, counted in the status line.
    void Choose(Choice choice);
    void ShowOnly(Show show);
    // History… and Previous Versions… (of the one selected report).
    void ShowHistory();
    void ShowVersions();

    bool busy() const { return thread_.joinable(); }
    const SyncPlan::Plan& plan() const { return plan_; }
    Ui::frmSync* ui() const { return ui_.get(); }

    // The action a row in `state` takes for `choice`; nullopt when it
    // cannot take it (Carry the Deletion: only a deletion, carried across).
    static std::optional<SyncPlan::Action> ActionOf(Choice choice, SyncPlan::State state);
    // Whether a row shows under `show`.
    static bool Shows(const SyncPlan::Row& row, Show show);

    struct Job;

protected:
    void done(int result) override;

private:
    class Prompter;
    void Start(std::function<void(const std::shared_ptr<Job>&)> work);
    void Finished();
    void Abandon();
    void ShowPlan(const SyncPlan::Plan& plan);
    void ShowRow(int index);
    void FitColumns();
    void WidenForColumns();
    void ShowRowDone(const SyncPlan::Row& row, bool ok, bool cancelled);
    void ShowProgress(const Synchronize::Progress& p);
    void ShowRunDone(const Synchronize::Summary& summary);
    void ShowLast(); // "Last synchronized: …"
    void SetWorking(bool working);
    void ApplyFilter();
    void UpdateButtons();
    QString PlanStatus() const;
    QList<int> SelectedRows() const;

    std::unique_ptr<Ui::frmSync> ui_;
    SyncPlan::Folders folders_;
    const SkinFramework* skin_;
    SyncPlan::Plan plan_;
    QSet<QString> chosen_;             // rows the user chose for
    QHash<QString, QString> outcomes_; // rows the run has done: how it went
    std::unique_ptr<Prompter> prompter_;
    platform::ScopedPrompter usePrompter_;
    std::shared_ptr<Job> job_;
    std::thread thread_;
    bool working_ = false; // a plan or a run under way, its thread started or not
    bool running_ = false;
    bool closeAfterRun_ = false;
    int result_ = Rejected;
};
