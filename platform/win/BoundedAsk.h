#pragma once
// Asking a disk that may hang (a share that stopped answering) on a thread
// of its own, giving up after a bound: one thread per share, kept for the
// next ask.

#include <QString>

#include <chrono>
#include <functional>

namespace platform {

using BoundClock = std::chrono::steady_clock;

// How long a disk that may hang is waited for: the mapping, FileLength, the
// Windows directory and the listing each ask on a thread of their own under
// this rule and give up with 71 after it. Five seconds; tests shorten it.
int AnswerBound();
void SetAnswerBound(int ms);

// Runs `ask` on `share`'s thread, one ask per share: while one is pending,
// another of the same share waits for it as long as it may still answer in
// time; once that has run out, the share counts as not answering and the
// later one gives up at once: every further click on a dead share would
// otherwise leave one more thread behind. False when it gave up; throws
// std::system_error when no thread can be started. A thread that hangs
// stays behind, holding only its own copies. Inside such an ask, further
// ones run at once. The caller's ScopedWinePrefix does not come along: ask
// through AskWithinBound (WinPath.h), which carries it.
bool RunWithinBound(const QString& share, BoundClock::time_point giveUpAt,
                    std::function<void()> ask);

// Asks of the disk under the rule (listings, mappings) still running,
// answered or given up on.
int PendingDirectoryListings();

} // namespace platform
