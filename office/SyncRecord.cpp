#include "office/SyncRecord.h"

#include "platform/files/HostFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace platform {
namespace {

constexpr int kSchemaVersion = 1;
std::atomic<int> gConnections{0};

enum class Side { Local = 0, Network = 1 };

// The history, added beside the reports without a new schema version: an
// older Quarn reads the reports and never looks at it.
const QString kRunsTable = QStringLiteral(
    "CREATE TABLE IF NOT EXISTS runs (pair TEXT NOT NULL, started_ms INTEGER NOT NULL, "
    "ended_ms INTEGER NOT NULL, computer TEXT NOT NULL, started_by INTEGER NOT NULL, sent TEXT "
    "NOT NULL, brought TEXT NOT NULL, kept_both TEXT NOT NULL, trashed TEXT NOT NULL, waiting "
    "TEXT NOT NULL, failed TEXT NOT NULL, cancelled INTEGER NOT NULL, times INTEGER NOT NULL)");

QString Joined(const QStringList& names) {
    return QString::fromUtf8(
        QJsonDocument(QJsonArray::fromStringList(names)).toJson(QJsonDocument::Compact));
}

QStringList Split(const QVariant& value) {
    QStringList names;
    for (const QJsonValue& v : QJsonDocument::fromJson(value.toString().toUtf8()).array())
        names << v.toString();
    return names;
}

// What SQLite says of a file that is no database, or a broken one.
bool Damaged(const QSqlError& e) {
    const QString code = e.nativeErrorCode();
    return code == u"26" /* SQLITE_NOTADB */ || code == u"11" /* SQLITE_CORRUPT */;
}

// A query run to its end; its error, if any.
QSqlError Run(QSqlDatabase& db, const QString& text, const QVariantList& values = {},
              QVariantList* firstRow = nullptr) {
    QSqlQuery q(db);
    if (!q.prepare(text))
        return q.lastError();
    for (const QVariant& v : values)
        q.addBindValue(v);
    if (!q.exec())
        return q.lastError();
    if (firstRow && q.next())
        for (int i = 0; i < q.record().count(); ++i)
            firstRow->append(q.value(i));
    return {};
}

enum class Opening { Opened, Damaged, Newer, Failed };

// Opens `db` and makes its table where there is none; `why` says why not.
// Nothing is written to a file before it is known to be ours.
Opening Open(QSqlDatabase& db, QString& why) {
    const auto failed = [&](Opening o, const QSqlError& e) {
        why = e.text();
        return o;
    };
    if (!db.open())
        return failed(Opening::Failed, db.lastError());
    // Quarn and quarnctl may share the file: one waits for the other.
    Run(db, QStringLiteral("PRAGMA busy_timeout = 5000"));
    for (int round = 0;; ++round) {
        QVariantList check, version, tables;
        QSqlError e = Run(db, QStringLiteral("PRAGMA quick_check"), {}, &check);
        if (!e.isValid())
            e = Run(db, QStringLiteral("PRAGMA user_version"), {}, &version);
        if (!e.isValid())
            e = Run(db, QStringLiteral("SELECT count(*) FROM sqlite_master"), {}, &tables);
        if (e.isValid())
            return failed(Damaged(e) ? Opening::Damaged : Opening::Failed, e);
        if (check.value(0).toString() != u"ok")
            return Opening::Damaged;
        const int found = version.value(0).toInt();
        if (found > kSchemaVersion)
            return Opening::Newer;
        if (found == 0 && tables.value(0).toInt() != 0)
            return Opening::Damaged; // another program's database
        if (found == kSchemaVersion) {
            // Ours in name only: its table cut down or missing.
            e = Run(db, QStringLiteral("SELECT pair, name, side, size, mtime_ms, hash FROM "
                                       "reports LIMIT 0"));
            if (e.isValid())
                return failed(e.nativeErrorCode() == u"1" || Damaged(e) ? Opening::Damaged
                                                                        : Opening::Failed,
                              e);
            Run(db, kRunsTable); // where it fails, the history says so when written
            // A kill at any moment leaves the last commit whole; a power
            // failure may lose the latest rows, never the file.
            QVariantList mode;
            Run(db, QStringLiteral("PRAGMA journal_mode = WAL"), {}, &mode);
            Run(db, mode.value(0).toString() == u"wal"
                        ? QStringLiteral("PRAGMA synchronous = NORMAL")
                        : QStringLiteral("PRAGMA synchronous = FULL"));
            return Opening::Opened;
        }
        if (round > 0)
            return Opening::Failed;
        // A new file, made under the write lock: two programs starting one
        // at once make it once, and the second looks again.
        if ((e = Run(db, QStringLiteral("BEGIN IMMEDIATE"))).isValid())
            return failed(Opening::Failed, e);
        QVariantList now;
        Run(db, QStringLiteral("SELECT count(*) FROM sqlite_master"), {}, &now);
        if (now.value(0).toInt() == 0 &&
            ((e = Run(db, QStringLiteral("CREATE TABLE reports (pair TEXT NOT NULL, name TEXT NOT "
                                         "NULL, side INTEGER NOT NULL, size INTEGER NOT NULL, "
                                         "mtime_ms INTEGER NOT NULL, hash BLOB, PRIMARY KEY (pair, "
                                         "name, side)) WITHOUT ROWID")))
                 .isValid() ||
             (e = Run(db, kRunsTable)).isValid() ||
             (e = Run(db, QStringLiteral("PRAGMA user_version = %1").arg(kSchemaVersion)))
                 .isValid())) {
            Run(db, QStringLiteral("ROLLBACK"));
            return failed(Opening::Failed, e);
        }
        if ((e = Run(db, QStringLiteral("COMMIT"))).isValid()) {
            Run(db, QStringLiteral("ROLLBACK"));
            return failed(Opening::Failed, e);
        }
    }
}

} // namespace

QString SyncRecord::DefaultFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/quarn/sync-record.sqlite");
}

SyncRecord::SyncRecord(const QString& pairKey, const QString& file)
    : pair_(pairKey), file_(file),
      connection_(QStringLiteral("quarn-sync-record-%1").arg(++gConnections)) {}

SyncRecord::~SyncRecord() {
    if (!QSqlDatabase::contains(connection_))
        return;
    QSqlDatabase::database(connection_, false).close();
    QSqlDatabase::removeDatabase(connection_);
}

// Opens the file once, checking it whole; a damaged one is set aside and a
// new one started.
bool SyncRecord::open() {
    if (opened_)
        return true;
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE"))) {
        problem_ = QStringLiteral("The record of the last sync cannot be kept: Qt's SQLite "
                                  "driver is not installed (libqt6sql6-sqlite).");
        return false;
    }
    const QString dir = QFileInfo(file_).absolutePath();
    QDir().mkpath(QFileInfo(dir).absolutePath());
    ::mkdir(Encoded(dir).constData(), 0700); // the user's own

    for (int attempt = 0;; ++attempt) {
        QSqlDatabase db = QSqlDatabase::contains(connection_)
                              ? QSqlDatabase::database(connection_, false)
                              : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
        db.setDatabaseName(file_);
        QString why;
        const Opening opening = Open(db, why);
        if (opening == Opening::Opened) {
            opened_ = true;
            if (attempt > 0)
                problem_ = QStringLiteral("The record of the last sync was damaged; it was set "
                                          "aside as %1.damaged and a new one started, so no "
                                          "report's last sync is known.")
                               .arg(file_);
            return true;
        }
        db.close();
        if (opening == Opening::Newer) {
            problem_ = QStringLiteral("The record of the last sync (%1) was written by a newer "
                                      "Quarn; it is left as it is.")
                           .arg(file_);
            return false;
        }
        if (opening == Opening::Failed || attempt > 0) {
            problem_ = QStringLiteral("The record of the last sync (%1) cannot be used: %2")
                           .arg(file_, why.isEmpty() ? QStringLiteral("it is damaged") : why);
            return false;
        }
        // Its journal goes with it: replayed into a new file, it would break that one.
        for (const char* part : {"", "-wal", "-journal"})
            if (const QByteArray from = Encoded(file_ + QLatin1String(part));
                std::rename(from.constData(),
                            Encoded(file_ + QStringLiteral(".damaged") + QLatin1String(part))
                                .constData()) != 0 &&
                errno != ENOENT) {
                problem_ = QStringLiteral("The record of the last sync (%1) is damaged and cannot "
                                          "be set aside: %2")
                               .arg(file_, QString::fromLocal8Bit(std::strerror(errno)));
                return false;
            }
        QFile::remove(file_ + QStringLiteral("-shm"));
    }
}

QHash<QString, SeenReport> SyncRecord::load() {
    problem_.clear();
    QHash<QString, SeenReport> reports;
    if (!opened_ && !QFileInfo::exists(file_))
        return reports; // no sync yet
    if (!open())
        return reports;
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery q(db);
    q.prepare(
        QStringLiteral("SELECT name, side, size, mtime_ms, hash FROM reports WHERE pair = ?"));
    q.addBindValue(pair_);
    if (!q.exec()) {
        problem_ = QStringLiteral("The record of the last sync (%1) cannot be read: %2")
                       .arg(file_, q.lastError().text());
        return reports;
    }
    while (q.next()) {
        SeenReport& r = reports[q.value(0).toString()];
        SeenVersion& v = q.value(1).toInt() == int(Side::Network) ? r.network : r.local;
        v = {q.value(2).toLongLong(), q.value(3).toLongLong(), q.value(4).toByteArray()};
    }
    return reports;
}

bool SyncRecord::save(const QString& report, const SeenReport& seen) {
    if (!open())
        return false;
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlError e;
    if (!db.transaction())
        e = db.lastError();
    const std::pair<Side, const SeenVersion*> sides[] = {{Side::Local, &seen.local},
                                                         {Side::Network, &seen.network}};
    for (const auto& [side, v] : sides) {
        if (e.isValid())
            break;
        e = v->exists()
                ? Run(db,
                      QStringLiteral("INSERT OR REPLACE INTO reports (pair, name, side, size, "
                                     "mtime_ms, hash) VALUES (?, ?, ?, ?, ?, ?)"),
                      {pair_, report, int(side), v->size, v->mtimeMs, v->hash})
                : Run(db,
                      QStringLiteral(
                          "DELETE FROM reports WHERE pair = ? AND name = ? AND side = ?"),
                      {pair_, report, int(side)});
    }
    if (!e.isValid() && !db.commit())
        e = db.lastError();
    if (!e.isValid())
        return true;
    db.rollback();
    problem_ = QStringLiteral("The record of the last sync (%1) cannot be written: %2")
                   .arg(file_, e.text());
    return false;
}

bool SyncRecord::forget(const QString& report) {
    return save(report, {});
}

bool SyncRecord::addRun(const SyncRun& run) {
    if (!open())
        return false;
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    // Taken for writing before the look at the last entry: two programs
    // adding at once take turns rather than one failing on the other's write.
    QSqlError e = Run(db, QStringLiteral("BEGIN IMMEDIATE"));
    SyncRun entry = run;
    // The same outcome again, nothing moved: the last entry is counted on.
    QVariantList last;
    if (!e.isValid() && run.movedNothing())
        e = Run(db,
                QStringLiteral("SELECT rowid, started_by, waiting, failed, cancelled, times, sent, "
                               "brought, kept_both, trashed, started_ms FROM runs WHERE pair = ? "
                               "ORDER BY rowid DESC LIMIT 1"),
                {pair_}, &last);
    if (!e.isValid() && !last.isEmpty() && last[1].toInt() == int(run.by) &&
        Split(last[2]) == run.waiting && Split(last[3]) == run.failed &&
        last[4].toBool() == run.cancelled &&
        std::all_of(last.begin() + 6, last.begin() + 10,
                    [](const QVariant& v) { return Split(v).isEmpty(); })) {
        entry.times = last[5].toInt() + run.times;
        entry.startedMs = std::min(entry.startedMs, last[10].toLongLong());
        e = Run(db, QStringLiteral("DELETE FROM runs WHERE rowid = ?"), {last[0]});
    }
    if (!e.isValid())
        e = Run(db,
                QStringLiteral("INSERT INTO runs (pair, started_ms, ended_ms, computer, "
                               "started_by, sent, brought, kept_both, trashed, waiting, failed, "
                               "cancelled, times) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                {pair_, entry.startedMs, entry.endedMs, entry.computer, int(entry.by),
                 Joined(entry.sent), Joined(entry.brought), Joined(entry.keptBoth),
                 Joined(entry.trashed), Joined(entry.waiting), Joined(entry.failed),
                 int(entry.cancelled), entry.times});
    // A year, and the newest kKeptRuns.
    if (!e.isValid())
        e = Run(db,
                QStringLiteral("DELETE FROM runs WHERE pair = ? AND (ended_ms < ? OR rowid NOT "
                               "IN (SELECT rowid FROM runs WHERE pair = ? ORDER BY rowid "
                               "DESC LIMIT ?))"),
                {pair_, entry.endedMs - kKeptRunsMs, pair_, kKeptRuns});
    if (!e.isValid())
        e = Run(db, QStringLiteral("COMMIT"));
    if (!e.isValid())
        return true;
    Run(db, QStringLiteral("ROLLBACK"));
    problem_ = QStringLiteral("The history of the synchronization (%1) cannot be written: %2")
                   .arg(file_, e.text());
    return false;
}

QList<SyncRun> SyncRecord::runs(int newest) {
    problem_.clear();
    QList<SyncRun> runs;
    if ((!opened_ && !QFileInfo::exists(file_)) || !open())
        return runs;
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.prepare(QStringLiteral("SELECT started_ms, ended_ms, computer, started_by, sent, brought, "
                             "kept_both, trashed, waiting, failed, cancelled, times FROM runs "
                             "WHERE pair = ? ORDER BY rowid DESC LIMIT ?"));
    q.addBindValue(pair_);
    q.addBindValue(std::max(newest, 0));
    if (!q.exec()) {
        problem_ = QStringLiteral("The history of the synchronization (%1) cannot be read: %2")
                       .arg(file_, q.lastError().text());
        return runs;
    }
    while (q.next()) {
        SyncRun r;
        r.startedMs = q.value(0).toLongLong();
        r.endedMs = q.value(1).toLongLong();
        r.computer = q.value(2).toString();
        r.by = SyncRun::By(std::clamp(q.value(3).toInt(), 0, int(SyncRun::By::Following)));
        r.sent = Split(q.value(4));
        r.brought = Split(q.value(5));
        r.keptBoth = Split(q.value(6));
        r.trashed = Split(q.value(7));
        r.waiting = Split(q.value(8));
        r.failed = Split(q.value(9));
        r.cancelled = q.value(10).toBool();
        r.times = std::max(1, q.value(11).toInt());
        runs << r;
    }
    return runs;
}

} // namespace platform
