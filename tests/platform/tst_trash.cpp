// Removed reports go to the home trash, with the record the desktop's trash
// reads them back by; a failure leaves the file where it was.

#include "platform/profile/Trash.h"
#include "platform/win/HostError.h"
#include "tests/support/Cases.h"
#include "tests/support/TestPrefix.h"

#include <QDateTime>
#include <QTemporaryDir>
#include <QTest>

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
        QVERIFY(TestPrefix::entries(root.path() + "/data/Trash/info").isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestTrash)
#include "tst_trash.moc"
