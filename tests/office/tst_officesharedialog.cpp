// The office share window offscreen, with a folder of the test's standing in
// for GVfs: what the state line says after Connect and Disconnect, that the
// password does not stay, the questions it asks (from its thread, too), and
// closing it while Connect runs.

#include "office/windows/OfficeShareDialog.h"
#include "platform/wine/PrefixDrives.h"
#include "tests/support/Cases.h"
#include "tests/support/Doubles.h"
#include "tests/support/FakeShare.h"
#include "ui_OfficeShareDialog.h"

#include <QPushButton>
#include <QTest>

#include <atomic>
#include <chrono>
#include <thread>

#include <sys/stat.h>

using platform::Answer;

const QString kConnected = QStringLiteral("Connected: \\\\office\\data as N:");

struct Fixture : FakeShare {
    int switched = 0;
    bool switchWorks = true;
    std::unique_ptr<OfficeShareDialog> dialog;

    Fixture() { open(); }

    void open() {
        dialog = std::make_unique<OfficeShareDialog>(
            state,
            [this] {
                ++switched;
                return switchWorks;
            },
            nullptr);
        dialog->show();
    }
    Ui::OfficeShareDialog* ui() const { return dialog->ui(); }
    QString stateLine() const { return ui()->lblState->text(); }
    QString message() const { return ui()->lblMessage->text(); }
    void connect() {
        ui()->txtShare->setText("smb://office/data/");
        ui()->txtPassword->setText("pw");
        ui()->cmdConnect->click();
    }
    bool settled() const {
        return QTest::qWaitFor([this] { return !dialog->busy(); }, 5000);
    }
};

class TestOfficeShareDialog : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void connectShowsTheStateAndDropsThePassword() {
        Fixture f;
        QCOMPARE(f.ui()->cboDrive->currentText(), u"N:"); // the NETWORK set's drive
        QCOMPARE(f.stateLine(), u"Not connected");
        QVERIFY(!f.ui()->cmdDisconnect->isEnabled()); // nothing was ever connected
        f.ui()->chkRemember->setChecked(true);
        f.connect();
        // Until the thread's outcome is shown.
        QCOMPARE(f.stateLine(), u"Connecting to \\\\office\\data…");
        QCOMPARE(f.ui()->txtPassword->text(), QString());
        QVERIFY(!f.ui()->cmdConnect->isEnabled() && !f.ui()->cmdClose->isEnabled() &&
                !f.ui()->txtShare->isEnabled());
        QVERIFY(f.settled());
        QCOMPARE(f.stateLine(), kConnected);
        QCOMPARE((std::pair{f.logins.value(0).password, f.logins.value(0).remember}),
                 (std::pair{QString("pw"), true}));
        QCOMPARE(f.message(), u"N: is not marked as a network drive in the prefix's registry: the "
                              "Wine this prefix needs is not installed");
        QVERIFY(f.ui()->cmdConnect->isEnabled() && f.ui()->cmdDisconnect->isEnabled());

        // Opened again: the fields as remembered, the password nowhere.
        f.open();
        QCOMPARE((QStringList{f.ui()->txtShare->text(), f.ui()->txtPassword->text(),
                              f.ui()->cboDrive->currentText(), f.stateLine()}),
                 (QStringList{"\\\\office\\data", "", "N:", kConnected}));
    }

    void disconnectWhileTheSuiteUsesTheShare_data() { AddCases("office/share_disconnect.txt"); }
    void disconnectWhileTheSuiteUsesTheShare() {
        QFETCH(Row, row);
        Fixture f;
        f.connect();
        QVERIFY(f.settled());
        f.p.write(f.p.driveC() + "/windows/kav.ini", "[Directories]\r\nDataDir=N:\\A\r\n");
        f.switchWorks = row["switch works"] == u"1";
        ScriptedPrompter script(row["answer"]);
        f.ui()->cmdDisconnect->click();
        QVERIFY(f.settled());
        QCOMPARE(script.shown().size(), 1);
        QCOMPARE(script.shown()[0].text, u"The suite uses the office share on N:. Switch it to "
                                         "the LOCAL set before the share is disconnected?");
        QCOMPARE(f.switched, row["switched"].toInt());
        const bool stays = row["share stays"] == u"1";
        QCOMPARE(platform::DriveTarget("N:"), stays ? f.p.at("mnt") : QString());
        QCOMPARE(f.stateLine(), stays ? kConnected
                                      : QString("Not connected (disconnected by you; Connect "
                                                "to use it again)"));
    }

    // A drive set by hand is asked about from Connect's thread, and kept
    // when the answer is No. Closed while Connect runs, the window goes at
    // once, and its thread's question is answered No unasked, whether it
    // comes after or already waits to be shown.
    void aDriveSetByHand() {
        Fixture f;
        ScriptedPrompter script({Answer::No});
        f.p.makeDir(f.p.at("by hand"));
        QVERIFY(QFile::link(f.p.at("by hand"), f.p.prefix() + "/dosdevices/n:"));
        f.connect();
        QVERIFY(f.settled());
        QCOMPARE(script.shown().size(), 1);
        QCOMPARE(script.shown()[0].text, "N: leads to " + f.p.at("by hand") +
                                             ".\n\nReplace it with \\\\office\\data? "
                                             "Disconnecting puts it back.");
        QCOMPARE(script.shown()[0].buttons, platform::Buttons::YesNo);
        QCOMPARE(f.message(), u"N: was left as it is: choose another drive letter for the share.");
        QCOMPARE(platform::DriveTarget("N:"), f.p.at("by hand"));
        QCOMPARE(f.unmounted, QStringList{"\\\\office\\data"}); // the mount taken back

        for (const int mountMs : {300, 0}) {
            f.mountMs = mountMs;
            f.connect();
            QTest::qSleep(300 - mountMs); // no events: the question waits to be shown
            f.dialog->close();
            QVERIFY(f.dialog->isHidden());
            QTest::qWait(400); // its outcome comes to a hidden window
            f.open();
            QCOMPARE(script.shown().size(), 1);
            QCOMPARE(platform::DriveTarget("N:"), f.p.at("by hand"));
            QVERIFY(!f.mounted); // taken back
        }
    }
};

QTEST_MAIN(TestOfficeShareDialog)
#include "tst_officesharedialog.moc"
