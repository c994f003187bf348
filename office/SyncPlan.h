#pragma once
// What a synchronization of the two report folders would do: every report
// (with its sketch files) on the laptop and on the share, its state from the
// two sides and the record of the last sync, and the action each row takes.
// The rules only; Synchronize carries a plan out.

#include "office/SyncRecord.h"
#include "suite/Quarn_v2.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace SyncPlan {

enum class State {
    Same,
    OnlyLocal,      // only on the laptop
    OnlyNetwork,    // only on the share
    NewerLocal,     // changed on the laptop since the last sync
    NewerNetwork,   // changed on the share since the last sync
    Conflict,       // changed on both since the last sync
    Unknown,        // differs, and the record does not say which changed
    DeletedLocal,   // gone from the laptop since the last sync
    DeletedNetwork, // gone from the share since the last sync
    Link,           // a file of it is a symbolic link on either side: never read nor written
    CaseTwinsLocal, // two of its files differ only in case on the laptop: Windows sees one
    CaseTwinsNetwork,
};

enum class Action {
    Nothing,
    ToNetwork,    // the laptop's version onto the share
    ToLocal,      // the share's version onto the laptop
    KeepBoth,     // the share's stays; the laptop's kept beside it under a new name, both sides
    TrashLocal,   // the laptop's copy to the trash
    TrashNetwork, // the share's copy to the trash
};

// The words a row shows.
QString StateText(State s);
QString ActionText(Action a);

// Times closer than this count as the same time: file systems with coarse
// times (FAT, some shares) round them to two seconds.
constexpr qint64 kTimeToleranceMs = 2000;

// One side's files of a report: the report and the sketch files found for it.
struct SideFiles {
    QString report;       // its file name on this side; empty: not there
    QStringList sketches; // the sketch files' names (".sk3" in the Plandraw folder, the
                          // Apex extensions in the Apex folder)
    platform::SeenVersion seen;
    qint64 reportSize = -1, reportMtimeMs = 0; // the report file's own
    bool link = false;                         // one of its files is a symbolic link
    QStringList twins; // files whose names differ only in case from one of the above
};

struct Row {
    QString name; // the report's file name ("SMITH.RPT")
    SideFiles local, network;
    State state = State::Same;
    Action action = Action::Nothing;
    bool hasRecord = false;
    platform::SeenReport record;
};

// The report's name as its row shows it: with the names of the other files
// Windows would take for its own ("SMITH.RPT, smith.rpt").
QString RowName(const Row& row);

// Which actions a row may take (Nothing always).
QList<Action> ActionsFor(State s);
// The action a row takes unless the user chooses: what moves the newer
// version where nothing is lost; Nothing for conflicts, unknowns and
// deletions (those are the user's choice).
Action DefaultAction(State s);

// A side's content hash, taken only when sizes agree and times alone cannot
// tell (`network`: which side); empty when it cannot be read.
using HashOf = std::function<QByteArray(bool network)>;

// The state of one report from what the two sides hold now and what the
// record saw at the last sync (`known`: the record has a row). Without
// `hashOf`, times alone decide. With it, the same size and time count as the
// same version only where the contents agree or the record shows both sides
// as one agreed version untouched since; and a side whose size and time
// agree with a record that holds a hash counts as unchanged beside a changed
// other side only when its content is that one (a cached view of a share, or
// a save of the same length within the tolerance, would hide a change).
State Decide(const platform::SeenVersion& local, const platform::SeenVersion& network, bool known,
             const platform::SeenReport& record, const HashOf& hashOf = {});
// Whether `now` is what was seen: the same size, and a time within the
// tolerance or (the time moved) the same content hash.
bool Unchanged(const platform::SeenVersion& now, const platform::SeenVersion& seen,
               const std::function<QByteArray()>& nowHash = {});

// The name the laptop's version of a conflict is kept under when both are
// kept: "SMITH (LAPTOP-7 2026-12-07).RPT", made unique among `taken` (names
// compared without regard to case) by " 2", " 3" ... before the extension;
// characters Windows refuses in a name are left out of the computer's name.
QString KeptName(const QString& report, const QString& computer, const QDate& day,
                 const QStringList& taken);
// A sketch's name for the report kept under `keptReport`: the same stem.
QString KeptSketchName(const QString& sketchName, const QString& keptReport);

// The two sides' folders on the host, from the run's directory sets: the
// transfer's report folders, and the sketch folders by the transfer's rules.
struct Folders {
    QString localReports, networkReports;   // Windows paths
    QString localSketches, networkSketches; // Plandraw (.sk3)
    QString localApex, networkApex;         // Apex (.AXF, .AX2, .AX4)
    int keepDays = 30;       // how long the versions a run replaces stay ([SYNC] KeepVersionsDays)
    QString suiteIni;        // QUARN2.INI, whose [SYNC] says how the sync runs
    QString pairKey() const; // the record's key for this pair
    // One of the folders on the host (HostFolder), mapped once for the
    // copy of Folders that resolveHosts() was called on: a run asks for
    // each folder many times a report, and on a share every step of the
    // mapping is a round trip to the server.
    QString host(const QString& windowsFolder) const;
    void resolveHosts();

private:
    std::shared_ptr<const QHash<QString, QString>> hosts_;
};
Folders FoldersOf(Quarn_v2::SuiteState& s);
// Why the two sets give no report folders to synchronize: a set without its
// data directory would give a relative name, found wherever the program
// was started. Empty when both are set up.
QString NotSetUp(const Quarn_v2::SuiteState& s);
// A folder on the host; empty when it has no mapping.
QString HostFolder(const QString& windowsFolder);

struct Plan {
    QList<Row> rows; // by name
    // Not empty: the plan must not be carried out (a side cannot be listed,
    // or lists no report while the record knew many); the message says why.
    QString stop;
    QString recordProblem; // the record could not be read: every row unknown
};

// When a side lists no report at all while the record knew at least this
// many there, the side is taken for missing (an unmounted share, an empty
// mount point), not emptied.
constexpr int kSafetyStopAt = 2;

// Lists both sides once each, reads the record, decides every row.
Plan Make(const Folders& folders, platform::SyncRecord& record);
// The decision for given listings (report name upper-cased -> its files);
// the safety stop included. Make's rules without the disk; `hashOf` (report,
// side) as above, else times alone decide.
using ReportHashOf = std::function<QByteArray(const QString& report, bool network)>;
Plan Decide(const QHash<QString, SideFiles>& local, const QHash<QString, SideFiles>& network,
            const QHash<QString, platform::SeenReport>& record, const Folders& folders,
            const ReportHashOf& hashOf = {});

// The host paths of a side's files of a row (report first), and the content
// hash of those files (SHA-256 in that order; empty when one cannot be read
// or is a link). Each file is read through a fresh open with its cached
// pages dropped, so that a share's client is asked for what the server holds.
// `each`, when given, hears each file's own hash in the same read.
QStringList HostPaths(const Folders& folders, const SideFiles& side, bool network);
QByteArray HashFiles(const QStringList& hostPaths, QList<QByteArray>* each = nullptr);
// One file's content hash as above; empty when it is not there, nullopt when
// it cannot be read or is a link.
std::optional<QByteArray> HashFile(const QString& hostPath);

// Restricts a plan to one direction (quarnctl's --to-network / --to-local):
// actions the other way, and keeping both, become Nothing.
void OnlyTowards(Plan& plan, bool toNetwork);

} // namespace SyncPlan
