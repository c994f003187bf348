#include "platform/files/KeptVersions.h"

#include "platform/files/FileCopy.h"
#include "platform/files/FileLock.h"
#include "platform/files/HostFile.h"
#include "platform/files/ShareLock.h"
#include "platform/win/WinPath.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

const QString kTimeFormat = QStringLiteral("yyyy-MM-dd HHmmss");

QDateTime TimeOf(const timespec& t) {
    return QDateTime::fromMSecsSinceEpoch(qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000);
}

// The stamp's place in a name: before the extension's dot, a leading dot
// being part of the name.
qsizetype ExtensionAt(const QString& fileName) {
    const qsizetype dot = fileName.lastIndexOf(u'.');
    return dot > 0 ? dot : fileName.size();
}

// The versions folder, opened without following a link: -1 and errno when
// it is not there or not a folder of its own.
int OpenVersions(const QString& hostFolder) {
    return ::open(Encoded(VersionsFolder(hostFolder)).constData(),
                  O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// Every kept version in an open versions folder, by the names and what
// the folder says of each.
QList<KeptVersion> ListOpen(int dirFd, const QString& dirPath) {
    QList<KeptVersion> found;
    const int listFd = ::dup(dirFd);
    DIR* dir = listFd < 0 ? nullptr : ::fdopendir(listFd);
    if (!dir) {
        if (listFd >= 0)
            ::close(listFd);
        return found;
    }
    const auto closeDir = qScopeGuard([dir] { ::closedir(dir); });
    while (const dirent* entry = ::readdir(dir)) {
        const QString name = QFile::decodeName(entry->d_name);
        auto kept = ParseKeptName(name);
        struct stat st {};
        if (!kept || ::fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(st.st_mode))
            continue;
        kept->path = dirPath + u'/' + name;
        kept->size = st.st_size;
        kept->modified = TimeOf(st.st_mtim);
        kept->changed = TimeOf(st.st_ctim);
        found << *kept;
    }
    return found;
}

} // namespace

QString VersionsFolderName() {
    return QStringLiteral(".quarn-versions");
}

QString VersionsFolder(const QString& hostFolder) {
    return hostFolder + u'/' + VersionsFolderName();
}

QString VersionStamp(const QString& computer, const QDateTime& at) {
    QString who;
    for (const QChar c : computer.toUpper())
        if (c.unicode() >= 32 && !QStringView(u"\\/:*?\"<>|()").contains(c))
            who += c;
    who = who.simplified();
    if (who.isEmpty())
        who = QStringLiteral("LAPTOP");
    return u'(' + who + u' ' + at.toString(kTimeFormat) + u')';
}

QString VersionStamp() {
    return VersionStamp(ComputerName(), QDateTime::currentDateTime());
}

QString KeptVersionName(const QString& fileName, const QString& stamp, int n) {
    const qsizetype at = ExtensionAt(fileName);
    const QString numbered = n > 1 ? stamp.chopped(1) + u' ' + QString::number(n) + u')' : stamp;
    return fileName.left(at) + u' ' + numbered + fileName.mid(at);
}

QString KeptVersion::stamp() const {
    return u'(' + computer + u' ' + keptAt.toString(kTimeFormat) +
           (number > 1 ? u' ' + QString::number(number) : QString()) + u')';
}

QString KeptVersion::stem() const {
    return original.left(ExtensionAt(original));
}

std::optional<KeptVersion> ParseKeptName(const QString& fileName) {
    // The last bracket before the extension is the stamp: a stem may hold
    // brackets of its own, the stamp none.
    static const QRegularExpression kName(QStringLiteral(
        R"(^(.+) \(([^()]+) (\d{4}-\d{2}-\d{2} \d{6})(?: ([1-9]\d{0,3}))?\)(\.[^.]*)?$)"));
    const auto m = kName.match(fileName);
    if (!m.hasMatch())
        return std::nullopt;
    KeptVersion v;
    v.keptAt = QDateTime::fromString(m.captured(3), kTimeFormat);
    v.computer = m.captured(2);
    v.number = m.hasCaptured(4) && !m.captured(4).isEmpty() ? m.captured(4).toInt() : 1;
    v.original = m.captured(1) + m.captured(5);
    // Only what a keeper writes: a valid time, a computer as stamps give it.
    if (!v.keptAt.isValid() || v.computer != v.computer.simplified() ||
        VersionStamp(v.computer, v.keptAt) != u'(' + v.computer + u' ' + m.captured(3) + u')' ||
        ExtensionAt(v.original) != m.captured(1).size())
        return std::nullopt;
    return v;
}

int KeepPlace(const QString& hostPath, const QString& stamp, QString* keptPath) {
    keptPath->clear();
    const auto parsed = ParseKeptName(QStringLiteral("X ") + stamp);
    if (!parsed || parsed->number != 1 || parsed->stamp() != stamp)
        return InvalidCall;
    const QFileInfo file(hostPath);
    const QString folder = file.absolutePath(), name = file.fileName();
    const QString versions = VersionsFolder(folder);

    // The looks before the copy, under the bound: a share that stopped
    // answering holds a thread of its own, not the caller.
    struct Look {
        int error = NoError;
        bool regular = false;
    };
    auto look = std::make_shared<Look>();
    if (!AskWithinBound(hostPath, [look, hostPath, folder, versions] {
            ProbeHost(hostPath);
            struct stat st {};
            if (::lstat(Encoded(hostPath).constData(), &st) != 0) {
                look->error = errno == ENOENT ? NoError : ErrorFromErrno(errno);
                return;
            }
            look->regular = S_ISREG(st.st_mode);
            if (!look->regular)
                return;
            struct stat parent {};
            if (::stat(Encoded(folder).constData(), &parent) != 0) {
                look->error = ErrorFromErrno(errno);
                return;
            }
            const QByteArray dir = Encoded(versions);
            if (::mkdir(dir.constData(), 0700) == 0) {
                (void)::chmod(dir.constData(), parent.st_mode & 07777);
            } else if (errno != EEXIST) {
                look->error = ErrorFromErrno(errno);
                return;
            }
            struct stat there {};
            if (::lstat(dir.constData(), &there) != 0 || !S_ISDIR(there.st_mode))
                look->error = PathFileAccessError; // a link or a file planted there
        }))
        return DiskNotReady;
    if (look->error != NoError || !look->regular)
        return look->error;

    for (int n = 1; n < 1000; ++n) {
        const QString kept = versions + u'/' + KeptVersionName(name, stamp, n);
        struct stat st {};
        if (::lstat(Encoded(kept).constData(), &st) == 0)
            continue;
        if (errno != ENOENT)
            return ErrorFromErrno(errno);
        *keptPath = kept;
        return NoError;
    }
    return PathFileAccessError;
}

int KeepVersion(const QString& hostPath, const QString& stamp, QString* keptPath) {
    if (keptPath)
        keptPath->clear();
    // Two keepers of this computer never take one name; other computers'
    // names differ by their stamps.
    FileLock claim(
        VersionsFolder(QFileInfo(hostPath).absolutePath()) + QStringLiteral("/.quarn-keep"), false);
    if (const int err = claim.acquire())
        return err;
    QString kept;
    if (const int err = KeepPlace(hostPath, stamp, &kept); err != NoError || kept.isEmpty())
        return err;
    const int err = CopyFileAtomically(hostPath, kept);
    if (err == NoError && keptPath)
        *keptPath = kept;
    // Gone between the look and the copy: nothing was there to keep.
    return err == FileNotFound && !QFileInfo::exists(hostPath) ? NoError : err;
}

Result<QList<KeptVersion>> ListKeptVersions(const QString& hostFolder, const QString& stem) {
    struct Listed {
        QList<KeptVersion> versions;
        int error = NoError;
    };
    auto listed = std::make_shared<Listed>();
    const QString versions = VersionsFolder(hostFolder);
    if (!AskWithinBound(hostFolder, [listed, hostFolder, versions] {
            ProbeHost(versions);
            const int fd = OpenVersions(hostFolder);
            if (fd < 0) {
                listed->error = errno == ENOENT                      ? NoError
                                : errno == ENOTDIR || errno == ELOOP ? PathFileAccessError
                                                                     : ErrorFromErrno(errno);
                return;
            }
            listed->versions = ListOpen(fd, versions);
            ::close(fd);
        }))
        return {{}, DiskNotReady};
    if (listed->error != NoError)
        return {{}, listed->error};
    QList<KeptVersion> found;
    for (const KeptVersion& v : listed->versions)
        if (stem.isEmpty() || v.stem().compare(stem, Qt::CaseInsensitive) == 0)
            found << v;
    std::sort(found.begin(), found.end(), [](const KeptVersion& a, const KeptVersion& b) {
        return a.keptAt != b.keptAt ? a.keptAt > b.keptAt : a.path < b.path;
    });
    return {found};
}

int RestoreVersion(const QString& versionPath, const QString& targetHostPath) {
    struct stat st {};
    if (::lstat(Encoded(versionPath).constData(), &st) != 0)
        return ErrorFromErrno(errno, !QFileInfo(QFileInfo(versionPath).path()).isDir());
    if (!S_ISREG(st.st_mode) || !ParseKeptName(QFileInfo(versionPath).fileName()))
        return PathFileAccessError;
    if (const int err = CopyFileAtomically(versionPath, targetHostPath))
        return err;
    // Given by hand: a FUSE client may not know "now".
    timespec times[2]{};
    times[0].tv_nsec = UTIME_OMIT;
    ::clock_gettime(CLOCK_REALTIME, &times[1]);
    if (::utimensat(AT_FDCWD, Encoded(targetHostPath).constData(), times, AT_SYMLINK_NOFOLLOW) != 0)
        return ErrorFromErrno(errno);
    return NoError;
}

int ExpireVersions(const QString& hostFolder, int days, const QDateTime& now) {
    if (days < 0)
        return 0;
    const QDateTime before = now.addDays(-days);
    auto removed = std::make_shared<std::atomic<int>>(0);
    const QString versions = VersionsFolder(hostFolder);
    (void)AskWithinBound(hostFolder, [removed, hostFolder, versions, before] {
        ProbeHost(versions);
        const int fd = OpenVersions(hostFolder);
        if (fd < 0)
            return;
        for (const KeptVersion& v : ListOpen(fd, versions)) {
            if (v.keptAt >= before || (v.changed.isValid() && v.changed >= before))
                continue;
            // By the folder opened: a link put in its place leads nowhere else.
            if (::unlinkat(fd, QFile::encodeName(QFileInfo(v.path).fileName()).constData(), 0) == 0)
                ++*removed;
        }
        ::close(fd);
    });
    return removed->load();
}

} // namespace platform
