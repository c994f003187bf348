#pragma once
// Turns between Quarn's own writers of a file, and between kinds of work
// that must not overlap, kept in a folder of this user's alone.

#include <QByteArray>
#include <QString>

namespace platform {

// A folder of this user's that nobody else can write, for locks and sockets
// whose names others could guess: $XDG_RUNTIME_DIR, else the session's
// /run/user/UID, else quarn-UID in the temporary folder (made here). Empty
// when none of them is safe.
QString PrivateRuntimeFolder();
// Its quarn-locks folder (made when missing), where Quarn keeps what its
// locks need; empty when it is not this user's alone.
QString LockFolder();

// The lock file at `path` (made when missing), held alone until the
// descriptor is closed: the descriptor, or -1 with errno EWOULDBLOCK while
// another holds it, another where none can be made. The kernel lets go when
// its holder ends, however it ends, so no lock is ever stale.
int TakeLockFile(const QByteArray& path);

// Serializes Quarn's own writers of one file (Quarn, any number of quarnctl)
// from before their read to after their rename. A lock on the file itself
// would go away with the rename, so the lock is a file in the private
// folder's quarn-locks, named by a hash of the file's path, which the holder
// removes when it lets go; a killed holder's stays there, free to take.
class FileLock {
public:
    // `target` is a host path; links are followed as AtomicWriter follows them,
    // unless `followLinks` is false: then a link there is itself the target.
    explicit FileLock(const QString& target, bool followLinks = true);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // NoError, FileBusy when another writer held it longer than the wait, or
    // NoLockFolder when there is no private folder: the write must not go
    // on. Where a lock cannot be made there (a full folder, a file system
    // without locks) the writer goes on unlocked and held() says so.
    int acquire();
    // Takes it only if nobody holds it now; false where that cannot be told.
    bool tryAcquire();
    bool held() const { return fd_ >= 0; }
    const QString& target() const { return target_; }

    // How long acquire() waits; tests shorten it.
    static void SetWaitMs(int ms);

private:
    QString target_;
    QByteArray path_;
    int fd_ = -1;
};

// A lock that any number may hold together while one at a time may hold it
// alone, for work that must not overlap another kind of work (a copy and a
// switch). It lives beside FileLock's, named by `key`'s SHA-1, and stays
// there: removing it would race a holder waiting for it. Without a private
// folder it is never held, and the work must not go on.
class SharedLock {
public:
    explicit SharedLock(const QString& key);
    ~SharedLock() { unlock(); }
    SharedLock(const SharedLock&) = delete;
    SharedLock& operator=(const SharedLock&) = delete;

    // Holds it with the others, waiting while one holds it alone. NoError,
    // or why it cannot be held (NoLockFolder): then the work must not go on.
    int lockShared();
    // Holds it alone; false, at once, while anyone else holds it or where
    // it cannot be held.
    bool tryLockAlone();
    void unlock();
    bool usable() const { return !path_.isEmpty(); } // false: no private folder

private:
    QByteArray path_;
    int fd_ = -1;
};

} // namespace platform
