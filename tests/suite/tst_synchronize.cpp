// Carrying out a synchronization plan: what the progress and the summary
// tell when the run is cancelled between reports; what the next plan makes
// of a report the run moved.

#include "suite/Synchronize.h"
#include "tests/support/TestPrefix.h"

#include <QFileInfo>
#include <QTest>

class TestSynchronize : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The progress names only the reports that move, and a cancel given
    // between two of them is in the summary as one given within a file is.
    void cancelBetweenReports() {
        TestPrefix p;
        for (const char* name : {"/L/data/A.RPT", "/L/data/M.RPT", "/L/data/Z.RPT"})
            p.write(p.driveC() + name, name);
        p.write(p.driveD() + "/N/data/M.RPT", "/L/data/M.RPT");
        QFile same(p.driveD() + "/N/data/M.RPT");
        QVERIFY(same.open(QIODevice::ReadWrite) &&
                same.setFileTime(QFileInfo(p.driveC() + "/L/data/M.RPT").lastModified(),
                                 QFileDevice::FileModificationTime));
        SyncPlan::Folders f;
        f.localReports = "C:\\L\\data";
        f.networkReports = "D:\\N\\data";
        platform::SyncRecord record(f.pairKey(), p.at("record.sqlite"));
        QList<SyncPlan::Row> rows = SyncPlan::Make(f, record).rows;
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[1].state, SyncPlan::State::Same);

        QStringList named;
        Synchronize::Hooks hooks;
        hooks.progress = [&](const Synchronize::Progress& progress) {
            if (!named.contains(progress.current))
                named << progress.current;
            return progress.reportsDone < 1;
        };
        const Synchronize::Summary sum = Synchronize::Run(f, rows, record, hooks);
        QCOMPARE(named, (QStringList{"A.RPT", "Z.RPT"}));
        QCOMPARE(sum.toNetwork, QStringList{"A.RPT"});
        QVERIFY(sum.cancelled && !sum.allAsPlanned());
        QVERIFY(Synchronize::SummaryText(sum).contains("Cancelled"));
        QVERIFY(!QFile::exists(p.driveD() + "/N/data/Z.RPT"));
    }

    // A sketch only the share has stays there when the laptop's report goes
    // over it; the next look finds the report as the sync left it.
    void aMovedReportIsTheSameAfterwards() {
        TestPrefix p;
        p.write(p.driveC() + "/L/data/A.RPT", "the laptop's");
        p.write(p.driveD() + "/N/data/A.RPT", "the share's");
        p.write(p.driveD() + "/N/apex/A.AX4", "a sketch");
        SyncPlan::Folders f;
        f.localReports = "C:\\L\\data";
        f.networkReports = "D:\\N\\data";
        f.localApex = "C:\\L\\apex";
        f.networkApex = "D:\\N\\apex";
        platform::SyncRecord record(f.pairKey(), p.at("record.sqlite"));
        QList<SyncPlan::Row> rows = SyncPlan::Make(f, record).rows;
        QCOMPARE(rows.value(0).state, SyncPlan::State::Unknown);
        rows[0].action = SyncPlan::Action::ToNetwork;
        QVERIFY(Synchronize::Run(f, rows, record).allAsPlanned());
        QCOMPARE(TestPrefix::read(p.driveD() + "/N/data/A.RPT"), "the laptop's");
        QCOMPARE(SyncPlan::Make(f, record).rows.value(0).state, SyncPlan::State::Same);
    }
};

QTEST_GUILESS_MAIN(TestSynchronize)
#include "tst_synchronize.moc"
