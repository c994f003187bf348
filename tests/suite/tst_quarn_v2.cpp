// Locating the suite's INI files, the three sets, staging, and the ten
// writes of a switch, on a throw-away prefix.

#include "suite/Quarn_v2.h"
#include "tests/support/Doubles.h"
#include "tests/support/TestPrefix.h"
#include "config/WPINI.h"

#include <QTest>

#include <sys/stat.h>

using namespace Quarn_v2;

namespace {

const QByteArray kStored =
    "[LOCAL]\r\nQXADATADIR= C:\\L\\A\\  \r\nQXPPDATADIR=C:\\L\\PP\r\nQXPPPHOTODIR=C:\\L\\PPJ\r\n"
    "APEXDATADIR=C:\\L\\X\r\nQXPDATADIR=C:\\L\\P\r\nQXPPHOTODIR=C:\\L\\PJ\r\nQXCDATADIR=C:\\L\\C\r\n"
    "QXODATADIR=C:\\L\\O\r\nQXSDATADIR=C:\\\\\r\n\r\n"
    "[NETWORK]\r\nqxadatadir=N:\\A\r\nQXODATADIR=N:\\O\r\n";

QString Suite(const TestPrefix& p, const QString& name) {
    return p.driveC() + "/VALUATOR/" + name;
}

} // namespace

class TestQuarnV2 : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void locate_data() {
        QTest::addColumn<QByteArray>("inSuite"); // "-": no file there
        QTest::addColumn<bool>("suiteFolder");
        QTest::addColumn<QString>("expected");
        QTest::newRow("suite folder wins") << QByteArray("x") << true << "C:\\Valuator\\kav.ini";
        QTest::newRow("zero bytes do not count") << QByteArray("") << true << "C:\\windows\\kav.ini";
        QTest::newRow("absent: Windows directory") << QByteArray("-") << true << "C:\\windows\\kav.ini";
        QTest::newRow("no suite folder") << QByteArray("-") << false << "C:\\windows\\kav.ini";
    }
    void locate() {
        QFETCH(QByteArray, inSuite);
        QFETCH(bool, suiteFolder);
        QFETCH(QString, expected);
        TestPrefix p;
        p.write(p.driveC() + "/windows/kav.ini", "[Directories]\r\nDataDir=W\r\n");
        if (inSuite != "-")
            p.write(Suite(p, "KAV.INI"), inSuite);
        if (!suiteFolder)
            QVERIFY(QDir(p.driveC() + "/VALUATOR").removeRecursively());
        QCOMPARE(LocateSuiteIni("kav.ini"), expected);
    }

    void startUpFindsItsOwnMarker() {
        TestPrefix p;
        p.write(Suite(p, "QUARN2.INI"), ""); // zero bytes: rewritten
        SuiteState s;
        InitialiseSuite(s);
        QCOMPARE(s.WindowsDir, u"C:\\windows\\");
        QCOMPARE(s.SuiteFolder, u"C:\\VALUATOR\\");
        QCOMPARE(s.SuiteIniPath, u"C:\\Valuator\\QUARN2.INI");
        QCOMPARE(TestPrefix::read(Suite(p, "QUARN2.INI")), QByteArray(" \r\n"));
        QCOMPARE(s.ProductIniPaths.drawkit, u"C:\\windows\\DRAWKIT.INI");
    }

    void markerLeftAloneWhenPresentOrFolderMissing() {
        TestPrefix p;
        p.write(Suite(p, "quarn2.ini"), kStored);
        EnsureSuiteMarker("C:\\VALUATOR\\");
        QCOMPARE(TestPrefix::read(Suite(p, "quarn2.ini")), kStored);
        EnsureSuiteMarker("C:\\NOSUCH\\");
        QVERIFY(!TestPrefix::exists(p.driveC() + "/NOSUCH"));
    }

    void noWindowsDirectory() {
        TestPrefix p(TestPrefix::Options{.driveZ = true, .driveC = false});
        ScriptedPrompter script;
        SuiteState s;
        InitialiseSuite(s);
        QVERIFY(script.shown().isEmpty()); // start-up asks nothing of a missing drive
        QCOMPARE(s.SuiteFolder, u"\\VALUATOR\\");
        QCOMPARE(s.SuiteIniPath, u"QUARN2.INI");
        WriteSuiteDirectories(s); // nothing to write, nowhere to write it
    }

    void storedSetsAreNormalised() {
        TestPrefix p;
        p.write(Suite(p, "QUARN2.INI"), kStored);
        SuiteState s;
        InitialiseSuite(s);
        QCOMPARE(s.LocalSet.QXADATADIR, u"C:\\L\\A");
        QCOMPARE(s.LocalSet.QXSDATADIR, u"C:\\"); // one backslash dropped
        QCOMPARE(s.LocalSet.APEXDATADIR, u"C:\\L\\X");
        QCOMPARE(s.NetworkSet.QXADATADIR, u"N:\\A");
        QCOMPARE(s.LocalTransferRoot, u"C:\\L\\A");
        QCOMPARE(s.NetworkTransferRoot, u"N:\\A");
        QVERIFY(s.CurrentSet == DirectorySet{});
    }

    void switchWritesTenValuesInOrder() {
        TestPrefix p;
        p.write(Suite(p, "QUARN2.INI"), kStored);
        SuiteState s;
        InitialiseSuite(s);
        SwitchToLocal(s);
        QStringList writes;
        for (const SuiteWrite& w : SuiteDirectoryWrites(s))
            writes << w.file + u' ' + w.key + u'=' + w.value;
        const QString w = QStringLiteral("C:\\windows\\");
        QCOMPARE(writes, (QStringList{w + "kav.ini DataDir=C:\\L\\A",
                                      w + "QXP2000.INI DataDir=C:\\L\\PP",
                                      w + "QXP2000.INI PhotoDir=C:\\L\\PPJ",
                                      w + "PHOTOKPR.INI DataDir=C:\\L\\P",
                                      w + "PHOTOKPR.INI PhotoDir=C:\\L\\PJ",
                                      w + "COMPKPR.INI DataDir=C:\\L\\C",
                                      w + "OFCKPR.INI AppDir=C:\\L\\O",
                                      w + "OFCKPR.INI DataDir=C:\\L\\O",
                                      w + "OFCKPR.INI UserDir=C:\\L\\O",
                                      w + "DRAWKIT.INI DataDir=C:\\"}));
        // New files show the order and the letter case of the writes.
        QCOMPARE(TestPrefix::read(p.driveC() + "/windows/OFCKPR.INI"),
                 QByteArray("[Directories]\r\nAppDir=C:\\L\\O\r\nDataDir=C:\\L\\O\r\nUserDir=C:\\L\\O\r\n"));
        QCOMPARE(TestPrefix::read(p.driveC() + "/windows/QXP2000.INI"),
                 QByteArray("[Directories]\r\nDataDir=C:\\L\\PP\r\nPhotoDir=C:\\L\\PPJ\r\n"));
        QVERIFY(!TestPrefix::exists(p.driveC() + "/windows/OPL.INI"));
    }

    void emptyEntriesNeverBlankAProduct() {
        TestPrefix p;
        p.write(Suite(p, "QUARN2.INI"), kStored);
        const QByteArray comps = "[Directories]\r\nDataDir=C:\\OLD\\COMPS\r\n";
        p.write(Suite(p, "COMPKPR.INI"), comps);
        SuiteState s;
        InitialiseSuite(s);
        SwitchToNetwork(s); // NETWORK sets only QXADATADIR and QXODATADIR
        QCOMPARE(TestPrefix::read(Suite(p, "COMPKPR.INI")), comps);
        QCOMPARE(s.WorkingSet.txtQXCdataDir, u"C:\\OLD\\COMPS");
        QCOMPARE(s.WorkingSet.txtQXAdataDir, u"N:\\A");
        for (const char* absent : {"QXP2000.INI", "PHOTOKPR.INI", "DRAWKIT.INI"})
            QVERIFY2(!TestPrefix::exists(p.driveC() + "/windows/" + absent), absent);
        QCOMPARE(TestPrefix::read(p.driveC() + "/windows/OFCKPR.INI"),
                 QByteArray("[Directories]\r\nAppDir=N:\\O\r\nDataDir=N:\\O\r\nUserDir=N:\\O\r\n"));
    }

    void closingWithoutSwitchWritesCurrentBackNormalised() {
        TestPrefix p;
        p.write(Suite(p, "OFCKPR.INI"),
                "; office\r\n[directories]\r\nappdir=X:\\APP\r\ndatadir= N:\\OFFICE\\  \r\nuserdir=Y:\\U\r\n\r\n[Other]\r\nk=1\r\n");
        p.write(Suite(p, "kav.ini"), "[Directories]\nDataDir=N:\\A\\\n");
        SuiteState s;
        InitialiseSuite(s);
        WriteSuiteDirectories(s);
        QCOMPARE(TestPrefix::read(Suite(p, "OFCKPR.INI")),
                 QByteArray("; office\r\n[directories]\r\nappdir=N:\\OFFICE\r\ndatadir= N:\\OFFICE  \r\nuserdir=N:\\OFFICE\r\n\r\n[Other]\r\nk=1\r\n"));
        QCOMPARE(TestPrefix::read(Suite(p, "kav.ini")), QByteArray("[Directories]\nDataDir=N:\\A\n"));
    }

    void switchingTwiceChangesNothingMore() {
        TestPrefix p;
        p.write(Suite(p, "QUARN2.INI"), kStored);
        p.write(Suite(p, "DRAWKIT.INI"), "[Directories]\r\nDataDir=N:\\S\r\n[Pens]\r\nWidth=2\r\n");
        p.write(Suite(p, "OPL.INI"), "[Directories]\r\nDataDir=N:\\OPL\r\n");
        SuiteState s;
        InitialiseSuite(s);
        SwitchToLocal(s);
        const QByteArray once = TestPrefix::read(Suite(p, "DRAWKIT.INI"));
        QCOMPARE(once, QByteArray("[Directories]\r\nDataDir=C:\\\r\n[Pens]\r\nWidth=2\r\n"));
        struct stat a{}, b{};
        ::stat(QFile::encodeName(Suite(p, "DRAWKIT.INI")).constData(), &a);
        SwitchToLocal(s);
        ::stat(QFile::encodeName(Suite(p, "DRAWKIT.INI")).constData(), &b);
        QCOMPARE(TestPrefix::read(Suite(p, "DRAWKIT.INI")), once);
        QCOMPARE(b.st_ino, a.st_ino); // the same values: the file was not even rewritten
        QCOMPARE(TestPrefix::read(Suite(p, "OPL.INI")), QByteArray("[Directories]\r\nDataDir=N:\\OPL\r\n"));
    }

    void aFailedSwitchNamesEachFileOnce() {
        TestPrefix p;
        p.write(Suite(p, "QUARN2.INI"), kStored);
        p.write(Suite(p, "OFCKPR.INI"), "[Directories]\r\nDataDir=N:\\O\r\n");
        QVERIFY(::chmod(QFile::encodeName(Suite(p, "OFCKPR.INI")).constData(), 0444) == 0);
        SuiteState s;
        InitialiseSuite(s);
        const QList<SuiteFailure> failed = SwitchToLocal(s);
        QCOMPARE(failed.size(), 3); // AppDir, DataDir, UserDir
        const QString text = SwitchFailureText(failed);
        QVERIFY(text.endsWith("\n\nC:\\Valuator\\OFCKPR.INI: the file is read-only"));
        QCOMPARE(text.count("OFCKPR"), 1);
        QCOMPARE(WPINI::ReadIni("C:\\windows\\DRAWKIT.INI", "Directories", "DataDir", ""), u"C:\\"); // went on
        QVERIFY(SwitchFailureText({}).isEmpty());
    }

    void switchRereadsItsSet() {
        // Edits made to QUARN2.INI (by the configuration dialog) take effect at once.
        TestPrefix p;
        p.write(Suite(p, "QUARN2.INI"), kStored);
        SuiteState s;
        InitialiseSuite(s);
        WPINI::WriteIni("C:\\VALUATOR\\QUARN2.INI", "NETWORK", "QXADATADIR", "M:\\NEW\\");
        SwitchToNetwork(s);
        QCOMPARE(s.NetworkSet.QXADATADIR, u"M:\\NEW");
        QCOMPARE(s.NetworkTransferRoot, u"N:\\A"); // set at start only
        QCOMPARE(WPINI::ReadIni("C:\\windows\\kav.ini", "directories", "datadir", ""), u"M:\\NEW");
    }
};

QTEST_GUILESS_MAIN(TestQuarnV2)
#include "tst_quarn_v2.moc"
