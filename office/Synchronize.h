#pragma once
// Carrying out a synchronization plan: each report with its sketches through
// the transfer's atomic copy, under the share's lock of that report, checked
// just before the share's copy is replaced, its row of the record committed
// after it. One report's failure is told and the rest go on.

#include "office/SyncPlan.h"

#include <QDateTime>

#include <functional>

namespace Synchronize {

struct Progress {
    int reportsDone = 0, reportsTotal = 0;
    qint64 bytesDone = 0, bytesTotal = 0;
    QString current;    // the report being moved
    qint64 msLeft = -1; // -1: not known yet
};

struct Failure {
    QString report, why;
};

struct Summary {
    QStringList toNetwork, toLocal, keptBoth, trashed;
    QStringList conflicts; // rows that turned out changed meanwhile: left, as conflicts
    QList<Failure> failed;
    bool cancelled = false;
    bool allAsPlanned() const { return failed.isEmpty() && conflicts.isEmpty() && !cancelled; }
};

// The summary in words, for the window and quarnctl alike.
QString SummaryText(const Summary& s);

struct Hooks {
    // Hears progress; false cancels (between files and within one).
    std::function<bool(const Progress&)> progress;
    // A row done (its state and action as they ended).
    std::function<void(const SyncPlan::Row&, bool ok)> rowDone;
};

// Records the rows the two sides agree on that the record lacks or has
// otherwise (the same version come by another way), so that a later change
// on one side is told from one on the other. Run does it first.
void RememberAgreed(const QList<SyncPlan::Row>& rows, platform::SyncRecord& record);

// The rows a run leaves for the user: they differ, and nothing was done or
// could be done (a conflict found meanwhile).
QStringList Waiting(const QList<SyncPlan::Row>& rows, const Summary& s);
// The history's entry of a run that started at `startedMs` and ends now.
platform::SyncRun Entry(const Summary& s, const QList<SyncPlan::Row>& rows,
                        platform::SyncRun::By by, qint64 startedMs);

// The history in words. When: "today 09:14", "yesterday 17:02",
// "2026-12-01 08:30", by this computer's clock `now`.
QString When(qint64 ms, const QDateTime& now);
QString ByText(platform::SyncRun::By by);
// "today 09:14, 3 sent, 1 brought" (what moved, else "nothing to move"),
// with what waits and failed.
QString RunText(const platform::SyncRun& run, const QDateTime& now);
// "Last synchronized: today 09:14, 3 sent, 1 brought", or "Not
// synchronized yet" without a run.
QString LastSynchronized(const QList<platform::SyncRun>& runs, const QDateTime& now);

// Carries out every row whose action is not Nothing. A stale lock of
// another's is broken only after a Yes (through the Prompter).
Summary Run(const SyncPlan::Folders& folders, QList<SyncPlan::Row>& rows,
            platform::SyncRecord& record, const Hooks& hooks = {});

} // namespace Synchronize
