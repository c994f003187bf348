#pragma once
// The office share put in place in one step: mounted through GVfs, given its
// drive letter and its UNC name in the prefix, the drive marked as a network
// drive. What the user asked for is remembered in the suite folder's
// QUARN2.INI, [OFFICESHARE]; a password never is (GVfs keeps a remembered one
// in the desktop's keyring).

#include "platform/share/ShareMount.h"
#include "suite/Quarn_v2.h"

#include <QString>

#include <functional>
#include <optional>

namespace OfficeShare {

struct Settings {
    QString share; // \\server\share or smb://server/share, as typed
    QString user, domain;
    QString drive;             // "N:"
    bool disconnected = false; // by the user: held until the user connects again
    bool operator==(const Settings&) const = default;
};

// What QUARN2.INI remembers; the drive defaults to DefaultDrive.
Settings Remembered(const Quarn_v2::SuiteState& s);
// The drive of the NETWORK set's appraisal folder, else N:.
QString DefaultDrive(const Quarn_v2::SuiteState& s);

// The state in words for the window's state line and `quarnctl share status`.
struct State {
    bool connected = false;
    QString text;
    QString limits; // what the drive's mount cannot do, "" when nothing
};
State Look(const Settings& settings);

struct Result {
    bool ok = false;
    QString text;                // the state line when ok, else why not
    QString note;                // something the user should know even so
    qint64 ms = 0;               // from the start to a usable drive
    bool passwordNeeded = false; // none given and none in the keyring
};

// A question with Yes and No; true for Yes.
using Ask = std::function<bool(const QString& question)>;

// Mounts the share (with the keyring's password when `password` is empty),
// links the drive and the UNC name into the prefix, marks the drive, and
// remembers the settings. A drive or UNC name that leads elsewhere is
// replaced only when `ask` says so, and only once QUARN2.INI holds what it
// led to. Nothing is left half made: a failure undoes what was done, and a
// Connect cut off leaves what Disconnect undoes.
Result Connect(const Quarn_v2::SuiteState& s, const Settings& settings, const QString& password,
               bool remember, const Ask& ask);

// Whether the suite uses the drive: the NETWORK set in force, or the set in
// force pointing there. A caller switches to LOCAL (asking) before Disconnect.
bool SuiteUsesDrive(const Settings& settings);

// Takes the share out of the prefix (each drive Connect linked, and the UNC
// name, putting back what they replaced) and unmounts it while it is the
// very mount Quarn made in this session. Holds until the user connects again.
Result Disconnect(const Quarn_v2::SuiteState& s, const Settings& settings);

// What `quarnctl follow` does: the share remembered connected again, with the
// keyring's password and never asking, while it is not connected and the
// user has not disconnected it. nullopt when nothing was tried.
std::optional<Result> Reconnect(const Quarn_v2::SuiteState& s);

// The mounts: GVfs's in the program, a folder of the test's in tests.
struct Mounter {
    std::function<platform::MountOutcome(const platform::ShareAddress&,
                                         const platform::ShareLogin&)>
        mount;
    std::function<QString(const platform::ShareAddress&, const QString&user, const QString&domain)>
        folder, unmount;
    // Tells one mount from a later one of the same share.
    std::function<QString(const QString& folder)> identity;
};
void SetMounterForTest(Mounter mounter); // an empty one: GVfs again

} // namespace OfficeShare
