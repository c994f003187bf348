#include "platform/AtomicFile.h"

#include "platform/HostError.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace platform {
namespace {

bool gNamedOnly = false;

QByteArray Enc(const QString& s) {
    return QFile::encodeName(s);
}

// Read where the kernel shows it: asking umask() for it changes it for a
// moment, for every thread.
mode_t Umask() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly))
        for (QByteArray line; !(line = status.readLine()).isEmpty();)
            if (line.startsWith("Umask:"))
                return static_cast<mode_t>(line.mid(6).trimmed().toUInt(nullptr, 8));
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}

mode_t NewFileMode() {
    return 0666 & ~Umask();
}

QString TempNameBeside(const QString& target) {
    const QFileInfo fi(target);
    return fi.path() + QStringLiteral("/.") + fi.fileName() + QStringLiteral(".quarn-") +
           QString::number(::getpid()) + u'-' +
           QString::number(QRandomGenerator::global()->generate(), 36) + QStringLiteral(".tmp");
}

int SyncDirectory(const QString& dir) {
    const int dfd = ::open(Enc(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd < 0)
        return NoError; // the rename has happened; nothing to undo
    const int rc = ::fsync(dfd);
    const int err = errno;
    ::close(dfd);
    return rc == 0 || err == EINVAL ? NoError : ErrorFromErrno(err);
}

// The file a chain of symbolic links ends in, even one that does not exist
// yet, so that replacing it keeps the links.
QString FollowLinks(QString path) {
    for (int hops = 0; hops < 40; ++hops) {
        char buf[PATH_MAX];
        const ssize_t n = ::readlink(Enc(path).constData(), buf, sizeof buf - 1);
        if (n < 0)
            break;
        const QString target = QFile::decodeName(QByteArray(buf, n));
        path = target.startsWith(u'/') ? target : QFileInfo(path).path() + u'/' + target;
    }
    char resolved[PATH_MAX];
    return ::realpath(Enc(path).constData(), resolved) ? QFile::decodeName(resolved) : path;
}

// The name itself, its folder resolved: a link there stays a link.
QString InFolderResolved(const QString& path) {
    const QFileInfo fi(path);
    char resolved[PATH_MAX];
    return ::realpath(Enc(fi.path()).constData(), resolved)
               ? QFile::decodeName(resolved) + u'/' + fi.fileName()
               : path;
}

int gLockWaitMs = 5000;

// A share (SMB, NFS, a FUSE client such as GVfs or smbnetfs), where a copy
// must show that bytes still move. Told by the folder's device in the mount
// table: a FUSE client may take as long to answer statfs as to list a folder.
bool OnShare(const QString& dir) {
    struct stat st {};
    QFile mounts(QStringLiteral("/proc/self/mountinfo"));
    if (::stat(Enc(dir).constData(), &st) != 0 || !mounts.open(QIODevice::ReadOnly))
        return false;
    const QByteArray device =
        QByteArray::number(major(st.st_dev)) + ':' + QByteArray::number(minor(st.st_dev));
    for (QByteArray line; !(line = mounts.readLine()).isEmpty();) {
        const QList<QByteArray> fields = line.split(' ');
        const qsizetype dash = fields.indexOf("-");
        if (fields.size() < 3 || fields[2] != device || dash < 0 || dash + 1 >= fields.size())
            continue;
        const QByteArray& type = fields[dash + 1];
        return type.startsWith("fuse") || type.startsWith("nfs") || type == "cifs" ||
               type == "smb3" || type == "smbfs";
    }
    return false;
}

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
    const QString base = PrivateRuntimeFolder();
    if (base.isEmpty())
        return {};
    const QByteArray dir = Enc(base) + "/quarn-locks";
    ::mkdir(dir.constData(), 0700);
    if (!OursAlone(dir))
        return {};
    return QFile::decodeName(dir) + u'/' +
           QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex()) +
           QStringLiteral(".lock");
}

} // namespace

QString PrivateRuntimeFolder() {
    const QByteArray uid = QByteArray::number(::geteuid());
    if (const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        runtime.startsWith('/') && OursAlone(runtime))
        return QFile::decodeName(runtime);
    if (OursAlone("/run/user/" + uid))
        return QStringLiteral("/run/user/") + QString::fromLatin1(uid);
    const QByteArray own = Enc(QDir::tempPath()) + "/quarn-" + uid;
    ::mkdir(own.constData(), 0700);
    return OursAlone(own) ? QFile::decodeName(own) : QString();
}

FileLock::FileLock(const QString& target, bool followLinks)
    : target_(followLinks ? FollowLinks(target) : InFolderResolved(target)) {
    // One name for every spelling of the file, even one not made yet.
    path_ = Enc(LockPath(Enc(InFolderResolved(target_))));
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

// The lock file at `path`, held alone: its descriptor, or -1 with errno
// EWOULDBLOCK while another holds it, another where none can be made.
int TakeLockFile(const QByteArray& path) {
    for (;;) {
        const int fd = OpenLockFile(path);
        if (fd < 0)
            return -1;
        struct stat held {}, named {};
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

} // namespace

SharedLock::SharedLock(const QString& key) : path_(Enc(LockPath(key.toUtf8()))) {}

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

void AtomicWriter::UseNamedTemporariesOnly(bool namedOnly) {
    gNamedOnly = namedOnly;
}

AtomicWriter::AtomicWriter(QString target, const FileLock* lock)
    : target_(lock ? lock->target() : FollowLinks(std::move(target))),
      locked_(lock && lock->held()) {}

AtomicWriter::~AtomicWriter() {
    discard();
}

void AtomicWriter::discard() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    if (!tempName_.isEmpty())
        ::unlink(Enc(tempName_).constData());
    tempName_.clear();
}

QString AtomicWriter::tempName(int attempt) const {
    if (!locked_ || attempt > 1)
        return TempNameBeside(target_);
    const QFileInfo fi(target_);
    return fi.path() + QStringLiteral("/.") + fi.fileName() + QStringLiteral(".quarn.tmp");
}

namespace {

// A file under the fixed name that another computer may be writing: on a
// share, whose locks are not seen here, one changed within the minute.
bool MayBeAnothersCopy(const QString& path) {
    struct stat st {};
    return OnShare(QFileInfo(path).path()) && ::lstat(Enc(path).constData(), &st) == 0 &&
           S_ISREG(st.st_mode) && st.st_mtim.tv_sec > ::time(nullptr) - 60;
}

} // namespace

// Gives the temporary its name through `make`. Under the lock the fixed name
// is a dead writer's leftover, so it is removed and taken, unless it may be
// another computer's copy under way.
int AtomicWriter::claim(const QString& name0, const std::function<int(const QString&)>& make) {
    for (int attempt = 0; attempt < 10; ++attempt) {
        const QString name = attempt == 0 ? name0 : tempName(attempt);
        if (make(name) == 0) {
            tempName_ = name;
            return NoError;
        }
        if (errno != EEXIST)
            break;
        if (locked_ && attempt == 0 && !MayBeAnothersCopy(name))
            ::unlink(Enc(name).constData());
    }
    return ErrorFromErrno(errno, errno == ENOENT);
}

int AtomicWriter::open(const struct stat* like) {
    discard();
    const QString dir = QFileInfo(target_).path();
    // An unnamed file is named through /proc at commit; without /proc, or
    // where the file system cannot make one, a named temporary stands in.
    static const bool procFds = ::access("/proc/self/fd", X_OK) == 0;
    const bool unnamed = procFds && !gNamedOnly;
    fd_ = unnamed ? ::open(Enc(dir).constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600) : -1;
    int err = errno;
    if (fd_ < 0 && (!unnamed || err == EOPNOTSUPP || err == EISDIR || err == EINVAL)) {
        err = claim(tempName(0), [this](const QString& name) {
            fd_ = ::open(Enc(name).constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
            return fd_ < 0 ? -1 : 0;
        });
        if (err)
            return err;
    } else if (fd_ < 0) {
        return ErrorFromErrno(err, err == ENOENT);
    }
    if (like) {
        if (::geteuid() == 0)
            (void)!::fchown(fd_, like->st_uid, like->st_gid);
        (void)::fchmod(fd_, like->st_mode & 07777);
    } else {
        (void)::fchmod(fd_, NewFileMode());
    }
    return NoError;
}

int AtomicWriter::write(const char* data, qint64 size) {
    if (fd_ < 0)
        return PathFileAccessError;
    while (size > 0) {
        const ssize_t n = ::write(fd_, data, static_cast<size_t>(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int err = ErrorFromErrno(errno);
            discard();
            return err;
        }
        data += n;
        size -= n;
    }
    return NoError;
}

int AtomicWriter::commit(const std::function<bool()>& stillWanted) {
    if (fd_ < 0)
        return PathFileAccessError;
    if (::fsync(fd_) != 0) {
        const int err = ErrorFromErrno(errno);
        discard();
        return err;
    }
    if (tempName_.isEmpty()) {
        // Give the unnamed file a name beside the target, then rename it over.
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd_);
        if (const int err = claim(tempName(0), [&self](const QString& name) {
                return ::linkat(AT_FDCWD, self.constData(), AT_FDCWD, Enc(name).constData(),
                                AT_SYMLINK_FOLLOW);
            })) {
            discard();
            return err;
        }
    }
    // Closed before the rename: an SMB client refuses to rename an open
    // file, and a share reports a failed write only at the close.
    const int closed = ::close(fd_);
    fd_ = -1;
    if (closed != 0 && errno != EINTR) {
        const int err = ErrorFromErrno(errno);
        discard();
        return err;
    }
    if (stillWanted && !stillWanted()) {
        discard();
        return Cancelled;
    }
    if (::rename(Enc(tempName_).constData(), Enc(target_).constData()) != 0) {
        const int err = ErrorFromErrno(errno);
        discard();
        return err;
    }
    tempName_.clear();
    if (keepTimes_) {
        // By path, once in place: a share may drop a time set on the open
        // file, or at its close. Checked, and set once more if it did not take.
        const QByteArray target = Enc(target_);
        for (int attempt = 0; attempt < 2; ++attempt) {
            struct stat st {};
            if (::utimensat(AT_FDCWD, target.constData(), times_, AT_SYMLINK_NOFOLLOW) != 0 ||
                (::lstat(target.constData(), &st) == 0 && st.st_mtim.tv_sec == times_[1].tv_sec))
                break;
        }
    }
    // A share's server makes the rename last; a FUSE client there lists the
    // whole folder to open it.
    const QString dir = QFileInfo(target_).path();
    return OnShare(dir) ? NoError : SyncDirectory(dir);
}

void AtomicWriter::keepTimes(const timespec& accessed, const timespec& modified) {
    times_[0] = accessed;
    times_[1] = modified;
    keepTimes_ = true;
}

int ReplaceFile(const QString& target, const QByteArray& bytes, const struct stat* like) {
    FileLock lock(target);
    if (int err = lock.acquire())
        return err;
    AtomicWriter w(target, &lock);
    if (int err = w.open(like))
        return err;
    if (int err = w.write(bytes.constData(), bytes.size()))
        return err;
    return w.commit();
}

} // namespace platform

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;
// A copy that moves no byte for this long has met a share that stopped
// answering; the user hears so rather than waiting on it.
constexpr auto kStalled = std::chrono::seconds(5);


// What a copy on its own thread shares with the thread that waits for it.
// Each step waits until the caller has heard of it, so that an answer of
// false stops the copy before its next step, as on one thread.
struct CopyState {
    std::mutex mutex;
    std::condition_variable changed, answered;
    qint64 done = 0, total = 0, heard = 0;
    Clock::time_point lastMove = Clock::now();
    bool bounded = true; // until the copy knows that neither side is a share
    bool copied = false, finished = false; // finished: leftovers cleared too
    int result = NoError;
    std::atomic<bool> stop{false};
    // Set when the copy runs on the caller's own thread: it is told directly.
    std::function<bool(qint64, qint64)> direct;

    // False when the copy is to stop.
    bool moved(qint64 d, qint64 t) {
        if (direct)
            return direct(d, t);
        std::unique_lock lock(mutex);
        done = d;
        total = t;
        lastMove = Clock::now();
        changed.notify_all();
        answered.wait(lock, [&] { return heard >= d || stop; });
        return !stop;
    }
};

int CopyHere(const QString& source, const QString& target, CopyState& state) {
    const bool share = OnShare(QFileInfo(source).path()) || OnShare(QFileInfo(target).path());
    {
        std::lock_guard lock(state.mutex);
        state.bounded = share;
        state.lastMove = Clock::now();
    }
    const int in = ::open(Enc(source).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (in < 0) {
        const int err = errno;
        return ErrorFromErrno(err, err == ENOENT && !QFileInfo(QFileInfo(source).path()).isDir());
    }
    const auto closeIn = qScopeGuard([in] { ::close(in); });
    struct stat from {};
    if (::fstat(in, &from) != 0)
        return ErrorFromErrno(errno);
    if (!S_ISREG(from.st_mode))
        return FileNotFound;

    // The name itself: a link planted there is replaced, not written through.
    FileLock lock(target, false);
    if (int err = lock.acquire())
        return err;
    struct stat to {};
    const bool replaced = ::lstat(Enc(lock.target()).constData(), &to) == 0 && S_ISREG(to.st_mode);
    if (replaced && to.st_dev == from.st_dev && to.st_ino == from.st_ino)
        return SameFile; // a plain copy would empty it
    if (replaced && (to.st_mode & 0222) == 0)
        return PermissionDenied; // read-only, as the Windows attribute shows on a share
    struct stat like {};
    if (replaced) {
        like = to;
    } else {
        like.st_mode = from.st_mode & ~Umask();
        like.st_uid = static_cast<uid_t>(-1);
        like.st_gid = static_cast<gid_t>(-1);
    }
    like.st_mode &= 0777;
    AtomicWriter out(target, &lock);
    if (int err = out.open(&like))
        return err;
    // The kernel copies without a trip through user space where it can. On
    // a share each step is flushed and sized to take about half a second,
    // so that a slow link shows as a copy that moves, a server that stops
    // as a copy that stops, and the last flush is short. The first step is
    // small, as a step that takes five seconds reads as a server that stopped.
    qint64 done = 0;
    bool kernel = true;
    std::vector<char> buffer;
    qint64 step = share ? 4 << 10 : 8 << 20;
    while (done < from.st_size || !kernel) {
        const auto began = Clock::now();
        ssize_t n;
        if (kernel) {
            n = ::copy_file_range(in, nullptr, out.fd(), nullptr, static_cast<size_t>(step), 0);
            if (n < 0 &&
                (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL)) {
                kernel = false;
                continue;
            }
        } else {
            buffer.resize(static_cast<size_t>(share ? step : 1 << 20));
            n = ::read(in, buffer.data(), buffer.size());
            if (n > 0)
                if (int err = out.write(buffer.data(), n))
                    return err;
        }
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return ErrorFromErrno(errno);
        }
        if (n == 0) {
            if (kernel && done < from.st_size) {
                // Some file systems end a kernel copy early: go on by hand.
                kernel = false;
                if (::lseek(in, done, SEEK_SET) < 0)
                    return ErrorFromErrno(errno);
                continue;
            }
            break;
        }
        if (share) {
            if (::fdatasync(out.fd()) != 0 && errno != EINVAL && errno != ENOSYS)
                return ErrorFromErrno(errno);
            // Set by hand: a server may show an open file's time as of its
            // first write, and another machine would take the copy for a
            // leftover a minute on. The time itself, as a FUSE client may
            // not know "now".
            timespec now[2] {};
            ::clock_gettime(CLOCK_REALTIME, &now[0]);
            now[1] = now[0];
            (void)::futimens(out.fd(), now);
            const auto took = Clock::now() - began;
            if (took < std::chrono::milliseconds(250))
                step = std::min<qint64>(step * 2, 8 << 20);
            else if (took > std::chrono::seconds(1))
                step = std::max<qint64>(step / 2, 4 << 10);
        }
        done += n;
        if (!state.moved(done, from.st_size))
            return Cancelled;
    }
    if (done != from.st_size)
        return DeviceIOError; // the source changed under us: no short copy passes
    out.keepTimes(from.st_atim, from.st_mtim);
    return out.commit([&state] { return !state.stop; });
}

} // namespace

void RemoveLeftovers(const QString& dir) {
    // ".NAME.quarn.tmp" under the lock, ".NAME.quarn-PID-RAND.tmp" without
    // it; nothing else, so a user's own ".tmp" files stay.
    // Never destroyed: a copy's thread may still run this as the program ends.
    static const auto& temporary = *new QRegularExpression(
        QStringLiteral(R"(^\.(.+)\.quarn(-[0-9]+-[0-9a-z]+)?\.tmp$)"));
    const auto aMinuteAgo = QDateTime::currentDateTime().addSecs(-60);
    const QDir folder(dir);
    for (const QString& name : folder.entryList({QStringLiteral(".*.tmp")},
                                                QDir::Files | QDir::Hidden | QDir::System)) {
        const auto match = temporary.match(name);
        const QFileInfo fi(folder.filePath(name));
        if (!match.hasMatch() || fi.isSymLink() || fi.lastModified() > aMinuteAgo)
            continue;
        FileLock lock(dir + u'/' + match.captured(1), false);
        if (lock.tryAcquire())
            ::unlink(Enc(fi.filePath()).constData());
    }
}

int CopyFileAtomically(const QString& source, const QString& target,
                       const std::function<bool(qint64, qint64)>& progress) {
    // On a thread of its own: a share that stops answering holds that
    // thread, not the caller, who hears of it within kStalled.
    auto state = std::make_shared<CopyState>();
    const auto run = [state, source, target] {
        const int result = CopyHere(source, target, *state);
        {
            std::lock_guard lock(state->mutex);
            state->copied = true;
            state->result = result;
            state->lastMove = Clock::now();
        }
        // Then what cut-off copies left in that folder: a folder slow to list
        // delays the answer by kStalled at most, and never fails the copy.
        RemoveLeftovers(QFileInfo(target).path());
        {
            std::lock_guard lock(state->mutex);
            state->finished = true;
        }
        state->changed.notify_all();
    };
    try {
        std::thread(run).detach();
    } catch (const std::system_error&) {
        // No thread to spare: copy here, unbounded, hearing each step itself.
        state->direct = [&progress](qint64 done, qint64 total) {
            return !progress || progress(done, total);
        };
        run();
        return state->result;
    }

    std::unique_lock lock(state->mutex);
    for (;;) {
        state->changed.wait_for(lock, std::chrono::milliseconds(100),
                                [&] { return state->finished || state->done > state->heard; });
        if (state->finished)
            return state->result;
        if (state->done > state->heard) {
            const qint64 done = state->done, total = state->total;
            lock.unlock();
            const bool goOn = !progress || progress(done, total);
            lock.lock();
            state->stop = state->stop || !goOn;
            state->heard = done;
            state->answered.notify_all();
        } else if (state->bounded && Clock::now() - state->lastMove > kStalled) {
            if (state->copied)
                return state->result;
            state->stop = true; // if it ever moves again, it removes what it made
            state->answered.notify_all();
            return DiskNotReady;
        }
    }
}

} // namespace platform
