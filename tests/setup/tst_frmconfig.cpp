// The Settings dialog offscreen: the texts it proposes, its focus, the
// check's order, what Save and the invisible Exit write, and which
// directories count as existing.

#include "setup/frmConfig.h"
#include "tests/support/Cases.h"
#include "tests/support/Doubles.h"
#include "tests/support/TestPrefix.h"
#include "ui_frmConfig.h"

#include <QFocusEvent>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTest>

const QByteArray kUntouched = "[PREFERENCES]\r\nk=1\r\n";

struct Fixture {
    TestPrefix p;
    Quarn_v2::SuiteState state;
    ScriptedPrompter script;
    QPointer<frmConfig> dialog;

    Fixture() {
        p.makeDir(p.driveD() + "/N");
        p.write(p.driveC() + "/L/FILE.TXT", "x");
        p.write(p.driveC() + "/VALUATOR/QUARN2.INI", kUntouched);
        Quarn_v2::InitialiseSuite(state);
        dialog = new frmConfig(state, nullptr);
        dialog->show();
    }
    ~Fixture() { delete dialog; }
    Ui::frmConfig* ui() const { return dialog->ui(); }
    // Closing unloads the dialog once deferred deletes have run.
    bool unloaded() const {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return dialog.isNull();
    }
    QByteArray file() const { return TestPrefix::read(p.driveC() + "/VALUATOR/QUARN2.INI"); }
    // Every field: the NETWORK column one text, the LOCAL column another.
    void fill(const QString& network, const QString& local) {
        for (QLineEdit* e : dialog->findChildren<QLineEdit*>())
            e->setText(e->objectName().startsWith(u"txtNetwork") ? network : local);
    }
};

class TestFrmConfig : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Cases: name, local text, network text, how the focus comes (a visit,
    // back to the window, back from a menu), the local text afterwards.
    void fillLocalDefault_data() { AddCases("setup/fill_local_default.txt", "name"); }
    void fillLocalDefault() {
        QFETCH(Row, row);
        Fixture f;
        f.ui()->txtLocalQXPPdataDir->setText(row["local"]);
        f.ui()->txtNetworkQXPPdataDir->setText(row["network"]);
        const QString focus = row["focus"];
        QFocusEvent in(QEvent::FocusIn, focus == u"window" ? Qt::ActiveWindowFocusReason
                                        : focus == u"menu" ? Qt::PopupFocusReason
                                                           : Qt::TabFocusReason);
        QApplication::sendEvent(f.ui()->txtLocalQXPPdataDir, &in);
        QCOMPARE(f.ui()->txtLocalQXPPdataDir->text(), row["after"]);
    }

    void saveWritesInOrderAndLetterCase() {
        Fixture f;
        f.fill("D:\\N", "C:\\L\\");
        f.ui()->txtLocalQXCdataDir->setText("C:\\L");   // row 8: copied, not written
        f.ui()->txtLocalQXopDataDir->setText("C:\\OP"); // row 10: neither
        f.ui()->cmdSaveChanges->click();
        QCOMPARE(f.file(), TestPrefix::read(QUARN_TESTS_DIR "/setup/saved.ini"));
        // The sets take the texts as they are.
        QCOMPARE(QStringList({f.state.LocalSet.QXADATADIR, f.state.LocalSet.QXCDATADIR,
                              f.state.NetworkSet.QXSDATADIR}),
                 (QStringList{"C:\\L\\", "C:\\L", "D:\\N"}));
    }

    // Cases: name, button, the field reported ("" none), the fields that
    // fail. The check stops at the first failing field in its order with one
    // message; Save then writes nothing and stays, with the focus there;
    // the invisible Exit closes all the same.
    void checkOrder_data() { AddCases("setup/check_order.txt", "name"); }
    void checkOrder() {
        QFETCH(Row, row);
        Fixture f;
        f.fill("D:\\N", "C:\\L");
        for (const QString& name : row.rest("failing"))
            f.dialog->findChild<QLineEdit*>(name)->setText("Q:\\NODRIVE");
        const bool fails = !row["reported"].isEmpty(), save = row["button"] == u"Save";
        (save ? f.ui()->cmdSaveChanges : f.ui()->cmdExit)->click();
        QCOMPARE(f.dialog->failedField() ? f.dialog->failedField()->objectName() : QString(),
                 row["reported"]);
        QCOMPARE(f.script.shown().size(), fails ? 1 : 0);
        QCOMPARE(f.file() == kUntouched, fails);
        if (fails && save)
            QCOMPARE(f.dialog->focusWidget(), f.dialog->failedField());
        QCOMPARE(f.unloaded(), !fails || !save);
    }

    void tabOrder() {
        Fixture f;
        QStringList visited{f.dialog->focusWidget()->objectName()};
        for (int i = 0; i < 23; ++i) {
            QTest::keyClick(f.dialog->focusWidget(), Qt::Key_Tab);
            visited << f.dialog->focusWidget()->objectName();
        }
        const QString expected =
            QString::fromUtf8(TestPrefix::read(QUARN_TESTS_DIR "/setup/tab_order.txt"));
        QCOMPARE(visited.join(u' '),
                 QString(expected).remove(QRegularExpression("#[^\n]*")).simplified());
    }

    // Cases: name, Windows path, 1 when it counts as an existing directory.
    void directoryExists_data() { AddCases("setup/directory_exists.txt", "name"); }
    void directoryExists() {
        QFETCH(Row, row);
        Fixture f;
        f.p.write(f.p.share() + "/.hidden", "x");
        f.p.makeDir(f.p.root() + "/empty");
        QVERIFY(QFile::link(f.p.root() + "/empty", f.p.prefix() + "/dosdevices/f:"));
        QCOMPARE(frmConfig::DirectoryExists(row["directory"]), row["exists"] == u"1");
    }
};

QTEST_MAIN(TestFrmConfig)
#include "tst_frmconfig.moc"
