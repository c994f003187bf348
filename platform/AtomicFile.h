#pragma once
// Replacing a file so that a crash, a kill or a full disk leaves either the
// old file or the new one, never a torn or empty one: the new content goes to
// a temporary file in the same directory, is flushed to disk and then renamed
// over the target.

#include <QByteArray>
#include <QString>

#include <sys/stat.h>

#include <functional>

namespace platform {

// A folder of this user's that nobody else can write, for locks and sockets
// whose names others could guess: $XDG_RUNTIME_DIR, else the session's
// /run/user/UID, else quarn-UID in the temporary folder (made here). Empty
// when none of them is safe.
QString PrivateRuntimeFolder();

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

class AtomicWriter {
public:
    // `target` is a host path; a symbolic link is followed, so the file it
    // names is replaced and the link stays. Under a held `lock` the temporary
    // file has one fixed name, so a writer killed halfway leaves at most one
    // file behind, which the next writer removes.
    explicit AtomicWriter(QString target, const FileLock* lock = nullptr);
    ~AtomicWriter(); // discards an uncommitted file
    AtomicWriter(const AtomicWriter&) = delete;
    AtomicWriter& operator=(const AtomicWriter&) = delete;

    // Each returns 0 or an error number. `like` gives the permissions (and,
    // for root, the owner) of the file being replaced; a new file gets the
    // umask's.
    int open(const struct stat* like = nullptr);
    int write(const char* data, qint64 size);
    // `stillWanted`, asked just before the rename, may call the write off.
    int commit(const std::function<bool()>& stillWanted = {});
    // The times the file gets once it is in place.
    void keepTimes(const timespec& accessed, const timespec& modified);
    int fd() const { return fd_; } // the open temporary, for copying into

    // Tests reach the path taken where the file system has no unnamed files.
    static void UseNamedTemporariesOnly(bool namedOnly);

private:
    void discard();

    QString tempName(int attempt) const;
    int claim(const QString& name, const std::function<int(const QString&)>& make);

    QString target_;
    bool locked_ = false;
    QString tempName_; // named temporary file, when the file system has no O_TMPFILE
    int fd_ = -1;
    bool keepTimes_ = false;
    timespec times_[2] {};
};

// The whole of `bytes` into `target`, atomically. Returns 0 or an error number.
int ReplaceFile(const QString& target, const QByteArray& bytes, const struct stat* like = nullptr);

// Copies `source` over `target` (host paths) atomically, keeping the
// source's modification time, under the target's FileLock. As `cp` does, a
// new file gets the source's permission bits less the umask, a replaced file
// keeps its own mode and owner, and set-ID bits never come along. A link at
// the target is replaced, never written through. A read-only target is
// refused with PermissionDenied, a target that is the source itself (another
// spelling, through a folder link) with SameFile; both are left alone.
// `progress` hears the bytes done so far and may answer false to cancel
// (Cancelled); either failure leaves the old target as it was and no partial
// file. A copy from or to a share that moves no byte for five seconds gives
// up with DiskNotReady; should the share answer later, the copy is called off
// and its partial file removed. However slow, a copy that keeps moving goes on.
int CopyFileAtomically(const QString& source, const QString& target,
                       const std::function<bool(qint64 done, qint64 total)>& progress = {});

// Removes from `dir` the temporary files of Quarn's writers that were cut
// off (a share gone mid-copy, a kill): those whose target's lock is free and
// that have not changed for a minute, as a writer on another machine, whose
// lock we cannot see, keeps its file changing.
void RemoveLeftovers(const QString& dir);

} // namespace platform
