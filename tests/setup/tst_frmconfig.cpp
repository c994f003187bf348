// The Settings dialog offscreen: its load, proposals, Save's order and
// letter case, Cancel, the invisible Exit, and the directory check.

#include "tests/support/Doubles.h"
#include "tests/support/TestPrefix.h"
#include "platform/WinPath.h"
#include "setup/frmConfig.h"
#include "ui_frmConfig.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFocusEvent>
#include <QLineEdit>
#include <QTest>

#include <atomic>
#include <thread>

using platform::Answer;

namespace {

struct Fixture {
    TestPrefix p;
    Quarn_v2::SuiteState state;
    ScriptedPrompter script;
    QPointer<frmConfig> dialog;

    explicit Fixture(const QByteArray& quarn2 = {}) {
        p.makeDir(p.driveD() + "/N");
        p.makeDir(p.driveC() + "/L");
        p.write(p.driveC() + "/VALUATOR/QUARN2.INI", quarn2.isEmpty() ? QByteArray("[PREFERENCES]\r\nk=1\r\n") : quarn2);
        Quarn_v2::InitialiseSuite(state);
        dialog = new frmConfig(state, nullptr);
    }
    ~Fixture() { delete dialog; }
    Ui::frmConfig* ui() const { return dialog->ui(); }
    void showActive() {
        dialog->show();
        dialog->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(dialog));
    }
    // Closing unloads the dialog once deferred deletes have run.
    bool unloaded() const {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return dialog.isNull();
    }
    QByteArray file() const { return TestPrefix::read(p.driveC() + "/VALUATOR/QUARN2.INI"); }
    void fillDisplayed(const QString& network, const QString& local) {
        for (QLineEdit* f : {ui()->txtNetworkQXADataDir, ui()->txtNetworkQXPPdataDir, ui()->txtNetworkQXPPphotoDir,
                             ui()->txtNetworkQXSdataDir, ui()->txtNetworkAPEXDataDir})
            f->setText(network);
        for (QLineEdit* f : {ui()->txtLocalQXAdataDir, ui()->txtLocalQXPPdataDir, ui()->txtLocalQXPPphotoDir,
                             ui()->txtLocalQXSdataDir, ui()->txtLocalApexDataDir})
            f->setText(local);
    }
};

const QString kMissing = QStringLiteral("This directory does not exist. Either correct or remove.");

} // namespace

class TestFrmConfig : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void loadFillsEveryField() {
        Fixture f("[LOCAL]\r\nQXADATADIR=C:\\L\r\nOPLDATADIR=C:\\OP\r\n[NETWORK]\r\nqxcdatadir= D:\\N \r\n");
        QCOMPARE(f.dialog->windowTitle(), u"Settings");
        QCOMPARE(f.ui()->client->size(), QSize(570, 268));
        QCOMPARE(f.ui()->txtLocalQXAdataDir->text(), u"C:\\L");
        QCOMPARE(f.ui()->txtLocalQXopDataDir->text(), u"C:\\OP");  // row 10, not displayed
        QCOMPARE(f.ui()->txtNetworkQXCdataDir->text(), u"D:\\N");  // trimmed by the reading, as read
        QCOMPARE(f.ui()->txtNetworkQXADataDir->text(), u"");
    }

    void fillLocalDefault_data() {
        QTest::addColumn<QString>("local");
        QTest::addColumn<QString>("network");
        QTest::addColumn<QString>("expected");
        QTest::newRow("from the network path") << "" << "N:\\DATA\\APPR" << "C:\\DATA\\APPR";
        QTest::newRow("blanks count as empty") << "   " << "N:\\DATA" << "C:\\DATA";
        QTest::newRow("no network text") << "" << "" << "C:\\";
        QTest::newRow("UNC keeps its backslash") << "" << "\\\\SERVER\\SHARE\\D" << "C:\\\\SERVER\\SHARE\\D";
        QTest::newRow("typed text stays") << "X" << "N:\\DATA" << "X";
    }
    void fillLocalDefault() {
        QFETCH(QString, local);
        QFETCH(QString, network);
        QFETCH(QString, expected);
        Fixture f;
        f.showActive();
        f.ui()->txtNetworkQXPPdataDir->setText(network);
        f.ui()->txtLocalQXPPdataDir->setText(local);
        f.ui()->txtLocalQXPPdataDir->setFocus();
        QCOMPARE(f.ui()->txtLocalQXPPdataDir->text(), expected);
        QCOMPARE(f.ui()->txtNetworkQXPPdataDir->text(), network); // never proposed
    }

    void saveWritesInOrderAndLetterCase() {
        Fixture f;
        f.fillDisplayed("D:\\N", "C:\\L\\");
        f.ui()->txtLocalQXCdataDir->setText("C:\\L"); // row 8: copied, not written
        f.ui()->txtLocalQXopDataDir->setText("C:\\OP"); // row 10: neither
        f.ui()->cmdSaveChanges->click();
        QCOMPARE(f.file(), QByteArray("[PREFERENCES]\r\nk=1\r\n"
                                      "[NETWORK]\r\nQXAdataDir=D:\\N\r\nQXPPDATADIR=D:\\N\r\nQXPPphotoDir=D:\\N\r\nApexdataDir=D:\\N\r\nQXsDataDir=D:\\N\r\n"
                                      "[LOCAL]\r\nQXAdataDir=C:\\L\\\r\nQXPPDATADIR=C:\\L\\\r\nQXPPphotoDir=C:\\L\\\r\nApexdataDir=C:\\L\\\r\nQXsDataDir=C:\\L\\\r\n"));
        QCOMPARE(f.state.LocalSet.QXADATADIR, u"C:\\L\\"); // unchanged texts
        QCOMPARE(f.state.LocalSet.QXCDATADIR, u"C:\\L");
        QCOMPARE(f.state.NetworkSet.QXSDATADIR, u"D:\\N");
        QVERIFY(f.unloaded());
    }

    void failedCheckChangesNothing() {
        Fixture f;
        f.fillDisplayed("D:\\N", "C:\\L");
        f.ui()->txtNetworkQXADataDir->setText("D:\\NOSUCH");  // field 1
        f.ui()->txtLocalQXAdataDir->setText("C:\\NOSUCH");    // field 5
        f.showActive();
        f.ui()->cmdSaveChanges->click();
        QCOMPARE(f.script.shown().size(), 1);
        QCOMPARE(f.script.shown()[0], (platform::Message{"Quarn", kMissing, platform::Buttons::Ok, platform::Icon::None, 0}));
        QCOMPARE(f.dialog->failedField(), f.ui()->txtNetworkQXADataDir);
        QCOMPARE(QApplication::focusWidget(), f.ui()->txtNetworkQXADataDir);
        QCOMPARE(f.file(), QByteArray("[PREFERENCES]\r\nk=1\r\n"));
        QVERIFY(f.dialog->isVisible());
    }

    void checkOrder_data() {
        QTest::addColumn<QStringList>("bad");
        QTest::addColumn<QString>("reported");
        QTest::newRow("1 before 5") << QStringList{"txtLocalQXAdataDir", "txtNetworkQXADataDir"} << "txtNetworkQXADataDir";
        QTest::newRow("8 before 9") << QStringList{"txtNetworkQXPdataDir", "txtLocalApexDataDir"} << "txtLocalApexDataDir";
        QTest::newRow("9 (not displayed) before 13") << QStringList{"txtNetworkQXSdataDir", "txtNetworkQXPdataDir"} << "txtNetworkQXPdataDir";
        QTest::newRow("13 before 14") << QStringList{"txtLocalQXPdataDir", "txtNetworkQXSdataDir"} << "txtNetworkQXSdataDir";
        QTest::newRow("17 before 18") << QStringList{"txtLocalQXSdataDir", "txtLocalQXOdataDir"} << "txtLocalQXOdataDir";
        QTest::newRow("a file is no directory") << QStringList{"txtLocalQXCdataDir"} << "txtLocalQXCdataDir";
        QTest::newRow("office plus never checked") << QStringList{"txtLocalQXopDataDir"} << "";
    }
    void checkOrder() {
        QFETCH(QStringList, bad);
        QFETCH(QString, reported);
        Fixture f;
        f.p.write(f.p.driveC() + "/L/FILE.TXT", "x");
        f.fillDisplayed("D:\\N", "C:\\L");
        for (const QString& name : bad)
            f.dialog->findChild<QLineEdit*>(name)->setText(name.contains("QXC") ? "C:\\L\\FILE.TXT" : "Q:\\NODRIVE");
        QCOMPARE(f.dialog->CheckDirectories(), reported.isEmpty()); // loaded unseen: no focus change
        QCOMPARE(f.dialog->failedField() ? f.dialog->failedField()->objectName() : QString(), reported);
        QCOMPARE(f.script.shown().size(), reported.isEmpty() ? 0 : 1);
    }

    void escapeIsNoWayOut() {
        Fixture f;
        f.showActive();
        f.ui()->txtLocalQXAdataDir->setText("edited");
        QTest::keyClick(f.dialog, Qt::Key_Escape);
        QVERIFY(!f.unloaded());
        QCOMPARE(f.ui()->txtLocalQXAdataDir->text(), u"edited");
    }

    void comingBackToTheWindowProposesNothing() {
        Fixture f;
        f.showActive();
        f.ui()->txtLocalQXAdataDir->setFocus();
        f.ui()->txtLocalQXAdataDir->clear(); // blanked on purpose
        QFocusEvent back(QEvent::FocusIn, Qt::ActiveWindowFocusReason);
        QApplication::sendEvent(f.ui()->txtLocalQXAdataDir, &back);
        QCOMPARE(f.ui()->txtLocalQXAdataDir->text(), u"");
    }

    void directoryExists_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("exists");
        QTest::newRow("directory") << "C:\\L" << true;
        QTest::newRow("with backslash") << "C:\\L\\" << true;
        QTest::newRow("empty directory") << "D:\\N" << true;
        QTest::newRow("drive root with entries") << "C:" << true;
        QTest::newRow("drive root, backslash") << "C:\\" << true;
        QTest::newRow("empty drive root") << "F:" << false;
        QTest::newRow("empty drive root, backslash") << "F:\\" << false;
        QTest::newRow("dot of an empty root") << "F:\\." << false;
        QTest::newRow("empty: the current drive's root") << "" << true;
        QTest::newRow("root with hidden only") << "\\\\SERVER\\SHARE" << false;
        QTest::newRow("no medium") << "E:\\" << false;
        QTest::newRow("no drive") << "Q:\\" << false;
        QTest::newRow("missing") << "C:\\NOSUCH" << false;
    }
    void directoryExists() {
        QFETCH(QString, path);
        QFETCH(bool, exists);
        Fixture f;
        f.p.write(f.p.share() + "/.hidden", "x");
        f.p.makeDir(f.p.root() + "/empty");
        QVERIFY(QFile::link(f.p.root() + "/empty", f.p.prefix() + "/dosdevices/f:"));
        QCOMPARE(frmConfig::DirectoryExists(path), exists);
    }

    void cancelAsks_data() {
        QTest::addColumn<Answer>("answer");
        QTest::newRow("yes discards") << Answer::Yes;
        QTest::newRow("no keeps") << Answer::No;
    }
    void cancelAsks() {
        QFETCH(Answer, answer);
        Fixture f;
        f.dialog->show();
        f.ui()->txtLocalQXAdataDir->setText("edited");
        f.script.push(answer);
        f.ui()->cmdCancel->click();
        QCOMPARE(f.script.shown(), (QList<platform::Message>{{"Quarn", "Ignore changes?", platform::Buttons::YesNo, platform::Icon::None, 0}}));
        QCOMPARE(f.unloaded(), answer == Answer::Yes);
        if (answer == Answer::No)
            QCOMPARE(f.ui()->txtLocalQXAdataDir->text(), u"edited");
        QCOMPARE(f.file(), QByteArray("[PREFERENCES]\r\nk=1\r\n"));
    }

    void theInvisibleExitTakesTheActivationKey() {
        Fixture f;
        f.fillDisplayed("D:\\N", "C:\\L");
        f.showActive();
        QCOMPARE(QApplication::focusWidget(), f.ui()->cmdExit);
        QTest::keyClick(f.ui()->cmdExit, Qt::Key_Space);
        QVERIFY(f.unloaded());
        QVERIFY(f.file().contains("[LOCAL]\r\nQXAdataDir=C:\\L\r\n"));
    }

    void exitClosesEvenWhenTheCheckFails() {
        Fixture f;
        f.ui()->txtNetworkQXADataDir->setText("Q:\\NODRIVE");
        f.ui()->cmdExit->click();
        QCOMPARE(f.script.shown().size(), 1);
        QVERIFY(f.unloaded());
        QCOMPARE(f.file(), QByteArray("[PREFERENCES]\r\nk=1\r\n"));
    }

    void aListingThatNeverAnswersGivesUp() {
        TestPrefix p;
        // Shared: the listing thread outlives this function.
        auto release = std::make_shared<std::atomic<bool>>(false);
        platform::SetDirectoryLister([release](const QString&, bool) {
            for (int i = 0; i < 200 && !*release; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            return platform::Result<QString>{QStringLiteral("."), 0};
        });
        QElapsedTimer timer;
        timer.start();
        const bool exists = frmConfig::DirectoryExists("C:\\HUNG");
        const qint64 waited = timer.elapsed();
        *release = true;
        platform::SetDirectoryLister({});
        QVERIFY(!exists);
        QVERIFY2(waited >= 4900 && waited < 9000, qPrintable(QString::number(waited)));
    }
};

QTEST_MAIN(TestFrmConfig)
#include "tst_frmconfig.moc"
