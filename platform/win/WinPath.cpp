#include "platform/win/WinPath.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <dirent.h>
#include <mutex>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace platform {
namespace {

bool IsSeparator(QChar c) {
    return c == u'\\' || c == u'/';
}

std::atomic<bool> gProbing{false};
std::mutex gProbeMutex;
HostProbe gProbe;

void Probe(const QByteArray& p) {
    if (gProbing)
        ProbeHost(QFile::decodeName(p));
}

bool LStatExists(const QByteArray& p) {
    Probe(p);
    struct stat st {};
    return ::lstat(p.constData(), &st) == 0;
}

bool IsDirectory(const QByteArray& p) {
    Probe(p);
    struct stat st {};
    return ::stat(p.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The entry of `dir` whose name equals `name` without regard to case; the
// first in name order so that the answer does not depend on directory order.
QString FindFolded(const QString& dir, const QString& name) {
    ProbeHost(dir);
    DIR* d = ::opendir(QFile::encodeName(dir).constData());
    if (!d)
        return {};
    QString best;
    while (dirent* e = ::readdir(d)) {
        const QString entry = QFile::decodeName(e->d_name);
        if (entry.compare(name, Qt::CaseInsensitive) == 0 && (best.isEmpty() || entry < best))
            best = entry;
    }
    ::closedir(d);
    return best;
}

// Joins `components` onto the host directory `root`, matching each existing
// component exactly, then without regard to case.
QString Resolve(QString root, const QStringList& components) {
    bool exists = true;
    for (const QString& c : components) {
        QString next = root.endsWith(u'/') ? root + c : root + u'/' + c;
        if (exists && !LStatExists(QFile::encodeName(next))) {
            const QString folded = FindFolded(root, c);
            if (!folded.isEmpty())
                next = root.endsWith(u'/') ? root + folded : root + u'/' + folded;
            else
                exists = false;
        }
        root = next;
    }
    return root;
}

// Splits the part below a root into components, dropping empty ones and
// resolving "." and ".." lexically, never above the root. Windows ignores
// trailing dots and blanks of a name, so they are dropped too.
Result<QStringList> Components(QStringView rest) {
    QStringList out;
    qsizetype i = 0;
    while (i <= rest.size()) {
        qsizetype j = i;
        while (j < rest.size() && !IsSeparator(rest[j]))
            ++j;
        QString c = rest.mid(i, j - i).toString();
        i = j + 1;
        if (c == u"..") {
            if (!out.isEmpty())
                out.removeLast();
            continue;
        }
        while (!c.isEmpty() && (c.endsWith(u'.') || c.endsWith(u' ')))
            c.chop(1);
        if (c.isEmpty())
            continue;
        if (c.contains(u':'))
            return {{}, PathFileAccessError};
        out << c;
    }
    return {out, NoError};
}

// The office share's drive stands on a mount that sends a file up after it
// is closed; Quarn's own copies and locks take the folder named beside it
// (`<mount>.direct`), whose writes are on the server when they return.
QString Direct(const QString& link) {
    const QString target = QFile::symLinkTarget(link);
    if (!target.contains(QStringLiteral("/quarn-shares/")))
        return link;
    const QString direct = target + QStringLiteral(".direct");
    return IsDirectory(QFile::encodeName(direct)) ? direct : link;
}

Result<QString> DriveRoot(QChar letter) {
    const QString prefix = WinePrefix();
    const QString link = Direct(prefix + QStringLiteral("/dosdevices/") + letter.toLower() + u':');
    const QByteArray enc = QFile::encodeName(link);
    if (LStatExists(enc))
        return IsDirectory(enc) ? Result<QString>{link, NoError}
                                : Result<QString>{link, DiskNotReady};
    if (letter.toLower() == u'c') {
        const QString driveC = prefix + QStringLiteral("/drive_c");
        if (IsDirectory(QFile::encodeName(driveC)))
            return {driveC, NoError};
    }
    return {{}, DeviceUnavailable};
}

bool IsDriveLetter(QChar c) {
    return c.isLetter() && c.unicode() < 128;
}

} // namespace

namespace {
thread_local QString tScopedPrefix;
} // namespace

QString ShareOf(const QString& windowsPath) {
    const QString& p = windowsPath;
    if (p.size() >= 2 && p[1] == u':' && IsDriveLetter(p[0]))
        return p.left(2).toUpper();
    const bool unc = p.size() >= 2 && IsSeparator(p[0]) && IsSeparator(p[1]);
    if (!unc && !p.startsWith(u'/'))
        return {};
    QString text = p;
    const QStringList parts = text.replace(u'/', u'\\').split(u'\\', Qt::SkipEmptyParts).mid(0, 2);
    return unc ? QStringLiteral("\\\\") + parts.join(u'\\').toUpper() : u'/' + parts.join(u'/');
}

bool AskWithinBoundOrThrow(const QString& path, std::function<void()> ask, int boundMs) {
    // The ask maps paths through this thread's prefix, on the share's thread.
    return RunWithinBound(ShareOf(path), BoundClock::now() + std::chrono::milliseconds(boundMs),
                          [prefix = tScopedPrefix, ask = std::move(ask)] {
                              tScopedPrefix = prefix;
                              ask();
                          });
}

bool AskWithinBound(const QString& path, std::function<void()> ask) {
    try {
        return AskWithinBoundOrThrow(path, std::move(ask), AnswerBound());
    } catch (const std::system_error&) {
        return false;
    }
}

namespace {

// `ask` under the rule, with error 71 when the share did not answer in time
// or no thread could ask it.
template <class T> Result<T> Bounded(const QString& path, std::function<Result<T>()> ask) {
    auto answer = std::make_shared<Result<T>>(Result<T>{{}, DiskNotReady});
    try {
        if (AskWithinBoundOrThrow(
                path, [answer, ask = std::move(ask)] { *answer = ask(); }, AnswerBound()))
            return *answer;
    } catch (const std::system_error&) {
    }
    return {{}, DiskNotReady};
}

} // namespace

ScopedWinePrefix::ScopedWinePrefix(const QString& folder)
    : previous_(std::exchange(tScopedPrefix, folder)) {}

ScopedWinePrefix::~ScopedWinePrefix() {
    tScopedPrefix = previous_;
}

QString WinePrefix() {
    if (!tScopedPrefix.isEmpty())
        return tScopedPrefix;
    const QString env = qEnvironmentVariable("WINEPREFIX");
    if (!env.isEmpty())
        return env;
    return QDir::homePath() + QStringLiteral("/.wine");
}

namespace {
Result<QString> MapPath(const QString& p);
} // namespace

Result<QString> ToHostPath(const QString& windowsPath) {
    // A NUL would end the name early on the disk, naming another file.
    if (windowsPath.contains(QChar(0)))
        return {{}, PathFileAccessError};
    if (windowsPath.startsWith(u'/'))
        return {windowsPath, NoError};
    // Each component is looked up on the disk, where a share may hang.
    return Bounded<QString>(windowsPath, [windowsPath] { return MapPath(windowsPath); });
}

namespace {

Result<QString> MapPath(const QString& p) {
    // \\server\share\rest: the share is the root, which ".." does not climb
    if (p.size() >= 2 && IsSeparator(p[0]) && IsSeparator(p[1])) {
        QStringList root;
        qsizetype i = 2;
        while (root.size() < 2 && i < p.size()) {
            qsizetype j = i;
            while (j < p.size() && !IsSeparator(p[j]))
                ++j;
            if (j > i)
                root << p.mid(i, j - i);
            i = j + 1;
        }
        for (QString& name : root) // as Components drops them; "." and ".." become ""
            while (name.endsWith(u'.') || name.endsWith(u' '))
                name.chop(1);
        auto parts = Components(QStringView(p).mid(std::min(i, p.size())));
        if (!parts.ok())
            return {{}, parts.error};
        if (root.size() < 2 || root.contains(QString()))
            return {{}, DeviceUnavailable};
        const QString unc = WinePrefix() + QStringLiteral("/dosdevices/unc");
        const QString share = Direct(Resolve(unc, root));
        if (!IsDirectory(QFile::encodeName(share)))
            return {{}, DeviceUnavailable};
        return {Resolve(share, parts.value), NoError};
    }

    // X:\rest, and X:rest relative to the current directory when on that drive
    if (p.size() >= 2 && p[1] == u':' && IsDriveLetter(p[0])) {
        QString rest = p.mid(2);
        if (rest.isEmpty() || !IsSeparator(rest[0])) {
            const QString cwd = CurrentDirectory();
            rest = cwd.startsWith(p.left(2), Qt::CaseInsensitive) ? cwd.mid(2) + u'\\' + rest
                                                                  : u'\\' + rest;
        }
        auto root = DriveRoot(p[0]);
        if (!root.ok())
            return root;
        auto parts = Components(rest);
        if (!parts.ok())
            return {{}, parts.error};
        return {Resolve(root.value, parts.value), NoError};
    }

    const QString mapped = ToWindowsPath(QDir::currentPath());
    if (mapped.isEmpty() && !p.isEmpty() && !IsSeparator(p[0])) {
        // A working folder no drive reaches (a prefix without Z: started from
        // the installed data folder) still holds the names relative to it.
        auto parts = Components(p);
        if (!parts.ok())
            return {{}, parts.error};
        return {Resolve(QDir::currentPath(), parts.value), NoError};
    }
    const QString cwd = mapped.isEmpty() ? QStringLiteral("C:\\") : mapped;
    if (!p.isEmpty() && IsSeparator(p[0]))
        return ToHostPath(cwd.left(2) + p); // the current drive's root
    return ToHostPath(cwd.endsWith(u'\\') ? cwd + p : cwd + u'\\' + p);
}

} // namespace

QString ToWindowsPath(const QString& hostPath) {
    if (hostPath.isEmpty())
        return {}; // names no file (and would climb no folder)
    // Canonical form of the deepest part that exists, then the rest as given.
    QFileInfo fi(QDir::cleanPath(QFileInfo(hostPath).absoluteFilePath()));
    QString tail;
    while (!fi.exists() && fi.filePath() != u"/" && !fi.filePath().isEmpty()) {
        tail = u'/' + fi.fileName() + tail;
        fi = QFileInfo(fi.path());
    }
    QString target = fi.canonicalFilePath();
    if (target.isEmpty())
        return {};
    target = target == u"/" && !tail.isEmpty() ? tail : target + tail;
    QString bestLetter;
    QString bestRoot;
    for (char l = 'a'; l <= 'z'; ++l) {
        // Each drive asked under its own bound: one that hangs is passed over.
        const QString canon =
            Bounded<QString>(QString(QChar(l)) + u':', [l] {
                const auto root = DriveRoot(QChar(l));
                return Result<QString>{
                    root.ok() ? QFileInfo(root.value).canonicalFilePath() : QString(), NoError};
            }).value;
        if (canon.isEmpty())
            continue;
        const bool under = target == canon || canon == u"/" || target.startsWith(canon + u'/');
        if (under && canon.size() > bestRoot.size()) {
            bestRoot = canon;
            bestLetter = QString(QChar(l).toUpper());
        }
    }
    if (bestLetter.isEmpty())
        return {};
    QString rest = target.mid(bestRoot == u"/" ? 0 : bestRoot.size());
    rest.replace(u'/', u'\\');
    if (rest.isEmpty())
        rest = QStringLiteral("\\");
    return bestLetter + u':' + rest;
}

QString CurrentDirectory() {
    const QString mapped = ToWindowsPath(QDir::currentPath());
    return mapped.isEmpty() ? QStringLiteral("C:\\") : mapped;
}

namespace {
bool HasDriveC() {
    return Bounded<bool>(QStringLiteral("C:"),
                         [] {
                             return Result<bool>{DriveRoot(u'c').ok(), NoError};
                         })
        .value;
}
} // namespace

QString WindowsDirectory() {
    return HasDriveC() ? QStringLiteral("C:\\windows") : QString();
}

QString SystemDirectory() {
    return HasDriveC() ? QStringLiteral("C:\\windows\\system32") : QString();
}

Result<qint64> FileLength(const QString& windowsPath) {
    return Bounded<qint64>(windowsPath, [windowsPath]() -> Result<qint64> {
        const auto host = ToHostPath(windowsPath);
        if (!host.ok())
            return {0, host.error};
        ProbeHost(host.value);
        struct stat st {};
        const QByteArray enc = QFile::encodeName(host.value);
        if (::stat(enc.constData(), &st) != 0) {
            const int err = errno;
            const QString parent = QFileInfo(host.value).path();
            return {0, ErrorFromErrno(err, !IsDirectory(QFile::encodeName(parent)))};
        }
        if (S_ISDIR(st.st_mode))
            return {0, FileNotFound};
        return {static_cast<qint64>(st.st_size), NoError};
    });
}

bool NonEmptyFileExists(const QString& windowsPath) {
    const auto length = FileLength(windowsPath);
    return length.ok() && length.value > 0;
}

void SetHostProbe(HostProbe probe) {
    std::lock_guard lock(gProbeMutex);
    gProbe = std::move(probe);
    gProbing = bool(gProbe);
}

void ProbeHost(const QString& hostPath) {
    if (!gProbing)
        return;
    HostProbe probe;
    {
        std::lock_guard lock(gProbeMutex);
        probe = gProbe;
    }
    if (probe)
        probe(hostPath);
}

} // namespace platform
