// The Synchronize Reports window offscreen: what the buttons under the table
// give each state, the plan's safety stop, and closing the window while a
// run waits on a question.

#include "office/Texts.h"
#include "office/windows/frmSync.h"
#include "platform/files/ShareLock.h"
#include "tests/support/Cases.h"
#include "tests/support/Doubles.h"
#include "tests/support/TestPrefix.h"
#include "ui_frmSync.h"

#include <QApplication>
#include <QDateTime>
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
    void choices_data() { AddCases("office/sync_choices.txt"); }
    void choices() {
        QFETCH(Row, row);
        State state = State::Same;
        for (int s = 0; s <= int(State::CaseTwinsNetwork); ++s)
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
        SyncPlan::Row shown;
        shown.state = state;
        QCOMPARE(frmSync::Shows(shown, frmSync::Show::Conflicts),
                 row["Shown as a conflict"] == "yes");
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

    // Closed while the run waits on another computer's stale lock: the
    // window asks first, the run stops without putting its question, and no
    // thread outlives the window; so too once the run's question is on its
    // way to the window, closed or destroyed then.
    void closedWhileRunning() {
        TestPrefix p;
        ScopedEnv data({{"XDG_DATA_HOME", p.at("data")}});
        for (const char* report : {"/L/data/A.RPT", "/L/data/B.RPT"})
            p.write(p.driveC() + report, report);
        const QString lock = p.driveD() + "/N/data/.quarn-locks/A.RPT.lock";
        const QByteArray long_ago =
            QDateTime::currentDateTimeUtc().addSecs(-600).toString(Qt::ISODate).toUtf8();
        p.write(lock, "user=jdoe\ncomputer=OTHER\npid=4242\nsince=" + long_ago +
                          "\nrenewed=" + long_ago + "\n");
        // Seen unchanged here for the stale time already.
        const int staleSeconds = platform::ShareLock::StaleSeconds();
        platform::ShareLock::SetStaleSecondsForTest(1);
        QCOMPARE(platform::ShareLock(p.driveD() + "/N/data", "A.RPT").take(),
                 platform::ShareLock::Take::HeldByOther);
        QTest::qSleep(1100);
        for (const int moment : {0, 1, 2}) { // at once; the question waiting; destroyed then
            ScriptedPrompter script({platform::Answer::Yes});
            auto window = std::make_unique<frmSync>(Folders(), nullptr);
            window->show();
            QVERIFY(Settled(*window));
            QCOMPARE(window->plan().rows.size(), 2);
            window->Synchronize();
            if (moment > 0)
                QTest::qSleep(1000); // no events: the question waits to be shown
            if (moment < 2) {
                window->close();
                QVERIFY(window->isVisible()); // until the run has stopped
                QVERIFY(QTest::qWaitFor([&] { return window->isHidden(); }, 10000));
                QVERIFY(!window->busy());
            }
            window.reset();
            QVERIFY(!QApplication::overrideCursor());
            QCOMPARE(script.shown().size(), moment < 2 ? 1 : 0);
            if (moment < 2)
                QCOMPARE(script.shown()[0].text, Texts::SyncCloseWhileRunning());
            QCOMPARE(TestPrefix::entries(p.driveD() + "/N/data"), QStringList{".quarn-locks"});
            QVERIFY(QFile::exists(lock));
        }
        platform::ShareLock::SetStaleSecondsForTest(staleSeconds);
    }

    // A report done shows so in its row while the run goes on: the run asks
    // about the next one's lock, and the window answers after a look.
    void aRowDoneShowsWhileTheRunGoesOn() {
        TestPrefix p;
        ScopedEnv data({{"XDG_DATA_HOME", p.at("data")}});
        for (const char* report : {"/L/data/A.RPT", "/L/data/B.RPT"})
            p.write(p.driveC() + report, report);
        const QByteArray long_ago =
            QDateTime::currentDateTimeUtc().addSecs(-600).toString(Qt::ISODate).toUtf8();
        p.write(p.driveD() + "/N/data/.quarn-locks/B.RPT.lock",
                "user=jdoe\ncomputer=OTHER\npid=4242\nsince=" + long_ago + "\nrenewed=" + long_ago +
                    "\n");
        const int staleSeconds = platform::ShareLock::StaleSeconds();
        platform::ShareLock::SetStaleSecondsForTest(1);
        QCOMPARE(platform::ShareLock(p.driveD() + "/N/data", "B.RPT").take(),
                 platform::ShareLock::Take::HeldByOther);
        QTest::qSleep(1100);
        struct Look : platform::Prompter {
            frmSync* window = nullptr;
            QStringList actions;
            platform::Answer ask(const platform::Message&) override {
                for (int row = 0; row < window->ui()->tblReports->rowCount(); ++row)
                    actions << window->ui()->tblReports->item(row, 6)->text();
                return platform::Answer::No;
            }
        } look;
        const platform::ScopedPrompter asked(look);
        frmSync window(Folders(), nullptr);
        look.window = &window;
        window.show();
        QVERIFY(Settled(window));
        window.Synchronize();
        QVERIFY(Settled(window));
        platform::ShareLock::SetStaleSecondsForTest(staleSeconds);
        const QString toShare = SyncPlan::ActionText(SyncPlan::Action::ToNetwork);
        QCOMPARE(look.actions, (QStringList{toShare + ": done", toShare}));
    }
};

QTEST_MAIN(TestFrmSync)
#include "tst_frmsync.moc"
