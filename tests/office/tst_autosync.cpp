// Synchronizing by itself: what moves without a question
// (auto_sync_rows.txt), when a run is due (auto_sync_due.txt), what the
// notification says (auto_sync_told.txt); a run that leaves what waits
// untouched and stays out of a transfer's way; and the history it keeps.

#include "office/AutoSync.h"
#include "office/Texts.h"
#include "platform/files/FileLock.h"
#include "suite/CopyProcedure.h"
#include "tests/support/Cases.h"
#include "tests/support/TestPrefix.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

#include <atomic>
#include <thread>

using platform::SyncRecord;
using platform::SyncRun;
using SyncPlan::Action;
using SyncPlan::State;

namespace {

template <class E> E Named(const QString& name, E last, QString (*text)(E)) {
    for (int i = 0; i <= int(last); ++i)
        if (QString(text(E(i))) == name)
            return E(i);
    qFatal("no %s", qPrintable(name));
}

QString StateName(State s) {
    static const char* const names[] = {"Same",       "OnlyLocal",      "OnlyNetwork",
                                        "NewerLocal", "NewerNetwork",   "Conflict",
                                        "Unknown",    "DeletedLocal",   "DeletedNetwork",
                                        "Link",       "CaseTwinsLocal", "CaseTwinsNetwork"};
    return QString::fromLatin1(names[int(s)]);
}
QString ActionName(Action a) {
    static const char* const names[] = {"Nothing",  "ToNetwork",  "ToLocal",
                                        "KeepBoth", "TrashLocal", "TrashNetwork"};
    return QString::fromLatin1(names[int(a)]);
}

SyncRun Run(SyncRun::By by, QStringList sent, QStringList waiting, qint64 atMs) {
    SyncRun r;
    r.by = by;
    r.startedMs = r.endedMs = atMs;
    r.computer = "LAPTOP-7";
    r.sent = sent;
    r.waiting = waiting;
    return r;
}

} // namespace

class TestAutoSync : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void movesUnasked_data() { AddCases("office/auto_sync_rows.txt"); }
    void movesUnasked() {
        QFETCH(Row, row);
        SyncPlan::Row r;
        r.state = Named(row["state"], State::CaseTwinsNetwork, StateName);
        r.action = Named(row["action"], Action::TrashNetwork, ActionName);
        QCOMPARE(AutoSync::MovesUnasked(r), row["moves"] == "yes");
    }

    void due_data() { AddCases("office/auto_sync_due.txt"); }
    void due() {
        QFETCH(Row, row);
        AutoSync::Memory m;
        QString got;
        for (const QString& look : row["looks"].split(u' ')) {
            const QString kind = look.section(u'@', 0, 0);
            const qint64 at = look.section(u'@', 1).toLongLong() * 60 * 1000;
            AutoSync::Settings s;
            s.everyMinutes = row["every"].toInt();
            s.automatic = kind != u"off";
            const bool due = AutoSync::Due(m, kind != u"down", kind == u"net", at, s);
            got += QString(due ? "y" : "n") + u' ';
            if (due && kind != u"busy")
                AutoSync::Ran(m, at, kind == u"fail");
        }
        QCOMPARE(got.trimmed(), row["due"]);
    }

    void told_data() { AddCases("office/auto_sync_told.txt"); }
    void told() {
        QFETCH(Row, row);
        QCOMPARE(Texts::AutoSyncTold(row["sent"].toInt(), row["brought"].toInt(),
                                     row["conflicts"].toInt(), row["others"].toInt()),
                 row["text"]);
    }

    void settingsFromTheIni() {
        TestPrefix p;
        Quarn_v2::SuiteState s;
        s.SuiteIniPath = p.driveC() + "/VALUATOR/QUARN2.INI";
        const struct {
            QByteArray ini;
            bool automatic;
            int every;
        } cases[] = {
            {"", true, 30},
            {"[SYNC]\r\nAutomatic=0\r\nEvery=0\r\n", false, 0},
            {"[SYNC]\r\nAutomatic= 0 \r\nEvery=45\r\n", false, 45},
            {"[SYNC]\r\nAutomatic=no\r\nEvery=-5\r\n", true, 30}, // a typo leaves it on
            {"[SYNC]\r\nAutomatic=1\r\nEvery=half an hour\r\n", true, 30},
        };
        for (const auto& c : cases) {
            TestPrefix::write(s.SuiteIniPath, c.ini);
            const AutoSync::Settings got = AutoSync::Read(s.SuiteIniPath);
            QCOMPARE(got.automatic, c.automatic);
            QCOMPARE(got.everyMinutes, c.every);
        }
        QCOMPARE(AutoSync::WriteAutomatic(s.SuiteIniPath, false), QString());
        QVERIFY(!AutoSync::Read(s.SuiteIniPath).automatic);
        QVERIFY(TestPrefix::read(s.SuiteIniPath).contains("Every=half an hour")); // the rest stays
    }

    // What waits is left as it is, and the run is in the history; beside a
    // running transfer nothing runs.
    void aRunMovesWhatNeedsNoChoice() {
        TestPrefix p;
        const ScopedEnv data({{"XDG_DATA_HOME", p.at("data")}});
        p.write(p.driveC() + "/L/data/NEW.RPT", "new on the laptop");
        p.write(p.driveC() + "/L/data/BOTH.RPT", "the laptop's");
        p.write(p.driveD() + "/N/data/BOTH.RPT", "the share's, not the same");
        p.write(p.driveD() + "/N/data/OLD.RPT", "only on the share");
        SyncPlan::Folders f;
        f.localReports = "C:\\L\\data";
        f.networkReports = "D:\\N\\data";

        std::optional<platform::SharedLock> transfer;
        transfer.emplace(CopyProcedure::TransferLockKey());
        QCOMPARE(transfer->lockShared(), 0);
        QVERIFY(AutoSync::Run(f, SyncRun::By::Following).busy);
        QVERIFY(!QFile::exists(p.driveD() + "/N/data/NEW.RPT"));
        transfer.reset();

        const AutoSync::Outcome o = AutoSync::Run(f, SyncRun::By::Following);
        QVERIFY(!o.busy && o.stop.isEmpty());
        QCOMPARE(o.summary.toNetwork, QStringList{"NEW.RPT"});
        QCOMPARE(o.summary.toLocal, QStringList{"OLD.RPT"});
        QCOMPARE(o.waiting, QStringList{"BOTH.RPT"});
        QCOMPARE(TestPrefix::read(p.driveD() + "/N/data/NEW.RPT"), "new on the laptop");
        QCOMPARE(TestPrefix::read(p.driveC() + "/L/data/BOTH.RPT"), "the laptop's");
        QCOMPARE(TestPrefix::read(p.driveD() + "/N/data/BOTH.RPT"), "the share's, not the same");
        QCOMPARE(AutoSync::Told(o), "1 report sent to the office share, 1 brought to the laptop. "
                                    "1 report waits for you.");

        const QList<SyncRun> runs = SyncRecord(f.pairKey()).runs();
        QCOMPARE(runs.size(), 1);
        QCOMPARE(runs[0].by, SyncRun::By::Following);
        QCOMPARE(runs[0].sent, QStringList{"NEW.RPT"});
        QCOMPARE(runs[0].waiting, QStringList{"BOTH.RPT"});
        QVERIFY(runs[0].endedMs >= runs[0].startedMs && runs[0].startedMs > 0);
    }

    // Runs that move nothing and leave the same make one entry, counted; any
    // other outcome or starter, its own; a year or kKeptRuns at most.
    void historyKeepsEveryRunOnce() {
        QTemporaryDir dir;
        const QString file = dir.path() + "/record.sqlite";
        SyncRecord record("pair", file);
        const qint64 now = QDateTime::currentMSecsSinceEpoch(), day = 24 * 3600 * 1000LL;
        QVERIFY(record.runs().isEmpty() && record.problem().isEmpty());
        SyncRun odd = Run(SyncRun::By::Window, {"A, B.RPT", "new\nline.RPT"}, {}, now - 400 * day);
        QVERIFY(record.addRun(odd));
        QVERIFY(record.addRun(Run(SyncRun::By::Following, {"SMITH.RPT"}, {"X.RPT"}, now - 3000)));
        QVERIFY(record.addRun(Run(SyncRun::By::Following, {}, {"X.RPT"}, now - 2000)));
        QVERIFY(record.addRun(Run(SyncRun::By::Following, {}, {"X.RPT"}, now - 1000)));
        QVERIFY(record.addRun(Run(SyncRun::By::Quarnctl, {}, {"X.RPT"}, now)));
        QVERIFY(SyncRecord("another pair", file).addRun(Run(SyncRun::By::Window, {}, {}, now)));

        QList<SyncRun> runs = SyncRecord("pair", file).runs();
        QCOMPARE(runs.size(), 3); // the one of a year ago gone, two alike as one
        QCOMPARE(runs[0].by, SyncRun::By::Quarnctl);
        QCOMPARE(runs[1].times, 2);
        QCOMPARE(runs[1].startedMs, now - 2000);
        QCOMPARE(runs[1].endedMs, now - 1000);
        QCOMPARE(runs[2].sent, QStringList{"SMITH.RPT"});
        QCOMPARE(SyncRecord("pair", file).runs(1).size(), 1);

        odd.startedMs = odd.endedMs = now;
        QVERIFY(record.addRun(odd));
        QCOMPARE(record.runs(1).front().sent, odd.sent); // names with commas and lines intact
        for (int i = 0; i < SyncRecord::kKeptRuns; ++i)
            QVERIFY(record.addRun(Run(SyncRun::By::Window, {QString::number(i)}, {}, now + i)));
        runs = record.runs(SyncRecord::kKeptRuns + 10);
        QCOMPARE(runs.size(), SyncRecord::kKeptRuns);
        QCOMPARE(runs.back().sent, QStringList{"0"});
    }

    // Quarn's window and quarnctl follow adding runs at one moment: each run
    // is kept, neither fails on the other's write.
    void twoProgramsAddAtOnce() {
        QTemporaryDir dir;
        const QString file = dir.path() + "/record.sqlite";
        QVERIFY(SyncRecord("pair", file).addRun(Run(SyncRun::By::Window, {"FIRST"}, {}, 1)));
        std::atomic<int> failed{0};
        const auto adder = [&](SyncRun::By by) {
            SyncRecord record("pair", file);
            for (int i = 0; i < 100; ++i)
                if (!record.addRun(Run(by, {}, {QString::number(i)}, i))) // looked at first
                    ++failed;
        };
        std::thread a(adder, SyncRun::By::Window), b(adder, SyncRun::By::Following);
        a.join();
        b.join();
        QCOMPARE(failed.load(), 0);
        QCOMPARE(SyncRecord("pair", file).runs().size(), 201);
    }

    // A record an earlier Quarn made, without a history, keeps its reports
    // and gains one.
    void anEarlierRecordGainsAHistory() {
        QTemporaryDir dir;
        const QString file = dir.path() + "/record.sqlite";
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "earlier");
            db.setDatabaseName(file);
            QVERIFY(db.open());
            for (const char* s :
                 {"CREATE TABLE reports (pair TEXT NOT NULL, name TEXT NOT NULL, side INTEGER "
                  "NOT NULL, size INTEGER NOT NULL, mtime_ms INTEGER NOT NULL, hash BLOB, PRIMARY "
                  "KEY (pair, name, side)) WITHOUT ROWID",
                  "INSERT INTO reports VALUES ('pair', 'SMITH.RPT', 0, 5, 7, NULL)",
                  "PRAGMA user_version = 1"})
                QVERIFY(QSqlQuery(db).exec(s));
        }
        QSqlDatabase::removeDatabase("earlier");
        SyncRecord record("pair", file);
        QVERIFY(record.runs().isEmpty());
        QVERIFY2(record.problem().isEmpty(), qPrintable(record.problem()));
        QVERIFY(record.addRun(Run(SyncRun::By::Window, {"SMITH.RPT"}, {}, 1)));
        QCOMPARE(record.runs().size(), 1);
        QCOMPARE(record.load().value("SMITH.RPT").local.size, 5);
    }
};

QTEST_MAIN(TestAutoSync)
#include "tst_autosync.moc"
