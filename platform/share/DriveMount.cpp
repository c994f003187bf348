#include "platform/share/DriveMount.h"

#include "platform/share/Bounded.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QUrl>

#include <cstdio>

namespace platform {
namespace {

// mountinfo and fstab write a space, a tab, a newline and a backslash as
// three octal digits.
QString Unescaped(QByteArray field) {
    static const QRegularExpression escape(QStringLiteral(R"(\\([0-7]{3}))"));
    QString text = QString::fromUtf8(field);
    for (auto m = escape.match(text); m.hasMatch(); m = escape.match(text, m.capturedStart() + 1))
        text.replace(m.capturedStart(), 4, QChar(m.captured(1).toInt(nullptr, 8)));
    return text;
}

// "//server/share" naming this share's root, whatever the case, a trailing
// separator allowed.
bool NamesShare(QString source, const ShareAddress& share) {
    source.replace(u'\\', u'/');
    while (source.endsWith(u'/'))
        source.chop(1);
    return source.compare(QStringLiteral("//") + share.server + u'/' + share.share,
                          Qt::CaseInsensitive) == 0;
}

bool KernelType(const QByteArray& type) {
    return type == "cifs" || type == "smb3";
}

QString ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

QString MountInfo() {
    return ReadAll(QStringLiteral("/proc/self/mountinfo"));
}

// A program run to its end within the bound, killed past it: its exit code
// (-1 when it did not start or end) and what it said on stderr.
std::pair<int, QString>
RunBounded(const QString& program, const QStringList& args, int boundMs,
           const QByteArray& input = {},
           const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
           QByteArray* out = nullptr) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForStarted(boundMs))
        return {-1, QStringLiteral("%1 did not start").arg(program)};
    if (!input.isEmpty())
        p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(boundMs)) {
        p.kill();
        p.waitForFinished(1000);
        return {-1, QStringLiteral("%1 did not answer").arg(program)};
    }
    if (out)
        *out = p.readAllStandardOutput();
    const QString said = QString::fromUtf8(p.readAllStandardError()).trimmed();
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, said};
}

// rclone's last words, without its time stamp and level.
QString LastWords(const QString& said) {
    QString line = said.section(u'\n', -1).trimmed();
    static const QRegularExpression head(
        QStringLiteral(R"(^\d{4}/\d\d/\d\d \d\d:\d\d:\d\d \w+\s*:\s*)"));
    return line.remove(head);
}

struct MountEntry {
    QByteArray id, device, root, type;
    QString point, source;
};

QList<MountEntry> Mounts(const QString& mountinfo) {
    QList<MountEntry> found;
    for (const QString& line : mountinfo.split(u'\n')) {
        const QList<QByteArray> f = line.toUtf8().split(' ');
        const qsizetype dash = f.indexOf("-");
        if (f.size() < 5 || dash < 5 || dash + 2 >= f.size())
            continue;
        found.append({f[0], f[2], f[3], f[dash + 1], Unescaped(f[4]), Unescaped(f[dash + 2])});
    }
    return found;
}

std::optional<MountEntry> MountAt(const QString& folder) {
    std::optional<MountEntry> last; // a later mount over the same folder hides an earlier
    for (const MountEntry& m : Mounts(MountInfo()))
        if (m.point == folder)
            last = m;
    return last;
}

} // namespace

QString KernelMountIn(const QString& mountinfo, const ShareAddress& share) {
    QString found;
    for (const MountEntry& m : Mounts(mountinfo))
        if (KernelType(m.type) && m.root == "/" && NamesShare(m.source, share))
            found = m.point;
    return found;
}

std::optional<QString> UserFstabEntryIn(const QString& fstab, const ShareAddress& share) {
    static const QRegularExpression space(QStringLiteral(R"(\s+)"));
    for (const QString& line : fstab.split(u'\n')) {
        const QStringList f = line.trimmed().split(space);
        if (f.size() < 4 || f[0].startsWith(u'#') || !KernelType(f[2].toUtf8()) ||
            !NamesShare(Unescaped(f[0].toUtf8()), share))
            continue;
        for (const QString& option : f[3].split(u','))
            if (QStringList{"user", "users", "owner", "group"}.contains(option))
                return Unescaped(f[1].toUtf8());
    }
    return std::nullopt;
}

QString KernelMounted(const ShareAddress& share) {
    return KernelMountIn(MountInfo(), share);
}

QString KernelMount(const ShareAddress& share, int boundMs) {
    if (const QString found = KernelMounted(share); !found.isEmpty())
        return found;
    const auto point = UserFstabEntryIn(ReadAll(QStringLiteral("/etc/fstab")), share);
    if (!point)
        return {};
    // The system's own mount program, which takes the fstab line's options.
    RunBounded(QStringLiteral("mount"), {*point}, boundMs);
    return KernelMountIn(MountInfo(), share);
}

QString DriveMountFolder(const ShareAddress& share, const QString& user, const QString& domain) {
    // The user's runtime folder as GLib and GVfs take it: gone with the
    // session, as the mount is.
    const QString runtime = QFile::decodeName(g_get_user_runtime_dir());
    QString name = QStringLiteral("smb-share:server=") + share.server + QStringLiteral(",share=") +
                   QString::fromUtf8(QUrl::toPercentEncoding(share.share));
    if (!user.isEmpty())
        name += QStringLiteral(",user=") + QString::fromUtf8(QUrl::toPercentEncoding(user));
    if (!domain.isEmpty())
        name += QStringLiteral(",domain=") + QString::fromUtf8(QUrl::toPercentEncoding(domain));
    return runtime + QStringLiteral("/quarn-shares/") + name.toLower();
}

bool DriveMounted(const QString& folder) {
    const auto m = MountAt(folder);
    return m && m->type == "fuse.rclone";
}

bool DriveMountAvailable() {
    return !QStandardPaths::findExecutable(QStringLiteral("rclone")).isEmpty();
}

QString KeyringPassword(const ShareAddress& share, const QString& user, const QString& domain,
                        bool byShare) {
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("secret-tool"));
    if (user.isEmpty() || tool.isEmpty())
        return {};
    // libsecret's own tool in a child of its own: the keyring's D-Bus proxies
    // then live and end with it, not on a thread of a program that goes on.
    QStringList args{QStringLiteral("lookup"),
                     QStringLiteral("protocol"),
                     QStringLiteral("smb"),
                     QStringLiteral("server"),
                     share.server,
                     QStringLiteral("user"),
                     user};
    if (byShare)
        args << QStringLiteral("object") << share.share;
    if (!domain.isEmpty())
        args << QStringLiteral("domain") << domain;
    QByteArray password;
    const auto [rc, said] =
        RunBounded(tool, args, 5000, {}, QProcessEnvironment::systemEnvironment(), &password);
    return rc == 0 ? QString::fromUtf8(password) : QString();
}

namespace {

// Made beside and renamed over, so that a look never meets none.
bool PlaceLink(const QString& link, const QString& target) {
    const QString temp = link + QStringLiteral(".new");
    QFile::remove(temp);
    return QFile::link(target, temp) &&
           ::rename(QFile::encodeName(temp).constData(), QFile::encodeName(link).constData()) == 0;
}

} // namespace

MountOutcome MountDrive(const ShareAddress& share, const ShareLogin& login, int boundMs,
                        const QString& direct, bool directMadeHere) {
    QElapsedTimer clock;
    clock.start();
    MountOutcome out;
    out.folder = DriveMountFolder(share, login.user, login.domain);
    const auto done = [&](MountFailure failure, const QString& detail = {}) {
        out.failure = failure;
        out.detail = detail;
        out.ms = clock.elapsed();
        if (failure != MountFailure::None)
            out.folder.clear();
        return out;
    };
    if (out.folder.isEmpty())
        return done(MountFailure::NoFuseFolder);
    const auto beside = [&] {
        if (!direct.isEmpty())
            PlaceLink(out.folder + QStringLiteral(".direct"), direct);
        if (directMadeHere) {
            QFile made(out.folder + QStringLiteral(".direct-made"));
            made.open(QIODevice::WriteOnly);
        }
    };
    if (DriveMounted(out.folder)) {
        beside();
        return done(MountFailure::None);
    }
    QString password = login.password;
    if (password.isEmpty()) // GVfs keeps it for the share, or for the server's every share
        password = KeyringPassword(share, login.user, login.domain, true);
    if (password.isEmpty())
        password = KeyringPassword(share, login.user, login.domain, false);
    if (password.isEmpty() && !login.user.isEmpty())
        return done(MountFailure::PasswordNeeded);
    const QString rclone = QStandardPaths::findExecutable(QStringLiteral("rclone"));
    QByteArray obscured;
    if (!password.isEmpty()) {
        const auto [rc, said] =
            RunBounded(rclone, {QStringLiteral("obscure"), QStringLiteral("-")}, 5000,
                       password.toUtf8(), QProcessEnvironment::systemEnvironment(), &obscured);
        if (rc != 0)
            return done(MountFailure::Other, LastWords(said));
    }
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                          QStringLiteral("/quarn/rclone/") + out.folder.section(u'/', -1);
    if (!QDir().mkpath(out.folder) || !QDir().mkpath(cache))
        return done(MountFailure::NoFuseFolder);
    QFile::setPermissions(out.folder.section(u'/', 0, -2),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // The password reaches rclone in its environment, which only this user
    // can read, never in a file or on its command line.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("RCLONE_SMB_PASS"), QString::fromUtf8(obscured.trimmed()));
    env.insert(QStringLiteral("RCLONE_CONFIG"), QStringLiteral("/dev/null"));
    const int leftSeconds = std::max<int>(3, int((boundMs - clock.elapsed()) / 1000));
    // Writes go up as each file is closed; another laptop's changes show
    // within a second; a server that stops answering fails a call within
    // half a minute rather than hanging the suite for rclone's five.
    const QStringList args{QStringLiteral("mount"),
                           QStringLiteral(":smb:") + share.share,
                           out.folder,
                           QStringLiteral("--smb-host"),
                           share.server,
                           QStringLiteral("--smb-user"),
                           login.user.isEmpty() ? QStringLiteral("guest") : login.user,
                           QStringLiteral("--smb-domain"),
                           login.domain.isEmpty() ? QStringLiteral("WORKGROUP") : login.domain,
                           QStringLiteral("--vfs-cache-mode"),
                           QStringLiteral("writes"),
                           QStringLiteral("--vfs-write-back"),
                           QStringLiteral("0s"),
                           QStringLiteral("--dir-cache-time"),
                           QStringLiteral("1s"),
                           QStringLiteral("--attr-timeout"),
                           QStringLiteral("1s"),
                           QStringLiteral("--contimeout"),
                           QStringLiteral("10s"),
                           QStringLiteral("--timeout"),
                           QStringLiteral("30s"),
                           QStringLiteral("--cache-dir"),
                           cache,
                           QStringLiteral("--daemon"),
                           QStringLiteral("--daemon-wait"),
                           QStringLiteral("%1s").arg(leftSeconds)};
    const auto [rc, said] = RunBounded(rclone, args, (leftSeconds + 2) * 1000, {}, env);
    // Mounted all the same: another Quarn (the window, follow) mounted it
    // meanwhile, which is left to be its own.
    if (rc != 0 && DriveMounted(out.folder)) {
        beside();
        return done(MountFailure::None);
    }
    if (rc != 0 || !DriveMounted(out.folder))
        return done(MountFailure::Other, LastWords(said));
    out.mountedHere = true;
    beside();
    return done(MountFailure::None);
}

QString UnmountDrive(const QString& folder, bool* directMadeHere) {
    if (directMadeHere)
        *directMadeHere = QFile::exists(folder + QStringLiteral(".direct-made"));
    if (DriveMounted(folder)) {
        const auto [rc, said] =
            RunBounded(QStringLiteral("fusermount"),
                       {QStringLiteral("-u"), QStringLiteral("-z"), folder}, 10000);
        if (rc != 0)
            return said;
    }
    QFile::remove(folder + QStringLiteral(".direct"));
    QFile::remove(folder + QStringLiteral(".direct-made"));
    return {};
}

QString MountInfoIdentity(const QString& folder) {
    const auto m = MountAt(folder);
    return m ? QString::fromUtf8(m->id + ' ' + m->device) : QString();
}

MountKind KindOf(const QString& folder) {
    const auto m = MountAt(folder);
    if (m && KernelType(m->type))
        return MountKind::Kernel;
    if (m && m->type == "fuse.rclone")
        return MountKind::Drive;
    return MountKind::Gvfs;
}

} // namespace platform
