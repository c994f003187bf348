#pragma once
// Synchronizing by itself: what following the share moves without asking
// when the office share comes back, and again every so often while it
// stays. Only what needs no choice moves; conflicts, deletions, case twins,
// links and reports the record does not know wait for the user, untouched.

#include "office/SyncRecord.h"
#include "office/Synchronize.h"

#include <optional>

namespace AutoSync {

struct Settings {
    bool automatic = true; // [SYNC] Automatic=0 turns it off
    int everyMinutes = 30; // [SYNC] Every; 0: only when the share comes back
};
constexpr int kDefaultEveryMinutes = 30;
// From QUARN2.INI (`suiteIni`, a host path).
Settings Read(const QString& suiteIni);
// The window's check box: [SYNC] Automatic. Empty, or why not.
QString WriteAutomatic(const QString& suiteIni, bool on);

// Whether a row's planned action moves it without a question: the newer or
// only version to the other side, nothing lost.
bool MovesUnasked(const SyncPlan::Row& row);

// When a run is due, kept between looks.
struct Memory {
    std::optional<bool> reachable; // at the last look
    qint64 lastRunMs = -1;         // on a steady clock; -1: none yet
    bool due = false;              // the share came back, or the suite went to NETWORK
    bool failed = false;           // the last run did not do all it was to
};
// A run that failed is tried again this long after it, while the share
// answers, rather than at the next interval.
constexpr qint64 kRetryMs = 60 * 1000;
// One look: due when the share came back (also at the first look that finds
// it), after the suite's switch to NETWORK (`switchedToNetwork`), `every`
// minutes after the last run while the share stayed, or kRetryMs after a
// failed one. A run found busy stays due; Ran() ends it.
bool Due(Memory& m, bool reachable, bool switchedToNetwork, qint64 nowMs, const Settings& s);
void Ran(Memory& m, qint64 nowMs, bool failed = false);

struct Outcome {
    bool busy = false; // a transfer or a window's synchronization runs: not now
    QString stop;      // the plan could not be made or carried out: why
    Synchronize::Summary summary;
    QStringList waiting; // what waits for the user
    int conflicts = 0;   // of those, conflicts
};
// Plans, carries out the rows that move without a question, and keeps the
// run in the history.
Outcome Run(const SyncPlan::Folders& folders, platform::SyncRun::By by);

// The notification's text: "3 reports sent to the office share, 1 brought to
// the laptop. 1 conflict waits for you."; empty when nothing moved and
// nothing waits.
QString Told(const Outcome& o);
// A run's failure in one line: empty when none.
QString FailureOf(const Outcome& o);

} // namespace AutoSync
