// quarnctl as a script meets it: what it prints, its exit status and what it
// leaves in the files. The switch, the check and the copy have tests of their
// own; here they are only seen through quarnctl's reports.

#include "cli/Quarnctl.h"
#include "cli/Sync.h"
#include "config/ModCommon.h"
#include "office/Texts.h"
#include "platform/files/ShareLock.h"
#include "tests/support/Cases.h"
#include "tests/support/TestPrefix.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <sys/stat.h>

#include <array>
#include <cstdio>

struct Run {
    int status;
    QString out, err;
};

// "<FF>" in an argument stands for the byte 0xFF, which no QString carries
// to a process: a shell puts it in.
const char* const kByteFF = R"x(q=$1; shift; for a; do set -- "$@" "$(printf %s "$a" |
    LC_ALL=C sed 's/<FF>/\xff/g')"; shift; done; exec "$q" "$@")x";

// With no prefix, the environment's.
static Run Quarnctl(const QStringList& args, const QString& prefix = {}) {
    if (!prefix.isEmpty())
        qputenv("WINEPREFIX", QFile::encodeName(prefix)); // TestPrefix puts it back
    QProcess p;
    if (args.join(u' ').contains("<FF>"))
        p.start("/bin/sh", QStringList{"-c", kByteFF, "sh", QUARNCTL} + args);
    else
        p.start(QStringLiteral(QUARNCTL), args);
    p.waitForFinished(60000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

// The demo suite with every report and sketch at one time, so that a plan
// reads the same on every run (with TZ=UTC), and only its four reports that
// one side lacks.
static QString DemoForSync(const TestPrefix& scratch) {
    const QString prefix = scratch.root() + "/demo";
    if (Quarnctl({"demo-suite", prefix}, prefix).status != 0)
        qFatal("no demo suite");
    for (const char* side : {"/drive_c/QXDATA/", "/network/QXDATA/"})
        for (const char* both : {"APPRAISE/data/TAYLOR.RPT", "SKETCH/TAYLOR.sk3",
                                 "APPRAISE/data/WILSON.RPT", "SKETCH/WILSON.sk3"})
            if (!QFile::remove(prefix + side + both))
                qFatal("no %s in the demo suite", both);
    const QDateTime at(QDate(2026, 12, 7), QTime(10, 42), Qt::UTC);
    for (const char* side : {"/drive_c/QXDATA", "/network/QXDATA"})
        for (QDirIterator it(prefix + side, QDir::Files, QDirIterator::Subdirectories);
             it.hasNext();) {
            QFile f(it.next());
            if (!f.open(QIODevice::ReadWrite) || !f.setFileTime(at, QFile::FileModificationTime))
                qFatal("cannot date %s", qPrintable(f.fileName()));
        }
    return prefix;
}

// A side's report folder of the demo suite.
static QStringList Reports(const QString& prefix, const char* side) {
    return QDir(prefix + side + "/QXDATA/APPRAISE/data").entryList(QDir::Files);
}

class TestQuarnctl : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void runs_data() { AddCases("cli/quarnctl_runs.txt", "name"); }
    void runs() {
        QFETCH(Row, row);
        TestPrefix p;
        const QByteArray before = "[s]\r\nk=v 1\r\n";
        p.write(p.driveC() + "/VALUATOR/A.INI", before);
        p.write(p.driveC() + "/VALUATOR/kav.ini", before);
        ::chmod(QFile::encodeName(p.driveC() + "/VALUATOR/kav.ini").constData(), 0444);
        p.write(p.driveC() + "/VALUATOR/QUARN2.INI", "[LOCAL]\r\nQXADATADIR=C:\\L\r\n");
        const QStringList top = TestPrefix::entries(p.prefix());
        QStringList args = row.rest("args");
        args.replaceInStrings("HOST", p.driveC() + "/VALUATOR/A.INI")
            .replaceInStrings("PREFIX", p.prefix());
        const Run r = Quarnctl(args, p.prefix());
        QCOMPARE(r.status, row["status"].toInt());
        QVERIFY2(row["out"].isEmpty() ? r.out.isEmpty() : r.out.startsWith(row["out"]),
                 qPrintable(r.out));
        QVERIFY2(row["err"].isEmpty() ? r.err.isEmpty() : r.err.contains(row["err"]),
                 qPrintable(r.err));
        QCOMPARE(TestPrefix::read(p.driveC() + "/VALUATOR/A.INI"),
                 row["ini"] == u"=" ? before : row["ini"].toUtf8());
        QCOMPARE(TestPrefix::entries(p.prefix()), top);
    }

    void demoSuite() {
        TestPrefix scratch;
        const QString prefix = scratch.root() + "/demo";
        QCOMPARE(Quarnctl({"demo-suite", prefix}, prefix).out,
                 "Demo suite ready: WINEPREFIX=" + prefix + "\n");
        const QStringList built = TestPrefix::tree(prefix);
        QCOMPARE(Quarnctl({"demo-suite", prefix}, prefix).status, 0);
        QCOMPARE(TestPrefix::tree(prefix), built); // a second run leaves it as it was

        const Run local = Quarnctl({"connect", "local"}, prefix);
        QCOMPARE(local.status, 0);
        QVERIFY(local.out.contains(
            "OFCKPR.INI    UserDir   N:\\QXDATA\\OFFICE -> C:\\QXDATA\\OFFICE\n"));
        QVERIFY(local.out.endsWith("The products now use the LOCAL set.\n"));
        QVERIFY(Quarnctl({"status"}, prefix).out.endsWith("In force: LOCAL\n"));
        QVERIFY(Quarnctl({"connect", "local"}, prefix).out.startsWith("Nothing changed"));
        QCOMPARE(Quarnctl({"connect", "network"}, prefix).status, 0);
        QCOMPARE(TestPrefix::tree(prefix), built);
        // Opposite switches started together take turns: each ends whole.
        for (int round = 0; round < 5; ++round) {
            std::array<QProcess, 8> switches; // four pairs at once
            for (size_t i = 0; i < switches.size(); ++i)
                switches[i].start(QStringLiteral(QUARNCTL),
                                  {"connect", i % 2 ? "network" : "local"});
            for (QProcess& p : switches)
                QVERIFY(p.waitForFinished(60000) && p.exitCode() == 0);
            const QString status = Quarnctl({"status"}, prefix).out;
            QVERIFY2(status.endsWith("In force: LOCAL\n") || status.endsWith("In force: NETWORK\n"),
                     qPrintable(status.section(u'\n', -2)));
        }

        QCOMPARE(Quarnctl({"check"}, prefix).out, u"ok\n");
        const QStringList toNetwork{"transfer", "--to-network", "--sketch", "plandraw",
                                    "C:\\QXDATA\\APPRAISE\\data\\SMITH.RPT"};
        Run r = Quarnctl(toNetwork, prefix);
        QCOMPARE(r.out, u"copied\n");
        QVERIFY(QFileInfo::exists(prefix + "/network/QXDATA/SKETCH/SMITH.sk3"));
        // Again: no terminal and no flag answer No to both questions.
        r = Quarnctl(toNetwork, prefix);
        QCOMPARE(r.out, u"nothing copied\n");
        QCOMPARE(r.err.count("Exists.  Are you sure you wish to Overwrite?\n[No]"), 2);
        r = Quarnctl({"transfer", "--to-network", "C:\\QXDATA\\APPRAISE\\data\\NONE.RPT"}, prefix);
        QCOMPARE(r.status, 1);
        QVERIFY(r.err.contains("NONE.RPT doesn't exist."));
        r = Quarnctl({"transfer", "--to-local", "--sketch", "apex",
                      "N:\\QXDATA\\APPRAISE\\data\\GARCIA.RPT"},
                     prefix);
        QCOMPARE(r.status, 0);
        QVERIFY(QFileInfo::exists(prefix + "/drive_c/QXDATA/APEX/GARCIA.AX4"));
        // The error report: an overwrite answered Yes with its sketch source gone.
        QVERIFY(QFile::remove(prefix + "/drive_c/QXDATA/SKETCH/SMITH.sk3"));
        r = Quarnctl(toNetwork + QStringList{"--yes"}, prefix);
        QCOMPARE(r.status, 1);
        QVERIFY(r.err.contains("Error encountered, ErrNum = File not found"));

        QVERIFY(QDir(prefix + "/network/QXDATA/COMPS").removeRecursively());
        QVERIFY(QDir(prefix + "/drive_c/QXDATA/APPRAISE").removeRecursively());
        r = Quarnctl(toNetwork, prefix);
        QCOMPARE(r.status, 1);
        QVERIFY(r.err.endsWith("quarnctl: the directory check failed; nothing was copied\n"));
        r = Quarnctl({"check"}, prefix);
        QCOMPARE(r.status, 1);
        // The first in the check's order: LOCAL appraisals (5) before NETWORK comps (11).
        QVERIFY(r.err.endsWith("quarnctl: txtLocalQXAdataDir \"C:\\QXDATA\\APPRAISE\": This "
                               "directory does not exist. Either correct or remove.\n"));
        QCOMPARE(r.err.count("This directory does not exist"), 1); // said once, naming the field
    }

    // A folder someone else prepared, with links in the demo's places: no
    // file is made through one, and the run names it and fails.
    void demoSuiteFollowsNoLink_data() { AddCases("cli/demo_links.txt"); }
    void demoSuiteFollowsNoLink() {
        QFETCH(Row, row);
        const QString link = row["link"], to = row["to"];
        TestPrefix scratch;
        const QString demo = scratch.at("demo"), victim = scratch.at("victim");
        scratch.makeDir(victim);
        if (!link.isEmpty())
            scratch.write(demo + "/.quarn-demo", "");
        const QString at = link.isEmpty() ? demo : demo + '/' + link;
        scratch.makeDir(QFileInfo(at).path());
        QVERIFY(QFile::link(victim + '/' + to, at));
        const Run r = Quarnctl({"demo-suite", demo}, demo);
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains(at), qPrintable(r.err));
        QCOMPARE(TestPrefix::entries(victim), QStringList());
    }

    // Two suites found and none chosen: a script is told, not landed on one.
    void severalSuitesAreNotGuessed() {
        TestPrefix home;
        for (const char* at : {".wine", "Games/office"})
            home.write(home.at(at) + "/drive_c/windows/QUARN2.INI", "[LOCAL]\r\n");
        const ScopedEnv env(
            {{"WINEPREFIX", ""}, {"HOME", home.root()}, {"XDG_CONFIG_HOME", home.at("config")}});
        const Run r = Quarnctl({"connect", "local"});
        QCOMPARE(r.status, 1);
        QVERIFY(r.err.startsWith("quarnctl: several Wine prefixes hold the suite"));
    }

    // The plan, a run both ways, and the record telling the next plan which
    // side changed; a conflict skipped without a terminal, then kept both.
    void syncPlanRunAndRecord() {
        TestPrefix scratch;
        const QString prefix = DemoForSync(scratch);
        const ScopedEnv env({{"XDG_DATA_HOME", scratch.at("data")}, {"TZ", "UTC"}});
        const QStringList built = TestPrefix::tree(prefix);
        Run r = Quarnctl({"sync", "--dry-run"}, prefix);
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, TestPrefix::read(QUARN_TESTS_DIR "/cli/sync_plan.txt"));
        QCOMPARE(TestPrefix::tree(prefix), built);

        r = Quarnctl({"sync"}, prefix);
        QCOMPARE(r.status, 0);
        QVERIFY2(r.out.endsWith("To the share: 2: JONES.RPT, SMITH.RPT\n"
                                "To the laptop: 2: BROWN.RPT, GARCIA.RPT\n"),
                 qPrintable(r.out));
        QCOMPARE(r.err, QString());
        for (const char* side : {"/drive_c", "/network"}) {
            QCOMPARE(Reports(prefix, side),
                     QStringList({"BROWN.RPT", "GARCIA.RPT", "JONES.RPT", "SMITH.RPT"}));
            for (const char* sketch : {"SKETCH/SMITH.sk3", "SKETCH/BROWN.sk3", "APEX/BROWN.AX4",
                                       "APEX/GARCIA.AX4", "APEX/JONES.AX4"})
                QVERIFY2(QFileInfo::exists(prefix + side + "/QXDATA/" + sketch), sketch);
        }
        const QString same = Texts::SyncNothingToDo() + "\n";
        QCOMPARE(Quarnctl({"sync", "--dry-run"}, prefix).out,
                 "4 reports the same on both sides\n" + same);

        const QString laptop = prefix + "/drive_c/QXDATA/APPRAISE/data/SMITH.RPT";
        const QString share = prefix + "/network/QXDATA/APPRAISE/data/SMITH.RPT";
        TestPrefix::write(laptop, "SMITH, worked on at home\r\n");
        r = Quarnctl({"sync", "--dry-run"}, prefix);
        QVERIFY2(r.out.contains(QRegularExpression("\nSMITH.RPT .* newer on the laptop +to the "
                                                   "share\n3 reports the same on both sides\n")),
                 qPrintable(r.out));

        TestPrefix::write(share, "SMITH, corrected at the office\r\n");
        r = Quarnctl({"sync"}, prefix);
        QCOMPARE(r.status, 1);
        QVERIFY2(r.out.contains("changed on both since the last sync  nothing\n"),
                 qPrintable(r.out));
        QCOMPARE(r.err, "quarnctl: conflicts left as they are: SMITH.RPT\n");
        QCOMPARE(TestPrefix::read(laptop), "SMITH, worked on at home\r\n");
        QCOMPARE(TestPrefix::read(share), "SMITH, corrected at the office\r\n");

        r = Quarnctl({"sync", "--conflicts", "keep-both"}, prefix);
        QCOMPARE(r.status, 0);
        const QString kept =
            SyncPlan::KeptName("SMITH.RPT", platform::ComputerName(), QDate::currentDate(), {});
        QVERIFY2(r.out.endsWith("Kept both: 1\n  SMITH.RPT: the laptop's version is kept as " +
                                kept + "\n"),
                 qPrintable(r.out));
        for (const char* side : {"/drive_c", "/network"}) {
            const QString folder = prefix + side + "/QXDATA/";
            QCOMPARE(TestPrefix::read(folder + "APPRAISE/data/SMITH.RPT"),
                     "SMITH, corrected at the office\r\n");
            QCOMPARE(TestPrefix::read(folder + "APPRAISE/data/" + kept),
                     "SMITH, worked on at home\r\n");
            QCOMPARE(
                TestPrefix::read(folder + "SKETCH/" + SyncPlan::KeptSketchName("SMITH.sk3", kept)),
                "Demo sketch of SMITH\r\n");
            QVERIFY(QFileInfo::exists(folder + "SKETCH/SMITH.sk3"));
        }
        QCOMPARE(Quarnctl({"sync", "--dry-run"}, prefix).out,
                 "5 reports the same on both sides\n" + same);
    }

    // A transfer over a report keeps the share's old one; --versions lists
    // it, --restore puts it back over a newer one only after a Yes, keeping
    // that one too. [SYNC] KeepVersionsDays=0 keeps none, junk the default.
    void keptVersionsListedAndRestored() {
        TestPrefix scratch;
        const QString prefix = DemoForSync(scratch);
        const ScopedEnv env({{"XDG_DATA_HOME", scratch.at("data")}});
        const QString share = prefix + "/network/QXDATA/APPRAISE/data/SMITH.RPT";
        TestPrefix::write(share, "the share's");
        {
            QFile f(share);
            QVERIFY(f.open(QIODevice::ReadWrite) &&
                    f.setFileTime(QDateTime(QDate(2026, 1, 5), QTime(9, 0)),
                                  QFile::FileModificationTime));
        }
        const QStringList transfer{"transfer", "--to-network", "--yes",
                                   "C:\\QXDATA\\APPRAISE\\data\\SMITH.RPT"};
        QCOMPARE(Quarnctl(transfer, prefix).status, 0);
        Run r = Quarnctl({"sync", "--versions", "smith.rpt"}, prefix);
        QCOMPARE(r.status, 0);
        const QStringList lines = r.out.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines[0].startsWith("Side ") && lines[1].startsWith("share  "), qPrintable(r.out));
        const QString version = lines[1].section(u'\'', 1, 1);
        QVERIFY2(version.startsWith("share:SMITH (" + ModCommon::UCase(platform::ComputerName())),
                 qPrintable(version));
        QCOMPARE(Quarnctl({"sync", "--versions", "JONES"}, prefix).out, "No kept versions\n");

        TestPrefix::write(share, "saved since");
        r = Quarnctl({"sync", "--restore", version, "--no"}, prefix);
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains("SMITH.RPT on the share was saved after this version"),
                 qPrintable(r.err));
        QCOMPARE(TestPrefix::read(share), "saved since");
        r = Quarnctl({"sync", "--restore", version, "--yes"}, prefix);
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, "Put back: N:\\QXDATA\\APPRAISE\\data\\SMITH.RPT\n");
        QCOMPARE(TestPrefix::read(share), "the share's");
        QCOMPARE(Quarnctl({"sync", "--versions"}, prefix).out.count("\nshare  "), 2);
        QCOMPARE(Quarnctl({"sync", "--restore", "share:SMITH.RPT"}, prefix).status, 1);

        const QString versions = prefix + "/network/QXDATA/APPRAISE/data/.quarn-versions";
        for (const char* days : {"0", "junk"}) {
            QCOMPARE(Quarnctl({"ini", "set", "C:\\VALUATOR\\QUARN2.INI", "SYNC", "KeepVersionsDays",
                               days},
                              prefix)
                         .status,
                     0);
            const qsizetype before = TestPrefix::entries(versions).size();
            QCOMPARE(Quarnctl(transfer, prefix).status, 0);
            // A sync that replaces keeps, as the transfer: alike, then newer on the laptop.
            const QString laptop = prefix + "/drive_c/QXDATA/APPRAISE/data/SMITH.RPT";
            TestPrefix::write(laptop, TestPrefix::read(share));
            QVERIFY(QFile::remove(prefix + "/drive_c/QXDATA/SKETCH/SMITH.sk3") || days[0] != '0');
            QCOMPARE(Quarnctl({"sync"}, prefix).status, 0);
            TestPrefix::write(laptop, days);
            QVERIFY(Quarnctl({"sync"}, prefix).out.contains("To the share: 1: SMITH.RPT\n"));
            QCOMPARE(TestPrefix::entries(versions).size(), before + (days[0] == '0' ? 0 : 2));
        }
    }

    // One direction carries out only what goes that way; of the two flags
    // the last counts.
    void syncOneWay_data() { AddCases("cli/sync_directions.txt"); }
    void syncOneWay() {
        QFETCH(Row, row);
        const QStringList laptop = row["laptop"].split(u';'), share = row["share"].split(u';');
        TestPrefix scratch;
        const QString prefix = DemoForSync(scratch);
        const ScopedEnv env({{"XDG_DATA_HOME", scratch.at("data")}});
        const Run r = Quarnctl(QStringList{"sync"} + row.rest("args"), prefix);
        QCOMPARE(r.status, 0);
        QCOMPARE(Reports(prefix, "/drive_c"), laptop);
        QCOMPARE(Reports(prefix, "/network"), share);
        // What stayed behind is still planned, for the other way.
        const QString rest = Quarnctl({"sync", "--dry-run"}, prefix).out;
        QCOMPARE(rest.count("only on the"), 8 - laptop.size() - share.size());
    }

    // The share's report folder empty after a sync (not mounted, a mount
    // point without its share): nothing is planned, nothing moves.
    void syncSafetyStop() {
        TestPrefix scratch;
        const QString prefix = DemoForSync(scratch);
        const ScopedEnv env({{"XDG_DATA_HOME", scratch.at("data")}});
        QCOMPARE(Quarnctl({"sync"}, prefix).status, 0);
        for (const QString& report : Reports(prefix, "/network"))
            QVERIFY(QFile::remove(prefix + "/network/QXDATA/APPRAISE/data/" + report));
        const QStringList before = TestPrefix::tree(prefix);
        const Run r = Quarnctl({"sync", "--conflicts", "keep-both"}, prefix);
        QCOMPARE(r.status, 1);
        QCOMPARE(r.out, QString());
        QCOMPARE(r.err,
                 "quarnctl: " + Texts::SyncSideEmpty("share's", "N:\\QXDATA\\APPRAISE\\data", 4) +
                     "\n");
        QCOMPARE(TestPrefix::tree(prefix), before);
    }

    // A report another computer is writing on the share fails, the rest go
    // on, and the run is no success.
    void syncFailureExitsOne() {
        TestPrefix scratch;
        const QString prefix = DemoForSync(scratch);
        const ScopedEnv env({{"XDG_DATA_HOME", scratch.at("data")}});
        const QByteArray now = QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toUtf8();
        TestPrefix::write(prefix + "/network/QXDATA/APPRAISE/data/.quarn-locks/SMITH.RPT.lock",
                          "user=jdoe\ncomputer=OTHER\npid=4242\nsince=" + now + "\nrenewed=" + now +
                              "\n");
        const Run r = Quarnctl({"sync"}, prefix);
        QCOMPARE(r.status, 1);
        QVERIFY2(r.out.contains("To the share: 1: JONES.RPT\nTo the laptop: 2: BROWN.RPT, "
                                "GARCIA.RPT\nFailed: 1\n  SMITH.RPT: SMITH.RPT is being copied "
                                "by jdoe on OTHER since "),
                 qPrintable(r.out));
        QCOMPARE(r.err, "quarnctl: not every report was synchronized as planned\n");
        QCOMPARE(Reports(prefix, "/network"),
                 QStringList({"BROWN.RPT", "GARCIA.RPT", "JONES.RPT"}));
    }

    // A conflict's question on the terminal, and the answers it takes.
    void syncConflictAnswers_data() { AddCases("cli/sync_answers.txt"); }
    void syncConflictAnswers() {
        QFETCH(Row, row);
        QByteArray input = row["input"].toUtf8();
        SyncPlan::Row conflict;
        conflict.name = "SMITH.RPT";
        conflict.state = SyncPlan::State::Conflict;
        char said[4096] = {};
        FILE* in = ::fmemopen(input.data(), size_t(input.size()), "r");
        FILE* out = ::fmemopen(said, sizeof said - 1, "w");
        if (input.isEmpty()) { // fmemopen refuses an empty buffer
            std::fclose(in);
            in = ::fopen("/dev/null", "r");
        }
        QVERIFY(in && out);
        const SyncPlan::Action a = cli::AskConflict(conflict, in, out);
        std::fclose(in);
        std::fclose(out);
        QCOMPARE(SyncPlan::ActionText(a), row["action"]);
        QCOMPARE(QString::fromUtf8(said).count(
                     "SMITH.RPT: changed on both since the last sync. Keep the laptop's (l), the "
                     "share's (s), both (b), or skip (k)? "),
                 row["asked"].toInt());
    }

    void statusAndConnectBeforeStartUp() {
        // QUARN2.INI in the Windows directory only: start-up writes the suite
        // folder's marker and uses that, so status shows it empty, writes
        // nothing, and connect finds no set.
        TestPrefix p;
        p.write(p.driveC() + "/windows/QUARN2.INI", "[LOCAL]\r\nQXADATADIR=C:\\L\r\n");
        const QByteArray office = "[Directories]\r\nAppDir=C:\\APP\r\nDataDir=N:\\O\\\r\n";
        p.write(p.driveC() + "/windows/OFCKPR.INI", office);
        QCOMPARE(Quarnctl({"status"}, p.prefix()).out.section(u'\n', 1),
                 TestPrefix::read(QUARN_TESTS_DIR "/cli/status_before_start_up.txt"));
        QVERIFY(TestPrefix::entries(p.driveC() + "/VALUATOR").isEmpty());
        const Run r = Quarnctl({"connect", "local"}, p.prefix());
        QCOMPARE(r.status, 1);
        QCOMPARE(r.err, "quarnctl: [LOCAL] is not set up in C:\\Valuator\\QUARN2.INI; the "
                        "products were left as they were\n");
        QCOMPARE(TestPrefix::read(p.driveC() + "/windows/OFCKPR.INI"), office);
    }
};

QTEST_GUILESS_MAIN(TestQuarnctl)
#include "tst_quarnctl.moc"
