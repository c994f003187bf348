#include "platform/wine/PrefixDrives.h"

#include "platform/win/Registry.h"
#include "platform/win/WinPath.h"
#include "platform/wine/WineRunners.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

std::atomic<int> gMarkBoundMs{60000};

QByteArray Enc(const QString& path) {
    return QFile::encodeName(path);
}

QString HostWords(const QString& path, int err) {
    return path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(err));
}

// "n:" for "N:", "n:" or "N"; "" for anything else, and for C:, which the
// suite itself lives on.
QString DriveName(const QString& letter) {
    const QString l = letter.toLower();
    if (l.isEmpty() || l.size() > 2 || (l.size() == 2 && l[1] != u':'))
        return {};
    if (l[0] < u'a' || l[0] > u'z' || l[0] == u'c')
        return {};
    return l.left(1) + u':';
}

bool IsName(const QString& name) {
    return !name.isEmpty() && name != u"." && name != u".." && !name.contains(u'/') &&
           !name.contains(u'\\') && !name.contains(QChar(0)) && !name.endsWith(u'.') &&
           !name.endsWith(u' ');
}

struct Entry {
    enum Kind { None, Link, Other } kind = None;
    QString text; // a link's, as written
};

Entry Look(const QString& path) {
    struct stat st {};
    if (::lstat(Enc(path).constData(), &st) != 0)
        return {};
    if (!S_ISLNK(st.st_mode))
        return {Entry::Other, {}};
    QByteArray text(4096, '\0');
    const ssize_t n = ::readlink(Enc(path).constData(), text.data(), text.size());
    return {Entry::Link, n < 0 ? QString() : QFile::decodeName(text.left(n))};
}

bool IsFolder(const QString& path) {
    struct stat st {};
    return ::stat(Enc(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Told from the link's text alone: asking the share itself could hang.
bool LeadsTo(const QString& linkFolder, const Entry& e, const QString& folder) {
    return e.kind == Entry::Link &&
           QDir::cleanPath(e.text.startsWith(u'/') ? e.text : linkFolder + u'/' + e.text) == folder;
}

// The entry of `dir` that Wine and ToHostPath take for `name`: the exact
// one, else the first in name order that matches without regard to case;
// `name` itself when there is none.
QString Folded(const QString& dir, const QString& name) {
    if (Look(dir + u'/' + name).kind != Entry::None)
        return name;
    QString best;
    if (DIR* d = ::opendir(Enc(dir).constData())) {
        while (const dirent* e = ::readdir(d)) {
            const QString entry = QFile::decodeName(e->d_name);
            if (entry.compare(name, Qt::CaseInsensitive) == 0 && (best.isEmpty() || entry < best))
                best = entry;
        }
        ::closedir(d);
    }
    return best.isEmpty() ? name : best;
}

// A run killed between making its temporary link and renaming it leaves the
// link behind, named after its process: those of ended processes go.
void SweepTemporaries(const QString& dir, const QString& stem) {
    DIR* d = ::opendir(Enc(dir).constData());
    if (!d)
        return;
    QStringList stale;
    while (const dirent* e = ::readdir(d)) {
        const QString entry = QFile::decodeName(e->d_name);
        bool ok = false;
        const qint64 pid = entry.mid(stem.size()).toLongLong(&ok);
        if (entry.startsWith(stem) && ok && pid > 0 &&
            (pid > INT_MAX || (::kill(pid_t(pid), 0) != 0 && errno == ESRCH)))
            stale << dir + u'/' + entry;
    }
    ::closedir(d);
    for (const QString& path : stale)
        if (Look(path).kind == Entry::Link)
            ::unlink(Enc(path).constData());
}

// Puts the link `path` -> `target` in place: made beside it, then renamed
// over it. "" when done, else why not.
QString PlaceLink(const QString& path, const QString& target) {
    if (target.isEmpty() || target.contains(QChar(0)))
        return QStringLiteral("\"%1\" is not a path to link to").arg(target);
    const QFileInfo where(path);
    const QString stem = u'.' + where.fileName() + QStringLiteral(".quarn-");
    SweepTemporaries(where.path(), stem);
    const QString temporary = where.path() + u'/' + stem + QString::number(::getpid());
    ::unlink(Enc(temporary).constData()); // this process's own, from a step that failed
    if (::symlink(Enc(target).constData(), Enc(temporary).constData()) != 0)
        return HostWords(temporary, errno);
    if (::rename(Enc(temporary).constData(), Enc(path).constData()) != 0) {
        const int err = errno;
        ::unlink(Enc(temporary).constData());
        return HostWords(path, err);
    }
    return {};
}

// Where the two links of a share live in the prefix in force.
struct Places {
    QString why; // when they cannot be told
    QString target, dosdevices, drive, unc, server, share;
};

Places Locate(const QString& letter, const QString& server, const QString& share,
              const QString& folder) {
    Places p;
    const QString drive = DriveName(letter);
    if (drive.isEmpty())
        p.why = QStringLiteral("\"%1\" is not a drive letter other than C:").arg(letter);
    else if (!IsName(server) || !IsName(share))
        p.why = QStringLiteral("\"\\\\%1\\%2\" is not a share name").arg(server, share);
    else if (folder.isEmpty() || folder.contains(QChar(0)))
        p.why = QStringLiteral("\"%1\" is not a folder").arg(folder);
    if (!p.why.isEmpty())
        return p;
    const QString prefix = WinePrefix();
    p.dosdevices = prefix + QStringLiteral("/dosdevices");
    if (!IsFolder(prefix))
        p.why = QStringLiteral("There is no Wine prefix at %1").arg(prefix);
    else if (!IsFolder(p.dosdevices))
        p.why = QStringLiteral("The Wine prefix %1 has no dosdevices folder").arg(prefix);
    if (!p.why.isEmpty())
        return p;
    p.target = QDir::cleanPath(QDir::current().absoluteFilePath(folder));
    p.drive = p.dosdevices + u'/' + drive;
    p.unc = p.dosdevices + QStringLiteral("/unc");
    p.server = p.unc + u'/' + Folded(p.unc, server);
    p.share = p.server + u'/' + Folded(p.server, share);
    return p;
}

// "" when `dir` is a folder or could be made one; `made` tells which.
QString MakeFolder(const QString& dir, bool& made) {
    made = false;
    if (IsFolder(dir))
        return {};
    if (::mkdir(Enc(dir).constData(), 0755) != 0)
        return HostWords(dir, errno);
    made = true;
    return {};
}

} // namespace

QString DriveTarget(const QString& letter) {
    const QString drive = DriveName(letter);
    return drive.isEmpty() ? QString()
                           : Look(WinePrefix() + QStringLiteral("/dosdevices/") + drive).text;
}

LinkOutcome LinksInTheWay(const QString& letter, const QString& server, const QString& share,
                          const QString& folder) {
    const Places p = Locate(letter, server, share, folder);
    if (!p.why.isEmpty())
        return {false, {}, {}, p.why};
    const Entry drive = Look(p.drive), shareLink = Look(p.share);
    for (const auto& [entry, path] : {std::pair{drive, p.drive}, std::pair{shareLink, p.share}})
        if (entry.kind == Entry::Other)
            return {
                false, {}, {}, QStringLiteral("%1 is not a link; it is left as it is").arg(path)};
    LinkOutcome o;
    if (drive.kind == Entry::Link && !LeadsTo(p.dosdevices, drive, p.target))
        o.taken = drive.text;
    if (shareLink.kind == Entry::Link && !LeadsTo(p.server, shareLink, p.target))
        o.uncTaken = shareLink.text;
    o.done = o.taken.isEmpty() && o.uncTaken.isEmpty();
    return o;
}

LinkOutcome LinkShare(const QString& letter, const QString& server, const QString& share,
                      const QString& folder, bool replace) {
    if (const LinkOutcome o = LinksInTheWay(letter, server, share, folder);
        !o.why.isEmpty() || (!replace && !o.done))
        return o;
    const Places p = Locate(letter, server, share, folder);
    const Entry drive = Look(p.drive), shareLink = Look(p.share);
    const bool driveDone = LeadsTo(p.dosdevices, drive, p.target);
    const bool shareDone = LeadsTo(p.server, shareLink, p.target);

    // The share's link first: when the drive's then fails, it is put back.
    bool madeUnc = false, madeServer = false;
    QString why;
    if (!shareDone) {
        why = MakeFolder(p.unc, madeUnc);
        if (why.isEmpty())
            why = MakeFolder(p.server, madeServer);
        if (why.isEmpty())
            why = PlaceLink(p.share, p.target);
    }
    if (why.isEmpty() && !driveDone)
        why = PlaceLink(p.drive, p.target);
    if (why.isEmpty())
        return {true, {}, {}, {}};
    if (!shareDone && Look(p.share).text == p.target) {
        if (shareLink.kind == Entry::Link)
            PlaceLink(p.share, shareLink.text);
        else
            ::unlink(Enc(p.share).constData());
    }
    if (madeServer)
        ::rmdir(Enc(p.server).constData());
    if (madeUnc)
        ::rmdir(Enc(p.unc).constData());
    return {false, {}, {}, why};
}

namespace {

// Puts `previous` back at `path`, or takes the link away, while it leads to
// `target`.
QString Unlink(const QString& linkFolder, const QString& path, const QString& target,
               const QString& previous) {
    if (!LeadsTo(linkFolder, Look(path), target))
        return {};
    if (!previous.isEmpty())
        return PlaceLink(path, previous);
    return ::unlink(Enc(path).constData()) == 0 ? QString() : HostWords(path, errno);
}

} // namespace

QString UnlinkShare(const QString& letter, const QString& server, const QString& share,
                    const QString& folder, const QString& previous, const QString& previousUnc) {
    const Places p = Locate(letter, server, share, folder);
    if (!p.why.isEmpty())
        return p.why;
    const QString why = Unlink(p.server, p.share, p.target, previousUnc);
    const QString said = Unlink(p.dosdevices, p.drive, p.target, previous);
    return why.isEmpty() ? said : why;
}

QString UnlinkDrive(const QString& letter, const QString& folder, const QString& previous) {
    // Any share's names do: only the drive's place is used.
    const Places p = Locate(letter, QStringLiteral("s"), QStringLiteral("s"), folder);
    return p.why.isEmpty() ? Unlink(p.dosdevices, p.drive, p.target, previous) : p.why;
}

void SetMarkBoundForTest(int ms) {
    gMarkBoundMs = ms;
}

MarkOutcome MarkNetworkDrive(const QString& letter, bool network) {
    const QString drive = DriveName(letter);
    if (drive.isEmpty())
        return {false, false,
                QStringLiteral("\"%1\" is not a drive letter other than C:").arg(letter)};
    // Wine never ran in this prefix (the demo suite's): running it would make
    // a whole prefix around the suite's files, and there is no mark to take.
    // A running wineserver saves system.reg only when it ends; the loader
    // writes .update-timestamp at once.
    if (!QFileInfo(WinePrefix() + QStringLiteral("/system.reg")).isFile() &&
        !QFileInfo(WinePrefix() + QStringLiteral("/.update-timestamp")).isFile())
        return network ? MarkOutcome{false, false,
                                     QStringLiteral("Wine has not made this prefix's registry yet")}
                       : MarkOutcome{true, false, {}};
    const QString key = QStringLiteral("HKLM\\Software\\Wine\\Drives");
    const QStringList arguments =
        network ? QStringList{QStringLiteral("add"), key,
                              QStringLiteral("/v"),  drive,
                              QStringLiteral("/t"),  QStringLiteral("REG_SZ"),
                              QStringLiteral("/d"),  QStringLiteral("network"),
                              QStringLiteral("/f")}
                : QStringList{QStringLiteral("delete"), key, QStringLiteral("/v"), drive,
                              QStringLiteral("/f")};
    const Launch launch = WindowsProgram(QStringLiteral("reg"), arguments);
    if (launch.runner.isEmpty())
        return {false, true, {}};

    QProcess reg;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("WINEPREFIX"), WinePrefix()); // where the links were made
    if (!env.contains(QStringLiteral("WINEDEBUG")))
        env.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all")); // reg's words alone
    reg.setProcessEnvironment(env);
    reg.setProcessChannelMode(QProcess::MergedChannels);
    reg.start(launch.runner, launch.arguments);
    reg.closeWriteChannel(); // a question reg asks ends unanswered
    if (!reg.waitForStarted())
        return {false, false, QStringLiteral("%1: %2").arg(launch.runner, reg.errorString())};
    reg.waitForFinished(gMarkBoundMs);
    if (reg.state() != QProcess::NotRunning) {
        reg.kill();
        reg.waitForFinished();
        return {false, false, QStringLiteral("reg did not end in time and was stopped")};
    }
    if (reg.exitStatus() != QProcess::NormalExit)
        return {false, false, QStringLiteral("reg ended abnormally")};
    if (reg.exitCode() == 0)
        return {true, false, {}};
    // Deleting a value that is not there fails; the mark is away all the same.
    if (!network && QFileInfo(WinePrefix() + QStringLiteral("/system.reg")).isFile() &&
        !ReadMachineValue(QStringLiteral("Software\\Wine\\Drives"), drive))
        return {true, false, {}};
    QStringList said = QString::fromLocal8Bit(reg.readAll()).split(u'\n', Qt::SkipEmptyParts);
    while (!said.isEmpty() && said.last().trimmed().isEmpty())
        said.removeLast();
    QString why = QStringLiteral("reg ended with status %1").arg(reg.exitCode());
    if (!said.isEmpty())
        why += QStringLiteral(": ") + said.last().trimmed();
    return {false, false, why};
}

bool WineServerRuns() {
    const QString prefix = QFileInfo(WinePrefix()).canonicalFilePath();
    if (prefix.isEmpty())
        return false;
    const QDir proc(QStringLiteral("/proc"));
    for (const QString& pid : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (!pid.front().isDigit() || !QFileInfo(proc.filePath(pid + QStringLiteral("/exe")))
                                           .symLinkTarget()
                                           .section(u'/', -1)
                                           .startsWith(u"wineserver"))
            continue;
        const QDir fds(proc.filePath(pid + QStringLiteral("/fd")));
        for (const QString& fd :
             fds.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System))
            if (QFileInfo(fds.filePath(fd)).symLinkTarget() == prefix)
                return true;
    }
    return false;
}

} // namespace platform
