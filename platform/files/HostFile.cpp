#include "platform/files/HostFile.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <chrono>
#include <mutex>

namespace platform {

QByteArray Encoded(const QString& path) {
    return QFile::encodeName(path);
}

// Read where the kernel shows it: asking umask() for it changes it for a
// moment, for every thread.
unsigned Umask() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly))
        for (QByteArray line; !(line = status.readLine()).isEmpty();)
            if (line.startsWith("Umask:"))
                return line.mid(6).trimmed().toUInt(nullptr, 8);
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}

unsigned NewFileMode() {
    return 0666 & ~Umask();
}

QString FollowLinks(QString path) {
    for (int hops = 0; hops < 40; ++hops) {
        char buf[PATH_MAX];
        const ssize_t n = ::readlink(Encoded(path).constData(), buf, sizeof buf - 1);
        if (n < 0)
            break;
        const QString target = QFile::decodeName(QByteArray(buf, n));
        path = target.startsWith(u'/') ? target : QFileInfo(path).path() + u'/' + target;
    }
    char resolved[PATH_MAX];
    return ::realpath(Encoded(path).constData(), resolved) ? QFile::decodeName(resolved) : path;
}

QString InFolderResolved(const QString& path) {
    const QFileInfo fi(path);
    char resolved[PATH_MAX];
    return ::realpath(Encoded(fi.path()).constData(), resolved)
               ? QFile::decodeName(resolved) + u'/' + fi.fileName()
               : path;
}

// Told by the folder's device in the mount table: a FUSE client may take as
// long to answer statfs as to list a folder.
namespace {

bool LooksOnShare(const QString& dir) {
    struct stat st {};
    QFile mounts(QStringLiteral("/proc/self/mountinfo"));
    if (::stat(Encoded(dir).constData(), &st) != 0 || !mounts.open(QIODevice::ReadOnly))
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

} // namespace

bool OnShare(const QString& dir) {
    // Asked before and after each file a copy writes: on a share, the look
    // at a folder just written in is a round trip to the server. A mount
    // made or taken away is seen within the second.
    using Clock = std::chrono::steady_clock;
    static auto& mutex = *new std::mutex; // never destroyed: copies may outlive the statics
    static auto& seen = *new QHash<QString, std::pair<bool, Clock::time_point>>;
    const auto now = Clock::now();
    {
        const std::lock_guard hold(mutex);
        if (const auto it = seen.constFind(dir);
            it != seen.cend() && now - it->second < std::chrono::seconds(1))
            return it->first;
    }
    const bool share = LooksOnShare(dir);
    const std::lock_guard hold(mutex);
    if (seen.size() > 64)
        seen.clear();
    seen.insert(dir, {share, now});
    return share;
}
int WriteAllAt(int fd, const QByteArray& bytes, long long at) {
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n =
            ::pwrite(fd, bytes.constData() + done, size_t(bytes.size() - done), off_t(at + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        done += n;
    }
    return 0;
}

} // namespace platform
