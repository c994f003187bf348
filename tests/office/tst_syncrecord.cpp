// The record of the last sync: rows by pair, committed one report at a time
// and seen by every connection; a damaged file set aside for a new one.

#include "office/SyncRecord.h"
#include "tests/support/Cases.h"
#include "tests/support/TestPrefix.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <thread>

using platform::SeenReport;
using platform::SeenVersion;
using platform::SyncRecord;

// A database made beside Quarn's own code, as another program would.
static void MakeDatabase(const QString& file, const QStringList& statements) {
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "maker");
        db.setDatabaseName(file);
        QVERIFY(db.open());
        for (const QString& s : statements)
            QVERIFY2(QSqlQuery(db).exec(s), qPrintable(s));
    }
    QSqlDatabase::removeDatabase("maker");
}

class TestSyncRecord : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString file() const { return dir_.path() + "/quarn/sync-record.sqlite"; }
    const SeenReport both{{120, 1000, "h1"}, {120, 1500, "h1"}};

private Q_SLOTS:
    void init() {
        QDir(dir_.path()).removeRecursively();
        QDir().mkpath(dir_.path());
    }

    void rowsRoundTripPerPair() {
        SyncRecord record("pair A", file());
        QVERIFY(record.load().isEmpty());
        QVERIFY(record.problem().isEmpty()); // no sync yet is no problem
        QVERIFY(!QFile::exists(file()));

        const SeenReport localOnly{{5, 7, {}}, {}};
        QVERIFY(record.save("SMITH.RPT", both));
        QVERIFY(record.save("JONES.RPT", localOnly));
        QVERIFY(SyncRecord("pair B", file()).save("SMITH.RPT", {{1, 2, "x"}, {3, 4, "y"}}));
        QCOMPARE(QFileInfo(QFileInfo(file()).path()).permissions() & 0x0077, 0);

        // Another connection, as quarnctl's beside Quarn's, sees what was committed.
        SyncRecord reader("pair A", file());
        QHash<QString, SeenReport> rows = reader.load();
        QCOMPARE(rows.size(), 2);
        QVERIFY(rows["SMITH.RPT"].local == both.local && rows["SMITH.RPT"].network == both.network);
        QVERIFY(rows["JONES.RPT"].local == localOnly.local);
        QCOMPARE(rows["JONES.RPT"].network.size, -1);

        QVERIFY(record.save("SMITH.RPT", {both.local, {}})); // gone from the share
        QVERIFY(record.forget("JONES.RPT"));
        rows = reader.load();
        QCOMPARE(rows.keys(), QStringList{"SMITH.RPT"});
        QVERIFY(!rows["SMITH.RPT"].network.exists());
        QVERIFY(SyncRecord("pair B", file()).load()["SMITH.RPT"].network ==
                (SeenVersion{3, 4, "y"}));
    }

    // Another program makes the new file's table between our look and our
    // write lock: ours waits for it and takes its table.
    void madeByAnotherMeanwhile() {
        QVERIFY(QDir().mkpath(QFileInfo(file()).path()));
        bool saved = false;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "other");
            db.setDatabaseName(file());
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec("BEGIN IMMEDIATE"));
            QVERIFY(q.exec("CREATE TABLE reports (pair TEXT NOT NULL, name TEXT NOT NULL, side "
                           "INTEGER NOT NULL, size INTEGER NOT NULL, mtime_ms INTEGER NOT NULL, "
                           "hash BLOB, PRIMARY KEY (pair, name, side)) WITHOUT ROWID"));
            QVERIFY(q.exec("PRAGMA user_version = 1"));
            std::thread ours([&] { saved = SyncRecord("pair A", file()).save("SMITH.RPT", both); });
            QTest::qSleep(500);
            const bool committed = q.exec("COMMIT");
            ours.join();
            QVERIFY(committed);
        }
        QSqlDatabase::removeDatabase("other");
        QVERIFY(saved);
        QCOMPARE(SyncRecord("pair A", file()).load().keys(), QStringList{"SMITH.RPT"});
    }

    void damagedIsSetAside_data() { AddCases("office/damaged_records.txt"); }
    void damagedIsSetAside() {
        QFETCH(Row, row);
        const QString holds = row["holds"];
        QDir().mkpath(QFileInfo(file()).path());
        if (holds == "text" || holds == "blocked")
            TestPrefix::write(file(), "[LOCAL]\r\nQXADATADIR=C:\\DATA\r\n");
        if (holds == "blocked") // a rename over it fails, for root too
            TestPrefix::write(file() + ".damaged/x", "x");
        if (holds == "cut") {
            {
                SyncRecord full("pair A", file());
                for (int i = 0; i < 300; ++i)
                    QVERIFY(full.save(QString("REPORT%1.RPT").arg(i), both));
            }
            QVERIFY(QFile::resize(file(), 3 * 1024));
        }
        if (holds == "foreign")
            MakeDatabase(file(), {"CREATE TABLE other (x)"});
        if (holds == "tableless")
            MakeDatabase(file(), {"PRAGMA user_version = 1"});
        if (holds == "newer")
            MakeDatabase(file(), {"PRAGMA user_version = 2", "CREATE TABLE reports (x)"});
        const QByteArray before = TestPrefix::read(file());

        SyncRecord record("pair A", file());
        QVERIFY(record.load().isEmpty());
        QVERIFY2(record.problem().contains(row["says"]), qPrintable(record.problem()));
        const bool setAside = row["setAside"] == "yes";
        QCOMPARE(QFileInfo(file() + ".damaged").isFile(), setAside);
        QCOMPARE(record.save("SMITH.RPT", both), setAside);
        if (setAside) {
            QCOMPARE(TestPrefix::read(file() + ".damaged"), before);
            SyncRecord again("pair A", file());
            QCOMPARE(again.load().keys(), QStringList{"SMITH.RPT"});
            QVERIFY(again.problem().isEmpty());
        } else {
            QCOMPARE(TestPrefix::read(file()), before);
        }
    }
};

QTEST_GUILESS_MAIN(TestSyncRecord)
#include "tst_syncrecord.moc"
