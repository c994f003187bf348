// quarnctl end to end on the demo suite and on odd files: what it prints,
// what it leaves in the product files, and its exit status.

#include "cli/Quarnctl.h"
#include "tests/support/TestPrefix.h"

#include <QDirIterator>
#include <QProcess>
#include <QTest>

#include <sys/stat.h>

using Quarn_v2::DirectorySet;
using Quarn_v2::SuiteState;

namespace {

struct Run {
    int status;
    QString out, err;
};

Run Quarnctl(const QStringList& args, const QString& prefix) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("WINEPREFIX", prefix);
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(QUARNCTL), args);
    p.waitForFinished(60000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

// Every file and link below a folder with its content or target.
QMap<QString, QByteArray> Tree(const QString& root) {
    QMap<QString, QByteArray> tree;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo fi(it.next());
        tree[fi.filePath().mid(root.size())] =
            fi.isSymLink() ? "-> " + fi.symLinkTarget().toUtf8()
                           : fi.isDir() ? QByteArray("/") : TestPrefix::read(fi.filePath());
    }
    return tree;
}

DirectorySet Set(std::initializer_list<const char*> values) {
    DirectorySet set;
    int i = 0;
    for (const char* v : values)
        set[i++] = QString::fromUtf8(v);
    return set;
}

} // namespace

class TestQuarnctl : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void setInForce_data() {
        QTest::addColumn<DirectorySet>("current");
        QTest::addColumn<QString>("expected");
        QTest::newRow("local") << Set({"C:\\A", "C:\\P", "", "", "", "", "", "", "C:\\S"}) << "LOCAL";
        QTest::newRow("case does not matter") << Set({"c:\\a", "C:\\P", "x", "", "", "", "", "", "c:\\s"}) << "LOCAL";
        QTest::newRow("network") << Set({"N:\\A", "N:\\P", "", "", "", "", "", "", "N:\\S"}) << "NETWORK";
        QTest::newRow("mixed") << Set({"C:\\A", "N:\\P", "", "", "", "", "", "", "N:\\S"}) << "mixed";
        QTest::newRow("one from neither") << Set({"C:\\A", "C:\\P", "", "", "", "", "", "", "Q:\\S"}) << "unknown";
        QTest::newRow("nothing") << DirectorySet{} << "unknown";
        // Entry 1 filled in LOCAL only: a switch to NETWORK leaves it alone.
        QTest::newRow("network, one left over") << Set({"N:\\A", "C:\\ONLY", "", "", "", "", "", "", "N:\\S"}) << "NETWORK";
        QTest::newRow("left over from neither") << Set({"C:\\A", "Q:\\X", "", "", "", "", "", "", "N:\\S"}) << "unknown";
    }
    void setInForce() {
        QFETCH(DirectorySet, current);
        QFETCH(QString, expected);
        SuiteState s;
        // Entries 2 to 7 are empty in both stored sets: never compared.
        s.LocalSet = Set({"C:\\A", "C:\\P", "", "C:\\APEX", "", "", "", "", "C:\\S"});
        s.NetworkSet = Set({"N:\\A", "N:\\P", "", "N:\\APEX", "", "", "", "", "N:\\S"});
        if (QByteArray(QTest::currentDataTag()).contains("left over"))
            s.NetworkSet.QXPPDATADIR.clear();
        s.CurrentSet = current;
        QCOMPARE(cli::SetInForce(s), expected);
    }

    void identicalSetsCannotTellWhich() {
        SuiteState s;
        s.LocalSet = s.NetworkSet = s.CurrentSet = Set({"C:\\A"});
        QCOMPARE(cli::SetInForce(s), u"unknown");
    }

    void demoSuiteSwitchesBackAndForth() {
        TestPrefix scratch;
        const QString prefix = scratch.root() + "/demo";
        QCOMPARE(Quarnctl({"demo-suite", prefix}, prefix).status, 0);
        const QMap<QString, QByteArray> built = Tree(prefix);
        QCOMPARE(Quarnctl({"demo-suite", prefix}, prefix).status, 0);
        QCOMPARE(Tree(prefix), built); // a second run leaves it as it was
        QVERIFY(built.contains("/drive_c/QXDATA/APPRAISE/data/SMITH.RPT"));
        QVERIFY(built.contains("/network/QXDATA/APEX/BROWN.AX4"));

        QVERIFY(Quarnctl({"status"}, prefix).out.endsWith("In force: NETWORK\n"));
        const Run local = Quarnctl({"connect", "local"}, prefix);
        QCOMPARE(local.status, 0);
        QVERIFY(local.out.contains("OFCKPR.INI    UserDir   N:\\QXDATA\\OFFICE -> C:\\QXDATA\\OFFICE\n"));
        QVERIFY(Quarnctl({"status"}, prefix).out.endsWith("In force: LOCAL\n"));

        // Exactly the ten values changed, nothing else; OPL.INI untouched.
        const QMap<QString, QByteArray> switched = Tree(prefix);
        int changedFiles = 0;
        for (auto it = built.cbegin(); it != built.cend(); ++it) {
            QByteArray expected = it.value();
            if (!it.key().endsWith("OPL.INI") && it.key().startsWith("/drive_c/VALUATOR/") &&
                !it.key().endsWith("QUARN2.INI"))
                expected.replace("=N:\\QXDATA", "=C:\\QXDATA");
            QCOMPARE(switched.value(it.key()), expected);
            changedFiles += switched.value(it.key()) != it.value();
        }
        QCOMPARE(changedFiles, 6);
        QCOMPARE(switched.size(), built.size());

        QVERIFY(Quarnctl({"connect", "local"}, prefix).out.startsWith("Nothing changed"));
        QCOMPARE(Quarnctl({"connect", "network"}, prefix).status, 0);
        QVERIFY(Quarnctl({"status"}, prefix).out.endsWith("In force: NETWORK\n"));
        QCOMPARE(Tree(prefix), built);
    }

    void checkAgreesWithTheDialog() {
        TestPrefix scratch;
        const QString prefix = scratch.root() + "/demo";
        QCOMPARE(Quarnctl({"demo-suite", prefix}, prefix).status, 0);
        const Run ok = Quarnctl({"check"}, prefix);
        QCOMPARE(ok.status, 0);
        QCOMPARE(ok.out, u"ok\n");
        QVERIFY(QDir(prefix + "/network/QXDATA/COMPS").removeRecursively());
        QVERIFY(QDir(prefix + "/drive_c/QXDATA/APPRAISE").removeRecursively());
        const Run bad = Quarnctl({"check"}, prefix);
        QCOMPARE(bad.status, 1);
        // The first in the check's order: LOCAL appraisals (5) before NETWORK comps (11).
        QVERIFY(bad.err.endsWith("quarnctl: txtLocalQXAdataDir \"C:\\QXDATA\\APPRAISE\": This "
                                 "directory does not exist. Either correct or remove.\n"));
        QCOMPARE(bad.err.count("This directory does not exist"), 1); // said once, naming the field
    }

    void transferBothWays() {
        TestPrefix scratch;
        const QString prefix = scratch.root() + "/demo";
        QCOMPARE(Quarnctl({"demo-suite", prefix}, prefix).status, 0);
        const QString report = "C:\\QXDATA\\APPRAISE\\data\\SMITH.RPT";
        Run r = Quarnctl({"transfer", "--to-network", "--sketch", "plandraw", report}, prefix);
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, u"copied\n");
        QVERIFY(r.err.contains("File(s) copied successfully"));
        QCOMPARE(TestPrefix::read(prefix + "/network/QXDATA/APPRAISE/data/SMITH.RPT"),
                 TestPrefix::read(prefix + "/drive_c/QXDATA/APPRAISE/data/SMITH.RPT"));
        QVERIFY(TestPrefix::exists(prefix + "/network/QXDATA/SKETCH/SMITH.sk3"));
        // Again: no terminal and no flag answer No to both questions.
        r = Quarnctl({"transfer", "--to-network", "--sketch", "plandraw", report}, prefix);
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, u"nothing copied\n");
        QCOMPARE(r.err.count("Exists.  Are you sure you wish to Overwrite?\n[No]"), 2);
        // Back, with the Apex sketch, answering Yes.
        r = Quarnctl({"transfer", "--to-local", "--sketch", "apex", "--yes",
                      "N:\\QXDATA\\APPRAISE\\data\\GARCIA.RPT"}, prefix);
        QCOMPARE(r.status, 0);
        QVERIFY(TestPrefix::exists(prefix + "/drive_c/QXDATA/APPRAISE/data/GARCIA.RPT"));
        QVERIFY(TestPrefix::exists(prefix + "/drive_c/QXDATA/APEX/GARCIA.AX4"));
        // The error report: an overwrite answered Yes with its sketch source gone.
        QVERIFY(QFile::remove(prefix + "/drive_c/QXDATA/SKETCH/SMITH.sk3"));
        r = Quarnctl({"transfer", "--to-network", "--sketch", "plandraw", "--yes", report}, prefix);
        QCOMPARE(r.status, 1);
        QVERIFY(r.err.contains("Error encountered, ErrNum = File not found"));
        // A failed check, and a usage error.
        QVERIFY(QDir(prefix + "/network/QXDATA/COMPS").removeRecursively());
        QCOMPARE(Quarnctl({"transfer", "--to-network", report}, prefix).status, 1);
        QCOMPARE(Quarnctl({"transfer", report}, prefix).status, 2);
        QCOMPARE(Quarnctl({"transfer", "--to-local", "--sketch", "pencil", report}, prefix).status, 2);
    }

    void demoSuiteKeepsOutOfARealPrefix() {
        TestPrefix p;
        const QStringList before = TestPrefix::entries(p.prefix());
        const Run r = Quarnctl({"demo-suite", p.prefix()}, p.prefix());
        QCOMPARE(r.status, 1);
        QVERIFY(r.err.contains("holds no demo suite"));
        QCOMPARE(TestPrefix::entries(p.prefix()), before);
    }

    void connectReportsAWriteThatFailed() {
        TestPrefix p;
        p.write(p.driveC() + "/VALUATOR/QUARN2.INI", "[LOCAL]\r\nQXADATADIR=C:\\L\r\n");
        p.write(p.driveC() + "/VALUATOR/kav.ini", "[Directories]\r\nDataDir=N:\\A\r\n");
        ::chmod(QFile::encodeName(p.driveC() + "/VALUATOR/kav.ini").constData(), 0444);
        const Run r = Quarnctl({"connect", "local"}, p.prefix());
        QCOMPARE(r.status, 1);
        QCOMPARE(r.err, "quarnctl: C:\\Valuator\\kav.ini [Directories] DataDir was not written: "
                        "the file is read-only\n");
    }

    void statusOnAnEmptySuiteWritesNothing() {
        TestPrefix p;
        const Run r = Quarnctl({"status"}, p.prefix());
        QCOMPARE(r.status, 0);
        QVERIFY(r.out.contains("QUARN2.INI    C:\\Valuator\\QUARN2.INI  (empty: Quarn writes it at start-up)\n"));
        QVERIFY(r.out.contains("  OFCKPR.INI    C:\\windows\\OFCKPR.INI  (missing)\n"));
        QVERIFY(r.out.endsWith("In force: unknown\n"));
        QVERIFY(TestPrefix::entries(p.driveC() + "/VALUATOR").isEmpty());
    }

    void connectToASetNotSetUp() {
        // QUARN2.INI in the Windows directory only: start-up writes the suite
        // folder's marker and uses that, so status must already show it empty.
        TestPrefix p;
        p.write(p.driveC() + "/windows/QUARN2.INI", "[LOCAL]\r\nQXADATADIR=C:\\L\r\n");
        const QByteArray office = "[Directories]\r\nAppDir=C:\\APP\r\nDataDir=N:\\O\\\r\n";
        p.write(p.driveC() + "/windows/OFCKPR.INI", office);
        const Run status = Quarnctl({"status"}, p.prefix());
        QVERIFY(status.out.contains("QUARN2.INI    C:\\Valuator\\QUARN2.INI  (empty: Quarn writes it at start-up)\n"));
        QVERIFY(status.out.contains("QXADATADIR    -"));
        const Run r = Quarnctl({"connect", "local"}, p.prefix());
        QCOMPARE(r.status, 1);
        QCOMPARE(r.err, "quarnctl: [LOCAL] is not set up in C:\\Valuator\\QUARN2.INI; the "
                        "products were left as they were\n");
        QCOMPARE(TestPrefix::read(p.driveC() + "/windows/OFCKPR.INI"), office);
    }

    void usage_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::newRow("nothing") << QStringList{} << 2;
        QTest::newRow("unknown command") << QStringList{"switch"} << 2;
        QTest::newRow("connect where") << QStringList{"connect", "office"} << 2;
        QTest::newRow("ini get short") << QStringList{"ini", "get", "A.INI", "s"} << 2;
        QTest::newRow("ini set long") << QStringList{"ini", "set", "A.INI", "s", "k", "v", "w"} << 2;
        QTest::newRow("a value like an option") << QStringList{"ini", "get", "A.INI", "s", "k", "-1"} << 0;
        QTest::newRow("two reports") << QStringList{"transfer", "--to-local", "A.RPT", "B.RPT"} << 2;
        QTest::newRow("help") << QStringList{"--help"} << 0;
        QTest::newRow("version") << QStringList{"--version"} << 0;
    }
    void usage() {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        TestPrefix p;
        const Run r = Quarnctl(args, p.prefix());
        QCOMPARE(r.status, status);
        QCOMPARE(r.err.contains("Usage: quarnctl"), status == 2);
    }

    void iniVerbs_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err"); // a part of it
        QTest::newRow("get") << QStringList{"ini", "get", "c:\\valuator\\a.ini", "S", "K"} << 0 << "v 1\n" << "";
        QTest::newRow("get default") << QStringList{"ini", "get", "C:\\VALUATOR\\A.INI", "s", "none", "d"} << 0 << "d\n" << "";
        QTest::newRow("get from a folder") << QStringList{"ini", "get", "C:\\VALUATOR", "s", "k", "d"} << 0 << "d\n" << "";
        QTest::newRow("get from no drive") << QStringList{"ini", "get", "Q:\\A.INI", "s", "k"} << 0 << "\n" << "";
        QTest::newRow("set") << QStringList{"ini", "set", "C:\\VALUATOR\\A.INI", "s", "k", "v 2"} << 0 << "" << "";
        QTest::newRow("set a line break") << QStringList{"ini", "set", "C:\\VALUATOR\\A.INI", "s", "k", "x\nevil=1"} << 1 << "" << "line break";
        QTest::newRow("set into a missing folder") << QStringList{"ini", "set", "C:\\NODIR\\A.INI", "s", "k", "v"} << 1 << "" << "its folder does not exist";
        QTest::newRow("set on no drive") << QStringList{"ini", "set", "Q:\\A.INI", "s", "k", "v"} << 1 << "" << "Device unavailable";
        QTest::newRow("set a folder") << QStringList{"ini", "set", "C:\\VALUATOR", "s", "k", "v"} << 1 << "" << "not a plain file";
        QTest::newRow("set read-only") << QStringList{"ini", "set", "C:\\VALUATOR\\RO.INI", "s", "k", "v"} << 1 << "" << "read-only";
        QTest::newRow("delete") << QStringList{"ini", "delete-section", "C:\\VALUATOR\\A.INI", "S"} << 0 << "" << "";
        QTest::newRow("delete absent") << QStringList{"ini", "delete-section", "C:\\VALUATOR\\NONE.INI", "S"} << 0 << "" << "";
        QTest::newRow("host path") << QStringList{"ini", "get", "HOST", "s", "k"} << 0 << "v 1\n" << "";
    }
    void iniVerbs() {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        TestPrefix p;
        const QByteArray before = "[s]\r\nk=v 1\r\n";
        p.write(p.driveC() + "/VALUATOR/A.INI", before);
        p.write(p.driveC() + "/VALUATOR/RO.INI", before);
        ::chmod(QFile::encodeName(p.driveC() + "/VALUATOR/RO.INI").constData(), 0444);
        args.replaceInStrings("HOST", p.driveC() + "/VALUATOR/A.INI");
        const Run r = Quarnctl(args, p.prefix());
        QCOMPARE(r.status, status);
        QCOMPARE(r.out, out);
        QVERIFY2(err.isEmpty() ? r.err.isEmpty() : r.err.contains(err), qPrintable(r.err));
        const QByteArray after = TestPrefix::read(p.driveC() + "/VALUATOR/A.INI");
        if (args[1] == u"set" && status == 0)
            QCOMPARE(after, QByteArray("[s]\r\nk=v 2\r\n"));
        else if (args[1] == u"delete-section" && status == 0 && args[2].contains("A.INI"))
            QCOMPARE(after, QByteArray());
        else
            QCOMPARE(after, before);
    }
};

QTEST_GUILESS_MAIN(TestQuarnctl)
#include "tst_quarnctl.moc"
