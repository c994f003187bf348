#include "platform/files/FileLock.h"

#include "platform/files/HostFile.h"
#include "platform/win/HostError.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace platform {
namespace {

int gLockWaitMs = 5000;

// A folder of ours that nobody else can write: not a link, not another's.
bool OursAlone(const QByteArray& dir) {
    struct stat st {};
    return ::lstat(dir.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & 022) == 0;
}

// Where the locks live, by a hash of what they guard: in the private
// folder, never beside the file, so a killed holder leaves nothing in the
// suite's folders (and a share need not remove an open file).
QString LockPath(const QByteArray& key) {
    const QString dir = LockFolder();
    if (dir.isEmpty())
        return {};
    return dir + u'/' +
           QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex()) +
           QStringLiteral(".lock");
}

} // namespace

QString LockFolder() {
    const QString base = PrivateRuntimeFolder();
    if (base.isEmpty())
        return {};
    const QByteArray dir = Encoded(base) + "/quarn-locks";
    ::mkdir(dir.constData(), 0700);
    return OursAlone(dir) ? QFile::decodeName(dir) : QString();
}

QString PrivateRuntimeFolder() {
    const QByteArray uid = QByteArray::number(::geteuid());
    if (const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        runtime.startsWith('/') && OursAlone(runtime))
        return QFile::decodeName(runtime);
    if (OursAlone("/run/user/" + uid))
        return QStringLiteral("/run/user/") + QString::fromLatin1(uid);
    const QByteArray own = Encoded(QDir::tempPath()) + "/quarn-" + uid;
    ::mkdir(own.constData(), 0700);
    return OursAlone(own) ? QFile::decodeName(own) : QString();
}

FileLock::FileLock(const QString& target, bool followLinks)
    : target_(followLinks ? FollowLinks(target) : InFolderResolved(target)) {
    // One name for every spelling of the file, even one not made yet.
    path_ = Encoded(LockPath(Encoded(InFolderResolved(target_))));
}

FileLock::~FileLock() {
    if (fd_ < 0)
        return;
    // Removed while still held: a writer waiting on it finds it gone and
    // makes a new one, so nothing stays behind.
    ::unlink(path_.constData());
    ::close(fd_);
}

void FileLock::SetWaitMs(int ms) {
    gLockWaitMs = ms;
}

namespace {

// An open lock file, or -1 where none can be made.
int OpenLockFile(const QByteArray& path) {
    if (path.isEmpty())
        return -1;
    return ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
}

} // namespace

int TakeLockFile(const QByteArray& path) {
    for (;;) {
        const int fd = OpenLockFile(path);
        if (fd < 0)
            return -1;
        struct stat held {};
        struct stat named {};
        const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        const int err = errno;
        if (locked && ::fstat(fd, &held) == 0 && ::stat(path.constData(), &named) == 0 &&
            held.st_dev == named.st_dev && held.st_ino == named.st_ino)
            return fd;
        ::close(fd);
        if (!locked) {
            errno = err;
            return -1;
        }
        // Its holder removed it as we waited: the name is free for a new one.
    }
}

SharedLock::SharedLock(const QString& key) : path_(Encoded(LockPath(key.toUtf8()))) {}

int SharedLock::lockShared() {
    unlock();
    if (path_.isEmpty())
        return NoLockFolder;
    fd_ = OpenLockFile(path_);
    int rc = fd_ < 0 ? -1 : 0;
    while (fd_ >= 0 && (rc = ::flock(fd_, LOCK_SH)) != 0 && errno == EINTR) {
    }
    if (rc == 0)
        return NoError;
    const int err = errno;
    unlock();
    return ErrorFromErrno(err);
}

bool SharedLock::tryLockAlone() {
    unlock();
    fd_ = OpenLockFile(path_);
    if (fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) == 0)
        return true;
    unlock();
    return false;
}

void SharedLock::unlock() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

int FileLock::acquire() {
    if (path_.isEmpty())
        return NoLockFolder; // unlocked, another user could slip a writer in
    QElapsedTimer clock;
    clock.start();
    int pauseMs = 1;
    while ((fd_ = TakeLockFile(path_)) < 0) {
        if (errno != EWOULDBLOCK && errno != EINTR)
            return NoError; // our folder is full, or has no locks: the write goes on
        if (clock.elapsed() >= gLockWaitMs)
            return FileBusy;
        ::usleep(pauseMs * 1000);
        pauseMs = std::min(pauseMs * 2, 50);
    }
    return NoError;
}

bool FileLock::tryAcquire() {
    if (fd_ < 0 && !path_.isEmpty())
        fd_ = TakeLockFile(path_);
    return fd_ >= 0;
}

} // namespace platform
