#include "office/ReportVersions.h"
#include "office/SyncPlan.h"
#include "office/Texts.h"
#include "suite/CopyProcedure.h"
#include "suite/Texts.h"

#include "config/ModCommon.h"
#include "config/WPINI.h"
#include "platform/Prompter.h"
#include "platform/files/ShareLock.h"

#include <QFileInfo>

#include <algorithm>
#include <optional>

using platform::KeptVersion;

namespace ReportVersions {
namespace {

QString SideName(bool network) {
    return network ? QStringLiteral("share") : QStringLiteral("laptop");
}

// A side's folders on the host, the report folder first, each once.
QStringList HostFolders(const SyncPlan::Folders& f, bool network) {
    QStringList hosts;
    for (const QString& windows :
         network ? QStringList{f.networkReports, f.networkSketches, f.networkApex}
                 : QStringList{f.localReports, f.localSketches, f.localApex})
        if (const QString host = f.host(windows); !host.isEmpty() && !hosts.contains(host))
            hosts << host;
    return hosts;
}

QString Stem(const QString& report) {
    QString name, ext;
    CopyProcedure::ReportNameParts(report, name, ext);
    return name;
}

QString When(const QDateTime& t) {
    return t.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// Under one stamp, so that they are listed and put back together.
int KeepAll(const QStringList& hostPaths, QString* failedPath) {
    const QString stamp = platform::VersionStamp();
    for (const QString& path : hostPaths)
        if (const int err = platform::KeepVersion(path, stamp)) {
            if (failedPath)
                *failedPath = path;
            return err;
        }
    return platform::NoError;
}

} // namespace

int KeepBefore(const QStringList& hostPaths, int days, QString* failedPath) {
    return days == 0 ? platform::NoError : KeepAll(hostPaths, failedPath);
}

QString Version::argument() const {
    return SideName(network) + u':' +
           (files.isEmpty() ? QString() : QFileInfo(files.front().path).fileName());
}

Listing List(const SyncPlan::Folders& folders, const QString& report) {
    Listing listing;
    const QString stem = report.isEmpty() ? QString() : Stem(report);
    for (const bool network : {false, true}) {
        QList<Version> side;
        const QStringList hosts = HostFolders(folders, network);
        for (const QString& host : hosts) {
            const auto kept = platform::ListKeptVersions(host, stem);
            if (!kept.ok()) {
                listing.problems << host + QStringLiteral(": ") +
                                        platform::ErrorDescription(kept.error);
                continue;
            }
            for (const KeptVersion& v : kept.value) {
                // Kept together: one stem, one stamp.
                const auto with = std::find_if(side.begin(), side.end(), [&](const Version& g) {
                    return g.files.front().stamp() == v.stamp() &&
                           g.files.front().stem().compare(v.stem(), Qt::CaseInsensitive) == 0;
                });
                if (with == side.end())
                    side << Version{network, {v}};
                else
                    with->files << v;
            }
        }
        std::stable_sort(side.begin(), side.end(), [](const Version& a, const Version& b) {
            return a.files.front().keptAt > b.files.front().keptAt;
        });
        listing.versions << side;
    }
    return listing;
}

Restored Restore(const SyncPlan::Folders& folders, const QString& argument) {
    Restored out;
    const qsizetype colon = argument.indexOf(u':');
    const QString side = argument.left(colon), name = argument.mid(colon + 1);
    const auto parsed = platform::ParseKeptName(name);
    if (colon < 0 || (side != u"laptop" && side != u"share") || !parsed) {
        out.why = Texts::NoSuchVersion(argument);
        return out;
    }
    const bool network = side == u"share";
    std::optional<Version> chosen;
    const Listing listing = List(folders, parsed->stem());
    for (const Version& v : listing.versions)
        for (const KeptVersion& file : v.files)
            if (v.network == network && QFileInfo(file.path).fileName() == name)
                chosen = v;
    if (!chosen) {
        out.why = listing.problems.isEmpty() ? Texts::NoSuchVersion(argument)
                                             : listing.problems.join(u'\n');
        return out;
    }

    // Each file back into the folder it was kept from, under its own name.
    QStringList targets;
    bool newer = false;
    for (const KeptVersion& file : chosen->files) {
        const QString folder = QFileInfo(QFileInfo(file.path).path()).path();
        targets << folder + u'/' + file.original;
        const QFileInfo now(targets.back());
        newer |= now.isFile() && now.lastModified().toMSecsSinceEpoch() >
                                     file.modified.toMSecsSinceEpoch() + SyncPlan::kTimeToleranceMs;
    }
    const KeptVersion& first = chosen->files.front();
    if (newer &&
        platform::MsgBox(
            Texts::RestoreOverNewer(first.original, SideName(network), When(first.modified)),
            platform::Buttons::YesNo, platform::Icon::Question) != platform::Answer::Yes) {
        out.declined = true;
        return out;
    }

    // Another laptop must not sync this report meanwhile.
    std::optional<platform::ShareLock> lock;
    if (network) {
        const QString reports = folders.host(folders.networkReports);
        const QString report =
            CopyProcedure::ReportTargetName(first.stem() + QStringLiteral(".RPT"));
        lock.emplace(reports, report);
        if (const auto why = CopyProcedure::TakeShareLock(*lock, report, true)) {
            out.why = *why;
            return out;
        }
    }
    QString failed;
    if (const int err = KeepAll(targets, &failed)) {
        out.why = Texts::VersionNotKept(failed, platform::ErrorDescription(err));
        return out;
    }
    for (qsizetype i = 0; i < targets.size(); ++i) {
        if (const int err = platform::RestoreVersion(chosen->files[i].path, targets[i])) {
            out.why = Texts::VersionNotRestored(targets[i], platform::ErrorDescription(err));
            return out;
        }
        out.files << targets[i];
    }
    return out;
}

int ExpireAll(const SyncPlan::Folders& folders, int days) {
    int removed = 0;
    for (const bool network : {false, true})
        for (const QString& host : HostFolders(folders, network))
            removed += platform::ExpireVersions(
                host, network ? std::max(days, CopyProcedure::kDefaultKeepDays) : days);
    return removed;
}

} // namespace ReportVersions
