#include "suite/Synchronize.h"
#include "suite/CopyProcedure.h"
#include "suite/ShareFollow.h"
#include "suite/Texts.h"

#include "config/ModCommon.h"
#include "platform/Prompter.h"
#include "platform/profile/FileCopy.h"
#include "platform/profile/FileLock.h"
#include "platform/profile/ShareLock.h"
#include "platform/profile/Trash.h"
#include "platform/win/HostError.h"

#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <optional>

using platform::SeenReport;
using platform::SeenVersion;
using SyncPlan::Action;
using SyncPlan::Folders;
using SyncPlan::Row;
using SyncPlan::SideFiles;

namespace Synchronize {

namespace {

QString SketchFolder(const Folders& f, const QString& sketch, bool network) {
    const bool plandraw = sketch.endsWith(QStringLiteral(".sk3"), Qt::CaseInsensitive);
    return plandraw ? (network ? f.networkSketches : f.localSketches)
                    : (network ? f.networkApex : f.localApex);
}

QString HostIn(const QString& windowsFolder, const QString& name) {
    const QString host = SyncPlan::HostFolder(windowsFolder);
    return host.isEmpty() ? QString() : host + u'/' + name;
}

// A side's files of one report as they stand now: the planned names, and
// the sketch names the transfer would give, looked at one by one.
SideFiles LookNow(const Folders& f, const Row& row, bool network) {
    const SideFiles& planned = network ? row.network : row.local;
    SideFiles now;
    const QString reportName = planned.report.isEmpty() ? row.name : planned.report;
    const QFileInfo report(HostIn(network ? f.networkReports : f.localReports, reportName));
    if (!report.isFile())
        return now;
    now.report = reportName;
    now.seen.size = now.reportSize = report.size();
    now.seen.mtimeMs = now.reportMtimeMs = report.lastModified().toMSecsSinceEpoch();
    QStringList candidates = planned.sketches;
    const QString stem = row.name.left(row.name.lastIndexOf(u'.'));
    for (const QString& ext : {QStringLiteral(".sk3"), QStringLiteral(".AXF"),
                               QStringLiteral(".AX2"), QStringLiteral(".AX4")})
        if (!candidates.contains(stem + ext, Qt::CaseInsensitive))
            candidates << stem + ext;
    for (const QString& sketch : candidates) {
        const QFileInfo fi(HostIn(SketchFolder(f, sketch, network), sketch));
        if (!fi.isFile())
            continue;
        now.sketches << sketch;
        now.seen.size += fi.size();
        now.seen.mtimeMs = std::max(now.seen.mtimeMs, fi.lastModified().toMSecsSinceEpoch());
    }
    now.sketches.sort(Qt::CaseInsensitive);
    return now;
}

// The name a file of `from` takes on the other side: the name it has there
// already, else the transfer's (the stem upper-cased).
QString TargetName(const QString& name, const SideFiles& there) {
    for (const QString& have : QStringList{there.report} + there.sketches)
        if (!have.isEmpty() && have.compare(name, Qt::CaseInsensitive) == 0)
            return have;
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString ext = dot < 0 ? QString() : name.mid(dot);
    return ModCommon::UCase(dot < 0 ? name : name.left(dot)) +
           (ext.compare(QStringLiteral(".sk3"), Qt::CaseInsensitive) == 0 ? QStringLiteral(".sk3")
                                                                          : ModCommon::UCase(ext));
}

// What a row's work ends in besides a failure's words.
const QString kCancelled = QStringLiteral("cancelled");
const QString kChangedMeanwhile = QStringLiteral("changed meanwhile");

class Mover {
public:
    Mover(const Folders& f, platform::SyncRecord& record, const Hooks& hooks, Summary& sum)
        : f_(f), record_(record), hooks_(hooks), sum_(sum) {
        clock_.start();
    }

    void plan(const QList<Row>& rows) {
        for (const Row& row : rows) {
            if (row.action == Action::Nothing)
                continue;
            ++progress_.reportsTotal;
            if (row.action == Action::ToNetwork || row.action == Action::KeepBoth)
                progress_.bytesTotal += std::max<qint64>(row.local.seen.size, 0);
            if (row.action == Action::ToLocal || row.action == Action::KeepBoth)
                progress_.bytesTotal += std::max<qint64>(row.network.seen.size, 0);
            taken_ << row.name << row.local.report << row.network.report;
        }
    }

    // False once cancelled.
    bool run(Row& row) {
        if (row.action == Action::Nothing)
            return true; // not told as being moved
        progress_.current = row.name;
        if (!tell(0)) {
            sum_.cancelled = true;
            return false;
        }
        QString why;
        // A share that stopped answering would hold each further report
        // for as long again: the rest are left.
        if (shareGone_)
            why = platform::ErrorDescription(platform::DiskNotReady);
        else
            switch (row.action) {
            case Action::ToNetwork:
            case Action::ToLocal: why = move(row, row.action == Action::ToNetwork); break;
            case Action::KeepBoth: why = keepBoth(row); break;
            case Action::TrashLocal:
            case Action::TrashNetwork: why = trash(row, row.action == Action::TrashNetwork); break;
            case Action::Nothing: return true;
            }
        const bool cancelled = why == kCancelled;
        if (cancelled) {
            sum_.cancelled = true;
        } else if (why == kChangedMeanwhile) {
            sum_.conflicts << row.name;
            row.state = SyncPlan::State::Conflict;
            row.action = Action::Nothing;
        } else if (!why.isEmpty()) {
            sum_.failed << Failure{row.name, why};
        }
        ++progress_.reportsDone;
        if (hooks_.rowDone)
            hooks_.rowDone(row, why.isEmpty());
        return !cancelled;
    }

private:
    bool tell(qint64 fileDone) {
        progress_.bytesDone = doneBytes_ + fileDone;
        const qint64 elapsed = clock_.elapsed();
        if (progress_.bytesDone > 0 && elapsed > 500)
            progress_.msLeft =
                elapsed * (progress_.bytesTotal - progress_.bytesDone) / progress_.bytesDone;
        return !hooks_.progress || hooks_.progress(progress_);
    }

    // One file whole or not at all; "" when done, kCancelled, or why not.
    QString copy(const QString& from, const QString& to, platform::ShareLock* lock) {
        if (from.isEmpty() || to.isEmpty())
            return platform::ErrorDescription(platform::DeviceUnavailable);
        // A lock broken by another while this copy stood still (a laptop
        // suspended) is theirs now: writing on would cross their work.
        bool lockLost = lock && !lock->held();
        const int err = lockLost ? int(platform::Cancelled)
                                 : platform::CopyFileAtomically(from, to, [&](qint64 done, qint64) {
                                       if (lock && !lock->renew()) {
                                           lockLost = true;
                                           return false;
                                       }
                                       return tell(done);
                                   });
        if (lockLost)
            return Texts::SyncLockLost(progress_.current);
        if (err == platform::Cancelled)
            return kCancelled;
        if (err == platform::TargetChanged)
            return kChangedMeanwhile;
        shareGone_ = shareGone_ || err == platform::DiskNotReady;
        if (err != 0)
            return platform::ErrorDescription(err);
        doneBytes_ += QFileInfo(to).size();
        return {};
    }

    // The files of `from` (one side's) onto the other side, the report last
    // so that a report never stands there without the sketch it was saved
    // with; the target names those of `there`, or `rename` of each.
    QString copyFiles(const SideFiles& from, bool fromNetwork, const SideFiles& there,
                      platform::ShareLock* lock,
                      const std::function<QString(const QString&)>& rename = {}) {
        const auto targetOf = [&](const QString& name) {
            return rename ? rename(name) : TargetName(name, there);
        };
        for (const QString& sketch : from.sketches)
            if (QString why =
                    copy(HostIn(SketchFolder(f_, sketch, fromNetwork), sketch),
                         HostIn(SketchFolder(f_, sketch, !fromNetwork), targetOf(sketch)), lock);
                !why.isEmpty())
                return why;
        return copy(
            HostIn(fromNetwork ? f_.networkReports : f_.localReports, from.report),
            HostIn(fromNetwork ? f_.localReports : f_.networkReports, targetOf(from.report)), lock);
    }

    std::optional<QString> lockShare(std::optional<platform::ShareLock>& lock, const Row& row) {
        const QString name = row.network.report.isEmpty() ? row.name : row.network.report;
        lock.emplace(SyncPlan::HostFolder(f_.networkReports), name);
        return CopyProcedure::TakeShareLock(*lock, name);
    }

    // The target side must still hold what the plan saw.
    bool asPlanned(const Row& row, bool network) {
        const SideFiles now = LookNow(f_, row, network);
        return SyncPlan::Unchanged(now.seen, (network ? row.network : row.local).seen);
    }

    void remember(const QString& name, const SideFiles& local, const SideFiles& network,
                  const QByteArray& hash) {
        SeenReport seen{local.seen, network.seen};
        seen.local.hash = seen.network.hash = hash;
        record_.save(name, seen);
    }

    QString move(Row& row, bool toNetwork) {
        std::optional<platform::ShareLock> lock;
        if (toNetwork)
            if (auto why = lockShare(lock, row))
                return *why;
        if (!asPlanned(row, toNetwork))
            return kChangedMeanwhile;
        const SideFiles from = LookNow(f_, row, !toNetwork);
        if (from.report.isEmpty())
            return platform::ErrorDescription(platform::FileNotFound);
        if (QString why = copyFiles(from, !toNetwork, toNetwork ? row.network : row.local,
                                    lock ? &*lock : nullptr);
            !why.isEmpty())
            return why;
        SideFiles local = LookNow(f_, row, false), network = LookNow(f_, row, true);
        // Saved over on the target side once the copy was in (another
        // laptop, the suite): that is not the version that went across, and
        // recording it would hide the change. What went across is recorded.
        SideFiles& target = toNetwork ? network : local;
        if (target.reportSize != from.reportSize ||
            std::abs(target.reportMtimeMs - from.reportMtimeMs) > SyncPlan::kTimeToleranceMs)
            target.seen = from.seen;
        // Saved again while its files went across (a sketch already sent, say):
        // what went across is the version the copy began with, and the source
        // is recorded as that, so the next sync sends the new one.
        if (SyncPlan::Unchanged((toNetwork ? local : network).seen, from.seen))
            remember(row.name, local, network,
                     SyncPlan::HashFiles(SyncPlan::HostPaths(f_, local, false)));
        else
            remember(row.name, toNetwork ? from : local, toNetwork ? network : from, {});
        (toNetwork ? sum_.toNetwork : sum_.toLocal) << row.name;
        row.local = local;
        row.network = network;
        row.state = SyncPlan::State::Same;
        return {};
    }

    // The share's version stays under its name on both sides; the laptop's
    // goes beside it under a name saying whose it is, on both sides.
    QString keepBoth(Row& row) {
        std::optional<platform::ShareLock> lock;
        if (auto why = lockShare(lock, row))
            return *why;
        if (!asPlanned(row, true) || !asPlanned(row, false))
            return kChangedMeanwhile;
        const SideFiles mine = LookNow(f_, row, false);
        QString kept;
        const auto keptName = [&](const QString& name) {
            return name == mine.report ? kept : SyncPlan::KeptSketchName(name, kept);
        };
        // No file of the kept version may land on one that is there.
        const auto keptTaken = [&] {
            if (QFileInfo::exists(HostIn(f_.localReports, kept)) ||
                QFileInfo::exists(HostIn(f_.networkReports, kept)))
                return true;
            for (const QString& sketch : mine.sketches)
                for (const bool network : {false, true})
                    if (QFileInfo::exists(
                            HostIn(SketchFolder(f_, sketch, network), keptName(sketch))))
                        return true;
            return false;
        };
        do {
            kept = SyncPlan::KeptName(row.name, platform::ComputerName(), QDate::currentDate(),
                                      taken_);
            taken_ << kept;
        } while (keptTaken());
        // First the laptop's version onto the share under its new name, so
        // that it exists twice before anything on the laptop moves.
        if (QString why = copyFiles(mine, false, {}, &*lock, keptName); !why.isEmpty())
            return why;
        // Then beside it on the laptop, by a copy: cut off here, the laptop
        // still holds its version under the report's own name.
        const auto keepLocal = [&](const QString& folder, const QString& name) {
            return platform::CopyFileAtomically(HostIn(folder, name),
                                                HostIn(folder, keptName(name)));
        };
        for (const QString& sketch : mine.sketches)
            if (const int err = keepLocal(SketchFolder(f_, sketch, false), sketch))
                return platform::ErrorDescription(err);
        if (const int err = keepLocal(f_.localReports, mine.report))
            return platform::ErrorDescription(err);
        const SideFiles theirs = LookNow(f_, row, true);
        if (QString why = copyFiles(theirs, true, mine, &*lock); !why.isEmpty())
            return why;
        // A sketch of the laptop's the share's version has none of would
        // stand beside the wrong report: it lives on under the kept name.
        for (const QString& sketch : mine.sketches)
            if (!theirs.sketches.contains(sketch, Qt::CaseInsensitive))
                QFile::remove(HostIn(SketchFolder(f_, sketch, false), sketch));

        const SideFiles local = LookNow(f_, row, false);
        remember(row.name, local, theirs,
                 SyncPlan::HashFiles(SyncPlan::HostPaths(f_, local, false)));
        Row keptRow;
        keptRow.name = kept;
        keptRow.local.report = keptRow.network.report = kept;
        for (const QString& sketch : mine.sketches)
            keptRow.local.sketches << keptName(sketch);
        keptRow.network.sketches = keptRow.local.sketches;
        const SideFiles keptLocal = LookNow(f_, keptRow, false);
        remember(kept, keptLocal, LookNow(f_, keptRow, true),
                 SyncPlan::HashFiles(SyncPlan::HostPaths(f_, keptLocal, false)));
        sum_.keptBoth << row.name + QStringLiteral(": the laptop's version is kept as ") + kept;
        row.local = local;
        row.network = theirs;
        row.state = SyncPlan::State::Same;
        return {};
    }

    QString trash(Row& row, bool onNetwork) {
        std::optional<platform::ShareLock> lock;
        if (onNetwork)
            if (auto why = lockShare(lock, row))
                return *why;
        if (!asPlanned(row, onNetwork))
            return kChangedMeanwhile;
        const SideFiles side = onNetwork ? row.network : row.local;
        for (const QString& path : SyncPlan::HostPaths(f_, side, onNetwork))
            if (const int err = platform::MoveToTrash(path))
                return platform::ErrorDescription(err);
        record_.forget(row.name);
        sum_.trashed << row.name;
        (onNetwork ? row.network : row.local) = SideFiles{};
        return {};
    }

    const Folders& f_;
    platform::SyncRecord& record_;
    const Hooks& hooks_;
    Summary& sum_;
    Progress progress_;
    QElapsedTimer clock_;
    qint64 doneBytes_ = 0;
    QStringList taken_;
    bool shareGone_ = false;
};

QString Names(const QStringList& names) {
    return names.isEmpty() ? QString() : QStringLiteral(": ") + names.join(QStringLiteral(", "));
}

} // namespace

QString SummaryText(const Summary& s) {
    QString text = QStringLiteral("To the share: %1%2\nTo the laptop: %3%4\n")
                       .arg(s.toNetwork.size())
                       .arg(Names(s.toNetwork))
                       .arg(s.toLocal.size())
                       .arg(Names(s.toLocal));
    if (!s.keptBoth.isEmpty())
        text += QStringLiteral("Kept both: %1\n").arg(s.keptBoth.size()) + QStringLiteral("  ") +
                s.keptBoth.join(QStringLiteral("\n  ")) + u'\n';
    if (!s.trashed.isEmpty())
        text += QStringLiteral("To the trash: %1%2\n").arg(s.trashed.size()).arg(Names(s.trashed));
    if (!s.conflicts.isEmpty())
        text += QStringLiteral("Changed meanwhile, left as conflicts: %1%2\n")
                    .arg(s.conflicts.size())
                    .arg(Names(s.conflicts));
    if (!s.failed.isEmpty()) {
        text += QStringLiteral("Failed: %1\n").arg(s.failed.size());
        for (const Failure& f : s.failed)
            text += QStringLiteral("  ") +
                    (f.report.isEmpty() ? QString() : f.report + QStringLiteral(": ")) + f.why +
                    u'\n';
    }
    if (s.cancelled)
        text += QStringLiteral("Cancelled: the rest was left as it was.\n");
    return text;
}

void RememberAgreed(const QList<Row>& rows, platform::SyncRecord& record) {
    for (const Row& row : rows)
        if (row.state == SyncPlan::State::Same &&
            (!row.hasRecord || !SyncPlan::Unchanged(row.local.seen, row.record.local) ||
             !SyncPlan::Unchanged(row.network.seen, row.record.network)))
            record.save(row.name, SeenReport{row.local.seen, row.network.seen});
}

Summary Run(const Folders& folders, QList<Row>& rows, platform::SyncRecord& record,
            const Hooks& hooks) {
    Summary sum;
    RememberAgreed(rows, record);
    // quarnctl follow switches the sets, and Disconnect takes the share
    // away, only while no copy runs.
    platform::SharedLock transfer(ShareFollow::TransferLockKey());
    if (const int err = transfer.lockShared()) {
        sum.failed << Failure{QString(), platform::ErrorDescription(err)};
        return sum;
    }
    Mover mover(folders, record, hooks, sum);
    mover.plan(rows);
    for (Row& row : rows)
        if (!mover.run(row))
            break;
    return sum;
}

} // namespace Synchronize
