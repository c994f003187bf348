// INI access through Windows paths on a real prefix: defaults, files that
// must not appear, what a write keeps, and the directory queries.

#include "platform/ProfileStore.h"
#include "tests/support/TestPrefix.h"
#include "config/WPINI.h"

#include <QFileInfo>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace WPINI;

class TestWPINI : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void readEdges_data() {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("def");
        QTest::addColumn<QString>("expected");
        QTest::newRow("absent key gives default") << "Directories" << "NoKey" << "dflt" << "dflt";
        QTest::newRow("absent section gives default") << "Nothing" << "DataDir" << "1" << "1";
        QTest::newRow("empty value beats default") << "Directories" << "Empty" << "1" << "";
        QTest::newRow("absent key, empty default") << "Directories" << "NoKey" << "" << "";
        QTest::newRow("default loses trailing blanks") << "Directories" << "NoKey" << " a  " << " a";
        QTest::newRow("default loses its quotes") << "Directories" << "NoKey" << "\"q\"  " << "q";
        QTest::newRow("255 characters whole") << "Long" << "K255" << "" << QString(255, u'a');
        QTest::newRow("300 characters whole") << "Long" << "K300" << "" << QString(300, u'b');
        QTest::newRow("40000 characters whole") << "Long" << "K40000" << "" << QString(40000, u'c');
        QTest::newRow("read in lower case") << "directories" << "datadir" << "" << "C:\\QX\\DATA";
    }
    void readEdges() {
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, def);
        QFETCH(QString, expected);
        TestPrefix p;
        p.write(p.driveC() + "/VALUATOR/kav.ini",
                "[Directories]\r\nDataDir=C:\\QX\\DATA\r\nEmpty=\r\n[Long]\r\nK255=" + QByteArray(255, 'a') +
                    "\r\nK300=" + QByteArray(300, 'b') + "\r\nK40000=" + QByteArray(40000, 'c') + "\r\n");
        QCOMPARE(ReadIni("c:\\valuator\\KAV.INI", section, key, def), expected);
    }

    void readNeverCreates_data() {
        QTest::addColumn<QString>("file");
        QTest::newRow("missing file") << "C:\\VALUATOR\\NONE.INI";
        QTest::newRow("missing directory") << "C:\\NODIR\\NONE.INI";
        QTest::newRow("unmapped drive") << "Q:\\NONE.INI";
        QTest::newRow("bare name") << "NONE.INI";
    }
    void readNeverCreates() {
        QFETCH(QString, file);
        TestPrefix p;
        const QStringList before = TestPrefix::entries(p.driveC() + "/VALUATOR") +
                                   TestPrefix::entries(p.driveC() + "/windows") +
                                   TestPrefix::entries(p.driveC());
        QCOMPARE(ReadIni(file, "s", "k", "d"), u"d");
        QCOMPARE(TestPrefix::entries(p.driveC() + "/VALUATOR") + TestPrefix::entries(p.driveC() + "/windows") +
                     TestPrefix::entries(p.driveC()),
                 before);
    }

    void bareNameLivesInWindowsDirectory() {
        TestPrefix p;
        WriteIni("QUARN2.INI", "LOCAL", "QXADATADIR", "C:\\QX");
        QCOMPARE(TestPrefix::read(p.driveC() + "/windows/QUARN2.INI"),
                 QByteArray("[LOCAL]\r\nQXADATADIR=C:\\QX\r\n"));
        QCOMPARE(ReadIni("C:\\WINDOWS\\quarn2.ini", "local", "qxadatadir", ""), u"C:\\QX");
    }

    void writeFindsTheFileInAnyCase() {
        TestPrefix p;
        p.write(p.driveC() + "/VALUATOR/photokpr.ini", "[directories]\ndatadir=x\n");
        WriteIni("C:\\VALUATOR\\PHOTOKPR.INI", "Directories", "DataDir", "y");
        QCOMPARE(TestPrefix::entries(p.driveC() + "/VALUATOR"), QStringList{"photokpr.ini"});
        QCOMPARE(TestPrefix::read(p.driveC() + "/VALUATOR/photokpr.ini"), QByteArray("[directories]\ndatadir=y\n"));
    }

    void writeIntoMissingPlacesFailsSilently_data() {
        QTest::addColumn<QString>("file");
        QTest::newRow("missing directory") << "C:\\NODIR\\A.INI";
        QTest::newRow("unmapped drive") << "Q:\\A.INI";
        QTest::newRow("drive without medium") << "E:\\A.INI";
        QTest::newRow("unknown share") << "\\\\NOSUCH\\SHARE\\A.INI";
    }
    void writeIntoMissingPlacesFailsSilently() {
        QFETCH(QString, file);
        TestPrefix p;
        const QStringList before = TestPrefix::entries(p.driveC()) + TestPrefix::entries(p.root());
        WriteIni(file, "s", "k", "v");
        DeleteIniSection(file, "s");
        QCOMPARE(TestPrefix::entries(p.driveC()) + TestPrefix::entries(p.root()), before);
    }

    void writeKeepsPermissionsAndLinks() {
        TestPrefix p;
        const QString real = p.driveD() + "/shared.ini";
        p.write(real, "[s]\nk=1\n");
        QVERIFY(::chmod(QFile::encodeName(real).constData(), 0640) == 0);
        QVERIFY(::symlink(QFile::encodeName(real).constData(),
                          QFile::encodeName(p.driveC() + "/VALUATOR/LINKED.INI").constData()) == 0);
        WriteIni("C:\\VALUATOR\\LINKED.INI", "s", "k", "2");
        QVERIFY(QFileInfo(p.driveC() + "/VALUATOR/LINKED.INI").isSymLink());
        QCOMPARE(TestPrefix::read(real), QByteArray("[s]\nk=2\n"));
        struct stat st{};
        QVERIFY(::stat(QFile::encodeName(real).constData(), &st) == 0);
        QCOMPARE(st.st_mode & 07777, mode_t(0640));
        QCOMPARE(TestPrefix::entries(p.driveD()), QStringList{"shared.ini"}); // no temporary left
    }

    void unchangedWriteDoesNotTouchTheFile() {
        TestPrefix p;
        const QString host = p.driveC() + "/VALUATOR/kav.ini";
        p.write(host, "[Directories]\r\nDataDir=C:\\D\r\n");
        struct stat before{}, after{};
        QVERIFY(::stat(QFile::encodeName(host).constData(), &before) == 0);
        WriteIni("C:\\VALUATOR\\kav.ini", "Directories", "DataDir", "C:\\D");
        QVERIFY(::stat(QFile::encodeName(host).constData(), &after) == 0);
        QCOMPARE(after.st_ino, before.st_ino);
    }

    void outsideChangesAreSeen() {
        // A cached parse must give way to a change made behind our back, even
        // one that keeps the size and puts the modification time back.
        TestPrefix p;
        const QString host = p.driveC() + "/VALUATOR/kav.ini";
        p.write(host, "[d]\nk=AAAA\n");
        struct stat st{};
        QVERIFY(::stat(QFile::encodeName(host).constData(), &st) == 0);
        const timespec old[2] = {st.st_atim, {st.st_mtim.tv_sec - 10, 0}};
        QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(host).constData(), old, 0) == 0);
        QTest::qWait(120);
        QCOMPARE(ReadIni("C:\\VALUATOR\\kav.ini", "d", "k", ""), u"AAAA");
        QCOMPARE(ReadIni("C:\\VALUATOR\\kav.ini", "d", "k", ""), u"AAAA"); // from the cache
        QFile f(host);
        QVERIFY(f.open(QIODevice::ReadWrite));
        f.write("[d]\nk=BBBB\n");
        f.close();
        QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(host).constData(), old, 0) == 0);
        QCOMPARE(ReadIni("C:\\VALUATOR\\kav.ini", "d", "k", ""), u"BBBB");
    }

    void oddFilesReadAsMissingAndStay_data() {
        QTest::addColumn<int>("kind");
        QTest::newRow("directory") << 0;
        QTest::newRow("fifo") << 1;
        QTest::newRow("sparse file of 300 MiB") << 2;
        QTest::newRow("read-only file") << 3;
    }
    void oddFilesReadAsMissingAndStay() {
        QFETCH(int, kind);
        TestPrefix p;
        const QString host = p.driveC() + "/VALUATOR/ODD.INI";
        const QByteArray enc = QFile::encodeName(host);
        if (kind == 0)
            p.makeDir(host);
        else if (kind == 1)
            QVERIFY(::mkfifo(enc.constData(), 0600) == 0);
        else if (kind == 2)
            QVERIFY(::truncate((p.write(host, ""), enc.constData()), 300LL << 20) == 0);
        else
            QVERIFY((p.write(host, "[s]\nk=ro\n"), ::chmod(enc.constData(), 0444)) == 0);
        struct stat before{}, after{};
        QVERIFY(::lstat(enc.constData(), &before) == 0);

        // Reads give the default without a hang or a crash; writes leave it be.
        QCOMPARE(ReadIni("C:\\VALUATOR\\ODD.INI", "s", "k", "d"), kind == 3 ? u"ro" : u"d");
        WriteIni("C:\\VALUATOR\\ODD.INI", "s", "k", "v");
        DeleteIniSection("C:\\VALUATOR\\ODD.INI", "s");
        QVERIFY(::lstat(enc.constData(), &after) == 0);
        QCOMPARE(after.st_ino, before.st_ino);
        QCOMPARE(after.st_size, before.st_size);
        QCOMPARE(TestPrefix::entries(p.driveC() + "/VALUATOR"), QStringList{"ODD.INI"});
    }

    void danglingLinkGetsItsTarget() {
        TestPrefix p;
        const QString link = p.driveC() + "/VALUATOR/DANG.INI";
        QVERIFY(::symlink(QFile::encodeName(p.driveD() + "/made.ini").constData(),
                          QFile::encodeName(link).constData()) == 0);
        WriteIni("C:\\VALUATOR\\DANG.INI", "s", "k", "v");
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(TestPrefix::read(p.driveD() + "/made.ini"), QByteArray("[s]\r\nk=v\r\n"));
    }

    void directoryQueries() {
        {
            TestPrefix p;
            QCOMPARE(GetWinDir(), u"C:\\windows\\");
            QCOMPARE(GetWinDrive(), u"C:");
            QCOMPARE(GetSysDir(), u"C:\\windows\\system32\\");
        }
        TestPrefix none(TestPrefix::Options{.driveZ = true, .driveC = false});
        QCOMPARE(GetWinDir(), QString());
        QCOMPARE(GetWinDrive(), QString());
        QCOMPARE(GetSysDir(), QString());
        QCOMPARE(ReadIni("QUARN2.INI", "s", "k", "d"), u"d");
    }
};

QTEST_GUILESS_MAIN(TestWPINI)
#include "tst_wpini.moc"
