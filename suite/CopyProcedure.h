#pragma once
// The Copy button's work: the report into the other side's report folder
// under its upper-cased name, then its sketch between the two sides' sketch
// folders, with the questions and messages the user sees, and one success
// message for the run. No window here: the transfer dialog and quarnctl
// gather the inputs and call it.

#include "suite/Quarn_v2.h"

#include <functional>
#include <optional>

namespace platform {
class ShareLock;
}

namespace CopyProcedure {

// The index of the Copy button pressed.
enum class Direction { LocalToNetwork = 0, NetworkToLocal = 1 };
// The transfer dialog's sketch options, by their index.
enum class Sketch { None = 0, Plandraw32, ApexAxf, ApexAx2, ApexAx3, ApexMedina };

constexpr int kDefaultKeepDays = 30;

// [SYNC] KeepVersionsDays of the suite folder's QUARN2.INI: the days a kept
// version stays, 0 keeping none; absent, or not a whole number of days,
// kDefaultKeepDays. A synchronization keeps what it replaces as long.
int KeepDays(const Quarn_v2::SuiteState& s);

// The lock a copy holds shared for its whole run and a switch holds alone:
// one per Wine prefix.
QString TransferLockKey();

struct Inputs {
    Direction direction = Direction::LocalToNetwork;
    QString report;          // the report's path as given
    QString reportTargetDir; // the other side's report folder
    Sketch sketch = Sketch::None;
    // The days a replaced report or sketch is kept (KeepDays): its old
    // version is kept before it is replaced, and one that cannot be kept is
    // not replaced; 0 keeps none.
    int keepDays = kDefaultKeepDays;
};

struct Outcome {
    bool checked = false;       // the directory check passed
    bool copied = false;        // something was copied
    bool errorReported = false; // the run ended in the error report or a refused name
    bool reportMissing = false; // "Source File ... doesn't exist." was shown
};

// Hears the bytes of a copy done so far; false cancels it. The transfer
// dialog shows a progress window for long copies.
using Progress = std::function<bool(const QString& target, qint64 done, qint64 total)>;

// NAME and EXT of a report: its own file name as Windows keeps it (trailing
// dots and blanks dropped), split at its last dot and upper-cased one
// character for one. Nothing else of the name is lost or moved: brackets,
// inner and leading dots and blanks all stay, so two reports never share a
// target or a sketch, and "smith.v2.rpt" has the sketch "SMITH.V2.sk3", as
// a program names a report's companion file.
void ReportNameParts(const QString& report, QString& name, QString& ext);
// NAME "." EXT, or NAME alone for a name without a dot.
QString ReportTargetName(const QString& report);
// The sketch's file name for options 1 to 5: NAME and the option's extension.
QString SketchFileName(const QString& report, Sketch option);

// A host file whose own name Windows cannot hold (a trailing blank or dot,
// or a character Windows refuses in a name) would be read or written as
// another file on the way through a Windows path; the refusal to show for
// it, "" for any other report.
QString NameRefusal(const QString& report);
// What Browse puts in the report box for a chosen host file: its Windows
// path, or the host path itself when no Windows path leads back to it.
QString ReportPathFor(const QString& hostPath);

// The Apex extension of options 2 to 5.
QString SketchExtension(Sketch option);

// Without a report target folder (the dialog could not prepare it) nothing
// is copied and the settings are said to be invalid.
// `check` is the Settings dialog's CheckDirectories. `local`/`network` are
// the run's sets; their sketch entries get a trailing backslash, as the
// dialog's load does to the appraisal ones.
Outcome Run(const Inputs& in, const std::function<bool()>& check, Quarn_v2::DirectorySet& local,
            Quarn_v2::DirectorySet& network, const Progress& progress = {});

// The two report folders as the transfer dialog prepares them: the network
// side's appraisal folder followed by "data" (with "\data\data" cut back),
// and the local side's followed by "data".
QString NetworkReportDir(Quarn_v2::DirectorySet& network);
QString LocalReportDir(Quarn_v2::DirectorySet& local);

// Takes the share's lock of `report` before it is changed there: nullopt
// when taken; else why not in words ("SMITH.RPT is being copied by jdoe on
// LAPTOP-7 since 10:42"). A stale lock is broken only after a Yes. Where no
// lock can be made at all, `orUnlocked` goes on without one (the copy then
// meets the same trouble and reports it in its own words).
std::optional<QString> TakeShareLock(platform::ShareLock& lock, const QString& report,
                                     bool orUnlocked = false);

} // namespace CopyProcedure
