#include "platform/win/DirectoryListing.h"

#include "platform/win/WinPath.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <dirent.h>
#include <memory>
#include <mutex>
#include <system_error>

namespace platform {
namespace {

Result<QString> HostFirstEntry(const QString& hostDir, bool driveRoot) {
    DIR* d = ::opendir(QFile::encodeName(hostDir).constData());
    if (!d)
        return {{}, ErrorFromErrno(errno, errno == ENOENT)};
    QString first;
    while (dirent* e = ::readdir(d)) {
        const QString name = QFile::decodeName(e->d_name);
        if (!driveRoot && name == u".") {
            first = name;
            break;
        }
        if (name.startsWith(u'.'))
            continue;
        const QFileInfo fi(hostDir + u'/' + name);
        if (fi.isFile() || fi.isDir()) {
            first = name;
            break;
        }
    }
    ::closedir(d);
    return {first, NoError};
}

std::mutex gListerMutex;
DirectoryLister gLister;

// Whether a path resolves to the root of its drive or share ("C:\\.",
// "D:\\X\\.." included), judged on the host paths.
bool IsRoot(const QString& windowsPath, const QString& host) {
    QString root;
    if (windowsPath.size() >= 2 && windowsPath[1] == u':') {
        root = windowsPath.left(2) + u'\\';
    } else if (windowsPath.startsWith(QStringLiteral("\\\\"))) {
        const QStringList parts = windowsPath.mid(2).split(u'\\', Qt::SkipEmptyParts);
        root = QStringLiteral("\\\\") + parts.mid(0, 2).join(u'\\');
    } else {
        root = CurrentDirectory().left(2) + u'\\';
    }
    const auto rootHost = ToHostPath(root);
    return rootHost.ok() &&
           QFileInfo(rootHost.value).canonicalFilePath() == QFileInfo(host).canonicalFilePath();
}

} // namespace

void SetDirectoryLister(DirectoryLister lister) {
    std::lock_guard lock(gListerMutex);
    gLister = std::move(lister);
}

Result<QString> FirstDirectoryEntry(const QString& windowsDirectory, int timeoutMs) {
    DirectoryLister lister;
    {
        std::lock_guard lock(gListerMutex);
        lister = gLister ? gLister : DirectoryLister(HostFirstEntry);
    }
    // The mapping and the listing both touch the disk, so both may hang.
    auto answer = std::make_shared<Result<QString>>(Result<QString>{{}, DiskNotReady});
    if (!AskWithinBoundOrThrow(
            windowsDirectory,
            [answer, lister, windowsDirectory] {
                const auto host = ToHostPath(windowsDirectory);
                *answer = host.ok() ? lister(host.value, IsRoot(windowsDirectory, host.value))
                                    : Result<QString>{{}, host.error};
            },
            timeoutMs))
        return {{}, DiskNotReady};
    return *answer;
}

bool CanListDirectory(const QString& windowsDirectory) {
    // Through the listing that gives up, so a dead share cannot hang the
    // caller; a listing that opens holds at least "." here.
    try {
        return FirstDirectoryEntry(windowsDirectory).ok();
    } catch (const std::system_error&) {
        return false; // no thread to list with
    }
}

} // namespace platform
