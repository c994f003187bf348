#pragma once
// The office share mounted the desktop's way: through GIO, so that GVfs holds
// the mount the file manager shows and programs reach it through GVfs's FUSE
// folder. A password to remember is handed to GVfs, which keeps it in the
// desktop's keyring (the Secret Service) and finds it there the next time;
// Quarn never holds it in a file.

#include <QString>

#include <optional>

namespace platform {

struct ShareAddress {
    QString server, share;
    QString unc() const; // \\server\share
    bool operator==(const ShareAddress&) const = default;
};

// "\\server\share", "//server/share" or "smb://server/share", a trailing
// separator allowed; nullopt for anything else, `why` saying what is wrong.
std::optional<ShareAddress> ParseShareAddress(const QString& text, QString* why = nullptr);

struct ShareLogin {
    QString user, domain; // no user: as a guest
    QString password;     // none: the keyring's, if GVfs has one for this user
    bool remember = false;
};

enum class MountFailure {
    None,
    WrongPassword,   // the server turned the login down
    PasswordNeeded,  // no password given and none remembered
    UnknownServer,   // the name resolves to no address
    NoSuchShare,     // the server has no share of that name
    ProtocolRefused, // the server refused or broke off the connection
    NoAnswer,        // nothing within the bound
    NoFuseFolder,    // mounted, but programs cannot reach it: no GVfs FUSE folder
    NoGvfs,          // GIO cannot mount SMB shares here
    NoSmbBackend,    // GVfs answers, but without its SMB backend
    Other,           // see `detail`
};

// What the drive stands on: GVfs's FUSE view (reads, writes new files, but
// cannot save over one), Quarn's own drive mount, or the kernel's.
enum class MountKind { Gvfs, Drive, Kernel };

struct MountOutcome {
    MountFailure failure = MountFailure::None;
    QString folder;           // the share's host folder for the drive
    bool mountedHere = false; // false when it was mounted already
    QString detail;           // GVfs's own words, for Other
    qint64 ms = 0;            // how long it took
    MountKind kind = MountKind::Gvfs;
};

// Mounts the share, or finds it mounted, within `boundMs`. Never asks anyone:
// a login without a password takes the keyring's; a mount that fails, or
// that programs could not reach, is left unmade. The kernel's mount where
// the system has one; else GVfs checks the login (and keeps a password to
// remember) and the drive gets a mount of its own (DriveMount), GVfs's
// FUSE view only where that cannot be made.
MountOutcome MountShare(const ShareAddress& share, const ShareLogin& login, int boundMs = 9000);

// The share's host folder for the drive while it is mounted, else "".
QString MountedFolder(const ShareAddress& share, const QString& user, const QString& domain);

// What tells this mount of the folder from any later one (GVfs's name on
// the session bus for the mount's daemon, or the mount's number and device);
// "" when it cannot be told.
QString MountIdentity(const QString& folder);

// "" when the drive's mount of the share is gone (or was not there), else
// why not. A kernel's mount is never Quarn's to unmount.
QString UnmountShare(const ShareAddress& share, const QString& user, const QString& domain,
                     int boundMs = 10000);

} // namespace platform
