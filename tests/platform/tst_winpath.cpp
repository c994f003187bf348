// Windows paths over the Wine prefix: drives, shares, case, and the host
// errors that reach the program as numbered errors; the table is winpath.txt.

#include "platform/win/DirectoryListing.h"
#include "platform/win/WinPath.h"
#include "tests/support/Cases.h"
#include "tests/support/StoppedShare.h"
#include "tests/support/TestPrefix.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

#include <future>
#include <unistd.h>

using namespace platform;

class TestWinPath : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void mapping_data() { AddCases("platform/winpath.txt"); }
    void mapping() {
        QFETCH(Row, row);
        TestPrefix p;
        p.write(p.driveC() + "/VALUATOR/Smith.rpt", "abc");
        QVERIFY(QFile::link("LOOP", p.driveC() + "/LOOP"));
        p.makeDir(p.driveC() + "/Data");
        p.makeDir(p.driveC() + "/DATA");
        const QString saved = QDir::currentPath();
        QVERIFY(QDir::setCurrent(p.driveC() + "/windows"));
        const auto host = ToHostPath(row["path"]);
        const auto length = FileLength(row["path"]);
        QVERIFY(QDir::setCurrent(saved));
        // Windows names the existing part of a host path as it is on disk.
        const QString lands = row["lands"];
        QCOMPARE((QStringList{host.ok() ? ToWindowsPath(host.value) : QString(),
                              QString::number(host.error), QString::number(length.value),
                              QString::number(length.error)}),
                 QStringList{lands.isEmpty() || lands.contains(u':') ? lands
                                                                     : ToWindowsPath(p.at(lands))} +
                     row.fields({"error", "length", "length_error"}));
    }

    void driveCFallsBackToDriveC() {
        TestPrefix p;
        QVERIFY(QFile::remove(p.prefix() + "/dosdevices/c:"));
        QCOMPARE(QFileInfo(ToHostPath(QStringLiteral("C:\\windows")).value).canonicalFilePath(),
                 QFileInfo(p.driveC() + "/windows").canonicalFilePath());
        QCOMPARE(WindowsDirectory(), u"C:\\windows");
        QCOMPARE(ToWindowsPath(QString()), QString()); // no path names no file, at once
        const ScopedWinePrefix none(p.at("none"));     // its prefix, on the share's thread too
        QCOMPARE(ToHostPath(QStringLiteral("C:\\windows")).error, int(DeviceUnavailable));
    }

    void workingOutsideEveryDrive() {
        TestPrefix p(TestPrefix::Options{.driveZ = false, .driveC = true});
        const QString saved = QDir::currentPath();
        QVERIFY(QDir::setCurrent(p.root()));
        QCOMPARE(CurrentDirectory(), u"C:\\");
        // A relative name still means the file here (the help file beside an
        // installed program), not one on C:; a rooted one goes to C:.
        QVERIFY(QFile(p.root() + "/quarn.chm").open(QIODevice::WriteOnly));
        const QStringList mapped{ToHostPath(QStringLiteral("QUARN.CHM")).value,
                                 ToHostPath(QStringLiteral("\\windows")).value};
        QVERIFY(QDir::setCurrent(saved));
        QCOMPARE((QStringList{QFileInfo(mapped[0]).canonicalFilePath(),
                              QFileInfo(mapped[1]).canonicalFilePath()}),
                 (QStringList{QFileInfo(p.root() + "/quarn.chm").canonicalFilePath(),
                              QFileInfo(p.driveC() + "/windows").canonicalFilePath()}));
    }

    // Mapping a path on a share that stopped answering, and its length, give
    // up with 71 once the bound is over, without the caller's thread asking
    // the share itself; other drives still answer (a hung one is passed over
    // when a host path is named), and so does the share once its pending ask
    // returns.
    void stoppedShareGivesUp() {
        TestPrefix p;
        // The share and drive D: stop answering.
        StoppedShare stopped({p.share(), p.prefix() + "/dosdevices/unc/server/share", p.driveD(),
                              p.prefix() + "/dosdevices/d:"});
        const QString onShare = QStringLiteral("\\\\SERVER\\Share\\Data\\x.ini");
        const QList<int> got(
            {ToHostPath(onShare).error, FileLength(onShare).error, NonEmptyFileExists(onShare),
             ToHostPath(QStringLiteral("C:\\windows")).error,
             ToWindowsPath(p.driveC() + "/windows") == u"C:\\windows", stopped.askedHere()});
        QVERIFY(stopped.answer());
        QCOMPARE(got, (QList<int>{DiskNotReady, DiskNotReady, 0, 0, 1, 0}));
        QCOMPARE(ToHostPath(onShare).error, 0);
    }

    void oneListingPerShare() {
        TestPrefix p;
        // The gate opens before the end: the listing threads outlive the
        // calls that gave up on them.
        std::promise<void> gate;
        const auto opened = gate.get_future().share();
        SetDirectoryLister([opened](const QString&, bool) {
            return opened.wait(), Result<QString>{QStringLiteral("."), 0};
        });
        // A hung drive or share is given up on at once, without a new listing;
        // another one still gets its own.
        const std::pair<const char*, int> checks[] = {{"D:\\A", 1},
                                                      {"d:\\B\\C", 1},
                                                      {"C:\\", 2},
                                                      {"\\\\SERVER\\Share\\X", 3},
                                                      {"//server/SHARE/Y", 3}};
        for (const auto& [path, pending] : checks) {
            QCOMPARE(FirstDirectoryEntry(QString::fromLatin1(path), 20).error, int(DiskNotReady));
            QCOMPARE(PendingDirectoryListings(), pending);
        }
        // A listing still within its time is waited for, not doubled.
        auto first =
            std::async(std::launch::async, [] { return FirstDirectoryEntry("Z:\\A", 60000); });
        QTRY_COMPARE(PendingDirectoryListings(), 4);
        auto second =
            std::async(std::launch::async, [] { return FirstDirectoryEntry("Z:\\B", 60000); });
        QTest::qWait(100);
        QCOMPARE(PendingDirectoryListings(), 4);
        gate.set_value();
        QCOMPARE(first.get().error + second.get().error, 0);
        QTRY_COMPARE(PendingDirectoryListings(), 0);
        SetDirectoryLister({});
    }
};

QTEST_GUILESS_MAIN(TestWinPath)
#include "tst_winpath.moc"
