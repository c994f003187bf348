// Removed reports go to the home trash, with the record the desktop's trash
// reads them back by; a failure leaves the file where it was. Replaced ones
// are kept beside them first: their names, and which of them expire.

#include "platform/files/KeptVersions.h"
#include "platform/files/Trash.h"
#include "platform/win/HostError.h"
#include "tests/support/Cases.h"
#include "tests/support/TestPrefix.h"

#include <QDateTime>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <ctime>
#include <sys/stat.h>
#include <unistd.h>

class TestTrash : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void intoTheHomeTrash_data() { AddCases("platform/trashed.txt"); }
    void intoTheHomeTrash() {
        QFETCH(Row, row);
        QTemporaryDir root;
        ScopedEnv env({{"HOME", root.path() + "/home"}, {"XDG_DATA_HOME", root.path() + "/data"}});
        const QString trash = root.path() + "/data/Trash", name = row["name"];
        const QString path = root.path() + "/home/reports/" + name;
        if (row["already"] == "yes") {
            TestPrefix::write(trash + "/files/" + name, "older");
            TestPrefix::write(trash + "/info/" + name + ".trashinfo", "[Trash Info]\n");
        }
        TestPrefix::write(path, "report");
        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
        QCOMPARE(row["way"] == "hand" ? platform::MoveToHomeTrash(path)
                                      : platform::MoveToTrash(path),
                 0);
        QCOMPARE(TestPrefix::entries(root.path() + "/home/reports"), QStringList());
        const QString kept = row["keptAs"];
        QCOMPARE(TestPrefix::read(trash + "/files/" + kept), QByteArray("report"));
        const QList<QByteArray> info =
            TestPrefix::read(trash + "/info/" + kept + ".trashinfo").split('\n');
        QCOMPARE(info.value(0), QByteArray("[Trash Info]"));
        QVERIFY(info.value(1).startsWith("Path=/"));
        QVERIFY2(info.value(1).endsWith("/reports" + row["path"].toUtf8()), info.value(1));
        const QDateTime deleted =
            QDateTime::fromString(QString::fromUtf8(info.value(2).mid(13)), Qt::ISODate);
        QVERIFY(info.value(2).startsWith("DeletionDate=") && deleted >= before &&
                deleted <= QDateTime::currentDateTime());
    }

    void whatCannotGoStays() {
        QTemporaryDir root;
        ScopedEnv env({{"XDG_DATA_HOME", root.path() + "/data"}});
        QCOMPARE(platform::MoveToTrash(root.path() + "/missing.RPT"), int(platform::FileNotFound));
        TestPrefix::makeDir(root.path() + "/folder.RPT");
        QCOMPARE(platform::MoveToHomeTrash(root.path() + "/folder.RPT"),
                 int(platform::PathFileAccessError));
        QVERIFY(QFileInfo(root.path() + "/folder.RPT").isDir());
        // A link planted at a report's name: neither it nor what it names goes.
        TestPrefix::write(root.path() + "/key", "secret");
        QVERIFY(QFile::link(root.path() + "/key", root.path() + "/LINKED.RPT"));
        QCOMPARE(platform::MoveToTrash(root.path() + "/LINKED.RPT"),
                 int(platform::PathFileAccessError));
        QVERIFY(QFileInfo(root.path() + "/LINKED.RPT").isSymLink());
        QCOMPARE(TestPrefix::read(root.path() + "/key"), QByteArray("secret"));
        QVERIFY(TestPrefix::entries(root.path() + "/data/Trash/info").isEmpty());
    }

    void keptVersions_data() { AddCases("platform/kept_versions.txt"); }
    void keptVersions() {
        QFETCH(Row, row);
        // "Now" for the expiry lies 40 days ahead, so that the disk's time of
        // a file made now reads as `made` days before it.
        const QDateTime now = QDateTime::currentDateTime().addDays(row["made"].toInt());
        const QDateTime kept = now.addSecs(-qint64(row["age"].toDouble() * 86400));
        const QString name =
            QString(row["name"]).replace("STAMP", kept.toString("yyyy-MM-dd HHmmss"));
        const auto parsed = platform::ParseKeptName(name);
        const QString parts = parsed ? parsed->original + u'|' + parsed->computer + u'|' +
                                           QString::number(parsed->number)
                                     : "-";
        QCOMPARE(parts, row["parsed"]);
        if (parsed) // the name a keeper gives it
            QCOMPARE(platform::KeptVersionName(parsed->original,
                                               platform::VersionStamp(parsed->computer, kept),
                                               parsed->number),
                     name);

        QTemporaryDir root;
        const QString versions = platform::VersionsFolder(root.path());
        TestPrefix::write(root.path() + "/elsewhere", "another's");
        TestPrefix::makeDir(versions);
        if (row["entry"] == "link")
            QVERIFY(QFile::link(root.path() + "/elsewhere", versions + "/" + name));
        else
            TestPrefix::write(versions + "/" + name, "v");
        // No folder is left open: `quarnctl follow` lists for days.
        const qsizetype open = QDir("/proc/self/fd").count();
        const auto listed = platform::ListKeptVersions(root.path());
        QCOMPARE(listed.value.size(), parsed && row["entry"] == "file" ? 1 : 0);
        QCOMPARE(platform::ExpireVersions(root.path(), row["days"].toInt(), now),
                 row["expired"] == "yes" ? 1 : 0);
        QCOMPARE(QDir("/proc/self/fd").count(), open);
        QCOMPARE(TestPrefix::entries(versions).size(), row["expired"] == "yes" ? 0 : 1);
        QCOMPARE(TestPrefix::read(root.path() + "/elsewhere"), QByteArray("another's"));
    }

    // A copy under a free name, with the file's time; the file stays. What
    // is no regular file is nothing to keep, and is never read through.
    void keepVersion() {
        QTemporaryDir root;
        const QString report = root.path() + "/reports/SMITH.RPT";
        TestPrefix::write(report, "v1");
        ::chmod(QFile::encodeName(root.path() + "/reports").constData(), 02750);
        const QDateTime saved(QDate(2026, 11, 2), QTime(9, 58, 1));
        {
            QFile f(report);
            QVERIFY(f.open(QIODevice::ReadWrite) &&
                    f.setFileTime(saved, QFile::FileModificationTime));
        }
        const QString stamp =
            platform::VersionStamp("my\\:pc*?(x)", QDateTime(QDate(2026, 12, 7), QTime(10, 15, 2)));
        QCOMPARE(stamp, "(MYPCX 2026-12-07 101502)");
        QString kept;
        QCOMPARE(platform::KeepVersion(report, stamp, &kept), 0);
        QCOMPARE(platform::KeepVersion(report, stamp), 0);
        const QString versions = root.path() + "/reports/.quarn-versions";
        QCOMPARE(kept, versions + "/SMITH (MYPCX 2026-12-07 101502).RPT");
        QCOMPARE(TestPrefix::entries(versions),
                 QStringList({"SMITH (MYPCX 2026-12-07 101502 2).RPT",
                              "SMITH (MYPCX 2026-12-07 101502).RPT"}));
        QCOMPARE(Stat(versions).st_mode & 07777, 02750u);
        QCOMPARE(TestPrefix::read(kept), QByteArray("v1"));
        QCOMPARE(QFileInfo(kept).lastModified(), saved);
        QCOMPARE(TestPrefix::read(report), QByteArray("v1"));

        TestPrefix::write(root.path() + "/secret", "key");
        QVERIFY(QFile::link(root.path() + "/secret", root.path() + "/reports/LINK.RPT"));
        QCOMPARE(platform::KeepVersion(root.path() + "/reports/LINK.RPT", stamp, &kept), 0);
        QCOMPARE(platform::KeepVersion(root.path() + "/reports/GONE.RPT", stamp, &kept), 0);
        QCOMPARE(kept, QString());
        QCOMPARE(platform::KeepVersion(report, "(PC today)"), int(platform::InvalidCall));
        QCOMPARE(TestPrefix::entries(versions).size(), 2);
        // A versions folder planted as a link to another's folder is refused.
        TestPrefix::write(root.path() + "/other/SMITH.RPT", "v");
        TestPrefix::makeDir(root.path() + "/victim");
        QVERIFY(QFile::link(root.path() + "/victim", root.path() + "/other/.quarn-versions"));
        QCOMPARE(platform::KeepVersion(root.path() + "/other/SMITH.RPT", stamp),
                 int(platform::PathFileAccessError));
        QCOMPARE(TestPrefix::entries(root.path() + "/victim"), QStringList());
        QCOMPARE(platform::ListKeptVersions(root.path() + "/other").error,
                 int(platform::PathFileAccessError));

        // Put back over a newer file: the version's bytes, the time now.
        TestPrefix::write(report, "v2");
        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
        QCOMPARE(
            platform::RestoreVersion(versions + "/SMITH (MYPCX 2026-12-07 101502).RPT", report), 0);
        QCOMPARE(TestPrefix::read(report), QByteArray("v1"));
        QVERIFY(QFileInfo(report).lastModified() >= before);
    }
};

QTEST_GUILESS_MAIN(TestTrash)
#include "tst_trash.moc"
