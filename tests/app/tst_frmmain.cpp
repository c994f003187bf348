// The main window offscreen: every trigger of its table, the close paths,
// the launch image, the second instance and the hover levels.

#include "widgets/AlphaImageControl.h"
#include "platform/DesktopShell.h"
#include "platform/SingleInstance.h"
#include "tests/support/Doubles.h"
#include "tests/support/TestPrefix.h"
#include "config/WPINI.h"
#include "shell/frmAbout.h"
#include "setup/frmConfig.h"
#include "transfer/frmCopy.h"
#include "app/frmMain.h"
#include "ui_frmMain.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLockFile>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QStyleOptionButton>
#include <QTest>
#include <QTimer>

#include <unistd.h>

using platform::Answer;

namespace {

const QByteArray kQuarn2 = "[LOCAL]\r\nQXADATADIR=C:\\L\\A\r\nQXODATADIR=C:\\L\\O\r\n"
                           "[NETWORK]\r\nQXADATADIR=N:\\A\r\nQXODATADIR=N:\\O\r\n";
const QByteArray kOffice = "[Directories]\r\nAppDir=C:\\APP\r\nDataDir=N:\\O\\\r\nUserDir=C:\\U\r\n";

// Where a control's text is drawn: its room, and the text's own rectangle
// laid out in it. Neither is set for a control that shows no text.
struct TextPlace {
    QRect room, text;
};

TextPlace PlaceOfText(QWidget* w) {
    if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        if (b->text().isEmpty())
            return {};
        QStyleOptionButton opt;
        opt.initFrom(b);
        opt.text = b->text();
        const QStyle::SubElement room =
            qobject_cast<QPushButton*>(b)    ? QStyle::SE_PushButtonContents
            : qobject_cast<QRadioButton*>(b) ? QStyle::SE_RadioButtonContents
                                             : QStyle::SE_CheckBoxContents;
        const QRect r = b->style()->subElementRect(room, &opt, b);
        return {
            r, b->fontMetrics().boundingRect(r, Qt::AlignCenter | Qt::TextShowMnemonic, b->text())};
    }
    if (auto* l = qobject_cast<QLabel*>(w)) {
        if (l->text().isEmpty())
            return {};
        QRect r = l->contentsRect().adjusted(l->margin(), l->margin(), -l->margin(), -l->margin());
        if (l->indent() > 0 && (l->alignment() & Qt::AlignLeft))
            r.setLeft(r.left() + l->indent());
        const int wrap = l->wordWrap() ? Qt::TextWordWrap : 0;
        return {r, l->fontMetrics().boundingRect(r, int(l->alignment()) | wrap, l->text())};
    }
    return {};
}

QString Key() {
    return QStringLiteral("quarn-test-%1").arg(::getpid());
}

// A prefix with the suite set up, a prompter and a shell that record.
struct Fixture {
    TestPrefix p;
    ScriptedPrompter script;
    RecordingShell shell;
    std::unique_ptr<frmMain> w;

    Fixture() {
        p.write(p.driveC() + "/VALUATOR/QUARN2.INI", kQuarn2);
        p.write(p.driveC() + "/VALUATOR/OFCKPR.INI", kOffice);
        w = std::make_unique<frmMain>(Key());
        if (!w->Load())
            qFatal("a second instance");
        w->show();
    }
    QString dataDir() const {
        return WPINI::ReadIni(w->state().ProductIniPaths.kav, "Directories", "DataDir", "-");
    }
    QByteArray office() const { return TestPrefix::read(p.driveC() + "/VALUATOR/OFCKPR.INI"); }
};

} // namespace

class TestFrmMain : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void rows_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("dataDir");
        QTest::newRow("imgLocal") << "imgLocal" << "C:\\L\\A";
        QTest::newRow("lblSetLocal") << "lblSetLocal" << "C:\\L\\A";
        QTest::newRow("imgNetwork") << "imgNetwork" << "N:\\A";
        QTest::newRow("Label4") << "Label4" << "N:\\A";
    }
    void rows() {
        QFETCH(QString, control);
        QFETCH(QString, dataDir);
        Fixture f;
        QTest::mouseClick(f.w->findChild<QWidget*>(control), Qt::LeftButton);
        QCOMPARE(f.dataDir(), dataDir);
        QVERIFY(f.w->isVisible());
        QVERIFY(f.script.shown().isEmpty());
    }

    void transferEntriesRunTheDirectoryCheck_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<bool>("reinitialised");
        QTest::newRow("imgTransfer: nothing more") << "imgTransfer" << false;
        QTest::newRow("Label5: start-up again") << "Label5" << true;
        QTest::newRow("mnuFileCopy: start-up again") << "mnuFileCopy" << true;
        QTest::newRow("PushButton2: start-up again") << "PushButton2" << true;
    }
    void transferEntriesRunTheDirectoryCheck() {
        QFETCH(QString, entry);
        QFETCH(bool, reinitialised);
        Fixture f;
        QTest::mouseClick(f.w->ui()->imgLocal, Qt::LeftButton); // stages LOCAL
        WPINI::WriteIni(f.w->state().ProductIniPaths.kav, "Directories", "DataDir", "X:\\BY HAND");
        if (entry == u"mnuFileCopy")
            f.w->ui()->mnuFileCopy->trigger();
        else if (entry == u"PushButton2")
            f.w->ui()->PushButton2->click();
        else
            QTest::mouseClick(f.w->findChild<QWidget*>(entry), Qt::LeftButton);
        // C:\L\A does not exist: one message, the check stops there.
        QCOMPARE(f.script.shown().size(), 1);
        QCOMPARE(f.script.shown()[0].text, u"This directory does not exist. Either correct or remove.");
        QCOMPARE(f.w->state().WorkingSet.txtQXAdataDir, reinitialised ? u"X:\\BY HAND" : u"C:\\L\\A");
    }

    void anyMouseButtonClicksAnImage() {
        Fixture f;
        QTest::mouseClick(f.w->ui()->imgLocal, Qt::RightButton);
        QCOMPARE(f.dataDir(), u"C:\\L\\A");
    }

    void doubleClickSwitchesThenAsks_data() {
        QTest::addColumn<Answer>("answer");
        QTest::newRow("no: keeps running") << Answer::No;
        QTest::newRow("yes: closes") << Answer::Yes;
    }
    void doubleClickSwitchesThenAsks() {
        QFETCH(Answer, answer);
        Fixture f;
        f.script.push(answer);
        // As the desktop sends it: a click, then the double-click.
        QTest::mouseClick(f.w->ui()->imgNetwork, Qt::LeftButton);
        QTest::mouseDClick(f.w->ui()->imgNetwork, Qt::LeftButton);
        QCOMPARE(f.dataDir(), u"N:\\A");
        QCOMPARE(f.script.shown(), (QList<platform::Message>{{"Quarn", "Exit Quarn?",
                                                             platform::Buttons::YesNo,
                                                             platform::Icon::None, 0}}));
        QCOMPARE(f.w->isVisible(), answer == Answer::No);
    }

    void closePathsWriteTheWorkingSet_data() {
        QTest::addColumn<QString>("path");
        QTest::newRow("imgExit") << "imgExit";
        QTest::newRow("lblExit") << "lblExit";
        QTest::newRow("PushButton1") << "PushButton1";
        QTest::newRow("mnuFileExit") << "mnuFileExit";
        QTest::newRow("window close") << "close";
    }
    void closePathsWriteTheWorkingSet() {
        QFETCH(QString, path);
        Fixture f;
        if (path == u"mnuFileExit")
            f.w->ui()->mnuFileExit->trigger();
        else if (path == u"close")
            f.w->close();
        else if (path == u"PushButton1")
            f.w->ui()->PushButton1->click(); // out of sight, as the layout has it
        else
            QTest::mouseClick(f.w->findChild<QWidget*>(path), Qt::LeftButton);
        QVERIFY(!f.w->isVisible());
        // The current set goes back normalised, the office keys from DataDir.
        QCOMPARE(f.office(), QByteArray("[Directories]\r\nAppDir=N:\\O\r\nDataDir=N:\\O\r\nUserDir=N:\\O\r\n"));
        // Once: a second close writes nothing more.
        f.p.write(f.p.driveC() + "/VALUATOR/OFCKPR.INI", kOffice);
        f.w->close();
        QCOMPARE(f.office(), kOffice);
    }

    void launchImageStartsAndEndsWithoutWriting_data() {
        QTest::addColumn<QStringList>("programs"); // under drive_c, with their bytes
        QTest::addColumn<QString>("started");      // empty: nothing
        QTest::newRow("c:\\kav first") << QStringList{"kav/KAV.EXE=MZ", "kav/kav32/kav.exe=MZ"} << "c:\\kav\\Kav.exe";
        QTest::newRow("then c:\\kav\\kav32") << QStringList{"kav/kav32/kav.exe=MZ"} << "c:\\kav\\kav32\\Kav.exe";
        QTest::newRow("zero bytes count as missing") << QStringList{"kav/KAV.EXE=", "kav/kav32/kav.exe=MZ"} << "c:\\kav\\kav32\\Kav.exe";
        QTest::newRow("none: ends silently") << QStringList{} << "";
    }
    void launchImageStartsAndEndsWithoutWriting() {
        QFETCH(QStringList, programs);
        QFETCH(QString, started);
        Fixture f;
        for (const QString& p : programs)
            f.p.write(f.p.driveC() + "/" + p.section(u'=', 0, 0), p.section(u'=', 1).toUtf8());
        QTest::mouseClick(f.w->ui()->imgLaunchQXA, Qt::LeftButton);
        QCOMPARE(f.shell.requests.size(), started.isEmpty() ? 0 : 1);
        if (!started.isEmpty())
            QCOMPARE(f.shell.requests[0], (platform::ShellRequest{"open", started, "", "", 1}));
        QVERIFY(f.script.shown().isEmpty());
        QVERIFY(!f.w->isVisible());
        QCOMPARE(f.office(), kOffice);
    }

    void captionDoubleClickIsOneClick() {
        // Through the window system, as a user double-clicks: press, release,
        // press, double-click, release.
        Fixture f;
        f.p.write(f.p.driveC() + "/VALUATOR/KAV.INI", "[DIRECTORIES]\r\nAPPDIR=C:\\KAV\r\n");
        f.p.write(f.p.driveC() + "/KAV/KAV.EXE", "MZ");
        f.w->InitialiseMainWindow();
        QVERIFY(QTest::qWaitForWindowExposed(f.w.get()));
        QLabel* caption = f.w->ui()->Label6;
        const QPoint at = caption->mapTo(f.w.get(), caption->rect().center());
        QTest::mouseDClick(f.w->windowHandle(), Qt::LeftButton, {}, at);
        QCOMPARE(f.shell.requests.size(), 1);
        // A press that ends outside the caption is no click.
        QTest::mousePress(f.w->windowHandle(), Qt::LeftButton, {}, at);
        QTest::mouseRelease(f.w->windowHandle(), Qt::LeftButton, {}, QPoint(200, 5));
        QCOMPARE(f.shell.requests.size(), 1);
    }

    void launchCaption_data() {
        QTest::addColumn<QByteArray>("kavIni"); // empty: none
        QTest::addColumn<bool>("started");
        QTest::newRow("no KAV.INI") << QByteArray() << false;
        QTest::newRow("without backslash") << QByteArray("[DIRECTORIES]\r\nAPPDIR= C:\\KAV \r\n") << true;
        QTest::newRow("with backslash") << QByteArray("[DIRECTORIES]\r\nAPPDIR=C:\\KAV\\\r\n") << true;
        QTest::newRow("program elsewhere") << QByteArray("[DIRECTORIES]\r\nAPPDIR=C:\\OTHER\r\n") << false;
    }
    void launchCaption() {
        QFETCH(QByteArray, kavIni);
        QFETCH(bool, started);
        TestPrefix p;
        if (!kavIni.isEmpty())
            p.write(p.driveC() + "/VALUATOR/KAV.INI", kavIni);
        p.write(p.driveC() + "/KAV/KAV.EXE", "MZ");
        p.write(p.driveC() + "/OTHER/KAV.EXE", ""); // zero bytes: missing
        ScriptedPrompter script;
        RecordingShell shell;
        frmMain w(Key());
        QVERIFY(w.Load());
        QTest::mouseClick(w.ui()->Label6, Qt::LeftButton);
        QCOMPARE(shell.requests.size(), started ? 1 : 0);
        if (started)
            QCOMPARE(shell.requests[0].target, u"C:\\KAV\\Kav.exe");
        else
            QCOMPARE(script.shown(),
                     (QList<platform::Message>{{"Unable to Open Program",
                                                "Unable to Launch the Appraisal Program. Check to verify the program is installed and functioning properly",
                                                platform::Buttons::Ok, platform::Icon::None, 0}}));
    }

    void dialogsOpenModally_data() {
        QTest::addColumn<QString>("menu");
        QTest::addColumn<QString>("title");
        QTest::newRow("About") << "mnuAbout" << "About Quarn";
        QTest::newRow("Configuration") << "mnuSetupConfig" << "Settings";
    }
    void dialogsOpenModally() {
        QFETCH(QString, menu);
        QFETCH(QString, title);
        Fixture f;
        QString seen;
        QTimer::singleShot(50, [&] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                seen = modal->windowTitle();
                modal->close();
            }
        });
        f.w->findChild<QAction*>(menu)->trigger();
        QCOMPARE(seen, title);
    }

    void programHelpOpensTheHelpFile() {
        Fixture f;
        f.w->ui()->mnuProgHelp->trigger();
        QCOMPARE(f.shell.requests, (QList<platform::ShellRequest>{{"open", "quarn.chm", "", "", 1}}));
    }

    // The desktop's own shell, started where the help file lies (as the
    // desktop entry starts Quarn), on a desktop without a help viewer.
    void programHelpWithoutAViewerSaysSo() {
        Fixture f;
        platform::DesktopShell desktop;
        platform::ScopedShell useDesktop(desktop);
        const ScopedXdgDirs xdg(f.p.at("xdg"));
        f.p.write(f.p.at("share/quarn/quarn.chm"), "ITSF");
        const QString saved = QDir::currentPath();
        QVERIFY(QDir::setCurrent(f.p.at("share/quarn")));
        f.w->ui()->mnuProgHelp->trigger();
        QVERIFY(QDir::setCurrent(saved));
        QCOMPARE(f.script.shown(),
                 (QList<platform::Message>{{"Quarn", "No application is associated with this file type.",
                                            platform::Buttons::Ok, platform::Icon::Information, 0}}));
    }

    void secondInstanceSaysSoAndWritesNothing() {
        TestPrefix p;
        platform::SingleInstance first(Key() + "-second");
        QVERIFY(!first.anotherIsRunning());
        ScriptedPrompter script;
        frmMain w(Key() + "-second");
        QVERIFY(!w.Load());
        QCOMPARE(script.shown(),
                 (QList<platform::Message>{{"Program Already Running in Memory",
                                            "The current application is already running in memory. If the application is not visible, please end the existing process in the Windows Task Manager.",
                                            platform::Buttons::Ok, platform::Icon::None, 0}}));
        w.close();
        QVERIFY(TestPrefix::entries(p.driveC() + "/VALUATOR").isEmpty()); // not even the marker
    }

    void aLockWithoutAnAnswerIsStale() {
        platform::SingleInstance first(Key() + "-stale");
        QVERIFY(!first.anotherIsRunning());
        // Many later starts are refused, and quickly: each probe is answered.
        for (int i = 0; i < 100; ++i) {
            platform::SingleInstance later(Key() + "-stale");
            QVERIFY(later.anotherIsRunning());
            QCoreApplication::processEvents();
        }
        QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
        QLockFile held((dir.isEmpty() ? QDir::tempPath() : dir) + "/" + Key() + "-mute.lock");
        QVERIFY(held.tryLock(0)); // a lock whose holder has no socket
        platform::SingleInstance next(Key() + "-mute");
        QVERIFY(!next.anotherIsRunning());
    }

    void hoverLevels() {
        Fixture f;
        AlphaImageControl* img = f.w->ui()->imgTransfer;
        QCOMPARE(img->displayLevel(), 75);
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QApplication::sendEvent(img, &enter);
        QCOMPARE(img->displayLevel(), 100);
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(img, &leave);
        QCOMPARE(img->displayLevel(), 75);
    }

    // With the fonts this machine has, plain and skinned, every text a window
    // shows lies whole in its control, and every control the window shows in
    // part lies whole inside it. A label may run past the edge (the version
    // does) as long as its text does not.
    void textsFitTheirWindows_data() {
        QTest::addColumn<QString>("window");
        QTest::addColumn<bool>("skinned");
        for (const char* window : {"main", "config", "transfer", "about"})
            for (bool skinned : {false, true})
                QTest::addRow("%s%s", window, skinned ? " skinned" : "") << window << skinned;
    }
    void textsFitTheirWindows() {
        QFETCH(QString, window);
        QFETCH(bool, skinned);
        Fixture f;
        if (skinned) {
            f.w->skin().LoadSkin(QStringLiteral(QUARN_SKIN_FILE));
            QVERIFY(f.w->skin().loaded());
            f.w->skin().ApplyWindow(f.w.get());
        }
        std::unique_ptr<QWidget> own;
        QWidget* shown = f.w.get();
        if (window == "config") {
            shown = &f.w->Config();
        } else if (window == "transfer") {
            own = std::make_unique<frmCopy>(f.w->state(), &f.w->skin(),
                                            [&]() -> frmConfig& { return f.w->Config(); });
            shown = own.get();
        } else if (window == "about") {
            own = std::make_unique<frmAbout>(&f.w->skin());
            shown = own.get();
        }
        shown->show();
        QVERIFY(QTest::qWaitForWindowExposed(shown));
        const QRect inside = shown->rect();
        int seen = 0;
        for (QWidget* c : shown->findChildren<QWidget*>()) {
            const QRect at(c->mapTo(shown, QPoint()), c->size());
            // Controls placed beyond the edges are never displayed.
            if (!c->isVisibleTo(shown) || !inside.intersects(at) || c->isWindow())
                continue;
            const QString name = c->objectName();
            if (!qobject_cast<QLabel*>(c))
                QVERIFY2(inside.contains(at), qPrintable(name + " runs past the window's edge"));
            const TextPlace place = PlaceOfText(c);
            if (place.text.isNull())
                continue;
            ++seen;
            // A line's height holds a pixel of leading no glyph reaches.
            QVERIFY2(place.room.adjusted(0, -1, 0, 1).contains(place.text),
                     qPrintable(name + " cuts off its text"));
            QVERIFY2(inside.contains(place.text.translated(at.topLeft())),
                     qPrintable(name + "'s text runs past the window's edge"));
        }
        QVERIFY(seen >= 4);
    }

    void layoutAsDrawn() {
        Fixture f;
        const Ui::frmMain* ui = f.w->ui();
        QCOMPARE(f.w->windowTitle(), u"Quarn");
        QCOMPARE(f.w->centralWidget()->size(), QSize(211, 389));
        QCOMPARE(ui->imgLocal->geometry(), QRect(8, 8, 58, 58));
        QCOMPARE(ui->imgLaunchQXA->geometry(), QRect(8, 248, 56, 56));
        QCOMPARE(ui->Label6->text(), u"Open Appraisal               Software");
        QCOMPARE(ui->Label5->font().pointSizeF(), 12.0);
        QCOMPARE(ui->lblExit->font().pointSizeF(), 9.75);
        QVERIFY(ui->lblExit->font().bold());
        QStringList menus;
        for (QAction* a : f.w->menuBar()->actions()) {
            menus << a->text();
            for (QAction* item : a->menu()->actions())
                menus << "  " + (item->isSeparator() ? QStringLiteral("-") : item->text());
        }
        QCOMPARE(menus, (QStringList{"File", "  Copy Files", "  -", "  Exit", "Setup",
                                     "  Configuration", "Help", "  Program Help", "  About"}));
    }
};

QTEST_MAIN(TestFrmMain)
#include "tst_frmmain.moc"
