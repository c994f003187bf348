#pragma once
// The record of the last synchronization: for each report and side what was
// seen when the two sides last agreed (size, time, content hash). A small
// SQLite database of the user's own, through Qt SQL; each report's row is
// committed alone, so a sync cut off keeps what it finished.

#include <QByteArray>
#include <QHash>
#include <QString>

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
    const QString& problem() const { return problem_; }
    const QString& file() const { return file_; }

private:
    bool open();
    QString pair_, file_, connection_, problem_;
    bool opened_ = false;
};

} // namespace platform
