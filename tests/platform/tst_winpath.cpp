// Windows paths over the Wine prefix: drives, shares, case, and the host
// errors that reach the program as numbered errors.

#include "tests/support/TestPrefix.h"
#include "platform/WinPath.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

#include <future>
#include <unistd.h>

using namespace platform;

class TestWinPath : public QObject {
    Q_OBJECT

    static QString Canon(const QString& host) {
        // Canonical form of the deepest existing ancestor plus the rest.
        QFileInfo fi(host);
        QString rest;
        while (!fi.exists() && fi.filePath() != u"/") {
            rest = u'/' + fi.fileName() + rest;
            fi = QFileInfo(fi.path());
        }
        return fi.canonicalFilePath() + rest;
    }

private Q_SLOTS:
    void mapping_data() {
        QTest::addColumn<QString>("windowsPath");
        QTest::addColumn<QString>("expected"); // relative to the temporary root
        QTest::addColumn<int>("error");

        QTest::newRow("drive C") << "C:\\windows\\system32" << "prefix/drive_c/windows/system32" << 0;
        QTest::newRow("lower-case drive") << "c:\\windows" << "prefix/drive_c/windows" << 0;
        QTest::newRow("case folded") << "C:\\WINDOWS\\SYSTEM32" << "prefix/drive_c/windows/system32" << 0;
        QTest::newRow("forward slashes") << "C:/windows/system32" << "prefix/drive_c/windows/system32" << 0;
        QTest::newRow("doubled separator") << "C:\\windows\\\\system32\\" << "prefix/drive_c/windows/system32" << 0;
        QTest::newRow("missing part kept as written") << "C:\\Valuator\\New Dir\\Smith.RPT" << "prefix/drive_c/VALUATOR/New Dir/Smith.RPT" << 0;
        QTest::newRow("dot-dot stops at the root") << "C:\\..\\..\\windows\\..\\VALUATOR" << "prefix/drive_c/VALUATOR" << 0;
        QTest::newRow("trailing dots and blanks dropped") << "C:\\windows. \\system32.." << "prefix/drive_c/windows/system32" << 0;
        QTest::newRow("second drive") << "D:\\" << "second" << 0;
        QTest::newRow("share") << "\\\\SERVER\\Share\\Data" << "share/Data" << 0;
        QTest::newRow("drive without medium") << "E:\\x.ini" << "" << int(DiskNotReady);
        QTest::newRow("unmapped drive") << "Q:\\x.ini" << "" << int(DeviceUnavailable);
        QTest::newRow("unknown server") << "\\\\NOSUCH\\share\\x" << "" << int(DeviceUnavailable);
        QTest::newRow("server without share") << "\\\\SERVER" << "" << int(DeviceUnavailable);
        QTest::newRow("colon inside a name") << "C:\\a:b" << "" << int(PathFileAccessError);
    }
    void mapping() {
        QFETCH(QString, windowsPath);
        QFETCH(QString, expected);
        QFETCH(int, error);
        TestPrefix p;
        const auto r = ToHostPath(windowsPath);
        QCOMPARE(r.error, error);
        if (error == 0)
            QCOMPARE(Canon(r.value), Canon(p.at(expected)));
    }

    void exactNameWinsThenFirstFolded() {
        TestPrefix p;
        p.makeDir(p.driveC() + QStringLiteral("/Data"));
        p.makeDir(p.driveC() + QStringLiteral("/DATA"));
        QCOMPARE(QFileInfo(ToHostPath(QStringLiteral("C:\\Data")).value).fileName(), u"Data");
        QCOMPARE(QFileInfo(ToHostPath(QStringLiteral("C:\\DATA")).value).fileName(), u"DATA");
        QCOMPARE(QFileInfo(ToHostPath(QStringLiteral("C:\\data")).value).fileName(), u"DATA");
    }

    void hostPathUsedAsItIs() {
        QCOMPARE(ToHostPath(QStringLiteral("/tmp/Some File")).value, u"/tmp/Some File");
    }

    void driveCFallsBackToDriveC() {
        TestPrefix p;
        QVERIFY(::unlink(QFile::encodeName(p.prefix() + "/dosdevices/c:").constData()) == 0);
        QCOMPARE(Canon(ToHostPath(QStringLiteral("C:\\windows")).value),
                 Canon(p.driveC() + "/windows"));
        QCOMPARE(WindowsDirectory(), u"C:\\windows");
    }

    void noDriveCMeansNoWindowsDirectory() {
        TestPrefix p(TestPrefix::Options{.driveZ = true, .driveC = false});
        QCOMPARE(WindowsDirectory(), QString());
        QCOMPARE(SystemDirectory(), QString());
    }

    void currentDirectoryAndRelativePaths() {
        TestPrefix p;
        const QString saved = QDir::currentPath();
        QVERIFY(QDir::setCurrent(p.driveC() + "/windows"));
        QCOMPARE(CurrentDirectory(), u"C:\\windows");
        QCOMPARE(Canon(ToHostPath(QStringLiteral("system32")).value), Canon(p.driveC() + "/windows/system32"));
        QCOMPARE(Canon(ToHostPath(QStringLiteral("\\VALUATOR")).value), Canon(p.driveC() + "/VALUATOR"));
        QCOMPARE(Canon(ToHostPath(QStringLiteral("c:system32")).value), Canon(p.driveC() + "/windows/system32"));
        QVERIFY(QDir::setCurrent(p.driveD()));
        QCOMPARE(CurrentDirectory(), u"D:\\");
        QVERIFY(QDir::setCurrent(p.root()));
        QVERIFY(CurrentDirectory().startsWith(u"Z:\\"));
        QVERIFY(QDir::setCurrent(saved));
    }

    void currentDirectoryOutsideEveryDriveIsCRoot() {
        TestPrefix p(TestPrefix::Options{.driveZ = false, .driveC = true});
        const QString saved = QDir::currentPath();
        QVERIFY(QDir::setCurrent(p.root()));
        QCOMPARE(CurrentDirectory(), u"C:\\");
        // A relative name still means the file here (the help file beside an
        // installed program), not one on C:; a rooted one goes to C:.
        QVERIFY(QFile(p.root() + "/quarn.chm").open(QIODevice::WriteOnly));
        QCOMPARE(Canon(ToHostPath(QStringLiteral("QUARN.CHM")).value), Canon(p.root() + "/quarn.chm"));
        QCOMPARE(Canon(ToHostPath(QStringLiteral("\\windows")).value), Canon(p.driveC() + "/windows"));
        QVERIFY(QDir::setCurrent(saved));
    }

    void toWindowsPathPrefersTheLongestDrive() {
        TestPrefix p;
        QCOMPARE(ToWindowsPath(p.driveC() + "/windows/system32"), u"C:\\windows\\system32");
        QCOMPARE(ToWindowsPath(p.driveD()), u"D:\\");
        // A file about to be made maps through its existing folder.
        QCOMPARE(ToWindowsPath(p.driveD() + "/New Folder/new.rpt"), u"D:\\New Folder\\new.rpt");
    }

    void fileLengthErrors_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<qint64>("length");
        QTest::addColumn<int>("error");
        QTest::newRow("file") << "C:\\VALUATOR\\SMITH.RPT" << qint64(3) << 0;
        QTest::newRow("folded name") << "c:\\valuator\\smith.rpt" << qint64(3) << 0;
        QTest::newRow("missing file") << "C:\\VALUATOR\\NONE.RPT" << qint64(0) << int(FileNotFound);
        QTest::newRow("missing directory") << "C:\\NODIR\\NONE.RPT" << qint64(0) << int(PathNotFound);
        QTest::newRow("file used as directory") << "C:\\VALUATOR\\SMITH.RPT\\X" << qint64(0) << int(PathNotFound);
        QTest::newRow("a directory is no file") << "C:\\VALUATOR" << qint64(0) << int(FileNotFound);
        QTest::newRow("no medium") << "E:\\SMITH.RPT" << qint64(0) << int(DiskNotReady);
        QTest::newRow("no drive") << "Q:\\SMITH.RPT" << qint64(0) << int(DeviceUnavailable);
        QTest::newRow("link loop") << "C:\\LOOP" << qint64(0) << int(PathFileAccessError);
    }
    void fileLengthErrors() {
        QFETCH(QString, path);
        QFETCH(qint64, length);
        QFETCH(int, error);
        TestPrefix p;
        p.write(p.driveC() + "/VALUATOR/Smith.rpt", "abc");
        QVERIFY(::symlink("LOOP", QFile::encodeName(p.driveC() + "/LOOP").constData()) == 0);
        const auto r = FileLength(path);
        QCOMPARE(r.error, error);
        QCOMPARE(r.value, length);
    }

    void oneListingPerShare() {
        TestPrefix p;
        // Each gate is opened before the test ends: the listing threads
        // outlive the calls that gave up on them.
        const auto blockUntilOpened = [](std::promise<void>& gate) {
            SetDirectoryLister([opened = gate.get_future().share()](const QString&, bool) {
                opened.wait();
                return Result<QString>{QStringLiteral("."), 0};
            });
        };
        std::promise<void> gate;
        blockUntilOpened(gate);
        // A hung drive or share is given up on at once, without a new listing;
        // another one still gets its own.
        const std::pair<const char*, int> checks[] = {
            {"D:\\A", 1}, {"d:\\B\\C", 1}, {"C:\\", 2}, {"\\\\SERVER\\Share\\X", 3}, {"//server/SHARE/Y", 3}};
        for (const auto& [path, pending] : checks) {
            QCOMPARE(FirstDirectoryEntry(QString::fromLatin1(path), 20).error, int(DiskNotReady));
            QCOMPARE(PendingDirectoryListings(), pending);
        }
        gate.set_value();
        QTRY_COMPARE(PendingDirectoryListings(), 0);

        // A listing still within its time is waited for, not doubled.
        std::promise<void> gate2;
        blockUntilOpened(gate2);
        auto first = std::async(std::launch::async, [] { return FirstDirectoryEntry("D:\\A", 60000); });
        QTRY_COMPARE(PendingDirectoryListings(), 1);
        auto second = std::async(std::launch::async, [] { return FirstDirectoryEntry("D:\\B", 60000); });
        QTest::qWait(100);
        QCOMPARE(PendingDirectoryListings(), 1);
        gate2.set_value();
        QCOMPARE(first.get().error, 0);
        QCOMPARE(second.get().error, 0);
        SetDirectoryLister({});
        QCOMPARE(PendingDirectoryListings(), 0);
    }

    void permissionDenied() {
        if (::geteuid() == 0)
            QSKIP("root reads every directory");
        TestPrefix p;
        p.write(p.driveC() + "/LOCKED/A.INI", "x");
        QFile::setPermissions(p.driveC() + "/LOCKED", QFileDevice::WriteOwner);
        QCOMPARE(FileLength(QStringLiteral("C:\\LOCKED\\A.INI")).error, int(PermissionDenied));
        QVERIFY(!CanListDirectory(QStringLiteral("C:\\LOCKED\\")));
        QFile::setPermissions(p.driveC() + "/LOCKED", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
};

QTEST_GUILESS_MAIN(TestWinPath)
#include "tst_winpath.moc"
