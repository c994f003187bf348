#include "platform/files/AtomicFile.h"

#include "platform/files/FileLock.h"
#include "platform/files/HostFile.h"
#include "platform/win/HostError.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

bool gNamedOnly = false;

QString TempNameBeside(const QString& target) {
    const QFileInfo fi(target);
    return fi.path() + QStringLiteral("/.") + fi.fileName() + QStringLiteral(".quarn-") +
           QString::number(::getpid()) + u'-' +
           QString::number(QRandomGenerator::global()->generate(), 36) + QStringLiteral(".tmp");
}

int SyncDirectory(const QString& dir) {
    const int dfd = ::open(Encoded(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd < 0)
        return NoError; // the rename has happened; nothing to undo
    const int rc = ::fsync(dfd);
    const int err = errno;
    ::close(dfd);
    return rc == 0 || err == EINVAL ? NoError : ErrorFromErrno(err);
}

} // namespace

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
        ::unlink(Encoded(tempName_).constData());
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
    return OnShare(QFileInfo(path).path()) && ::lstat(Encoded(path).constData(), &st) == 0 &&
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
            ::unlink(Encoded(name).constData());
    }
    return ErrorFromErrno(errno, errno == ENOENT);
}

int AtomicWriter::open(const std::optional<FileMode>& like) {
    discard();
    const QString dir = QFileInfo(target_).path();
    onShare_ = OnShare(dir);
    // Made with its mode where the umask lets it be, so that no further
    // call is needed: on a share each is a round trip.
    const unsigned umask = Umask();
    const unsigned mode = like ? like->permissions & 07777 : 0666 & ~umask;
    const mode_t made = mode & 0777;
    // An unnamed file is named through /proc at commit; without /proc, or
    // where the file system cannot make one, a named temporary stands in.
    static const bool procFds = ::access("/proc/self/fd", X_OK) == 0;
    const bool unnamed = procFds && !gNamedOnly;
    fd_ = unnamed ? ::open(Encoded(dir).constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, made) : -1;
    int err = errno;
    if (fd_ < 0 && (!unnamed || err == EOPNOTSUPP || err == EISDIR || err == EINVAL)) {
        err = claim(tempName(0), [this, made](const QString& name) {
            fd_ = ::open(Encoded(name).constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, made);
            return fd_ < 0 ? -1 : 0;
        });
        if (err)
            return err;
    } else if (fd_ < 0) {
        return ErrorFromErrno(err, err == ENOENT);
    }
    if (like && ::geteuid() == 0 && (like->owner != -1 || like->group != -1))
        (void)!::fchown(fd_, static_cast<uid_t>(like->owner), static_cast<gid_t>(like->group));
    if ((made & ~umask) != mode)
        (void)::fchmod(fd_, mode);
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
                return ::linkat(AT_FDCWD, self.constData(), AT_FDCWD, Encoded(name).constData(),
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
    // Set aside by a rename, the old file must come back should the new one
    // not take its place: the name never stands empty after a failure.
    bool renamedAside = false;
    if (!keepOld_.isEmpty() && !onlyNew_) { // a file that must be new replaces none
        const QByteArray from = Encoded(target_), to = Encoded(keepOld_);
        struct stat st {};
        if (::lstat(from.constData(), &st) == 0 && S_ISREG(st.st_mode) &&
            ::link(from.constData(), to.constData()) != 0) {
            struct stat there {};
            const bool free = errno != EEXIST && ::lstat(to.constData(), &there) != 0;
            if (!free || ::rename(from.constData(), to.constData()) != 0) {
                const int err = free ? ErrorFromErrno(errno) : int(PathFileAccessError);
                discard();
                return err;
            }
            renamedAside = true;
        }
    }
    // Only where nothing has the name: in one step where the file system
    // refuses to replace (GVfs's view passes that on to the server), else
    // by a look just before the rename.
    const QByteArray from = Encoded(tempName_), to = Encoded(target_);
    int rc = onlyNew_ ? ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(),
                                    RENAME_NOREPLACE)
                      : -1;
    if (onlyNew_ && rc != 0 && (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
        struct stat st {};
        if (::lstat(to.constData(), &st) == 0)
            errno = EEXIST;
        else
            rc = ::rename(from.constData(), to.constData());
    } else if (!onlyNew_) {
        rc = ::rename(from.constData(), to.constData());
    }
    if (rc != 0) {
        const int err = errno == EEXIST && onlyNew_ ? int(TargetChanged) : ErrorFromErrno(errno);
        if (renamedAside)
            (void)::rename(Encoded(keepOld_).constData(), Encoded(target_).constData());
        discard();
        return err;
    }
    tempName_.clear();
    return afterRename();
}

int AtomicWriter::afterRename() {
    if (keepTimes_) {
        // By path, once in place: a share may drop a time set on the open
        // file, or at its close. Checked, and set once more if it did not take.
        const QByteArray target = Encoded(target_);
        const timespec times[2] = {{static_cast<time_t>(times_[0].seconds), times_[0].nanoseconds},
                                   {static_cast<time_t>(times_[1].seconds), times_[1].nanoseconds}};
        for (int attempt = 0; attempt < 2; ++attempt) {
            struct stat st {};
            if (::utimensat(AT_FDCWD, target.constData(), times, AT_SYMLINK_NOFOLLOW) != 0 ||
                (::lstat(target.constData(), &st) == 0 && st.st_mtim.tv_sec == times[1].tv_sec))
                break;
        }
    }
    // A share's server makes the rename last; a FUSE client there lists the
    // whole folder to open it.
    return onShare_ ? NoError : SyncDirectory(QFileInfo(target_).path());
}

void AtomicWriter::keepTimes(FileTime accessed, FileTime modified) {
    times_[0] = accessed;
    times_[1] = modified;
    keepTimes_ = true;
}

int ReplaceFile(const QString& target, const QByteArray& bytes,
                const std::optional<FileMode>& like) {
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

void RemoveLeftovers(const QString& dir) {
    // ".NAME.quarn.tmp" under the lock, ".NAME.quarn-PID-RAND.tmp" without
    // it; nothing else, so a user's own ".tmp" files stay.
    // Never destroyed: a copy's thread may still run this as the program ends.
    static const auto& temporary =
        *new QRegularExpression(QStringLiteral(R"(^\.(.+)\.quarn(-[0-9]+-[0-9a-z]+)?\.tmp$)"));
    const auto aMinuteAgo = QDateTime::currentDateTime().addSecs(-60);
    const QDir folder(dir);
    for (const QString& name :
         folder.entryList({QStringLiteral(".*.tmp")}, QDir::Files | QDir::Hidden | QDir::System)) {
        const auto match = temporary.match(name);
        const QFileInfo fi(folder.filePath(name));
        if (!match.hasMatch() || fi.isSymLink() || fi.lastModified() > aMinuteAgo)
            continue;
        FileLock lock(dir + u'/' + match.captured(1), false);
        if (lock.tryAcquire())
            ::unlink(Encoded(fi.filePath()).constData());
    }
}

} // namespace platform
