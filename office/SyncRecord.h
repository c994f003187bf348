#pragma once
// The record of the last synchronization: for each report and side what was
// seen when the two sides last agreed (size, time, content hash). A small
// SQLite database of the user's own, through Qt SQL; each report's row is
// committed alone, so a sync cut off keeps what it finished.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

namespace platform {

// One side's version of a report as seen: the report and its sketch files
// taken together.
struct SeenVersion {
    qint64 size = -1;   // all its files' bytes; -1: not there
    qint64 mtimeMs = 0; // the newest file's modification time (ms since the epoch)
    QByteArray hash;    // SHA-256 of the files' contents in order; empty: not taken
    bool exists() const { return size >= 0; }
    bool operator==(const SeenVersion&) const = default;
};

struct SeenReport {
    SeenVersion local, network;
};

// One run of the synchronization as the history keeps it.
struct SyncRun {
    enum class By { Window, Quarnctl, Following };
    qint64 startedMs = 0, endedMs = 0; // ms since the epoch, this computer's clock
    QString computer;
    By by = By::Window;
    QStringList sent, brought, keptBoth, trashed; // report names
    QStringList waiting;                          // left for the user
    QStringList failed;                           // "REPORT: why", or the run's own "why"
    bool cancelled = false;
    int times = 1; // the same outcome, nothing moved, run again: one entry, counted
    bool movedNothing() const {
        return sent.isEmpty() && brought.isEmpty() && keptBoth.isEmpty() && trashed.isEmpty();
    }
};

// Each SyncRecord is a connection of its own to the file, made when first
// used: use it and destroy it on that one thread (Qt SQL's rule); another
// thread makes its own. Any number of them, in any number of programs
// (Quarn, quarnctl), may share one file: a writer waits for another.
class SyncRecord {
public:
    // The record of one pair of report folders (`pairKey`: the prefix and
    // the two folders) in `file`, by default the user's own
    // ($XDG_DATA_HOME/quarn/sync-record.sqlite).
    explicit SyncRecord(const QString& pairKey, const QString& file = DefaultFile());
    ~SyncRecord();
    SyncRecord(const SyncRecord&) = delete;
    SyncRecord& operator=(const SyncRecord&) = delete;

    static QString DefaultFile();

    // Every report of the pair. A missing, unreadable or damaged record gives
    // none (everything looks unknown) and says why in problem(); a damaged
    // file is set aside (renamed *.damaged) for a new one.
    QHash<QString, SeenReport> load();
    // One report's row, committed at once; false (problem() says why) when
    // it cannot be written: the sync goes on, the row stays unknown.
    bool save(const QString& report, const SeenReport& seen);
    bool forget(const QString& report);

    // The history: a run added, the newest first. A run that moved nothing
    // and left what the one before it left takes that one's place (counted
    // in `times`), so a share looked at every half hour does not fill it.
    // Kept a year, and at most the newest kKeptRuns of the pair.
    static constexpr int kKeptRuns = 1000;
    static constexpr qint64 kKeptRunsMs = 366LL * 24 * 3600 * 1000;
    bool addRun(const SyncRun& run);
    QList<SyncRun> runs(int newest = kKeptRuns);
    const QString& problem() const { return problem_; }
    const QString& file() const { return file_; }

private:
    bool open();
    QString pair_, file_, connection_, problem_;
    bool opened_ = false;
};

} // namespace platform
