#pragma once
// A lock on the office share itself, so that two laptops (or a laptop and
// quarnctl) never write one report at once, whatever mounts the share: a
// file created exclusively in the report folder's lock folder, holding who
// took it and when, renewed while the work goes on. The lock of FileLock is
// this computer's alone; this one is seen by every computer on the share.

#include <QDateTime>
#include <QString>

namespace platform {

struct LockHolder {
    QString user, computer;
    qint64 pid = 0;
    QString machine;   // this boot of the holder's machine (MachineId())
    QDateTime since;   // UTC, when taken
    QDateTime renewed; // UTC, the holder's last renewal
    qint64 count = 0;  // renewals so far: a live lock changes at each
};

// This computer's name as locks and kept copies give it (the host name).
QString ComputerName();
// This boot of this machine and its process namespace: a pid means
// something only where these agree (two laptops may share a host name).
QString MachineId();
// The user's login name.
QString UserName();

class ShareLock {
public:
    // `folder` is the host path of the share's report folder; the lock is
    // `folder`/.quarn-locks/`name`.lock (the folder made when missing).
    // `name` is the report's file name as the share keeps it ("SMITH.RPT").
    ShareLock(const QString& folder, const QString& name);
    ~ShareLock(); // let go when held
    ShareLock(const ShareLock&) = delete;
    ShareLock& operator=(const ShareLock&) = delete;

    enum class Take {
        Taken,       // ours now
        HeldByOther, // holder() says whose; stale() whether it may be broken
        Failed,      // the lock folder cannot be written: error() is why
    };
    // Creates the lock file exclusively (never waits). A lock of this very
    // computer's whose process is gone is taken over at once. A lock file
    // that is not a whole lock (still being written, or a link) counts as
    // held by nobody known since its file's time.
    Take take();
    // Who holds it, as read when take() found it held.
    const LockHolder& holder() const { return holder_; }
    // This computer has seen it unchanged for StaleSeconds() by its own
    // clock (in this process or an earlier one of this boot): it may be
    // broken. Its own times are another laptop's clock's and say nothing:
    // a lock seen for the first time is never stale.
    bool stale() const;
    // Removes the stale lock seen by take(), only if it is still that very
    // lock, then takes it. Taken, or what stands in the way now.
    Take breakStale();
    // Writes the time of renewal; at most once every twelfth of
    // StaleSeconds() (ten seconds) whatever the calls. Held locks are renewed by the copy's
    // progress. False when the lock is no longer ours (broken and taken by another meanwhile):
    // held() is false then, and the work must stop.
    bool renew();
    // Removes the lock only while it still holds our text. Renewing and
    // letting go give up on a share that does not answer within
    // AnswerBound() (platform/win/BoundedAsk.h): the lock stays then.
    void release();
    bool held() const { return held_; }
    int error() const { return error_; }

    // A lock not renewed for this long is stale: far longer than a copy may
    // go without moving a byte. Tests shorten it.
    static int StaleSeconds();
    static void SetStaleSecondsForTest(int seconds);

private:
    enum class Aside { Removed, Other, Failed };
    // Moves the lock seen by take() out of the way and removes it if it is
    // still that lock; another's goes back.
    Aside setAside();
    Take failed(int error);
    int makeFolder(); // the lock folder, with the report folder's permissions
    // Remembers the lock as take() found it at the path.
    void see(const QByteArray& text, const QDateTime& mtime);

    QString dir_, path_;
    bool nameOk_ = false;
    LockHolder holder_;
    QByteArray ownText_, seenText_, seenDigest_;
    qint64 firstSeenMs_ = 0;
    bool seen_ = false; // take() found it held: holder_ and seenText_ say by whom
    bool held_ = false;
    int error_ = 0;
    qint64 lastRenewMs_ = 0;
    qint64 writtenMs_ = 0; // when our text last went onto the share
};

} // namespace platform
