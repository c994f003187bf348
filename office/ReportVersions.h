#pragma once
// The versions of reports and sketches that a synchronization or a transfer
// replaced or deleted (platform/files/KeptVersions), as the office sees
// them: how long they are kept, a report's versions on both sides, one put
// back, the old ones let go at the end of a sync.

#include "platform/files/KeptVersions.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace Quarn_v2 {
struct SuiteState;
}
namespace SyncPlan {
struct Folders;
}

namespace ReportVersions {

// Keeps the files at `hostPaths` (a report and its sketches, host paths)
// under one stamp before they are replaced or deleted; with `days` 0,
// nothing. Missing files are nothing to keep. NoError, or the error number
// of the first that could not be kept (`failedPath` says which): then the
// files must not be replaced.
int KeepBefore(const QStringList& hostPaths, int days, QString* failedPath = nullptr);

// One kept version of a report: the files kept together under one stamp on
// one side, the report's first (a sketch kept alone is a version too).
struct Version {
    bool network = false;
    QList<platform::KeptVersion> files;
    // What quarnctl sync --restore takes: "laptop:" or "share:", then the
    // first file's kept name.
    QString argument() const;
};

struct Listing {
    QList<Version> versions; // the laptop's first, each side's newest first
    QStringList problems;    // folders that could not be listed, and why
};

// The kept versions in both sides' report and sketch folders, of every
// report or of `report` (a name or a path; its stem counts).
Listing List(const SyncPlan::Folders& folders, const QString& report = {});

struct Restored {
    QStringList files; // the files put back (host paths)
    QString why;       // not empty: what stopped it (nothing more was put back)
    bool declined = false;
};

// Puts the version `argument` names back: each of its files over the
// current one, which is kept first (a version of its own). Where a current
// file is newer than the version, the user is asked first (Yes/No through
// the Prompter); No declines, changing nothing. On the share it holds the
// report's lock there meanwhile.
Restored Restore(const SyncPlan::Folders& folders, const QString& argument);

// Lets go of the versions kept more than `days` days in every folder of
// both sides (platform::ExpireVersions); the number removed. On the share,
// never sooner than CopyProcedure::kDefaultKeepDays: one laptop's setting does not take
// the office's recent versions away from the others.
int ExpireAll(const SyncPlan::Folders& folders, int days);

} // namespace ReportVersions
