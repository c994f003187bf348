#include "suite/OfficeShare.h"

#include "config/WPINI.h"
#include "platform/profile/FileLock.h"
#include "platform/share/ShareMount.h"
#include "platform/win/BoundedAsk.h"
#include "platform/win/WinPath.h"
#include "platform/wine/PrefixDrives.h"
#include "suite/ShareFollow.h"
#include "suite/Texts.h"

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
            }};
}

QString Stored(const Quarn_v2::SuiteState& s, const char* key) {
    return WPINI::ReadIni(s.SuiteIniPath, kSection, QString::fromLatin1(key), QString());
}

// "N:" from "n", "N:" or "n:\"; "" when it is no drive the share may take
// (C: holds the suite).
QString DriveName(const QString& text) {
    static const QRegularExpression drive(QStringLiteral(R"(^\s*([A-Za-z]):?\\?\s*$)"));
    const auto m = drive.match(text);
    const QString letter = m.hasMatch() ? m.captured(1).toUpper() : QString();
    return letter.isEmpty() || letter < u"D" ? QString() : letter + u':';
}

// The mounts Quarn made in this session, one share's address a line, in the
// user's runtime folder, which ends with the session as the mounts do.
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

void SetMadeHere(const QString& key, bool made) {
    QStringList lines = MadeHere();
    lines.removeAll(key);
    if (made)
        lines << key;
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
            if (!platform::RunWithinBound(folder, giveUpAt, [listed, host] {
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
                   bool remember, const Ask& ask, bool mayRemount);

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
            drive.isEmpty() ? DefaultDrive(s) : drive};
}

State Look(const Settings& settings) {
    const auto a = platform::ParseShareAddress(settings.share);
    const QString drive = DriveName(settings.drive);
    if (!a || drive.isEmpty())
        return State{false, Texts::ShareNotConnected()};
    const QString folder = Mounts().folder(*a, settings.user, settings.domain);
    if (folder.isEmpty())
        return State{false, Texts::ShareNotConnected()};
    if (!SameFolder(platform::DriveTarget(drive), folder))
        return State{false, Texts::ShareMountedElsewhere(a->unc(), drive)};
    return State{true, Texts::ShareConnected(a->unc(), drive)};
}

Result Connect(const Quarn_v2::SuiteState& s, const Settings& settings, const QString& password,
               bool remember, const Ask& ask) {
    QElapsedTimer clock;
    clock.start();
    Result r = ConnectOnce(s, settings, password, remember, ask, true);
    r.ms = clock.elapsed();
    return r;
}

namespace {

Result ConnectOnce(const Quarn_v2::SuiteState& s, const Settings& settings, const QString& password,
                   bool remember, const Ask& ask, bool mayRemount) {
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
            return ConnectOnce(s, settings, password, remember, ask, false);
        return Failed(Texts::ShareUnreadable(a->unc()));
    }
    // What Connect made it takes back when a later step fails.
    const auto undo = [&](const QString& text) {
        if (mount.mountedHere)
            mounts.unmount(*a, settings.user, settings.domain);
        return Failed(text);
    };

    platform::LinkOutcome link =
        platform::LinkShare(drive, a->server, a->share, mount.folder, false);
    QString replaced;
    if (!link.done && !link.taken.isEmpty()) {
        if (!ask(Texts::ShareDriveTaken(drive, link.taken, a->unc())))
            return undo(Texts::ShareDriveKept(drive));
        replaced = link.taken;
        link = platform::LinkShare(drive, a->server, a->share, mount.folder, true);
    }
    if (!link.done)
        return undo(Texts::ShareNotLinked(link.why.isEmpty() ? link.taken : link.why));

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
    for (const auto& [key, value] : {std::pair{"Share", a->unc()},
                                     {"User", settings.user},
                                     {"Domain", settings.domain},
                                     {"Drive", drive}})
        WPINI::WriteIni(s.SuiteIniPath, kSection, QString::fromLatin1(key), value);
    // A drive put back at Disconnect; one replaced earlier stays the one to put back.
    if (!replaced.isEmpty() && Stored(s, "ReplacedDrive").isEmpty())
        WPINI::WriteIni(s.SuiteIniPath, kSection, QStringLiteral("ReplacedDrive"), replaced);
    if (mount.mountedHere)
        SetMadeHere(Key(*a, settings), true);
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
    platform::SharedLock copies(ShareFollow::TransferLockKey());
    if (copies.usable() && !copies.tryLockAlone())
        return Failed(Texts::ShareCopyRunning());
    const Mounter mounts = Mounts();
    QString folder = mounts.folder(*a, settings.user, settings.domain);
    // Not mounted now (a session ended): the links still lead to where it was.
    if (folder.isEmpty()) {
        const QString target = platform::DriveTarget(drive);
        if (target.contains(QStringLiteral("/gvfs/smb-share:")) &&
            target.contains(QStringLiteral("share=") + a->share.toLower()))
            folder = target;
    }
    const QString previous = Stored(s, "ReplacedDrive");
    if (!folder.isEmpty()) {
        if (const QString why = platform::UnlinkShare(drive, a->server, a->share, folder, previous);
            !why.isEmpty())
            return Failed(Texts::ShareNotLinked(why));
    }
    Result r = Done(Texts::ShareNotConnected());
    if (previous.isEmpty()) {
        if (const auto mark = platform::MarkNetworkDrive(drive, false); !mark.done && !mark.noWine)
            r.note = Texts::ShareNotMarked(drive, mark.why);
    }
    WPINI::WriteIni(s.SuiteIniPath, kSection, QStringLiteral("ReplacedDrive"), QString());
    const QString key = Key(*a, settings);
    if (MadeHere().contains(key)) {
        if (const QString why = mounts.unmount(*a, settings.user, settings.domain); !why.isEmpty())
            return Failed(Texts::ShareNotUnmounted(why));
        SetMadeHere(key, false);
    }
    return r;
}

} // namespace OfficeShare
