// Windows paths over the Wine prefix: drives, shares, case, and the host
// errors that reach the program as numbered errors; the table is winpath.txt.

#include "tests/support/Cases.h"
#include "tests/support/TestPrefix.h"
#include "platform/WinPath.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

#include <future>
#include <unistd.h>

using namespace platform;

namespace {

// Canonical form of the deepest existing ancestor plus the rest.
QString Canon(const QString& host) {
    QFileInfo fi(host);
    QString rest;
    while (!fi.exists() && fi.filePath() != u"/") {
        rest = u'/' + fi.fileName() + rest;
        fi = QFileInfo(fi.path());
    }
    return fi.canonicalFilePath() + rest;
}

} // namespace

class TestWinPath : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void mapping_data() { AddCases(QUARN_TESTS_DIR "/platform/winpath.txt"); }
    void mapping() {
        QFETCH(QStringList, c); // path, host path, error, length, length error
        TestPrefix p;
        p.write(p.driveC() + "/VALUATOR/Smith.rpt", "abc");
        QVERIFY(QFile::link("LOOP", p.driveC() + "/LOOP"));
        p.makeDir(p.driveC() + "/Data");
        p.makeDir(p.driveC() + "/DATA");
        const QString saved = QDir::currentPath();
        QVERIFY(QDir::setCurrent(p.driveC() + "/windows"));
        QCOMPARE(CurrentDirectory(), u"C:\\windows");
        const auto host = ToHostPath(c[0]);
        const auto length = FileLength(c[0]);
        QVERIFY(QDir::setCurrent(saved));
        const QString want = c[1].isEmpty() ? QString() : Canon(c[1].startsWith(u'/') ? c[1] : p.at(c[1]));
        const QString back = c[2] == u"*" || !host.ok() ? c[2] : ToWindowsPath(host.value);
        QCOMPARE((QStringList{host.ok() ? Canon(host.value) : QString(), back, QString::number(host.error),
                              QString::number(length.value), QString::number(length.error)}),
                 (QStringList{want, c[2], c[3], c[4], c[5]}));
    }

    void driveCFallsBackToDriveC() {
        TestPrefix p;
        QVERIFY(QFile::remove(p.prefix() + "/dosdevices/c:"));
        QCOMPARE(Canon(ToHostPath(QStringLiteral("C:\\windows")).value), Canon(p.driveC() + "/windows"));
        QCOMPARE(WindowsDirectory(), u"C:\\windows");
    }

    void workingOutsideEveryDrive() {
        TestPrefix p(TestPrefix::Options{.driveZ = false, .driveC = true});
        const QString saved = QDir::currentPath();
        QVERIFY(QDir::setCurrent(p.root()));
        QCOMPARE(CurrentDirectory(), u"C:\\");
        // A relative name still means the file here (the help file beside an
        // installed program), not one on C:; a rooted one goes to C:.
        QVERIFY(QFile(p.root() + "/quarn.chm").open(QIODevice::WriteOnly));
        const auto help = ToHostPath(QStringLiteral("QUARN.CHM")), windows = ToHostPath(QStringLiteral("\\windows"));
        QVERIFY(QDir::setCurrent(saved));
        QCOMPARE(Canon(help.value), Canon(p.root() + "/quarn.chm"));
        QCOMPARE(Canon(windows.value), Canon(p.driveC() + "/windows"));
    }

    void oneListingPerShare() {
        TestPrefix p;
        // The gate opens before the end: the listing threads outlive the
        // calls that gave up on them.
        std::promise<void> gate;
        SetDirectoryLister([opened = gate.get_future().share()](const QString&, bool) {
            opened.wait();
            return Result<QString>{QStringLiteral("."), 0};
        });
        // A hung drive or share is given up on at once, without a new listing;
        // another one still gets its own.
        const std::pair<const char*, int> checks[] = {
            {"D:\\A", 1}, {"d:\\B\\C", 1}, {"C:\\", 2}, {"\\\\SERVER\\Share\\X", 3}, {"//server/SHARE/Y", 3}};
        for (const auto& [path, pending] : checks) {
            QCOMPARE(FirstDirectoryEntry(QString::fromLatin1(path), 20).error, int(DiskNotReady));
            QCOMPARE(PendingDirectoryListings(), pending);
        }
        // A listing still within its time is waited for, not doubled.
        auto first = std::async(std::launch::async, [] { return FirstDirectoryEntry("Z:\\A", 60000); });
        QTRY_COMPARE(PendingDirectoryListings(), 4);
        auto second = std::async(std::launch::async, [] { return FirstDirectoryEntry("Z:\\B", 60000); });
        QTest::qWait(100);
        QCOMPARE(PendingDirectoryListings(), 4);
        gate.set_value();
        QCOMPARE(first.get().error + second.get().error, 0);
        QTRY_COMPARE(PendingDirectoryListings(), 0);
        SetDirectoryLister({});
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
