#pragma once
// The versions a synchronization or a transfer replaces or deletes, kept
// beside the files they were kept from, in a hidden folder of their own, so
// that whatever a check misses can be had back. A kept version's name says
// what it was, which computer kept it and when:
//   SMITH.RPT  ->  .quarn-versions/SMITH (LAPTOP-7 2026-12-07 101502).RPT
// The suite never lists a dot folder, nor does Samba show one to Windows.

#include "platform/win/HostError.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace platform {

// ".quarn-versions", and that folder in a host folder.
QString VersionsFolderName();
QString VersionsFolder(const QString& hostFolder);

// "(LAPTOP-7 2026-12-07 101502)": the computer (upper-cased, without the
// characters Windows refuses in a name and without brackets; "LAPTOP" when
// nothing is left) and the keeper's local time to the second. Made once for
// a report, so that its sketches kept with it share it.
QString VersionStamp(const QString& computer, const QDateTime& at);
// This computer (ComputerName()) now.
QString VersionStamp();

// The kept name of `fileName` under `stamp`: the stamp before the
// extension, " n" inside its brackets for the n-th of one name and stamp.
QString KeptVersionName(const QString& fileName, const QString& stamp, int n = 1);

struct KeptVersion {
    QString original; // the name it was kept from ("SMITH.RPT")
    QString computer; // the computer that kept it
    QDateTime keptAt; // the keeper's local time, from the name
    int number = 1;   // the " n" that made the name unique
    // From the disk, for a version listed there:
    QString path; // host path of the kept file
    qint64 size = -1;
    QDateTime modified; // the version's own modification time
    QDateTime changed;  // when the kept file was made, by the disk's clock (invalid: unknown)

    // "(LAPTOP-7 2026-12-07 101502)", with " n" as the name has it.
    QString stamp() const;
    // The original's name without its extension ("SMITH").
    QString stem() const;
};

// A kept version's parts from its file name alone; nullopt for any name that
// is not one (nothing else is ever listed, restored or expired).
std::optional<KeptVersion> ParseKeptName(const QString& fileName);

// Keeps a copy of the regular file `hostPath` in VersionsFolder() of its
// folder (made, with its folder's mode, when missing) under its kept name for
// `stamp`, a free one, atomically and with the file's modification time. The
// file itself stays. Nothing to keep gives NoError: a missing file, and a
// link or anything else that is not a regular file (never read through). A
// versions folder that is a link or no folder is refused
// (PathFileAccessError), a stamp that VersionStamp() did not make with
// InvalidCall. NoError or the run-time error number; `keptPath` hears where
// it went ("" when nothing was kept). A share that does not answer gives
// DiskNotReady within the copy's bound.
int KeepVersion(const QString& hostPath, const QString& stamp, QString* keptPath = nullptr);
// The checks and the folder of KeepVersion without the copy: `keptPath`
// hears a free kept name for the file, for a copy's keepOldAt to move the
// file to as it is replaced (no byte moved over a slow link); "" when
// there is nothing to keep.
int KeepPlace(const QString& hostPath, const QString& stamp, QString* keptPath);

// The kept versions in `hostFolder`'s versions folder, of every file or of
// those whose stem is `stem` (without regard to case), newest kept first;
// regular files with a kept name only (a link there is left out).
// A missing folder has none; one that cannot be listed gives its error.
Result<QList<KeptVersion>> ListKeptVersions(const QString& hostFolder, const QString& stem = {});

// Puts the kept version at `versionPath` over `targetHostPath` through the
// atomic copy, the time now its modification time: it is the newest
// version. The caller keeps the current file first.
int RestoreVersion(const QString& versionPath, const QString& targetHostPath);

// Removes the versions in `hostFolder`'s versions folder kept more than
// `days` days before `now` by their names' time, and (where the disk tells)
// made as long ago by the disk's own clock: a keeper whose clock ran behind
// does not have its versions removed early. 0 days removes every version
// kept before `now`; fewer removes none. Only regular files whose names
// parse as kept versions are ever removed. The number removed.
int ExpireVersions(const QString& hostFolder, int days,
                   const QDateTime& now = QDateTime::currentDateTime());

} // namespace platform
