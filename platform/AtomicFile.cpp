#include "AtomicFile.h"

#include "HostError.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QScopeGuard>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace platform {
namespace {

bool gNamedOnly = false;

QByteArray Enc(const QString& s) {
    return QFile::encodeName(s);
}

mode_t NewFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

QString TempNameBeside(const QString& target) {
    const QFileInfo fi(target);
    return fi.path() + QStringLiteral("/.") + fi.fileName() + u'.' + QString::number(::getpid()) +
           u'.' + QString::number(QRandomGenerator::global()->generate(), 36) +
           QStringLiteral(".tmp");
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

} // namespace

void AtomicWriter::UseNamedTemporariesOnly(bool namedOnly) {
    gNamedOnly = namedOnly;
}

AtomicWriter::AtomicWriter(QString target) : target_(FollowLinks(std::move(target))) {}

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
        tempName_ = TempNameBeside(target_);
        fd_ = ::open(Enc(tempName_).constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
        err = errno;
        if (fd_ < 0)
            tempName_.clear();
    }
    if (fd_ < 0)
        return ErrorFromErrno(err, err == ENOENT);
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

int AtomicWriter::commit() {
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
        for (int attempt = 0; tempName_.isEmpty(); ++attempt) {
            const QString name = TempNameBeside(target_);
            if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, Enc(name).constData(),
                         AT_SYMLINK_FOLLOW) == 0) {
                tempName_ = name;
            } else if (errno != EEXIST || attempt > 8) {
                const int err = ErrorFromErrno(errno);
                discard();
                return err;
            }
        }
    }
    if (::rename(Enc(tempName_).constData(), Enc(target_).constData()) != 0) {
        const int err = ErrorFromErrno(errno);
        discard();
        return err;
    }
    tempName_.clear();
    ::close(fd_);
    fd_ = -1;
    return SyncDirectory(QFileInfo(target_).path());
}

int ReplaceFile(const QString& target, const QByteArray& bytes, const struct stat* like) {
    AtomicWriter w(target);
    if (int err = w.open(like))
        return err;
    if (int err = w.write(bytes.constData(), bytes.size()))
        return err;
    return w.commit();
}

} // namespace platform

namespace platform {

int CopyFileAtomically(const QString& source, const QString& target,
                       const std::function<bool(qint64, qint64)>& progress) {
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
    struct stat to {};
    if (::stat(Enc(target).constData(), &to) == 0 && to.st_dev == from.st_dev &&
        to.st_ino == from.st_ino)
        return SameFile; // a plain copy would empty it

    AtomicWriter out(target);
    if (int err = out.open(&from))
        return err;
    // The kernel copies without a trip through user space where it can.
    qint64 done = 0;
    bool kernel = true;
    std::vector<char> buffer;
    while (done < from.st_size || !kernel) {
        ssize_t n;
        if (kernel) {
            n = ::copy_file_range(in, nullptr, out.fd(), nullptr, 8 << 20, 0);
            if (n < 0 &&
                (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL)) {
                kernel = false;
                buffer.resize(1 << 20);
                continue;
            }
        } else {
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
                buffer.resize(1 << 20);
                if (::lseek(in, done, SEEK_SET) < 0)
                    return ErrorFromErrno(errno);
                continue;
            }
            break;
        }
        done += n;
        if (progress && !progress(done, from.st_size))
            return Cancelled;
    }
    if (done != from.st_size)
        return DeviceIOError; // the source changed under us: no short copy passes
    const timespec times[2] = {from.st_atim, from.st_mtim};
    ::futimens(out.fd(), times);
    return out.commit();
}

} // namespace platform
