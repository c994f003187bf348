// INI files: the reading rules of the profile functions and byte-for-byte
// preservation on every change, on in-memory files (the cases are in
// ini_*.txt); then access through Windows paths on a real prefix: defaults,
// files that must not appear, what a write keeps, and the directory queries.

#include "config/WPINI.h"
#include "platform/profile/IniDocument.h"
#include "tests/support/Cases.h"
#include "tests/support/TestPrefix.h"

#include <QFileInfo>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace WPINI;
using platform::IniDocument;

const QString kNone = QStringLiteral("<none>");

class TestWPINI : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void reading_data() {
        const QStringList columns = AddCases("config/ini_reading.txt");
        const QString y(40000, u'y');
        // 0x80 is the one 1252 byte a Latin-1 text file cannot spell.
        QTest::newRow("euro sign")
            << Row(columns, {QString::fromLatin1("[s]\nk=\x80"), "s", "k", "€", ""});
        QTest::newRow("long value") << Row(columns, {"[s]\nk=" + y, "s", "k", y, ""});
    }
    void reading() {
        QFETCH(Row, row);
        const IniDocument doc(row["file"].toLatin1());
        QCOMPARE(doc.value(row["section"], row["key"]).value_or(kNone), row["value"]);
    }

    void editing_data() {
        const QStringList columns = AddCases("config/ini_editing.txt");
        QTest::newRow("euro sign written") << Row(
            columns, {"[s]\nk=x\n", "s", "k", "€", QString::fromLatin1("[s]\nk=\x80\n"), ""});
        const QString y(40000, u'y');
        QTest::newRow("long value written")
            << Row(columns, {"", "s", "k", y, "[s]\r\nk=" + y + "\r\n", ""});
    }
    void editing() {
        QFETCH(Row, row);
        const IniDocument doc(row["file"].toLatin1());
        const QString section = row["section"], key = row["key"];
        const auto out = key == u"<delete>" ? doc.withoutSection(section)
                                            : doc.withValue(section, key, row["value"]);
        QCOMPARE(out ? QString::fromLatin1(*out) : kNone, row["after"]);
        // The index carried over from the old text answers as a parse would.
        if (out && key != u"<delete>")
            QVERIFY(doc.edited(section, key, row["value"]) == IniDocument(*out));
    }

    // A switch's failure names the character, as it names a read-only file.
    void unwritableCharacterNamed() {
        QString why;
        QVERIFY(
            !IniDocument("[s]\nk=x\n").withValue(u"s", u"DataDir", u"C:\\Данные\\APPRAISE", &why));
        QCOMPARE(why, u"the file's code page cannot hold \"Д\"");
    }

    void defaultsAndDirectories() {
        TestPrefix p;
        p.write(p.driveC() + "/VALUATOR/kav.ini", "[Directories]\r\nEmpty=\r\n");
        // Empty is a value.
        QCOMPARE(ReadIni("c:\\valuator\\KAV.INI", "Directories", "Empty", "1"), u"");
        QCOMPARE(ReadIni("C:\\VALUATOR\\kav.ini", "Directories", "NoKey", " a  "), u" a");
        QCOMPARE(ReadIni("C:\\VALUATOR\\kav.ini", "Directories", "NoKey", "\"q\"  "), u"q");
        QCOMPARE(GetWinDir() + u'|' + GetWinDrive() + u'|' + GetSysDir(),
                 u"C:\\windows\\|C:|C:\\windows\\system32\\");
        // No Windows directory at all: a prefix in force over the first.
        TestPrefix none(TestPrefix::Options{.driveZ = true, .driveC = false});
        QCOMPARE(GetWinDir() + GetWinDrive() + GetSysDir() + ReadIni("QUARN2.INI", "s", "k", "d"),
                 u"d");
    }

    void missingPlacesStayMissing() {
        TestPrefix p;
        const auto all = [&] {
            return TestPrefix::entries(p.root()) + TestPrefix::entries(p.driveC()) +
                   TestPrefix::entries(p.driveC() + "/VALUATOR") +
                   TestPrefix::entries(p.driveC() + "/windows");
        };
        const QStringList before = all();
        for (const QString file : {"C:\\VALUATOR\\NONE.INI", "NONE.INI", "C:\\NODIR\\A.INI",
                                   "Q:\\A.INI", "E:\\A.INI", "\\\\NOSUCH\\SHARE\\A.INI"}) {
            QCOMPARE(ReadIni(file, "s", "k", "d"), u"d");
            DeleteIniSection(file, "s");
            // A write may make a missing file, never a missing folder, drive or share.
            QVERIFY(file.contains("NONE") || !TryWriteIni(file, "s", "k", "v"));
        }
        QCOMPARE(all(), before);
    }

    void writeKeepsPermissionsAndLinks() {
        TestPrefix p;
        const QString real = p.driveD() + "/shared.ini";
        p.write(real, "[s]\nk=1\n");
        QVERIFY(::chmod(QFile::encodeName(real).constData(), 0640) == 0);
        QVERIFY(QFile::link(real, p.driveC() + "/VALUATOR/LINKED.INI"));
        QVERIFY(QFile::link(p.driveD() + "/made.ini", p.driveC() + "/VALUATOR/DANG.INI"));
        WriteIni("C:\\VALUATOR\\LINKED.INI", "s", "k", "2");
        WriteIni("C:\\VALUATOR\\DANG.INI", "s", "k", "v"); // a link to no file gets its file
        QVERIFY(QFileInfo(p.driveC() + "/VALUATOR/LINKED.INI").isSymLink() &&
                QFileInfo(p.driveC() + "/VALUATOR/DANG.INI").isSymLink());
        QCOMPARE(TestPrefix::read(real) + TestPrefix::read(p.driveD() + "/made.ini"),
                 "[s]\nk=2\n[s]\r\nk=v\r\n");
        const struct stat st = Stat(real);
        QCOMPARE(st.st_mode & 07777, mode_t(0640));
        WriteIni("C:\\VALUATOR\\LINKED.INI", "s", "k", "2"); // no change: the file is not touched
        QCOMPARE(Stat(real).st_ino, st.st_ino);
        // No temporary left.
        QCOMPARE(TestPrefix::entries(p.driveD()), (QStringList{"made.ini", "shared.ini"}));
    }

    void outsideChangesAreSeen() {
        // A cached parse must give way to a change made behind our back, even
        // one that keeps the size and puts the modification time back.
        TestPrefix p;
        const QByteArray host = QFile::encodeName(p.driveC() + "/VALUATOR/kav.ini");
        p.write(host, "[d]\nk=AAAA\n");
        const struct stat st = Stat(host);
        const timespec old[2] = {st.st_atim, {st.st_mtim.tv_sec - 10, 0}};
        QVERIFY(::utimensat(AT_FDCWD, host.constData(), old, 0) == 0);
        QTest::qWait(120);
        QCOMPARE(ReadIni("C:\\VALUATOR\\kav.ini", "d", "k", ""), u"AAAA"); // now cached
        p.write(host, "[d]\nk=BBBB\n");                                    // in place
        QVERIFY(::utimensat(AT_FDCWD, host.constData(), old, 0) == 0);
        QCOMPARE(ReadIni("C:\\VALUATOR\\kav.ini", "d", "k", ""), u"BBBB");
    }

    // What was last read or written keeps its parse only while the file holds
    // its very bytes: one byte changed in place, size and times put back, is
    // read, and the next write goes over it.
    void sameSizeChangeAfterOurReadOrWrite() {
        for (const bool written : {true, false}) {
            TestPrefix p;
            const QString host = p.driveC() + "/VALUATOR/kav.ini";
            p.write(host, "[d]\nk=BBBB\nj=1\n");
            if (written)
                QVERIFY(TryWriteIni("C:\\VALUATOR\\kav.ini", "d", "k", "AAAA"));
            QCOMPARE(ReadIni("C:\\VALUATOR\\kav.ini", "d", "j", ""), u"1");
            const struct stat st = Stat(host);
            QByteArray theirs = TestPrefix::read(host);
            theirs[theirs.size() - 2] = '9';
            p.write(host, theirs);
            const timespec times[2] = {st.st_atim, st.st_mtim};
            QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(host).constData(), times, 0) == 0);
            QCOMPARE(ReadIni("C:\\VALUATOR\\kav.ini", "d", "j", ""), u"9");
            QVERIFY(TryWriteIni("C:\\VALUATOR\\kav.ini", "d", "k", "CCCC"));
            QCOMPARE(TestPrefix::read(host), "[d]\nk=CCCC\nj=9\n");
        }
    }

    // A reader finds each file once, yet reads as ReadIni does: each key from
    // its own file under any spelling, a bare name from the Windows
    // directory, the default from a missing file, and what a file holds now.
    void aReaderReadsAsReadIniDoes() {
        TestPrefix p;
        p.write(p.driveC() + "/VALUATOR/kav.ini", "[Directories]\r\nA=1\r\n");
        p.write(p.driveC() + "/windows/QUARN2.INI", "[Directories]\r\nA=2\r\n");
        IniReader ini;
        const auto all = [&ini] {
            QStringList out;
            for (const QString file : {"C:\\VALUATOR\\KAV.INI", "QUARN2.INI",
                                       "c:\\valuator\\kav.ini", "C:\\NODIR\\A.INI"})
                out << ini.read(file, "Directories", "A", "d");
            return out.join(u'|');
        };
        QCOMPARE(all(), u"1|2|1|d");
        p.write(p.driveC() + "/VALUATOR/kav.ini", "[Directories]\r\nA=33\r\n");
        QCOMPARE(all(), u"33|2|33|d");
    }

    void oddFilesReadAsMissingAndStay() {
        TestPrefix p;
        const QString dir = p.driveC() + "/VALUATOR/";
        const QStringList odd{"DIR.INI", "FIFO.INI", "HUGE.INI", "RO.INI"};
        p.makeDir(dir + odd[0]);
        QVERIFY(::mkfifo(QFile::encodeName(dir + odd[1]).constData(), 0600) == 0);
        p.write(dir + odd[2], "");
        // Sparse.
        QVERIFY(::truncate(QFile::encodeName(dir + odd[2]).constData(), 300LL << 20) == 0);
        p.write(dir + odd[3], "[s]\nk=\"ro\"\n");
        QVERIFY(::chmod(QFile::encodeName(dir + odd[3]).constData(), 0444) == 0);
        for (const QString& name : odd) {
            const struct stat before = Stat(dir + name);
            // Reads give the default without a hang or a crash; writes leave it be.
            QCOMPARE(ReadIni("C:\\VALUATOR\\" + name, "s", "k", "d"),
                     name == odd[3] ? u"ro" : u"d");
            WriteIni("C:\\VALUATOR\\" + name, "s", "k", "v");
            DeleteIniSection("C:\\VALUATOR\\" + name, "s");
            QVERIFY(Stat(dir + name).st_ino == before.st_ino &&
                    Stat(dir + name).st_size == before.st_size);
        }
        QCOMPARE(TestPrefix::entries(dir), odd);
        // Holding the value already, however spelled, it needs no write.
        QCOMPARE(TryWriteIni("C:\\VALUATOR\\RO.INI", "S", "K", "ro").why, QString());
    }
};

QTEST_GUILESS_MAIN(TestWPINI)
#include "tst_wpini.moc"
