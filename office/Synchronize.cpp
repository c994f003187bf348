#include "office/Synchronize.h"
#include "office/ReportVersions.h"
#include "office/ShareFollow.h"
#include "office/Texts.h"
#include "suite/CopyProcedure.h"
#include "suite/Texts.h"

#include "config/ModCommon.h"
#include "platform/Prompter.h"
#include "platform/files/FileCopy.h"
#include "platform/files/FileLock.h"
#include "platform/files/KeptVersions.h"
#include "platform/files/ShareLock.h"
#include "platform/files/Trash.h"
#include "platform/win/HostError.h"

#include <QDate>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <optional>

#include <cerrno>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>

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

QString HostIn(const Folders& f, const QString& windowsFolder, const QString& name) {
    const QString host = f.host(windowsFolder);
    return host.isEmpty() ? QString() : host + u'/' + name;
}

// A plain file's size and time in ms, never through a link; nullopt for
// anything else. `absent`: nothing at all has the name.
std::optional<std::pair<qint64, qint64>> PlainFile(const QString& path, bool* absent = nullptr) {
    struct stat st {};
    const int rc = path.isEmpty() ? -1 : ::lstat(QFile::encodeName(path).constData(), &st);
    if (absent)
        *absent = !path.isEmpty() && rc != 0 && errno == ENOENT;
    if (rc != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return std::pair{qint64(st.st_size),
                     qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1'000'000};
}

// A side's files of one report as they stand now: the planned names, and
// the sketch names the transfer would give (or only `sketches`, where the
// caller knows them), looked at one by one. `absentAt`: the report's path,
// where nothing at all had its name.
SideFiles LookNow(const Folders& f, const Row& row, bool network,
                  const QStringList* sketches = nullptr, QString* absentAt = nullptr) {
    const SideFiles& planned = network ? row.network : row.local;
    SideFiles now;
    const QString reportName = planned.report.isEmpty() ? row.name : planned.report;
    const QString reportPath = HostIn(f, network ? f.networkReports : f.localReports, reportName);
    bool absent = false;
    const auto report = PlainFile(reportPath, &absent);
    if (absent && absentAt)
        *absentAt = reportPath;
    if (!report)
        return now;
    now.report = reportName;
    now.seen.size = now.reportSize = report->first;
    now.seen.mtimeMs = now.reportMtimeMs = report->second;
    QStringList candidates = planned.sketches;
    const QString stem = row.name.left(row.name.lastIndexOf(u'.'));
    for (const QString& name :
         sketches ? *sketches
                  : QStringList{stem + QStringLiteral(".sk3"), stem + QStringLiteral(".AXF"),
                                stem + QStringLiteral(".AX2"), stem + QStringLiteral(".AX4")})
        if (!candidates.contains(name, Qt::CaseInsensitive))
            candidates << name;
    for (const QString& sketch : candidates) {
        const auto file = PlainFile(HostIn(f, SketchFolder(f, sketch, network), sketch));
        if (!file)
            continue;
        now.sketches << sketch;
        now.seen.size += file->first;
        now.seen.mtimeMs = std::max(now.seen.mtimeMs, file->second);
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

// The content a side's files must still have for the plan to hold: what
// the plan read, else what the record holds for a side the plan took for
// as recorded; empty when only sizes and times can tell.
QByteArray Expected(const Row& row, bool network) {
    const platform::SeenVersion& seen = network ? row.network.seen : row.local.seen;
    if (!seen.hash.isEmpty())
        return seen.hash;
    const platform::SeenVersion& recorded = network ? row.record.network : row.record.local;
    return row.hasRecord && SyncPlan::Unchanged(seen, recorded) ? recorded.hash : QByteArray();
}

// Files about to be replaced (host path -> content as last read, empty: not
// there), each read again through a fresh open just before its turn: a
// share's client may show a file's old size and time for seconds after
// another laptop or a colleague saved over it.
class Guard {
public:
    // False when one cannot be read (or is a link): not safe to replace.
    // `fresh`: `seen` was looked at just now.
    bool add(const QString& path, const std::optional<QByteArray>& seen = std::nullopt,
             bool fresh = false) {
        if (path.isEmpty())
            return false;
        const auto now = seen ? seen : SyncPlan::HashFile(path);
        if (!now)
            return false;
        files_.insert(path, *now);
        // Read just now, with nothing written since: the next look need not
        // read it again (on a share each read is a round trip).
        if (!seen || fresh)
            fresh_.insert(path);
        return true;
    }
    bool holds(const QString& path) const { return files_.contains(path); }
    // Not there when last read: nothing to keep in its place.
    bool absent(const QString& path) const {
        const auto it = files_.constFind(path);
        return it != files_.cend() && it->isEmpty();
    }
    // Every file not yet replaced is as it was; `copying`, were it not
    // there, is left to the copy, which refuses to replace what turned up.
    bool unchanged(const QString& copying = {}) {
        for (auto it = files_.cbegin(); it != files_.cend(); ++it)
            if (!fresh_.contains(it.key()) && !(it.key() == copying && it->isEmpty()) &&
                SyncPlan::HashFile(it.key()) != *it)
                return false;
        fresh_.clear();
        return true;
    }
    bool unchangedFile(const QString& path) const {
        return SyncPlan::HashFile(path) == files_.value(path);
    }
    void replaced(const QString& path) { files_.remove(path); }

private:
    QHash<QString, QByteArray> files_;
    QSet<QString> fresh_;
};

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
            if (row.action == Action::Nothing ||
                !SyncPlan::ActionsFor(row.state).contains(row.action))
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
        // A link or two names Windows takes for one offer nothing to do.
        if (!SyncPlan::ActionsFor(row.state).contains(row.action))
            row.action = Action::Nothing;
        if (row.action == Action::Nothing)
            return true; // not told as being moved
        progress_.current = row.name;
        stamp_ = platform::VersionStamp();
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
    // With a guard, nothing is replaced unless every file it holds is as it
    // was, and the old version is kept first.
    QString copy(const QString& from, const QString& to, platform::ShareLock* lock,
                 Guard* guard = nullptr, QString* kept = nullptr) {
        if (from.isEmpty() || to.isEmpty())
            return platform::ErrorDescription(platform::DeviceUnavailable);
        // The old version goes aside as the new one takes its place.
        QString keepAt;
        const bool mustBeNew = guard && guard->absent(to);
        if (guard) {
            if (!guard->unchanged(to))
                return kChangedMeanwhile;
            if (const int err = mustBeNew ? 0 : platform::KeepPlace(to, stamp_, &keepAt))
                return Texts::VersionNotKept(QFileInfo(to).fileName(),
                                             platform::ErrorDescription(err));
            guard->replaced(to);
        }
        // A lock broken by another while this copy stood still (a laptop
        // suspended) is theirs now: writing on would cross their work.
        bool lockLost = lock && !lock->held();
        const int err = lockLost ? int(platform::Cancelled)
                                 : platform::CopyFileAtomically(
                                       from, to,
                                       [&](qint64 done, qint64) {
                                           if (lock && !lock->renew()) {
                                               lockLost = true;
                                               return false;
                                           }
                                           return tell(done);
                                       },
                                       keepAt, mustBeNew);
        if (lockLost)
            return Texts::SyncLockLost(progress_.current);
        if (err == platform::Cancelled)
            return kCancelled;
        if (err == platform::TargetChanged)
            return kChangedMeanwhile;
        shareGone_ = shareGone_ || err == platform::DiskNotReady;
        if (err != 0)
            return platform::ErrorDescription(err);
        if (!keepAt.isEmpty() && QFileInfo::exists(keepAt)) {
            if (f_.keepDays == 0)
                keptThisRun_ << keepAt;
            if (kept)
                *kept = keepAt;
        }
        doneBytes_ += QFileInfo(to).size();
        return {};
    }

    // The files of `from` (one side's) onto the other side, the report last
    // so that a report never stands there without the sketch it was saved
    // with; the target names those of `there`, or `rename` of each.
    // `guard` holds the target side's files as the row's check read them;
    // the targets it lacks are read now.
    QString copyFiles(const SideFiles& from, bool fromNetwork, const SideFiles& there,
                      platform::ShareLock* lock, Guard& guard,
                      const std::function<QString(const QString&)>& rename = {}) {
        const auto targetOf = [&](const QString& name) {
            return rename ? rename(name) : TargetName(name, there);
        };
        QList<std::pair<QString, QString>> files;
        for (const QString& sketch : from.sketches)
            files << std::pair{
                HostIn(f_, SketchFolder(f_, sketch, fromNetwork), sketch),
                HostIn(f_, SketchFolder(f_, sketch, !fromNetwork), targetOf(sketch))};
        files << std::pair{
            HostIn(f_, fromNetwork ? f_.networkReports : f_.localReports, from.report),
            HostIn(f_, fromNetwork ? f_.localReports : f_.networkReports, targetOf(from.report))};
        for (const auto& [source, target] : files)
            if (!target.isEmpty() && !guard.holds(target) && !guard.add(target))
                return kChangedMeanwhile;
        // A report's files go together or not at all: cut off halfway, what
        // went first is put back.
        struct Done {
            QString target, kept;
            std::optional<QByteArray> written;
        };
        QList<Done> done;
        for (const auto& [source, target] : files) {
            QString kept;
            if (QString why = copy(source, target, lock, &guard, &kept); !why.isEmpty()) {
                // A share that stopped answering would hold each read as long.
                for (auto it = done.crbegin(); it != done.crend() && !shareGone_; ++it)
                    putBack(it->target, it->kept, it->written);
                return why;
            }
            done << Done{target, kept, SyncPlan::HashFile(fromNetwork ? target : source)};
        }
        return {};
    }

    // A file this run wrote, back to what it replaced (or away, where it
    // replaced nothing), only while it still holds what was written.
    void putBack(const QString& target, const QString& kept,
                 const std::optional<QByteArray>& written) {
        if (!written || SyncPlan::HashFile(target) != written)
            return;
        if (kept.isEmpty())
            QFile::remove(target);
        else if (::rename(QFile::encodeName(kept).constData(),
                          QFile::encodeName(target).constData()) == 0)
            keptThisRun_.removeOne(kept);
    }

    std::optional<QString> lockShare(std::optional<platform::ShareLock>& lock, const Row& row) {
        const QString name = row.network.report.isEmpty() ? row.name : row.network.report;
        lock.emplace(f_.host(f_.networkReports), name);
        return CopyProcedure::TakeShareLock(*lock, name);
    }

    // The side must still hold what the plan saw: by size and time, then by
    // its content read afresh where the plan or the record knows it. `guard`
    // is given the side's files as read.
    bool asPlanned(const Row& row, bool network, Guard& guard) {
        QString absentAt;
        const SideFiles now = LookNow(f_, row, network, nullptr, &absentAt);
        if (!SyncPlan::Unchanged(now.seen, (network ? row.network : row.local).seen))
            return false;
        // Nothing at the report's name just now: no second look before its copy.
        if (!absentAt.isEmpty())
            guard.add(absentAt, QByteArray(), true);
        const QStringList paths = SyncPlan::HostPaths(f_, now, network);
        QList<QByteArray> each;
        const QByteArray whole = SyncPlan::HashFiles(paths, &each);
        if (whole.isEmpty())
            return false;
        for (qsizetype i = 0; i < paths.size(); ++i)
            guard.add(paths[i], each[i]);
        const QByteArray expected = Expected(row, network);
        return expected.isEmpty() || whole == expected;
    }

    // The old version of a file about to be removed is kept, whatever the
    // days (as what a copy replaces is): with no days to keep, what this
    // run kept goes at its end.
    int keep(const QString& path) {
        QString at;
        const int err = platform::KeepVersion(path, stamp_, &at);
        if (!at.isEmpty() && f_.keepDays == 0)
            keptThisRun_ << at;
        return err;
    }
    // A laptop's file that must go, moved whole into the kept versions in
    // one step: whatever it holds at that moment is kept.
    int setAside(const QString& path, bool keptElsewhere) {
        QString to;
        if (const int err = platform::KeepPlace(path, stamp_, &to); err || to.isEmpty())
            return err; // nothing there any more: nothing to set aside
        if (::renameat2(AT_FDCWD, QFile::encodeName(path).constData(), AT_FDCWD,
                        QFile::encodeName(to).constData(), RENAME_NOREPLACE) != 0)
            return platform::ErrorFromErrno(errno);
        if (keptElsewhere && f_.keepDays == 0)
            keptThisRun_ << to;
        return platform::NoError;
    }

    void remember(const QString& name, const SideFiles& local, const SideFiles& network,
                  const QByteArray& hash) {
        SeenReport seen{local.seen, network.seen};
        seen.local.hash = seen.network.hash = hash;
        record_.save(name, seen);
    }

    // Changed meanwhile into the very version that was to go (another run
    // sent it): nothing to move, and nothing to choose.
    bool alreadyAlike(Row& row) {
        const SideFiles local = LookNow(f_, row, false), network = LookNow(f_, row, true);
        const QByteArray here = SyncPlan::HashFiles(SyncPlan::HostPaths(f_, local, false));
        if (here.isEmpty() || local.sketches.size() != network.sketches.size() ||
            here != SyncPlan::HashFiles(SyncPlan::HostPaths(f_, network, true)))
            return false;
        remember(row.name, local, network, here);
        row.local = local;
        row.network = network;
        row.state = SyncPlan::State::Same;
        return true;
    }

    QString move(Row& row, bool toNetwork) {
        std::optional<platform::ShareLock> lock;
        if (toNetwork)
            if (auto why = lockShare(lock, row))
                return *why;
        Guard guard;
        if (!asPlanned(row, toNetwork, guard))
            return alreadyAlike(row) ? QString() : kChangedMeanwhile;
        const SideFiles from = LookNow(f_, row, !toNetwork);
        if (from.report.isEmpty())
            return platform::ErrorDescription(platform::FileNotFound);
        if (QString why = copyFiles(from, !toNetwork, toNetwork ? row.network : row.local,
                                    lock ? &*lock : nullptr, guard);
            !why.isEmpty())
            return why;
        // Each side looked at again by the names that went across: a sketch
        // that turned up meanwhile is left out of the record, so the next
        // run sees it as a change rather than taking it for agreed.
        QStringList sent;
        for (const QString& sketch : from.sketches)
            sent << TargetName(sketch, toNetwork ? row.network : row.local);
        SideFiles local = LookNow(f_, row, false, toNetwork ? &from.sketches : &sent),
                  network = LookNow(f_, row, true, toNetwork ? &sent : &from.sketches);
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
        Guard onShare, onLaptop;
        if (!asPlanned(row, true, onShare) || !asPlanned(row, false, onLaptop))
            return kChangedMeanwhile;
        const SideFiles mine = LookNow(f_, row, false);
        QString kept;
        const auto keptName = [&](const QString& name) {
            return name == mine.report ? kept : SyncPlan::KeptSketchName(name, kept);
        };
        // No file of the kept version may land on one that is there.
        const auto keptTaken = [&] {
            if (QFileInfo::exists(HostIn(f_, f_.localReports, kept)) ||
                QFileInfo::exists(HostIn(f_, f_.networkReports, kept)))
                return true;
            for (const QString& sketch : mine.sketches)
                for (const bool network : {false, true})
                    if (QFileInfo::exists(
                            HostIn(f_, SketchFolder(f_, sketch, network), keptName(sketch))))
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
        Guard newNames;
        if (QString why = copyFiles(mine, false, {}, &*lock, newNames, keptName); !why.isEmpty())
            return why;
        // Then beside it on the laptop, by a copy: cut off here, the laptop
        // still holds its version under the report's own name.
        const auto keepLocal = [&](const QString& folder, const QString& name) {
            return platform::CopyFileAtomically(HostIn(f_, folder, name),
                                                HostIn(f_, folder, keptName(name)));
        };
        for (const QString& sketch : mine.sketches)
            if (const int err = keepLocal(SketchFolder(f_, sketch, false), sketch))
                return platform::ErrorDescription(err);
        if (const int err = keepLocal(f_.localReports, mine.report))
            return platform::ErrorDescription(err);
        // The laptop's files are replaced only while they are what went
        // beside them: a save meanwhile stays, and the row is a conflict.
        const SideFiles theirs = LookNow(f_, row, true);
        if (QString why = copyFiles(theirs, true, mine, &*lock, onLaptop); !why.isEmpty())
            return why;
        // A sketch of the laptop's the share's version has none of would
        // stand beside the wrong report: it lives on under the kept name, and
        // is set aside rather than removed, in case it was saved meanwhile.
        for (const QString& sketch : mine.sketches) {
            const QString path = HostIn(f_, SketchFolder(f_, sketch, false), sketch);
            if (theirs.sketches.contains(sketch, Qt::CaseInsensitive) || !onLaptop.holds(path))
                continue;
            const bool savedMeanwhile = !onLaptop.unchangedFile(path);
            if (const int err = setAside(path, !savedMeanwhile))
                return platform::ErrorDescription(err);
            if (savedMeanwhile)
                sum_.failed << Failure{row.name, Texts::SyncSetAside(sketch)};
        }

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
        Guard guard;
        if (!asPlanned(row, onNetwork, guard))
            return kChangedMeanwhile;
        const SideFiles side = onNetwork ? row.network : row.local;
        for (const QString& path : SyncPlan::HostPaths(f_, side, onNetwork)) {
            if (!guard.unchanged())
                return kChangedMeanwhile;
            guard.replaced(path);
            if (const int err = keep(path))
                return Texts::VersionNotKept(QFileInfo(path).fileName(),
                                             platform::ErrorDescription(err));
            if (const int err = platform::MoveToTrash(path))
                return platform::ErrorDescription(err);
        }
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
    QString stamp_; // the row's kept versions'

public:
    // The versions kept longer than the days go; with none to keep, those
    // this run kept.
    void letGo() {
        if (shareGone_)
            return;
        if (f_.keepDays > 0)
            ReportVersions::ExpireAll(f_, f_.keepDays);
        for (const QString& path : keptThisRun_)
            QFile::remove(path);
    }

private:
    QStringList keptThisRun_;
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
             !SyncPlan::Unchanged(row.network.seen, row.record.network) ||
             (row.record.local.hash.isEmpty() && !row.local.seen.hash.isEmpty())))
            record.save(row.name, SeenReport{row.local.seen, row.network.seen});
}

QStringList Waiting(const QList<Row>& rows, const Summary& s) {
    QStringList waiting = s.conflicts;
    for (const Row& row : rows)
        if (row.state != SyncPlan::State::Same && row.action == Action::Nothing &&
            !waiting.contains(row.name))
            waiting << row.name;
    return waiting;
}

platform::SyncRun Entry(const Summary& s, const QList<Row>& rows, platform::SyncRun::By by,
                        qint64 startedMs) {
    platform::SyncRun run;
    run.startedMs = startedMs;
    run.endedMs = QDateTime::currentMSecsSinceEpoch();
    run.computer = platform::ComputerName();
    run.by = by;
    run.sent = s.toNetwork;
    run.brought = s.toLocal;
    run.keptBoth = s.keptBoth;
    run.trashed = s.trashed;
    run.waiting = Waiting(rows, s);
    for (const Failure& f : s.failed)
        run.failed << (f.report.isEmpty() ? f.why : f.report + QStringLiteral(": ") + f.why);
    run.cancelled = s.cancelled;
    return run;
}

QString When(qint64 ms, const QDateTime& now) {
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(ms);
    const qint64 daysAgo = at.date().daysTo(now.date());
    const QString time = at.toString(QStringLiteral("HH:mm"));
    if (daysAgo == 0)
        return QStringLiteral("today ") + time;
    if (daysAgo == 1)
        return QStringLiteral("yesterday ") + time;
    return at.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

QString ByText(platform::SyncRun::By by) {
    switch (by) {
    case platform::SyncRun::By::Window: return QStringLiteral("Synchronize Reports");
    case platform::SyncRun::By::Quarnctl: return QStringLiteral("quarnctl sync");
    case platform::SyncRun::By::Following: return QStringLiteral("following the share");
    }
    return {};
}

QString RunText(const platform::SyncRun& run, const QDateTime& now) {
    QStringList parts;
    const auto count = [&parts](const QStringList& names, const char* what) {
        if (!names.isEmpty())
            parts << QStringLiteral("%1 %2").arg(names.size()).arg(QLatin1String(what));
    };
    count(run.sent, "sent");
    count(run.brought, "brought");
    count(run.keptBoth, "kept both");
    count(run.trashed, "to the trash");
    if (parts.isEmpty())
        parts << QStringLiteral("nothing to move");
    if (!run.waiting.isEmpty())
        parts << QStringLiteral("%1 waiting").arg(run.waiting.size());
    if (!run.failed.isEmpty())
        parts << QStringLiteral("%1 failed").arg(run.failed.size());
    if (run.cancelled)
        parts << QStringLiteral("cancelled");
    return When(run.endedMs, now) + QStringLiteral(", ") + parts.join(QStringLiteral(", "));
}

QString LastSynchronized(const QList<platform::SyncRun>& runs, const QDateTime& now) {
    if (runs.isEmpty())
        return QStringLiteral("Not synchronized yet");
    return QStringLiteral("Last synchronized: ") + RunText(runs.front(), now);
}

Summary Run(const Folders& given, QList<Row>& rows, platform::SyncRecord& record,
            const Hooks& hooks) {
    Summary sum;
    Folders folders = given;
    folders.resolveHosts();
    RememberAgreed(rows, record);
    // quarnctl follow switches the sets, and Disconnect takes the share
    // away, only while no copy runs.
    platform::SharedLock transfer(CopyProcedure::TransferLockKey());
    if (const int err = transfer.lockShared()) {
        sum.failed << Failure{QString(), platform::ErrorDescription(err)};
        return sum;
    }
    Mover mover(folders, record, hooks, sum);
    mover.plan(rows);
    for (Row& row : rows)
        if (!mover.run(row))
            break;
    mover.letGo();
    return sum;
}

} // namespace Synchronize
