#pragma once
// Following the office share: the suite on the NETWORK set while the share
// answers, on the LOCAL set while it does not. The decision is a plain step
// over what was seen; whoever watches (quarnctl follow) looks, calls Step and
// makes the switch it answers.

#include <QString>

#include <optional>

namespace ShareFollow {

// The folder that answers for the share: the drive root of the NETWORK set's
// appraisal folder ("N:\"), a UNC path's "\\server\share\", a host path as
// it is; "" when the folder is not set.
QString ShareRoot(const QString& networkDataDir);

// Whether the share lists its root within the directory check's five seconds.
bool ShareReachable(const QString& root);

// One look at the suite and the share.
struct Look {
    QString inForce; // "LOCAL", "NETWORK", "mixed" or "unknown"
    bool reachable = false;
    bool transferRunning = false;
    qint64 atMs = 0; // on a steady clock
};

// What is kept between looks.
struct Memory {
    QString seen;  // the set in force at the last look
    QString wrote; // the set our last switch wrote, until someone else's switch
    std::optional<bool> reachable;
    qint64 steadySinceMs = 0; // since when the share has been as it is
    // Hands off until the share comes or goes: the user switched by hand, or
    // a switch of ours failed.
    bool held = false;
    bool waiting = false; // a switch is due but a transfer runs
};

// What to do after a look. Mixed, ByHand and Waiting are said once each time
// they begin.
enum class Action { None, ToLocal, ToNetwork, Mixed, ByHand, Waiting };

// The share must have stayed as it is for `settleMs` before a switch (0: as
// it is now). A switch answered is taken as written.
Action Step(Memory& m, const Look& now, qint64 settleMs);

// What the user is told. SetName: "the LOCAL set", "some directories of
// each set" (mixed), "neither set".
QString SetName(const QString& inForce);
QString Switched(bool toNetwork);
// `why` as SwitchFailureText gives it.
QString SwitchFailed(const QString& set, const QString& inForceAfter, const QString& why);
QString SwitchedByHand(const QString& set);
QString MixedLeftAlone();
QString WaitingForTransfer();

} // namespace ShareFollow
