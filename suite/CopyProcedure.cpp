#include "suite/CopyProcedure.h"
#include "suite/Texts.h"

#include "config/ModCommon.h"
#include "config/WPINI.h"
#include "platform/Prompter.h"
#include "platform/files/FileCopy.h"
#include "platform/files/FileLock.h"
#include "platform/files/KeptVersions.h"
#include "platform/files/ShareLock.h"
#include "platform/win/HostError.h"
#include "platform/win/WinPath.h"
#include "platform/wine/WinePrefixes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <QDateTime>

#include <atomic>
#include <memory>

using ModCommon::Trim;
using platform::Answer;
using platform::Buttons;
using platform::MsgBox;
using platform::RuntimeError;

namespace CopyProcedure {
namespace {

bool Ask(const QString& text) {
    return MsgBox(text, Buttons::YesNo) == Answer::Yes;
}

// How the files a run replaces are kept: for how long (0: not at all), and
// the stamp the report and its sketch share.
struct Keep {
    int days = 0;
    QString stamp;
};

// The old version of a target could not be kept: it is not replaced.
struct KeepFailed {
    QString target;
    int error;
};

// Copies a Windows path onto another, the target's old version kept first:
// false when the user cancelled (that counts as not copied); a failure is
// raised for the error report.
bool Copy(const QString& source, const QString& target, const Progress& progress,
          const Keep& keep) {
    const auto from = platform::ToHostPath(source);
    if (!from.ok())
        throw RuntimeError(from.error);
    const auto to = platform::ToHostPath(target);
    if (!to.ok())
        throw RuntimeError(to.error);
    // The old version goes aside as the new one takes its place: nothing
    // kept for a copy that never lands, no byte moved to keep it.
    QString kept;
    if (keep.days != 0)
        if (const int err = platform::KeepPlace(to.value, keep.stamp, &kept))
            throw KeepFailed{target, err};
    const int err = platform::CopyFileAtomically(
        from.value, to.value,
        [&](qint64 done, qint64 total) { return !progress || progress(target, done, total); },
        kept);
    if (err == platform::Cancelled) {
        // A versions folder made for it alone would be litter. (After a
        // failure the folder is left: a share that stopped answering would
        // hold the removal as long.)
        if (!kept.isEmpty())
            QDir().rmdir(QFileInfo(kept).path());
        return false;
    }
    if (err != 0)
        throw RuntimeError(err);
    return true;
}

// What a host path is, asked under the five-second rule: a share that
// stopped answering is raised for the error report, not a frozen window.
bool HostPathIs(const QString& host, bool (*what)(const QFileInfo&)) {
    auto answer = std::make_shared<std::atomic<bool>>(false);
    if (!platform::AskWithinBound(host, [answer, host, what] {
            platform::ProbeHost(host);
            *answer = what(QFileInfo(host));
        }))
        throw RuntimeError(platform::DiskNotReady);
    return *answer;
}

// A plain, visible file, of any length: how the report is looked for. A
// share that did not answer raises 71; never asks.
bool VisibleFileExists(const QString& path) {
    const auto host = platform::ToHostPath(path);
    if (host.error == platform::DiskNotReady)
        throw RuntimeError(host.error); // not "doesn't exist": the share did not answer
    return host.ok() && HostPathIs(host.value, [](const QFileInfo& fi) {
               return fi.isFile() && !fi.fileName().startsWith(u'.');
           });
}

bool IsHostPath(const QString& report) {
    return report.startsWith(u'/');
}

// What follows the last separator: "\\" and "/" in a Windows path, "/" alone
// in a host path, where a backslash is part of the name.
QString OwnName(const QString& report) {
    const qsizetype slash = IsHostPath(report)
                                ? report.lastIndexOf(u'/')
                                : std::max(report.lastIndexOf(u'\\'), report.lastIndexOf(u'/'));
    return report.mid(slash + 1);
}

// A target name is taken by a file of a byte or more (FileExists, which may
// ask Abort/Retry/Ignore), or by a link that leads nowhere: the copy
// replaces the link, so the user is asked first.
bool TargetTakenMayAsk(const QString& path) {
    if (ModCommon::FileExists(path))
        return true;
    const auto host = platform::ToHostPath(path);
    return host.ok() && HostPathIs(host.value, [](const QFileInfo& fi) {
               return fi.isSymLink() && !fi.exists();
           });
}

// The report into the target folder under its upper-cased name.
void CopyReport(const Inputs& in, const Progress& progress, const Keep& keep, Outcome& out) {
    QString targetDir = in.reportTargetDir;
    const QString target = ModCommon::CkRSlash(targetDir) + ReportTargetName(in.report);
    if (TargetTakenMayAsk(target)) {
        if (Ask(Texts::Overwrite(target)))
            out.copied |= Copy(in.report, target, progress, keep);
    } else if (VisibleFileExists(in.report)) {
        out.copied |= Copy(in.report, target, progress, keep);
    } else {
        out.reportMissing = true;
        MsgBox(Texts::SourceMissing(in.report));
    }
}

// The report's sketch from this side's sketch folder to the other's; true
// when it was copied. The two directions ask and tell differently.
bool CopySketch(const Inputs& in, Quarn_v2::DirectorySet& local, Quarn_v2::DirectorySet& network,
                const Progress& progress, const Keep& keep) {
    const Sketch s = in.sketch;
    if (s == Sketch::None)
        return false;
    const bool plandraw = s == Sketch::Plandraw32;
    const bool toNetwork = in.direction == Direction::LocalToNetwork;
    Quarn_v2::DirectorySet& from = toNetwork ? local : network;
    Quarn_v2::DirectorySet& to = toNetwork ? network : local;
    QString& fromDir = plandraw ? from.QXSDATADIR : from.APEXDATADIR;
    QString& toDir = plandraw ? to.QXSDATADIR : to.APEXDATADIR;
    const QString file = SketchFileName(in.report, s);
    const QString source = ModCommon::CkRSlash(fromDir) + file;
    const QString target = ModCommon::CkRSlash(toDir) + file;
    const QString notFound = Texts::NotFound(source);

    if (toNetwork) {
        if (TargetTakenMayAsk(target))
            return Ask(Texts::Overwrite(target)) && Copy(source, target, progress, keep);
        if (ModCommon::FileExists(source))
            return Copy(source, target, progress, keep);
        MsgBox(s == Sketch::ApexAxf || s == Sketch::ApexAx2 ? Texts::SketchNotCopied(source)
                                                            : notFound);
        return false;
    }
    if (TargetTakenMayAsk(target)) {
        if (!Ask(Texts::Overwrite(target)))
            return false;
        if (ModCommon::FileExists(source))
            return Copy(source, target, progress, keep);
        MsgBox(notFound);
        return false;
    }
    if (!ModCommon::FileExists(source)) {
        MsgBox(notFound);
        return false;
    }
    // Plandraw asks with the target's path as the whole question.
    return (!plandraw || Ask(target)) && Copy(source, target, progress, keep);
}

} // namespace

void ReportNameParts(const QString& report, QString& name, QString& ext) {
    QString own = OwnName(report);
    // Windows drops these itself, and so the copy reads the file without them.
    while (own.endsWith(u' ') || own.endsWith(u'.'))
        own.chop(1);
    own = ModCommon::UCase(own);
    const qsizetype dot = own.lastIndexOf(u'.');
    name = dot < 0 ? own : own.left(dot);
    ext = dot < 0 ? QString() : own.mid(dot + 1);
}

int KeepDays(const Quarn_v2::SuiteState& s) {
    bool ok = false;
    const int days = Trim(WPINI::ReadIni(s.SuiteIniPath, QStringLiteral("SYNC"),
                                         QStringLiteral("KeepVersionsDays"), {}))
                         .toInt(&ok);
    return ok && days >= 0 ? days : kDefaultKeepDays;
}

QString TransferLockKey() {
    return QStringLiteral("transfer ") + platform::ResolvedFolder(platform::WinePrefix());
}

QString ReportTargetName(const QString& report) {
    QString name, ext;
    ReportNameParts(report, name, ext);
    return ext.isEmpty() ? name : name + u'.' + ext;
}

QString SketchFileName(const QString& report, Sketch option) {
    QString name, ext;
    ReportNameParts(report, name, ext);
    return name + (option == Sketch::Plandraw32 ? QStringLiteral(".sk3") : SketchExtension(option));
}

QString NameRefusal(const QString& report) {
    if (!IsHostPath(report))
        return {};
    const QString own = OwnName(report);
    bool nameable = !own.isEmpty() && !own.endsWith(u' ') && !own.endsWith(u'.');
    for (const QChar c : own)
        nameable = nameable && c.unicode() >= 32 && !QStringView(u"\\:*?\"<>|").contains(c);
    if (nameable)
        return {};
    return Texts::Unnameable(own);
}

QString ReportPathFor(const QString& hostPath) {
    const QString windows = platform::ToWindowsPath(hostPath);
    if (windows.isEmpty())
        return hostPath;
    // A folder on the way that Windows would read as another (a trailing
    // blank, a colon) keeps the host path, which reaches the file as it is.
    const auto back = platform::ToHostPath(windows);
    const auto folder = [](const QString& p) {
        const QFileInfo fi(p);
        const QString canonical = QFileInfo(fi.absolutePath()).canonicalFilePath();
        return canonical.isEmpty() ? QString() : canonical + u'/' + fi.fileName();
    };
    return back.ok() && !folder(hostPath).isEmpty() && folder(back.value) == folder(hostPath)
               ? windows
               : hostPath;
}

QString SketchExtension(Sketch option) {
    switch (option) {
    case Sketch::ApexAxf: return QStringLiteral(".AXF");
    case Sketch::ApexAx2: return QStringLiteral(".AX2");
    case Sketch::ApexAx3:
    case Sketch::ApexMedina: return QStringLiteral(".AX4");
    default: return {};
    }
}

QString NetworkReportDir(Quarn_v2::DirectorySet& network) {
    QString dir = ModCommon::CkRSlash(network.QXADATADIR) + QStringLiteral("data");
    if (dir.endsWith(QStringLiteral("\\data\\data")))
        dir.truncate(dir.indexOf(QStringLiteral("\\data\\data")) + 1);
    return dir;
}

QString LocalReportDir(Quarn_v2::DirectorySet& local) {
    return ModCommon::CkRSlash(local.QXADATADIR) + QStringLiteral("data");
}

std::optional<QString> TakeShareLock(platform::ShareLock& lock, const QString& report,
                                     bool orUnlocked) {
    auto taken = lock.take();
    if (taken == platform::ShareLock::Take::Taken)
        return std::nullopt;
    if (taken == platform::ShareLock::Take::Failed) {
        if (orUnlocked)
            return std::nullopt;
        return platform::ErrorDescription(lock.error());
    }
    const auto time = [](const QDateTime& t) {
        return t.toLocalTime().toString(QStringLiteral("HH:mm"));
    };
    const platform::LockHolder h = lock.holder();
    if (lock.stale() &&
        platform::MsgBox(
            Texts::SyncBreakLock(report, h.user, h.computer, time(h.since), time(h.renewed)),
            platform::Buttons::YesNo) == platform::Answer::Yes &&
        lock.breakStale() == platform::ShareLock::Take::Taken)
        return std::nullopt;
    const platform::LockHolder now = lock.holder();
    return Texts::SyncLockHeld(report, now.user, now.computer, time(now.since));
}

Outcome Run(const Inputs& in, const std::function<bool()>& check, Quarn_v2::DirectorySet& local,
            Quarn_v2::DirectorySet& network, const Progress& progress) {
    Outcome out;
    // quarnctl follow switches the sets only while no copy runs.
    platform::SharedLock transfer(TransferLockKey());
    if (const int err = transfer.lockShared()) {
        MsgBox(Texts::ErrorReport(platform::ErrorDescription(err)));
        out.errorReported = true;
        return out;
    }
    // A folder the dialog could not prepare is empty; a bare name would land
    // the copy in our working folder.
    if (Trim(in.reportTargetDir).isEmpty()) {
        MsgBox(Texts::SettingsInvalid());
        return out;
    }
    // Let go after a failure is told: a share that stopped answering holds
    // the letting go up to its bound.
    std::optional<platform::ShareLock> shareLock;
    try {
        if (!check())
            return out;
        out.checked = true;
        // Its name would reach another file on the other side: nothing is copied.
        if (const QString refusal = NameRefusal(in.report); !refusal.isEmpty()) {
            MsgBox(refusal);
            out.errorReported = true;
            return out;
        }
        // Another laptop must not write this report on the share meanwhile.
        if (in.direction == Direction::LocalToNetwork) {
            const auto folder = platform::ToHostPath(in.reportTargetDir);
            const QString name = ReportTargetName(in.report);
            shareLock.emplace(folder.ok() ? folder.value : QString(), name);
            if (const auto why = TakeShareLock(*shareLock, name, true)) {
                MsgBox(*why);
                out.errorReported = true;
                return out;
            }
        }
        bool lockLost = false;
        const Progress renewing = [&](const QString& target, qint64 done, qint64 total) {
            lockLost = shareLock && shareLock->held() && !shareLock->renew();
            return !lockLost && (!progress || progress(target, done, total));
        };
        const Keep keep{in.keepDays, platform::VersionStamp()};
        CopyReport(in, renewing, keep, out);
        if (!lockLost)
            out.copied |= CopySketch(in, local, network, renewing, keep);
        if (lockLost) {
            MsgBox(Texts::SyncLockLost(ReportTargetName(in.report)));
            out.errorReported = true;
            return out;
        }
        if (out.copied)
            MsgBox(Texts::Copied());
        return out;
    } catch (const RuntimeError& e) {
        MsgBox(Texts::ErrorReport(e.description()));
        out.errorReported = true;
        return out;
    } catch (const KeepFailed& e) {
        MsgBox(Texts::VersionNotKept(e.target, platform::ErrorDescription(e.error)));
        out.errorReported = true;
        return out;
    }
}

} // namespace CopyProcedure
