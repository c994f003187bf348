// The synchronization's rules: a report's state from the two sides and the
// record (sync_states.txt), the safety stop (sync_stops.txt), the names kept
// copies take (kept_names.txt); and a run that must not overwrite what
// another laptop is writing or what changed after the plan was made.

#include "office/SyncPlan.h"
#include "office/Synchronize.h"
#include "office/Texts.h"
#include "platform/files/ShareLock.h"
#include "suite/Texts.h"
#include "tests/support/Cases.h"
#include "tests/support/Doubles.h"
#include "tests/support/TestPrefix.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFileInfo>
#include <QTest>
#include <QThread>

using platform::SeenReport;
using platform::SeenVersion;
using SyncPlan::Action;
using SyncPlan::State;

namespace {

// "-", or SIZE@MS with an optional #HASH.
SeenVersion Seen(const QString& field) {
    SeenVersion v;
    if (field == u"-")
        return v;
    v.size = field.section(u'@', 0, 0).toLongLong();
    v.mtimeMs = field.section(u'@', 1).section(u'#', 0, 0).toLongLong();
    v.hash = field.section(u'#', 1).toUtf8();
    return v;
}

State StateNamed(const QString& name) {
    static const QHash<QString, State> states{
        {"Same", State::Same},
        {"OnlyLocal", State::OnlyLocal},
        {"OnlyNetwork", State::OnlyNetwork},
        {"NewerLocal", State::NewerLocal},
        {"NewerNetwork", State::NewerNetwork},
        {"Conflict", State::Conflict},
        {"Unknown", State::Unknown},
        {"DeletedLocal", State::DeletedLocal},
        {"DeletedNetwork", State::DeletedNetwork},
        {"Link", State::Link},
        {"CaseTwinsLocal", State::CaseTwinsLocal},
        {"CaseTwinsNetwork", State::CaseTwinsNetwork},
    };
    if (!states.contains(name))
        qFatal("no state %s", qPrintable(name));
    return states.value(name);
}

constexpr State kStates[] = {State::Same,       State::OnlyLocal,    State::OnlyNetwork,
                             State::NewerLocal, State::NewerNetwork, State::Conflict,
                             State::Unknown,    State::DeletedLocal, State::DeletedNetwork};

// A laptop's report folder on C:, the share's on \\SERVER\SHARE, each with
// its sketch folders.
SyncPlan::Folders FoldersOn() {
    SyncPlan::Folders f;
    f.localReports = "C:\\Q\\data";
    f.localSketches = "C:\\Q\\SKETCH";
    f.localApex = "C:\\Q\\APEX";
    f.networkReports = "\\\\SERVER\\SHARE\\Q\\data";
    f.networkSketches = "\\\\SERVER\\SHARE\\Q\\SKETCH";
    f.networkApex = "\\\\SERVER\\SHARE\\Q\\APEX";
    return f;
}

// SMITH.RPT with its sketch on both sides, the laptop's newer and chosen to
// go to the share.
struct OneReport {
    TestPrefix p;
    SyncPlan::Folders folders = FoldersOn();
    platform::SyncRecord record{folders.pairKey(), p.at("record.sqlite")};
    QString laptop = p.driveC() + "/Q/data/SMITH.RPT";
    QString share = p.share() + "/Q/data/SMITH.RPT";
    SyncPlan::Plan plan;

    OneReport() {
        p.write(laptop, "the laptop's report, worked on today");
        p.write(p.driveC() + "/Q/SKETCH/SMITH.sk3", "the laptop's sketch");
        p.write(share, "the share's report");
        p.write(p.share() + "/Q/SKETCH/SMITH.sk3", "the share's sketch");
        p.makeDir(p.share() + "/Q/APEX");
        p.makeDir(p.driveC() + "/Q/APEX");
        plan = SyncPlan::Make(folders, record);
        if (plan.rows.size() == 1)
            plan.rows[0].action = Action::ToNetwork;
    }
};

} // namespace

class TestSyncPlan : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void states_data() { AddCases("office/sync_states.txt"); }
    void states() {
        QFETCH(Row, row);
        const SeenVersion local = Seen(row["local"]), network = Seen(row["network"]);
        const SeenReport record{Seen(row["recLocal"]), Seen(row["recNetwork"])};
        int hashed = 0;
        const SyncPlan::HashOf hashOf = [&](bool onNetwork) {
            ++hashed;
            return (onNetwork ? network : local).hash;
        };
        QCOMPARE(SyncPlan::Decide(local, network, row["known"] == u"yes", record, hashOf),
                 StateNamed(row["state"]));
        // Contents are read only where sizes agree and times alone cannot tell.
        if (local.size != network.size && record.local.hash.isEmpty())
            QCOMPARE(hashed, 0);
    }

    // A side that lists nothing while the record knew several reports there
    // is taken for missing (a share not mounted), never for emptied.
    void safetyStop_data() { AddCases("office/sync_stops.txt"); }
    void safetyStop() {
        QFETCH(Row, row);
        const auto listing = [](int count) {
            QHash<QString, SyncPlan::SideFiles> side;
            for (int i = 0; i < count; ++i) {
                SyncPlan::SideFiles& s = side[QStringLiteral("R%1.RPT").arg(i)];
                s.report = QStringLiteral("R%1.RPT").arg(i);
                s.seen = {10, 100000, {}};
            }
            return side;
        };
        const int knownLaptop = row["knownLaptop"].toInt(), knownShare = row["knownShare"].toInt();
        QHash<QString, SeenReport> record;
        for (int i = 0; i < std::max(knownLaptop, knownShare); ++i) {
            SeenReport& r = record[QStringLiteral("R%1.RPT").arg(i)];
            if (i < knownLaptop)
                r.local = {10, 100000, {}};
            if (i < knownShare)
                r.network = {10, 100000, {}};
        }
        const SyncPlan::Folders folders = FoldersOn();
        const SyncPlan::Plan plan = SyncPlan::Decide(
            listing(row["laptop"].toInt()), listing(row["share"].toInt()), record, folders);
        if (row["stop"] == u"-") {
            QCOMPARE(plan.stop, QString());
            return;
        }
        const bool share = row["stop"] == u"share's";
        QCOMPARE(plan.stop, Texts::SyncSideEmpty(
                                row["stop"], share ? folders.networkReports : folders.localReports,
                                share ? knownShare : knownLaptop));
        QVERIFY(plan.rows.isEmpty()); // nothing to carry out, nothing taken for deleted
    }

    void keptNames_data() { AddCases("office/kept_names.txt"); }
    void keptNames() {
        QFETCH(Row, row);
        const QStringList taken = row["taken"].split(u';', Qt::SkipEmptyParts);
        const QString kept =
            SyncPlan::KeptName(row["report"], row["computer"], QDate(2026, 12, 7), taken);
        QCOMPARE(kept, row["kept"]);
        if (row["kept"].endsWith(".RPT")) // its sketch keeps its own extension
            QCOMPARE(SyncPlan::KeptSketchName("smith.sk3", kept), kept.chopped(4) + ".sk3");
    }

    // What a row does unless the user chooses: never anything that loses a
    // version, and always one of the choices the row offers.
    void defaultActions() {
        for (const State s : kStates) {
            QVERIFY(SyncPlan::ActionsFor(s).contains(SyncPlan::DefaultAction(s)));
            QVERIFY(SyncPlan::ActionsFor(s).contains(Action::Nothing));
        }
        for (const State s :
             {State::Conflict, State::Unknown, State::DeletedLocal, State::DeletedNetwork})
            QCOMPARE(SyncPlan::DefaultAction(s), Action::Nothing);
        QCOMPARE(SyncPlan::DefaultAction(State::NewerLocal), Action::ToNetwork);
        QCOMPARE(SyncPlan::DefaultAction(State::OnlyNetwork), Action::ToLocal);
        // A one-way run writes that side only: keeping both writes both.
        SyncPlan::Plan plan;
        for (const Action a : {Action::ToNetwork, Action::ToLocal, Action::KeepBoth,
                               Action::TrashNetwork, Action::TrashLocal}) {
            plan.rows << SyncPlan::Row();
            plan.rows.last().action = a;
        }
        SyncPlan::OnlyTowards(plan, false);
        QList<Action> left;
        for (const SyncPlan::Row& row : plan.rows)
            left << row.action;
        QCOMPARE(left, (QList<Action>{Action::Nothing, Action::ToLocal, Action::Nothing,
                                      Action::Nothing, Action::TrashLocal}));
    }

    // A report named by one letter has its sketches as any other.
    void sketchesOfAOneLetterReport() {
        TestPrefix p;
        const SyncPlan::Folders folders = FoldersOn();
        platform::SyncRecord record{folders.pairKey(), p.at("record.sqlite")};
        p.write(p.driveC() + "/Q/data/A.RPT", "a report");
        p.write(p.driveC() + "/Q/SKETCH/A.sk3", "its sketch");
        p.write(p.driveC() + "/Q/APEX/A.AXF", "its other sketch");
        p.write(p.share() + "/Q/data/A.RPT", "a report");
        const SyncPlan::Plan plan = SyncPlan::Make(folders, record);
        QCOMPARE(plan.rows.size(), 1);
        QStringList sketches = plan.rows[0].local.sketches;
        sketches.sort();
        QCOMPARE(sketches, (QStringList{"A.AXF", "A.sk3"}));
    }

    // Another computer is writing the report on the share: the row fails with
    // who and since when, and the share's file stays as it is.
    void lockHeldByAnother() {
        OneReport r;
        QCOMPARE(r.plan.rows.size(), 1);
        QCOMPARE(r.plan.rows[0].state, State::Unknown);
        const QDateTime since = QDateTime::currentDateTimeUtc().addSecs(-600);
        r.p.write(
            r.p.share() + "/Q/data/.quarn-locks/SMITH.RPT.lock",
            "user=jdoe\ncomputer=OTHER\npid=4242\nsince=" + since.toString(Qt::ISODate).toUtf8() +
                "\nrenewed=" + QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toUtf8() +
                "\n");
        ScriptedPrompter prompter;
        const Synchronize::Summary sum =
            Synchronize::Run(r.folders, r.plan.rows, r.record, Synchronize::Hooks{});
        QCOMPARE(sum.failed.size(), 1);
        QCOMPARE(sum.failed[0].report, "SMITH.RPT");
        QCOMPARE(sum.failed[0].why, "SMITH.RPT is being copied by jdoe on OTHER since " +
                                        since.toLocalTime().toString("HH:mm"));
        QVERIFY(!sum.allAsPlanned());
        QCOMPARE(TestPrefix::read(r.share), "the share's report");
        QCOMPARE(TestPrefix::read(r.p.share() + "/Q/SKETCH/SMITH.sk3"), "the share's sketch");
        QVERIFY(prompter.shown().isEmpty()); // a fresh lock is not offered for breaking
    }

    // The lock broken and taken over by another while the copy stood still
    // (a laptop suspended): the copy stops rather than write over their work.
    void lockLostMidway() {
        const int stale = platform::ShareLock::StaleSeconds();
        platform::ShareLock::SetStaleSecondsForTest(1);
        OneReport r;
        const QString lock = r.p.share() + "/Q/data/.quarn-locks/SMITH.RPT.lock";
        const QByteArray now = QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toUtf8();
        const QByteArray theirs =
            "user=jdoe\ncomputer=OTHER\npid=4242\nsince=" + now + "\nrenewed=" + now + "\n";
        Synchronize::Hooks hooks;
        hooks.progress = [&](const Synchronize::Progress&) {
            if (QFileInfo::exists(lock) && TestPrefix::read(lock) != theirs) {
                TestPrefix::write(lock, theirs);
                QThread::msleep(200); // past the next renewal
            }
            return true;
        };
        const Synchronize::Summary sum = Synchronize::Run(r.folders, r.plan.rows, r.record, hooks);
        platform::ShareLock::SetStaleSecondsForTest(stale);
        QCOMPARE(sum.failed.size(), 1);
        QCOMPARE(sum.failed[0].why, Texts::SyncLockLost("SMITH.RPT"));
        QCOMPARE(TestPrefix::read(r.share), "the share's report");
        QCOMPARE(TestPrefix::read(lock), theirs); // theirs stays
        QVERIFY(!r.record.load().contains("SMITH.RPT"));
    }

    // A damaged record cannot vouch for an empty share folder: stopped once,
    // then planned with the new record.
    void emptySideWithDamagedRecord() {
        TestPrefix p;
        const SyncPlan::Folders folders = FoldersOn();
        p.write(p.at("record.sqlite"), "not a database at all, only junk");
        platform::SyncRecord record(folders.pairKey(), p.at("record.sqlite"));
        p.write(p.driveC() + "/Q/data/SMITH.RPT", "one");
        p.write(p.driveC() + "/Q/data/JONES.RPT", "two");
        p.makeDir(p.share() + "/Q/data");
        const SyncPlan::Plan first = SyncPlan::Make(folders, record);
        QCOMPARE(first.stop, Texts::SyncSideEmptyUnknown("share's", folders.networkReports));
        QVERIFY(first.rows.isEmpty());
        const SyncPlan::Plan second = SyncPlan::Make(folders, record);
        QCOMPARE(second.stop, QString());
        QCOMPARE(second.rows.size(), 2);
    }

    // Keeping both never lands a kept file on one that is there, sketches
    // included; the laptop's own name then holds the share's version.
    void keepBothTakesAFreeName() {
        OneReport r;
        r.plan.rows[0].action = Action::KeepBoth;
        const QString first =
            SyncPlan::KeptName("SMITH.RPT", platform::ComputerName(), QDate::currentDate(), {});
        const QString sketchThere =
            r.p.share() + "/Q/SKETCH/" + SyncPlan::KeptSketchName("SMITH.sk3", first);
        r.p.write(sketchThere, "another's kept sketch");
        const Synchronize::Summary sum = Synchronize::Run(r.folders, r.plan.rows, r.record);
        QVERIFY2(sum.allAsPlanned(), qPrintable(Synchronize::SummaryText(sum)));
        QCOMPARE(TestPrefix::read(sketchThere), "another's kept sketch");
        const QString second = SyncPlan::KeptName("SMITH.RPT", platform::ComputerName(),
                                                  QDate::currentDate(), {first});
        for (const QString& side : {r.p.driveC(), r.p.share()})
            QCOMPARE(TestPrefix::read(side + "/Q/data/" + second),
                     "the laptop's report, worked on today");
        QCOMPARE(TestPrefix::read(r.laptop), "the share's report");
        QCOMPARE(TestPrefix::read(r.p.driveC() + "/Q/SKETCH/SMITH.sk3"), "the share's sketch");
    }

    // Cancelled before the first report: told as cancelled, nothing moved.
    void cancelledBetweenReports() {
        OneReport r;
        Synchronize::Hooks hooks;
        hooks.progress = [](const Synchronize::Progress&) { return false; };
        const Synchronize::Summary sum = Synchronize::Run(r.folders, r.plan.rows, r.record, hooks);
        QVERIFY(sum.cancelled && !sum.allAsPlanned());
        QCOMPARE(TestPrefix::read(r.share), "the share's report");
    }

    // The sketch saved again on the laptop while the report still went
    // across: the record keeps the version that went, so the next sync sends
    // the new one rather than take the two sides for a conflict.
    void savedDuringTheCopy() {
        OneReport r;
        const QString sketch = r.p.driveC() + "/Q/SKETCH/SMITH.sk3";
        const qint64 sketchBytes = QFileInfo(sketch).size();
        bool saved = false;
        Synchronize::Hooks hooks;
        hooks.progress = [&](const Synchronize::Progress& p) {
            if (!saved && p.bytesDone > sketchBytes) {
                TestPrefix::write(sketch, "the laptop's sketch, saved again");
                saved = true;
            }
            return true;
        };
        const Synchronize::Summary sum = Synchronize::Run(r.folders, r.plan.rows, r.record, hooks);
        QVERIFY(saved);
        QCOMPARE(sum.toNetwork, QStringList{"SMITH.RPT"});
        QCOMPARE(SyncPlan::Make(r.folders, r.record).rows.value(0).state, State::NewerLocal);
    }

    // A report the two sides hold alike (come by another way) enters the
    // record, so that a later change on one side is taken for what it is.
    void agreedReportRecorded() {
        OneReport r;
        r.p.write(r.share, TestPrefix::read(r.laptop));
        r.p.write(r.p.share() + "/Q/SKETCH/SMITH.sk3",
                  TestPrefix::read(r.p.driveC() + "/Q/SKETCH/SMITH.sk3"));
        r.plan = SyncPlan::Make(r.folders, r.record);
        QCOMPARE(r.plan.rows.value(0).state, State::Same);
        Synchronize::RememberAgreed(r.plan.rows, r.record);
        r.p.write(r.share, "the share's report, changed by the office");
        QCOMPARE(SyncPlan::Make(r.folders, r.record).rows.value(0).state, State::NewerNetwork);
    }

    // Another run sent the very version meanwhile: no conflict to choose.
    void sentMeanwhileByAnotherRun() {
        OneReport r;
        r.p.write(r.share, TestPrefix::read(r.laptop));
        r.p.write(r.p.share() + "/Q/SKETCH/SMITH.sk3",
                  TestPrefix::read(r.p.driveC() + "/Q/SKETCH/SMITH.sk3"));
        const Synchronize::Summary sum = Synchronize::Run(r.folders, r.plan.rows, r.record);
        QVERIFY2(sum.allAsPlanned(), qPrintable(Synchronize::SummaryText(sum)));
        QCOMPARE(r.plan.rows[0].state, State::Same);
    }

    // The share's copy changed between the plan and the run: it is not
    // overwritten, and the row becomes a conflict.
    void changedMeanwhile() {
        OneReport r;
        QCOMPARE(r.plan.rows.size(), 1);
        r.p.write(r.share, "the share's report, changed by the office after the plan");
        QList<SyncPlan::Row> done;
        Synchronize::Hooks hooks;
        hooks.rowDone = [&](const SyncPlan::Row& row, bool) { done << row; };
        const Synchronize::Summary sum = Synchronize::Run(r.folders, r.plan.rows, r.record, hooks);
        QCOMPARE(sum.conflicts, QStringList{"SMITH.RPT"});
        QVERIFY(sum.failed.isEmpty() && sum.toNetwork.isEmpty());
        QCOMPARE(r.plan.rows[0].state, State::Conflict);
        QCOMPARE(r.plan.rows[0].action, Action::Nothing);
        QCOMPARE(done.size(), 1);
        QCOMPARE(TestPrefix::read(r.share),
                 "the share's report, changed by the office after the plan");
        QCOMPARE(TestPrefix::read(r.p.share() + "/Q/SKETCH/SMITH.sk3"), "the share's sketch");
        QCOMPARE(TestPrefix::read(r.laptop), "the laptop's report, worked on today");
        // The lock was let go.
        QCOMPARE(TestPrefix::entries(r.p.share() + "/Q/data/.quarn-locks"), QStringList());
    }

    // Another laptop saved over the share's copy, and this laptop's view
    // still shows the size and time it had (a share client's cache): the
    // content read afresh under the lock tells, and nothing is replaced.
    void cachedViewOfTheShare() {
        OneReport r;
        r.p.write(r.share, TestPrefix::read(r.laptop));
        r.p.write(r.p.share() + "/Q/SKETCH/SMITH.sk3",
                  TestPrefix::read(r.p.driveC() + "/Q/SKETCH/SMITH.sk3"));
        Synchronize::RememberAgreed(SyncPlan::Make(r.folders, r.record).rows, r.record);
        r.p.write(r.laptop, "the laptop's report, worked on once more");
        r.plan = SyncPlan::Make(r.folders, r.record);
        QCOMPARE(r.plan.rows.value(0).state, State::NewerLocal);
        const QDateTime was = QFileInfo(r.share).lastModified();
        r.p.write(r.share, "the other laptop's report, sent now!");
        QFile share(r.share);
        QVERIFY(share.open(QIODevice::ReadWrite) &&
                share.setFileTime(was, QFileDevice::FileModificationTime));
        share.close();
        const Synchronize::Summary sum = Synchronize::Run(r.folders, r.plan.rows, r.record);
        QCOMPARE(sum.conflicts, QStringList{"SMITH.RPT"});
        QCOMPARE(TestPrefix::read(r.share), "the other laptop's report, sent now!");
        // Seen so, the next plan takes it for a conflict, not for the same.
        QCOMPARE(SyncPlan::Make(r.folders, r.record).rows.value(0).state, State::Conflict);
    }

    // A colleague saves the report on the target side while its sketch is
    // copied (or a new report of that name, where there was none): the save
    // is not replaced, whichever way the report goes.
    void savedOnTheTargetDuringTheSketch_data() {
        QTest::addColumn<bool>("toNetwork");
        QTest::addColumn<bool>("newThere");
        QTest::newRow("to the share") << true << false;
        QTest::newRow("to the laptop") << false << false;
        QTest::newRow("a new report to the share") << true << true;
        QTest::newRow("a new report to the laptop") << false << true;
    }
    void savedOnTheTargetDuringTheSketch() {
        QFETCH(bool, toNetwork);
        QFETCH(bool, newThere);
        OneReport r;
        const QString targetRoot = toNetwork ? r.p.share() : r.p.driveC();
        if (newThere) {
            QFile::remove(toNetwork ? r.share : r.laptop);
            QFile::remove(targetRoot + "/Q/SKETCH/SMITH.sk3");
            r.plan = SyncPlan::Make(r.folders, r.record);
        }
        r.plan.rows[0].action = toNetwork ? Action::ToNetwork : Action::ToLocal;
        const QString target = toNetwork ? r.share : r.laptop;
        bool saved = false;
        Synchronize::Hooks hooks;
        hooks.progress = [&](const Synchronize::Progress& p) {
            if (!saved && p.bytesDone > 0) {
                TestPrefix::write(target, "the colleague's save");
                saved = true;
            }
            return true;
        };
        const Synchronize::Summary sum = Synchronize::Run(r.folders, r.plan.rows, r.record, hooks);
        QVERIFY(saved);
        QCOMPARE(sum.conflicts, QStringList{"SMITH.RPT"});
        QCOMPARE(TestPrefix::read(target), "the colleague's save");
        // The sketch that went first is put back beside the save.
        if (newThere)
            QVERIFY(!QFile::exists(targetRoot + "/Q/SKETCH/SMITH.sk3"));
        else
            QCOMPARE(TestPrefix::read(targetRoot + "/Q/SKETCH/SMITH.sk3"),
                     toNetwork ? "the share's sketch" : "the laptop's sketch");
    }

    // Contents are hashed as records kept by earlier versions hold them
    // (SHA-256), across the reads' block edges.
    void hashesAsRecordsHoldThem() {
        TestPrefix p;
        for (const qsizetype size : {0, 1, 65535, 65536, 65537, 200000}) {
            QByteArray bytes(size, Qt::Uninitialized);
            for (qsizetype i = 0; i < size; ++i)
                bytes[i] = char(i * 7 + i / 251);
            p.write(p.at("f"), bytes);
            QCOMPARE(SyncPlan::HashFile(p.at("f")).value_or("failed"),
                     QCryptographicHash::hash(bytes, QCryptographicHash::Sha256));
        }
    }

    // A sketch of the report that turns up on the share while the report
    // goes there is no part of what was agreed: the next plan shows it.
    void aSketchThatTurnedUpIsNotTakenForAgreed() {
        OneReport r;
        bool added = false;
        Synchronize::Hooks hooks;
        hooks.progress = [&](const Synchronize::Progress& p) {
            if (!added && p.bytesDone > 0)
                added =
                    (TestPrefix::write(r.p.share() + "/Q/APEX/SMITH.AXF", "a colleague's"), true);
            return true;
        };
        const Synchronize::Summary sum = Synchronize::Run(r.folders, r.plan.rows, r.record, hooks);
        QVERIFY(added);
        QCOMPARE(sum.toNetwork, QStringList{"SMITH.RPT"});
        QCOMPARE(SyncPlan::Make(r.folders, r.record).rows.value(0).state, State::NewerNetwork);
    }

    // Keeping both, the laptop's sketch saved while the share's version
    // comes down is not removed: it is set aside and the run says so.
    void keepBothSketchSavedMeanwhile() {
        OneReport r;
        QFile::remove(r.p.share() + "/Q/SKETCH/SMITH.sk3");
        r.plan = SyncPlan::Make(r.folders, r.record);
        r.plan.rows[0].action = Action::KeepBoth;
        const QString sketch = r.p.driveC() + "/Q/SKETCH/SMITH.sk3";
        const qint64 mine = r.plan.rows[0].local.seen.size;
        bool saved = false;
        Synchronize::Hooks hooks;
        hooks.progress = [&](const Synchronize::Progress& p) {
            if (!saved && p.bytesDone > mine) {
                TestPrefix::write(sketch, "the laptop's sketch, saved meanwhile");
                saved = true;
            }
            return true;
        };
        const Synchronize::Summary sum = Synchronize::Run(r.folders, r.plan.rows, r.record, hooks);
        QVERIFY(saved);
        QVERIFY(!sum.allAsPlanned());
        QStringList everywhere;
        for (const QString& dir :
             {r.p.driveC() + "/Q/SKETCH", r.p.driveC() + "/Q/SKETCH/.quarn-versions"})
            for (const QString& name : TestPrefix::entries(dir))
                everywhere << TestPrefix::read(dir + "/" + name);
        QVERIFY(everywhere.contains("the laptop's sketch, saved meanwhile"));
    }

    // A link in either folder is never read nor written through, and two
    // names Windows takes for one move neither.
    void linksAndCaseTwinsLeftAlone_data() {
        QTest::addColumn<QString>("planted");
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("shown"); // the row's name, the same on every run
        QTest::newRow("the share's sketch a link") << "share/Q/SKETCH/SMITH.sk3"
                                                   << "Link"
                                                   << "SMITH.RPT";
        QTest::newRow("the laptop's report a link") << "prefix/drive_c/Q/data/SMITH.RPT"
                                                    << "Link"
                                                    << "SMITH.RPT";
        QTest::newRow("a dangling link on the share") << "share/Q/data/SMITH.RPT"
                                                      << "Link"
                                                      << "SMITH.RPT";
        QTest::newRow("twins on the laptop") << "prefix/drive_c/Q/data/smith.rpt"
                                             << "CaseTwinsLocal"
                                             << "SMITH.RPT, smith.rpt";
        QTest::newRow("sketch twins on the share") << "share/Q/SKETCH/smith.SK3"
                                                   << "CaseTwinsNetwork"
                                                   << "SMITH.RPT, smith.SK3";
    }
    void linksAndCaseTwinsLeftAlone() {
        QFETCH(QString, planted);
        QFETCH(QString, state);
        OneReport r;
        const QString secret = r.p.at("secret");
        r.p.write(secret, "a private key");
        const QString at = r.p.at(planted);
        QFile::remove(at);
        if (state == "Link")
            QVERIFY(QFile::link(QTest::currentDataTag() == QString("a dangling link on the share")
                                    ? r.p.at("nowhere")
                                    : secret,
                                at));
        else
            r.p.write(at, "an older twin");
        const QStringList before = TestPrefix::tree(r.p.root());
        r.plan = SyncPlan::Make(r.folders, r.record);
        QCOMPARE(r.plan.rows.size(), 1);
        QCOMPARE(r.plan.rows[0].state, StateNamed(state));
        QCOMPARE(SyncPlan::ActionsFor(r.plan.rows[0].state), QList<Action>{Action::Nothing});
        QTEST(SyncPlan::RowName(r.plan.rows[0]), "shown");
        r.plan.rows[0].action = Action::ToLocal; // even when asked: nothing read through
        Synchronize::Run(r.folders, r.plan.rows, r.record);
        QCOMPARE(TestPrefix::tree(r.p.root()).filter("a private key"),
                 before.filter("a private key"));
        QCOMPARE(TestPrefix::read(secret), "a private key");
    }
};

QTEST_GUILESS_MAIN(TestSyncPlan)
#include "tst_syncplan.moc"
