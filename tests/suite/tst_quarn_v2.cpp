// Start-up (locating the suite's INI files, the marker, the three sets) and
// the writes of a switch, on a throw-away prefix.

#include "config/WPINI.h"
#include "platform/win/WinPath.h"
#include "suite/Quarn_v2.h"
#include "tests/support/Cases.h"
#include "tests/support/Doubles.h"
#include "tests/support/StoppedShare.h"
#include "tests/support/TestPrefix.h"

#include <QFileInfo>
#include <QTest>

#include <sys/stat.h>

using namespace Quarn_v2;

const QByteArray kStored = TestPrefix::read(QUARN_TESTS_DIR "/suite/stored.ini");

static QString Suite(const TestPrefix& p, const QString& name) {
    return p.driveC() + "/VALUATOR/" + name;
}

class TestQuarnV2 : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void setInForce_data() { AddCases("suite/in_force.txt", "name"); }
    void setInForce() {
        QFETCH(Row, row);
        SuiteState s;
        const std::pair<DirectorySet*, const char*> sets[] = {
            {&s.LocalSet, "local"}, {&s.NetworkSet, "network"}, {&s.CurrentSet, "current"}};
        for (const auto& [set, column] : sets)
            for (int i = 0; const QString& entry : row[column].split(u';'))
                (*set)[i++] = entry;
        QCOMPARE(InForceName(SetInForce(s)), row["answer"]);
    }

    // Start-up locates the files and normalises the sets; a switch makes the
    // ten writes, each file named once when it cannot be written, and goes
    // on past it.
    void startUpThenSwitchToLocal() {
        TestPrefix p;
        p.write(Suite(p, "QUARN2.INI"), kStored);
        p.write(Suite(p, "KAV.INI"), ""); // zero bytes: the Windows directory's counts
        p.write(p.driveC() + "/windows/kav.ini", "[Directories]\r\nDataDir=W\\\r\n");
        const QByteArray opl = "[Directories]\r\nDataDir=N:\\OPL\r\n";
        p.write(Suite(p, "OPL.INI"), opl);
        p.write(Suite(p, "OFCKPR.INI"), "[Directories]\r\nDataDir=N:\\O\r\n");
        QVERIFY(::chmod(QFile::encodeName(Suite(p, "OFCKPR.INI")).constData(), 0444) == 0);
        SuiteState s;
        InitialiseSuite(s);
        QCOMPARE(TestPrefix::read(Suite(p, "QUARN2.INI")), kStored); // the marker left alone
        // The local QXSDATADIR has one backslash dropped.
        QCOMPARE((QStringList{s.SuiteIniPath, s.ProductIniPaths.kav, s.CurrentSet.QXADATADIR,
                              s.LocalSet.QXADATADIR, s.LocalSet.QXSDATADIR, s.LocalTransferRoot}),
                 (QStringList{"C:\\Valuator\\QUARN2.INI", "C:\\windows\\kav.ini", "W", "LA", "C:\\",
                              "LA"}));

        const QList<SuiteFailure> failed = SwitchToLocal(s);
        QCOMPARE(failed.size(), 3); // AppDir, DataDir, UserDir
        QCOMPARE(SwitchFailureText(failed).count("OFCKPR"), 1);
        QCOMPARE(WPINI::ReadIni("C:\\windows\\DRAWKIT.INI", "Directories", "DataDir", ""), u"C:\\");
        QStringList writes;
        for (const SuiteWrite& w : SuiteDirectoryWrites(s))
            writes << w.file.section(u'\\', -1) + u' ' + w.key + u'=' + w.value;
        QCOMPARE(writes.join(u'\n') + u'\n',
                 QString::fromUtf8(TestPrefix::read(QUARN_TESTS_DIR "/suite/switch_writes.txt")));
        QCOMPARE(TestPrefix::read(Suite(p, "OPL.INI")), opl);
    }

    void networkSwitchRereadsItsSetAndSkipsEmptyEntries() {
        TestPrefix p;
        p.write(Suite(p, "QUARN2.INI"), kStored);
        const QByteArray comps = "[Directories]\r\nDataDir=C:\\OLD\\COMPS\r\n";
        p.write(Suite(p, "COMPKPR.INI"), comps);
        SuiteState s;
        InitialiseSuite(s);
        // An edit made meanwhile (by the Settings dialog) counts at once.
        WPINI::WriteIni("C:\\VALUATOR\\QUARN2.INI", "NETWORK", "QXADATADIR", "M:\\NEW\\");
        SwitchToNetwork(s); // NETWORK sets only QXADATADIR and QXODATADIR
        QCOMPARE(WPINI::ReadIni("C:\\windows\\kav.ini", "directories", "datadir", ""), u"M:\\NEW");
        QCOMPARE(s.NetworkTransferRoot, u"N:\\A"); // set at start only
        QCOMPARE(TestPrefix::read(Suite(p, "COMPKPR.INI")), comps);
        QCOMPARE(s.WorkingSet.txtQXCdataDir, u"C:\\OLD\\COMPS");
        for (const char* absent : {"QXP2000.INI", "PHOTOKPR.INI", "DRAWKIT.INI"})
            QVERIFY2(!QFileInfo::exists(p.driveC() + "/windows/" + absent), absent);
    }

    // The start reads the suite on the Windows drive's thread, on a copy: a
    // drive that stops answering is not asked on the window's thread, the
    // start goes on without the suite, and what the drive answers after the
    // start gave up on it is not taken.
    void aStoppedWindowsDriveLeavesTheStartWithoutTheSuite() {
        TestPrefix p;
        p.write(Suite(p, "QUARN2.INI"), kStored);
        SuiteState s;
        StoppedShare stopped({p.prefix() + "/dosdevices/c:"}, 300);
        InitialiseSuite(s);
        QCOMPARE(stopped.askedHere(), 0);
        QVERIFY(stopped.answer()); // the look that waited ends on its thread
        QCOMPARE((QStringList{s.WindowsDir, s.SuiteIniPath, s.LocalSet.QXADATADIR}),
                 (QStringList{QString(), QString(), QString()}));
        InitialiseSuite(s); // answering again, the suite is read
        QCOMPARE(s.LocalSet.QXADATADIR, u"LA");
    }

    // The marker is written where there was none; a QUARN2.INI that another
    // program saves after the look and before the writing stays whole.
    void aMarkerSavedMeanwhileIsNotCutShort() {
        TestPrefix p;
        p.makeDir(Suite(p, ""));
        int looks = 0; // at the marker: its mapping, then its length
        bool saved = false;
        platform::SetHostProbe([&](const QString& host) {
            if (host.endsWith("/Quarn2.ini"))
                ++looks;
            else if (looks >= 2 && !saved) {
                saved = true;
                p.write(Suite(p, "QUARN2.new"), kStored);
                QVERIFY(QFile::rename(Suite(p, "QUARN2.new"), Suite(p, "Quarn2.ini")));
            }
        });
        EnsureSuiteMarker(QStringLiteral("C:\\VALUATOR\\"));
        platform::SetHostProbe({});
        QVERIFY(saved);
        QCOMPARE(TestPrefix::read(Suite(p, "Quarn2.ini")), kStored);
        EnsureSuiteMarker(QStringLiteral("C:\\VALUATOR\\")); // there: left alone
        QCOMPARE(TestPrefix::read(Suite(p, "Quarn2.ini")), kStored);
    }

    void closingWithoutSwitchWritesCurrentBackNormalised() {
        TestPrefix p;
        p.write(Suite(p, "QUARN2.INI"), ""); // zero bytes: the marker is written
        p.write(Suite(p, "OFCKPR.INI"),
                "[directories]\r\nappdir=X:\\APP\r\ndatadir= N:\\O\\  \r\nuserdir=Y:\\U\r\n");
        SuiteState s;
        InitialiseSuite(s);
        QCOMPARE(TestPrefix::read(Suite(p, "QUARN2.INI")), QByteArray(" \r\n"));
        WriteSuiteDirectories(s);
        QCOMPARE(TestPrefix::read(Suite(p, "OFCKPR.INI")),
                 "[directories]\r\nappdir=N:\\O\r\ndatadir= N:\\O  \r\nuserdir=N:\\O\r\n");
    }
};

QTEST_GUILESS_MAIN(TestQuarnV2)
#include "tst_quarn_v2.moc"
