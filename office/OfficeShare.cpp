#include "office/OfficeShare.h"

#include "config/WPINI.h"
#include "office/ShareFollow.h"
#include "office/Texts.h"
#include "platform/files/FileLock.h"
#include "platform/share/DriveMount.h"
#include "platform/share/ShareMount.h"
#include "platform/win/BoundedAsk.h"
#include "platform/win/WinPath.h"
#include "platform/wine/PrefixDrives.h"
#include "suite/CopyProcedure.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>

#include <atomic>
#include <chrono>
#include <dirent.h>
#include <memory>
#include <system_error>
#include <thread>

namespace OfficeShare {
namespace {

const QString kSection = QStringLiteral("OFFICESHARE");

Mounter gMounter;

Mounter Mounts() {
    if (gMounter.mount)
        return gMounter;
    return {[](const platform::ShareAddress& a, const platform::ShareLogin& login) {
                return platform::MountShare(a, login);
            },
            platform::MountedFolder,
            [](const platform::ShareAddress& a, const QString& user, const QString& domain) {
                return platform::UnmountShare(a, user, domain);
            },
            platform::MountIdentity};
}

QString Identity(const Mounter& mounts, const QString& folder) {
    return mounts.identity && !folder.isEmpty() ? mounts.identity(folder) : QString();
}

QString Stored(const Quarn_v2::SuiteState& s, const QString& key) {
    return WPINI::ReadIni(s.SuiteIniPath, kSection, key, QString());
}
QString Stored(const Quarn_v2::SuiteState& s, const char* key) {
    return Stored(s, QString::fromLatin1(key));
}

// What Connect replaced, kept beside the settings until Disconnect puts it
// back: LinkedDrives lists the drives it linked ("N:,P:"); ReplacedDrive.N
// and ReplacedUnc.\\server\share hold what they led to before ("" nothing).
// An older Quarn kept one ReplacedDrive, the drive in Drive's.
QString DriveKey(const QString& drive) {
    return QStringLiteral("ReplacedDrive.") + drive.left(1);
}
QString UncKey(const platform::ShareAddress& a) {
    return QStringLiteral("ReplacedUnc.") + a.unc().toLower();
}
QStringList LinkedDrives(const Quarn_v2::SuiteState& s) {
    return Stored(s, "LinkedDrives").split(u',', Qt::SkipEmptyParts);
}
QString ReplacedDrive(const Quarn_v2::SuiteState& s, const QString& drive) {
    const QString replaced = WPINI::ReadIni(s.SuiteIniPath, kSection, DriveKey(drive), QString());
    return !replaced.isEmpty() || Stored(s, "Drive").compare(drive, Qt::CaseInsensitive) != 0
               ? replaced
               : Stored(s, "ReplacedDrive");
}

// Where a link leads into one of GVfs's share mounts or the drive's own:
// one Quarn made.
bool IntoShareMount(const QString& target) {
    return target.contains(QStringLiteral("/gvfs/smb-share:")) ||
           target.contains(QStringLiteral("/quarn-shares/smb-share:"));
}

// Writes to QUARN2.INI that can be taken back, each only where it changes
// something.
class Writes {
public:
    explicit Writes(QString file) : file_(std::move(file)) {}
    bool put(const QString& key, const QString& value) {
        const QString old = WPINI::ReadIni(file_, kSection, key, QString());
        if (old == value)
            return true;
        const auto outcome = WPINI::TryWriteIni(file_, kSection, key, value);
        if (!outcome.ok) {
            why_ = Texts::ShareIniNotWritten(file_, outcome.why);
            return false;
        }
        done_.prepend({key, old});
        return true;
    }
    void undo() {
        for (const auto& [key, old] : std::exchange(done_, {}))
            WPINI::WriteIni(file_, kSection, key, old); // as far as it goes
    }
    QString why() const { return why_; }

private:
    QString file_, why_;
    QList<std::pair<QString, QString>> done_;
};

// "N:" from "n", "N:" or "n:\"; "" when it is no drive the share may take
// (C: holds the suite).
QString DriveName(const QString& text) {
    static const QRegularExpression drive(QStringLiteral(R"(^\s*([A-Za-z]):?\\?\s*$)"));
    const auto m = drive.match(text);
    const QString letter = m.hasMatch() ? m.captured(1).toUpper() : QString();
    return letter.isEmpty() || letter < u"D" ? QString() : letter + u':';
}

// The mounts Quarn made in this session, one a line: the share's key, a tab,
// the mount's identity; in the user's runtime folder, which ends with the
// session as the mounts do.
QString MadeHereFile() {
    const QString folder = platform::PrivateRuntimeFolder();
    return folder.isEmpty() ? QString() : folder + QStringLiteral("/quarn-office-shares");
}

QStringList MadeHere() {
    QFile f(MadeHereFile());
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

// The identity of the mount Quarn made for `key`; nullopt when it made none.
std::optional<QString> MadeHere(const QString& key) {
    for (const QString& line : MadeHere())
        if (line.section(u'\t', 0, 0) == key)
            return line.section(u'\t', 1);
    return std::nullopt;
}

void SetMadeHere(const QString& key, const std::optional<QString>& identity) {
    QStringList lines;
    for (const QString& line : MadeHere())
        if (line.section(u'\t', 0, 0) != key)
            lines << line;
    if (identity)
        lines << key + u'\t' + *identity;
    QSaveFile f(MadeHereFile());
    if (!MadeHereFile().isEmpty() && f.open(QIODevice::WriteOnly)) {
        f.write(lines.join(u'\n').toUtf8() + '\n');
        f.commit();
    }
}

QString Key(const platform::ShareAddress& a, const Settings& settings) {
    return (a.unc() + u' ' + settings.domain + u';' + settings.user).toLower();
}

QString Failure(platform::MountFailure failure, const platform::ShareAddress& a,
                const QString& detail) {
    using platform::MountFailure;
    switch (failure) {
    case MountFailure::None: break;
    case MountFailure::WrongPassword: return Texts::ShareWrongPassword(a.unc());
    case MountFailure::PasswordNeeded: return Texts::SharePasswordNeeded(a.unc());
    case MountFailure::UnknownServer: return Texts::ShareUnknownServer(a.server);
    case MountFailure::NoSuchShare: return Texts::ShareNoSuchShare(a.server, a.share);
    case MountFailure::ProtocolRefused: return Texts::ShareProtocolRefused(a.server);
    case MountFailure::NoAnswer: return Texts::ShareNoAnswer(a.server);
    case MountFailure::NoFuseFolder: return Texts::ShareNoFuseFolder();
    case MountFailure::NoGvfs: return Texts::ShareNoGvfs();
    case MountFailure::NoSmbBackend: return Texts::ShareNoSmbBackend();
    case MountFailure::Other: break;
    }
    return Texts::ShareNotMounted(detail);
}

Result Failed(const QString& text) {
    Result r;
    r.text = text;
    return r;
}

Result Done(const QString& text) {
    Result r = Failed(text);
    r.ok = true;
    return r;
}

// Whether the mounted folder lists within the bound a disk that may hang
// gets. GVfs's FUSE folder takes in a new mount a moment after GVfs made it,
// so it is asked again until then. True when it cannot be told (no thread
// to ask on).
bool Readable(const QString& folder) {
    const auto giveUpAt =
        platform::BoundClock::now() + std::chrono::milliseconds(platform::AnswerBound());
    const QByteArray host = QFile::encodeName(folder);
    try {
        do {
            const auto listed = std::make_shared<std::atomic<bool>>(false);
            if (!platform::RunWithinBound(folder, giveUpAt, [listed, folder, host] {
                    platform::ProbeHost(folder);
                    DIR* dir = ::opendir(host.constData());
                    errno = 0;
                    *listed = dir && (::readdir(dir) || errno == 0);
                    if (dir)
                        ::closedir(dir);
                }))
                return false;
            if (*listed)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        } while (platform::BoundClock::now() < giveUpAt);
    } catch (const std::system_error&) {
        return true;
    }
    return false;
}

Result ConnectOnce(const Quarn_v2::SuiteState& s, const Settings& settings, const QString& password,
                   bool remember, const Ask& ask, bool mayRemount, bool byUser);

bool SameFolder(const QString& a, const QString& b) {
    return !a.isEmpty() && QString(a).remove(QRegularExpression(QStringLiteral("/+$"))) ==
                               QString(b).remove(QRegularExpression(QStringLiteral("/+$")));
}

} // namespace

void SetMounterForTest(Mounter mounter) {
    gMounter = std::move(mounter);
}

QString DefaultDrive(const Quarn_v2::SuiteState& s) {
    const QString drive = DriveName(s.NetworkSet.QXADATADIR.left(2));
    return drive.isEmpty() ? QStringLiteral("N:") : drive;
}

Settings Remembered(const Quarn_v2::SuiteState& s) {
    const QString drive = DriveName(Stored(s, "Drive"));
    return {Stored(s, "Share"), Stored(s, "User"), Stored(s, "Domain"),
            drive.isEmpty() ? DefaultDrive(s) : drive, !Stored(s, "DisconnectedByUser").isEmpty()};
}

State Look(const Settings& settings) {
    const auto a = platform::ParseShareAddress(settings.share);
    const QString drive = DriveName(settings.drive);
    const QString notConnected =
        settings.disconnected ? Texts::ShareDisconnectedByYou() : Texts::ShareNotConnected();
    if (!a || drive.isEmpty())
        return State{false, notConnected, {}};
    const QString folder = Mounts().folder(*a, settings.user, settings.domain);
    if (folder.isEmpty())
        return State{false, notConnected, {}};
    if (!SameFolder(platform::DriveTarget(drive), folder))
        return State{false, Texts::ShareMountedElsewhere(a->unc(), drive), {}};
    State connected{true, Texts::ShareConnected(a->unc(), drive), {}};
    switch (platform::KindOf(folder)) {
    case platform::MountKind::Kernel: break;
    case platform::MountKind::Drive:
        connected.limits = Texts::ShareLocksStayHere(a->unc(), drive);
        break;
    case platform::MountKind::Gvfs: connected.limits = Texts::ShareCannotSaveOver(drive); break;
    }
    return connected;
}

Result Connect(const Quarn_v2::SuiteState& s, const Settings& settings, const QString& password,
               bool remember, const Ask& ask) {
    QElapsedTimer clock;
    clock.start();
    Result r = ConnectOnce(s, settings, password, remember, ask, true, true);
    r.ms = clock.elapsed();
    return r;
}

namespace {

Result ConnectOnce(const Quarn_v2::SuiteState& s, const Settings& settings, const QString& password,
                   bool remember, const Ask& ask, bool mayRemount, bool byUser) {
    Result r;
    QString why;
    const auto a = platform::ParseShareAddress(settings.share, &why);
    if (!a)
        return Failed(why);
    const QString drive = DriveName(settings.drive);
    if (drive.isEmpty())
        return Failed(Texts::ShareBadDrive(settings.drive.trimmed()));

    const Mounter mounts = Mounts();
    const platform::MountOutcome mount =
        mounts.mount(*a, {settings.user, settings.domain, password, remember});
    if (mount.failure != platform::MountFailure::None) {
        r.text = Failure(mount.failure, *a, mount.detail);
        r.passwordNeeded = mount.failure == platform::MountFailure::PasswordNeeded;
        return r;
    }
    // A mount found in place may no longer work (its server started again,
    // the login changed since): it goes, and is made afresh once.
    if (!Readable(mount.folder)) {
        mounts.unmount(*a, settings.user, settings.domain);
        if (!mount.mountedHere && mayRemount)
            return ConnectOnce(s, settings, password, remember, ask, false, byUser);
        return Failed(Texts::ShareUnreadable(a->unc()));
    }
    const QString key = Key(*a, settings), identity = Identity(mounts, mount.folder);
    // A mount found in place is Quarn's only while it is the one Quarn made.
    if (mount.mountedHere)
        SetMadeHere(key, identity);
    else if (const auto made = MadeHere(key); made && (made->isEmpty() || *made != identity))
        SetMadeHere(key, std::nullopt);
    Writes writes(s.SuiteIniPath);
    // What Connect made it takes back when a later step fails.
    const auto undo = [&](const QString& text) {
        writes.undo();
        if (mount.mountedHere) {
            mounts.unmount(*a, settings.user, settings.domain);
            SetMadeHere(key, std::nullopt);
        }
        return Failed(text);
    };

    const platform::LinkOutcome found =
        platform::LinksInTheWay(drive, a->server, a->share, mount.folder);
    if (!found.why.isEmpty())
        return undo(Texts::ShareNotLinked(found.why));
    if (!found.taken.isEmpty() && !ask(Texts::ShareDriveTaken(drive, found.taken, a->unc())))
        return undo(Texts::ShareDriveKept(drive));
    if (!found.uncTaken.isEmpty() && !ask(Texts::ShareUncTaken(a->unc(), found.uncTaken)))
        return undo(Texts::ShareUncKept(a->unc()));

    // A Disconnect made while follow's Connect mounted holds.
    if (!byUser && !Stored(s, "DisconnectedByUser").isEmpty())
        return undo(Texts::ShareDisconnectedByYou());
    // What is replaced is remembered before it is: a Connect cut off after
    // this leaves what Disconnect undoes.
    const QString rememberedDrive = DriveName(Stored(s, "Drive"));
    const bool earlier = !Stored(s, "Share").isEmpty();
    const QStringList linkedBefore = LinkedDrives(s);
    QStringList linked = linkedBefore;
    for (const QString& d : {earlier ? rememberedDrive : QString(), drive})
        if (!d.isEmpty() && !linked.contains(d, Qt::CaseInsensitive))
            linked << d;
    // Quarn's own link of an earlier Connect (another login's mount): what
    // that one replaced stays the one to put back.
    const auto before = [](bool ours, const QString& replaced, const QString& now) {
        return ours && IntoShareMount(now) ? replaced : now;
    };
    bool remembered = true;
    if (earlier && !rememberedDrive.isEmpty() && !Stored(s, "ReplacedDrive").isEmpty())
        remembered = writes.put(DriveKey(rememberedDrive), ReplacedDrive(s, rememberedDrive)) &&
                     writes.put(QStringLiteral("ReplacedDrive"), QString());
    if (!found.taken.isEmpty())
        remembered =
            remembered &&
            writes.put(DriveKey(drive), before(linkedBefore.contains(drive, Qt::CaseInsensitive),
                                               ReplacedDrive(s, drive), found.taken));
    else if (platform::DriveTarget(drive).isEmpty())
        remembered = remembered && writes.put(DriveKey(drive), QString());
    if (!found.uncTaken.isEmpty())
        remembered =
            remembered &&
            writes.put(UncKey(*a),
                       before(Stored(s, "Share").compare(a->unc(), Qt::CaseInsensitive) == 0,
                              Stored(s, UncKey(*a)), found.uncTaken));
    remembered = remembered && writes.put(QStringLiteral("LinkedDrives"), linked.join(u','));
    for (const auto& [k, value] : {std::pair{"DisconnectedByUser", QString()},
                                   {"Share", a->unc()},
                                   {"User", settings.user},
                                   {"Domain", settings.domain},
                                   {"Drive", drive}})
        remembered = remembered && writes.put(QString::fromLatin1(k), value);
    if (!remembered)
        return undo(writes.why());

    const platform::LinkOutcome link =
        platform::LinkShare(drive, a->server, a->share, mount.folder, !found.done);
    if (!link.done)
        return undo(
            Texts::ShareNotLinked(link.why.isEmpty() ? link.taken + link.uncTaken : link.why));

    // Asked before the mark, whose reg starts a wineserver of its own.
    const bool wineRuns = platform::WineServerRuns();
    const platform::MarkOutcome mark = platform::MarkNetworkDrive(drive, true);
    if (mark.noWine)
        r.note = Texts::ShareNotMarked(drive, Texts::ShareNoWine());
    else if (!mark.done)
        r.note = Texts::ShareNotMarked(drive, mark.why);

    if (wineRuns)
        r.note += (r.note.isEmpty() ? QString() : QStringLiteral("\n")) +
                  Texts::ShareRestartPrograms(drive);
    r.ok = true;
    r.text = Texts::ShareConnected(a->unc(), drive);
    return r;
}

} // namespace

bool SuiteUsesDrive(const Settings& settings) {
    const QString drive = DriveName(settings.drive);
    const auto a = platform::ParseShareAddress(settings.share);
    const Quarn_v2::SuiteState now = Quarn_v2::LookAtSuite();
    if (Quarn_v2::SetInForce(now) == Quarn_v2::InForce::Network)
        return true;
    for (int i = 0; i < 9; ++i) {
        const QString dir = now.CurrentSet[i];
        if ((!drive.isEmpty() && dir.startsWith(drive, Qt::CaseInsensitive)) ||
            (a && dir.startsWith(a->unc(), Qt::CaseInsensitive)))
            return true;
    }
    return false;
}

Result Disconnect(const Quarn_v2::SuiteState& s, const Settings& settings) {
    const auto a = platform::ParseShareAddress(settings.share);
    const QString drive = DriveName(settings.drive);
    if (!a || drive.isEmpty())
        return Done(Texts::ShareNotConnected());
    // Never under a copy to or from the share, which would be cut off.
    platform::SharedLock copies(CopyProcedure::TransferLockKey());
    if (copies.usable() && !copies.tryLockAlone())
        return Failed(Texts::ShareCopyRunning());
    // Held before anything goes, so that follow does not bring it back.
    Writes writes(s.SuiteIniPath);
    if (!writes.put(QStringLiteral("DisconnectedByUser"), QStringLiteral("1")))
        return Failed(writes.why());
    const Mounter mounts = Mounts();
    QStringList drives = LinkedDrives(s);
    if (!drives.contains(drive, Qt::CaseInsensitive))
        drives.prepend(drive);
    QString folder = mounts.folder(*a, settings.user, settings.domain);
    // Not mounted now (a session ended): the links still lead to where it was.
    for (const QString& d : drives) {
        const QString target = platform::DriveTarget(d);
        if (folder.isEmpty() && IntoShareMount(target) &&
            target.contains(QStringLiteral("share=") + a->share.toLower()))
            folder = target;
    }
    Result r = Done(Texts::ShareDisconnectedByYou());
    if (!folder.isEmpty()) {
        QString why = platform::UnlinkShare(drive, a->server, a->share, folder,
                                            ReplacedDrive(s, drive), Stored(s, UncKey(*a)));
        for (const QString& d : drives)
            if (d.compare(drive, Qt::CaseInsensitive) != 0)
                if (const QString said = platform::UnlinkDrive(d, folder, ReplacedDrive(s, d));
                    why.isEmpty())
                    why = said;
        if (!why.isEmpty())
            return Failed(Texts::ShareNotLinked(why));
    }
    for (const QString& d : drives) {
        if (!ReplacedDrive(s, d).isEmpty())
            continue;
        if (const auto mark = platform::MarkNetworkDrive(d, false); !mark.done && !mark.noWine)
            r.note = Texts::ShareNotMarked(d, mark.why);
    }
    // Records left (a full disk) are harmless: a drive no longer on the
    // share is left alone, and a Connect records afresh what it finds.
    for (const QString& d : drives)
        writes.put(DriveKey(d), QString());
    for (const QString& key :
         {QStringLiteral("ReplacedDrive"), QStringLiteral("LinkedDrives"), UncKey(*a)})
        writes.put(key, QString());
    // Only the very mount Quarn made: not one mounted again since by others.
    const QString key = Key(*a, settings);
    if (const auto made = MadeHere(key)) {
        if (*made == Identity(mounts, mounts.folder(*a, settings.user, settings.domain))) {
            if (const QString why = mounts.unmount(*a, settings.user, settings.domain);
                !why.isEmpty())
                return Failed(Texts::ShareNotUnmounted(why));
        }
        SetMadeHere(key, std::nullopt);
    }
    return r;
}

std::optional<Result> Reconnect(const Quarn_v2::SuiteState& s) {
    const Settings share = Remembered(s);
    if (share.share.isEmpty() || share.disconnected || Look(share).connected)
        return std::nullopt;
    QElapsedTimer clock;
    clock.start();
    Result r = ConnectOnce(
        s, share, {}, false, [](const QString&) { return false; }, true, false);
    r.ms = clock.elapsed();
    return r;
}

} // namespace OfficeShare
