// The Synchronize Reports window offscreen: what the buttons under the table
// give each state, the plan's safety stop, and closing the window while a
// run waits on a question.

#include "tests/support/Cases.h"
#include "tests/support/Doubles.h"
#include "tests/support/TestPrefix.h"
#include "transfer/frmSync.h"
#include "ui_frmSync.h"

#include <QTest>

using SyncPlan::State;

namespace {

SyncPlan::Folders Folders() {
    SyncPlan::Folders f;
    f.localReports = QStringLiteral("C:\\L\\data");
    f.networkReports = QStringLiteral("D:\\N\\data");
    return f;
}

bool Settled(const frmSync& window) {
    return QTest::qWaitFor([&] { return !window.busy(); }, 10000);
}

} // namespace

class TestFrmSync : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void choices_data() { AddCases("transfer/sync_choices.txt"); }
    void choices() {
        QFETCH(Row, row);
        State state = State::Same;
        for (int s = 0; s <= int(State::DeletedNetwork); ++s)
            if (SyncPlan::StateText(State(s)) == row["case"])
                state = State(s);
        QCOMPARE(SyncPlan::StateText(state), row["case"]);
        const std::pair<const char*, frmSync::Choice> buttons[] = {
            {"To the Share", frmSync::Choice::ToShare},
            {"To the Laptop", frmSync::Choice::ToLaptop},
            {"Keep Both", frmSync::Choice::KeepBoth},
            {"Skip", frmSync::Choice::Skip},
            {"Carry the Deletion", frmSync::Choice::CarryDeletion}};
        for (const auto& [column, choice] : buttons) {
            const auto action = frmSync::ActionOf(choice, state);
            QCOMPARE(action ? SyncPlan::ActionText(*action) : QStringLiteral("-"), row[column]);
        }
    }

    // A side that cannot be listed plans nothing: said in a box and in the
    // status line, and nothing can be carried out.
    void aFolderThatCannotBeReadStops() {
        TestPrefix p;
        ScopedEnv data({{"XDG_DATA_HOME", p.at("data")}});
        p.write(p.driveD() + "/N/data/A.RPT", "a");
        ScriptedPrompter script;
        frmSync window(Folders(), nullptr);
        QVERIFY(Settled(window));
        const QString stop = window.plan().stop;
        QVERIFY2(stop.startsWith("The laptop's report folder C:\\L\\data cannot be read ("),
                 qPrintable(stop));
        QCOMPARE(script.shown().size(), 1);
        QCOMPARE(script.shown()[0].text, stop);
        QCOMPARE(window.ui()->lblStatus->text(), stop);
        QCOMPARE(window.ui()->tblReports->rowCount(), 0);
        QVERIFY(!window.ui()->cmdSynchronize->isEnabled());
        QVERIFY(window.ui()->cmdRefresh->isEnabled());
    }
};

QTEST_MAIN(TestFrmSync)
#include "tst_frmsync.moc"
