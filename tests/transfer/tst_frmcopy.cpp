// The transfer dialog offscreen: the folders it prepares, the stored
// direction and its Copy button, the options it stores, Browse's start and
// result, and what a copy through its button leaves in the dialog.

#include "config/WPINI.h"
#include "setup/frmConfig.h"
#include "tests/support/Cases.h"
#include "tests/support/Doubles.h"
#include "tests/support/TestPrefix.h"
#include "transfer/frmCopy.h"
#include "ui_frmCopy.h"

#include <QApplication>
#include <QTest>

struct Fixture {
    TestPrefix p;
    Quarn_v2::SuiteState state;
    ScriptedPrompter script;
    std::unique_ptr<frmConfig> config; // loaded unseen on demand, never closed here
    std::unique_ptr<frmCopy> dialog;

    explicit Fixture(const QByteArray& preferences = {}, const QString& network = "D:\\N",
                     const QString& local = "C:\\L") {
        for (const char* d :
             {"second/N/data", "second/N/S", "prefix/drive_c/L/data/data", "prefix/drive_c/L/S"})
            p.makeDir(p.at(d));
        p.write(p.driveC() + "/VALUATOR/QUARN2.INI",
                "[LOCAL]\r\nQXADATADIR=" + local.toLatin1() +
                    "\r\nQXSDATADIR=C:\\L\\S\r\n[NETWORK]\r\nQXADATADIR=" + network.toLatin1() +
                    "\r\nQXSDATADIR=D:\\N\\S\r\n[PREFERENCES]\r\n" + preferences);
        Quarn_v2::InitialiseSuite(state);
        dialog = std::make_unique<frmCopy>(state, nullptr, [this]() -> frmConfig& {
            return config ? *config : *(config = std::make_unique<frmConfig>(state, nullptr));
        });
    }
    Ui::frmCopy* ui() const { return dialog->ui(); }
    QString preference(const char* key) const {
        return WPINI::ReadIni("C:\\VALUATOR\\QUARN2.INI", "PREFERENCES", key, "-");
    }
};

class TestFrmCopy : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // An appraisal folder that cannot be reached ends loading with a message.
    void load_data() { AddCases("transfer/load.txt", "message"); }
    void load() {
        QFETCH(Row, row);
        Fixture f({}, row["network"], row["local"]);
        QCOMPARE(f.script.shown().value(0).text, row["message"]);
    }

    // The stored options from loading to closing: the direction applied as
    // the dialog shows, and the sketch option a copy takes (the hidden Apex
    // Medina loads after Plandraw32 in its group and clears it, and option 4
    // comes first).
    void storedOptions_data() { AddCases("transfer/stored_options.txt", "name"); }
    void storedOptions() {
        QFETCH(Row, row);
        const bool toLocal = row["to_laptop"] == u"1";
        Fixture f(row["stored"].toLatin1() + "\r\n");
        QCOMPARE(f.dialog->SelectedSketchOption(), row["sketch"].toInt());
        f.dialog->show();
        f.dialog->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f.dialog.get()));
        QCOMPARE(f.ui()->optCopy1->isChecked(), toLocal);
        QCOMPARE(f.ui()->cmdcopy1->isVisible(), toLocal);
        // The user's choice survives a message box (or the file dialog) closing.
        (toLocal ? f.ui()->optCopy0 : f.ui()->optCopy1)->click();
        QEvent activate(QEvent::WindowActivate);
        QApplication::sendEvent(f.dialog.get(), &activate);
        QCOMPARE(f.ui()->cmdcopy1->isVisible(), !toLocal);
        // The keyboard never reaches the hidden Apex options.
        const QList<QWidget*> hidden{f.ui()->optsketch2, f.ui()->optsketch3, f.ui()->optsketch4};
        for (int i = 0; i < 12; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QVERIFY(!hidden.contains(QApplication::focusWidget()));
        }
        // Closing stores the options in the order they were created: Apex
        // Medina's key after the hidden option 4's, which it shares.
        f.ui()->optsketch5->setChecked(true);
        f.dialog->close();
        QCOMPARE(QStringList({f.preference("COPYNETWORK2LOCAL"), f.preference("SKETCHAPEX3"),
                              f.preference("SKETCHNONE")}),
                 (QStringList{toLocal ? "0" : "1", "1", "0"}));
        WPINI::WriteIni("C:\\VALUATOR\\QUARN2.INI", "PREFERENCES", "SKETCHNONE", "x");
        f.dialog->reject(); // closed already: nothing more is stored
        QCOMPARE(f.preference("SKETCHNONE"), u"x");
    }

    // Cases: name, direction, the report chosen and the folder Browse starts
    // in (host paths under the root; "Data\\" found as "data"), the path shown
    // ("/": the host path), 1 when the target is a link loop, the message.
    // A copy clears the path; an error keeps it for another try.
    void browseAndCopy_data() { AddCases("transfer/browse_and_copy.txt", "name"); }
    void browseAndCopy() {
        QFETCH(Row, row);
        const QString report = row["report"];
        const bool toLaptop = row["to_laptop"] == u"1", loop = row["loop"] == u"1";
        Fixture f;
        f.p.write(f.p.at(report), "report");
        if (loop)
            QVERIFY(QFile::link("SMITH.RPT", f.p.driveD() + "/N/data/SMITH.RPT"));
        (toLaptop ? f.ui()->optCopy1 : f.ui()->optCopy0)->setChecked(true);
        QString startedIn;
        f.dialog->openReport = [&](const QString& start) {
            startedIn = start;
            return f.p.at(report);
        };
        f.ui()->cmdBrowse->click();
        QCOMPARE(QFileInfo(startedIn).canonicalFilePath(),
                 QFileInfo(f.p.at(row["browse_in"])).canonicalFilePath());
        const QString shown = row["shown"] == u"/" ? f.p.at(report) : row["shown"];
        QCOMPARE(f.ui()->txtDialogResult->text(), shown);
        (toLaptop ? f.ui()->cmdcopy1 : f.ui()->cmdcopy0)->click();
        QCOMPARE(f.script.shown().value(0).text, row["message"]);
        QCOMPARE(f.ui()->txtDialogResult->text(), loop ? shown : QString());
        QCOMPARE(f.ui()->cmdCancel->text(), loop ? u"Cancel" : u"Exit"); // the hidden Cancel
    }
};

QTEST_MAIN(TestFrmCopy)
#include "tst_frmcopy.moc"
