// The transfer dialog offscreen: what it loads and prepares, the stored
// direction, Browse, a copy through its button, and what it stores.

#include "tests/support/Doubles.h"
#include "tests/support/TestPrefix.h"
#include "config/WPINI.h"
#include "setup/frmConfig.h"
#include "transfer/frmCopy.h"
#include "ui_frmCopy.h"

#include <QApplication>
#include <QPointer>
#include <QTest>
#include <QTimer>

using platform::Answer;

namespace {

struct Fixture {
    TestPrefix p;
    Quarn_v2::SuiteState state;
    ScriptedPrompter script;
    QPointer<frmConfig> config;
    int configShown = 0;
    std::unique_ptr<frmCopy> dialog;

    explicit Fixture(const QByteArray& preferences = {}, const char* networkData = "D:\\N",
                     const char* localData = "C:\\L") {
        for (const char* d : {"second/N/data", "second/N/S", "prefix/drive_c/L/data/data", "prefix/drive_c/L/S"})
            p.makeDir(p.at(d));
        p.write(p.driveC() + "/VALUATOR/QUARN2.INI",
                "[LOCAL]\r\nQXADATADIR=" + QByteArray(localData) + "\r\nQXSDATADIR=C:\\L\\S\r\n"
                "[NETWORK]\r\nQXADATADIR=" + QByteArray(networkData) + "\r\nQXSDATADIR=D:\\N\\S\r\n"
                "[PREFERENCES]\r\n" + preferences);
        Quarn_v2::InitialiseSuite(state);
        dialog = std::make_unique<frmCopy>(state, nullptr, [this]() -> frmConfig& {
            if (!config)
                config = new frmConfig(state, nullptr);
            return *config;
        });
    }
    ~Fixture() {
        dialog.reset();
        delete config;
    }
    Ui::frmCopy* ui() const { return dialog->ui(); }
    QStringList texts() const {
        QStringList t;
        for (const auto& m : script.shown())
            t << m.text;
        return t;
    }
};

} // namespace

class TestFrmCopy : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void layoutAndStart() {
        Fixture f;
        QCOMPARE(f.dialog->windowTitle(), u"Quarn - Select data to transfer");
        QCOMPARE(f.ui()->client->size(), QSize(388, 502));
        QVERIFY(!f.ui()->cmdcopy0->isEnabled() && !f.ui()->cmdcopy1->isEnabled());
        QCOMPARE(f.ui()->cmdcopy0->geometry(), f.ui()->cmdcopy1->geometry());
        QCOMPARE(f.dialog->networkTarget(), u"D:\\N\\data");
        QCOMPARE(f.dialog->localTarget(), u"C:\\L\\data");
        QCOMPARE(f.dialog->SelectedSketchOption(), 0); // nothing stored: none set
        QVERIFY(!f.ui()->optsketch0->isChecked());
        QVERIFY(f.ui()->optCopy0->isChecked());
    }

    void storedDirection_data() {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<int>("direction");
        QTest::newRow("absent") << QByteArray() << 0;
        QTest::newRow("blank") << QByteArray("COPYNETWORK2LOCAL= \r\n") << 0;
        QTest::newRow("2 is not zero") << QByteArray("COPYNETWORK2LOCAL=2\r\n") << 1;
        QTest::newRow("0.4 rounds to zero") << QByteArray("COPYNETWORK2LOCAL=0.4\r\n") << 0;
    }
    void storedDirection() {
        QFETCH(QByteArray, stored);
        QFETCH(int, direction);
        Fixture f(stored);
        // Loading alone already shows the Copy of the loaded direction.
        QCOMPARE(f.ui()->cmdcopy1->isVisibleTo(f.dialog.get()), f.ui()->optCopy1->isChecked());
        QCOMPARE(f.ui()->cmdcopy0->isVisibleTo(f.dialog.get()), !f.ui()->optCopy1->isChecked());
        f.dialog->show();
        f.dialog->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f.dialog.get()));
        QCOMPARE(f.ui()->cmdcopy0->isVisible(), direction == 0);
        QCOMPARE(f.ui()->cmdcopy1->isVisible(), direction == 1);
        QCOMPARE(f.ui()->optCopy1->isChecked(), direction == 1);
    }

    void theUsersDirectionSurvivesABox() {
        Fixture f;
        f.dialog->show();
        f.dialog->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f.dialog.get()));
        f.ui()->optCopy1->click();
        // A message box (or the file dialog) closing activates the window again.
        QEvent activate(QEvent::WindowActivate);
        QApplication::sendEvent(f.dialog.get(), &activate);
        QVERIFY(f.ui()->optCopy1->isChecked());
        QVERIFY(f.ui()->cmdcopy1->isVisible());
    }

    void everyWayOutClosesAndStoresOnce_data() {
        QTest::addColumn<int>("way");
        QTest::newRow("Escape") << 0;
        QTest::newRow("Back") << 1;
        QTest::newRow("hidden Cancel") << 2;
        QTest::newRow("close box") << 3;
    }
    void everyWayOutClosesAndStoresOnce() {
        QFETCH(int, way);
        Fixture f;
        f.dialog->show();
        f.ui()->optCopy1->setChecked(true);
        switch (way) {
        case 0: QTest::keyClick(f.dialog.get(), Qt::Key_Escape); break;
        case 1: f.ui()->PushButton1->click(); break;
        case 2: f.ui()->cmdCancel->click(); break;
        default: f.dialog->close();
        }
        QVERIFY(!f.dialog->isVisible());
        const QString ini = "C:\\VALUATOR\\QUARN2.INI";
        QCOMPARE(WPINI::ReadIni(ini, "PREFERENCES", "COPYNETWORK2LOCAL", "-"), u"1");
        WPINI::WriteIni(ini, "PREFERENCES", "COPYNETWORK2LOCAL", "x");
        f.dialog->close(); // closed already: nothing more is stored
        QCOMPARE(WPINI::ReadIni(ini, "PREFERENCES", "COPYNETWORK2LOCAL", "-"), u"x");
    }

    void theKeyboardNeverReachesHiddenOptions() {
        Fixture f;
        f.dialog->show();
        f.dialog->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f.dialog.get()));
        for (QRadioButton* hidden : {f.ui()->optsketch2, f.ui()->optsketch3, f.ui()->optsketch4}) {
            QCOMPARE(hidden->focusPolicy(), Qt::NoFocus);
            QVERIFY(QApplication::focusWidget() != hidden);
        }
        QTest::keyClick(f.dialog.get(), Qt::Key_Space); // whatever has the focus
        QVERIFY(!f.ui()->optsketch2->isChecked());
    }

    void hiddenApexOptionsLoadAndWin() {
        Fixture f("SKETCHAPEX3=1\r\nSKETCHQXS=1\r\n");
        QVERIFY(f.ui()->optsketch4->isChecked() && f.ui()->optsketch5->isChecked());
        // Apex Medina loads after Plandraw32 in its group and clears it; the
        // hidden option 4 then comes first.
        QVERIFY(!f.ui()->optsketch1->isChecked());
        QCOMPARE(f.dialog->SelectedSketchOption(), 4);
    }

    void closingStoresOptionsInCreationOrder() {
        Fixture f;
        f.dialog->show();
        f.ui()->optCopy1->setChecked(true);
        f.ui()->optsketch5->setChecked(true); // option 4 stays clear: 5 is written last
        f.dialog->close();
        const QString ini = "C:\\VALUATOR\\QUARN2.INI";
        QCOMPARE(WPINI::ReadIni(ini, "PREFERENCES", "COPYNETWORK2LOCAL", "-"), u"1");
        QCOMPARE(WPINI::ReadIni(ini, "PREFERENCES", "COPYLOCAL2NETWORK", "-"), u"0");
        QCOMPARE(WPINI::ReadIni(ini, "PREFERENCES", "SKETCHAPEX3", "-"), u"1");
        QCOMPARE(WPINI::ReadIni(ini, "PREFERENCES", "SKETCHNONE", "-"), u"0");
    }

    void dataDataCorrection() {
        Fixture f({}, "D:\\N\\data", "C:\\L\\data");
        QCOMPARE(f.dialog->networkTarget(), u"D:\\N\\");
        QCOMPARE(f.dialog->localTarget(), u"C:\\L\\data\\data");
    }

    void unreachableRoots_data() {
        QTest::addColumn<QByteArray>("network");
        QTest::addColumn<QByteArray>("local");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("configShown");
        QTest::newRow("network") << QByteArray("Q:\\NONE") << QByteArray("C:\\L")
                                 << "Unable to connect to network Directory: Q:\\NONE" << 0;
        QTest::newRow("local") << QByteArray("D:\\N") << QByteArray("Q:\\NONE")
                               << "Unable to connect to local Directory: Q:\\NONE" << 0;
        QTest::newRow("parent there, folder not") << QByteArray("D:\\N\\W") << QByteArray("C:\\L")
                                                  << "Configuration settings invalid, please check setup" << 1;
    }
    void unreachableRoots() {
        QFETCH(QByteArray, network);
        QFETCH(QByteArray, local);
        QFETCH(QString, message);
        QFETCH(int, configShown);
        // The Settings dialog opens modally; close it as soon as it shows.
        int shown = 0;
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                ++shown;
                modal->close();
            }
        });
        closer.start(20);
        Fixture f({}, network.constData(), local.constData());
        QCOMPARE(f.texts(), QStringList{message});
        QCOMPARE(shown, configShown);
    }

    void browse_data() {
        QTest::addColumn<int>("direction");
        QTest::addColumn<QString>("chosen");   // host path under the root, "" cancels
        QTest::addColumn<QString>("start");    // host start folder under the root ("Data\\" found as "data")
        QTest::addColumn<QString>("text");
        QTest::newRow("local side") << 0 << "prefix/drive_c/L/data/smith.rpt" << "prefix/drive_c/L/data" << "C:\\L\\data\\smith.rpt";
        QTest::newRow("network side") << 1 << "second/N/data/brown.rpt" << "second/N/data" << "D:\\N\\data\\brown.rpt";
        QTest::newRow("cancelled") << 0 << "" << "prefix/drive_c/L/data" << "";
        // "C:\\L\\data \\smith.rpt" would be read from "data": the host path reaches it.
        QTest::newRow("a folder Windows reads as another") << 0 << "prefix/drive_c/L/data /smith.rpt" << "prefix/drive_c/L/data"
            << "/prefix/drive_c/L/data /smith.rpt";
    }
    void browse() {
        QFETCH(int, direction);
        QFETCH(QString, chosen);
        QFETCH(QString, start);
        QFETCH(QString, text);
        Fixture f;
        (direction ? f.ui()->optCopy1 : f.ui()->optCopy0)->setChecked(true);
        QString startedIn;
        f.dialog->openReport = [&](const QString& s) {
            startedIn = s;
            return chosen.isEmpty() ? QString() : f.p.at(chosen);
        };
        f.ui()->cmdBrowse->click();
        QCOMPARE(QFileInfo(startedIn).canonicalFilePath(), QFileInfo(f.p.at(start)).canonicalFilePath());
        QCOMPARE(f.ui()->txtDialogResult->text(), text.startsWith(u'/') ? f.p.at(text.mid(1)) : text);
        // Only a change of the text enables the Copy buttons.
        QCOMPARE(f.ui()->cmdcopy0->isEnabled(), !text.isEmpty());
    }

    void copyThroughTheButton() {
        Fixture f;
        f.p.write(f.p.driveC() + "/L/data/smith.rpt", "report");
        f.p.write(f.p.driveC() + "/L/S/SMITH.sk3", "sketch");
        f.ui()->optsketch1->setChecked(true);
        f.ui()->txtDialogResult->setText("C:\\L\\data\\smith.rpt");
        f.ui()->cmdcopy0->click();
        QCOMPARE(f.texts(), QStringList{"File(s) copied successfully"});
        QCOMPARE(TestPrefix::read(f.p.driveD() + "/N/data/SMITH.RPT"), QByteArray("report"));
        QCOMPARE(TestPrefix::read(f.p.driveD() + "/N/S/SMITH.sk3"), QByteArray("sketch"));
        QCOMPARE(f.ui()->cmdCancel->text(), u"Exit");
        QCOMPARE(f.ui()->txtDialogResult->text(), u"");
        QVERIFY(f.ui()->cmdcopy0->isEnabled());
    }

    void anErrorKeepsThePath() {
        Fixture f;
        f.p.write(f.p.driveC() + "/L/data/smith.rpt", "report");
        f.p.write(f.p.driveD() + "/N/data/SMITH.RPT", "old");
        QFile::setPermissions(f.p.driveD() + "/N/data", QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        f.script.push(Answer::Yes);
        f.ui()->txtDialogResult->setText("C:\\L\\data\\smith.rpt");
        f.ui()->cmdcopy0->click();
        QFile::setPermissions(f.p.driveD() + "/N/data", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        if (::geteuid() == 0)
            QSKIP("root writes into a read-only folder");
        QCOMPARE(f.texts().last(), u"Error encountered, ErrNum = Permission denied");
        QCOMPARE(f.ui()->txtDialogResult->text(), u"C:\\L\\data\\smith.rpt");
        QCOMPARE(f.ui()->cmdCancel->text(), u"Cancel");
    }
};

QTEST_MAIN(TestFrmCopy)
#include "tst_frmcopy.moc"
