// The main window offscreen, for what a user cannot see from outside: the
// start-up run again after a failed check, which program a launch entry
// starts, the stale lock, and whether every text lies whole in its control.
// The entries themselves, and the shutdown write, are driven end to end.

#include "about/frmAbout.h"
#include "app/frmMain.h"
#include "config/WPINI.h"
#include "office/Texts.h"
#include "office/windows/OfficeShareDialog.h"
#include "platform/desktop/SingleInstance.h"
#include "platform/files/FileLock.h"
#include "setup/PrefixDialog.h"
#include "setup/frmConfig.h"
#include "tests/support/Cases.h"
#include "tests/support/Doubles.h"
#include "tests/support/TestPrefix.h"
#include "transfer/frmCopy.h"
#include "ui_OfficeShareDialog.h"
#include "ui_frmMain.h"
#include "widgets/AlphaImageControl.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLocalServer>
#include <QLockFile>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStyleOptionButton>
#include <QSysInfo>
#include <QTest>

#include <pwd.h>
#include <unistd.h>

// The room a control gives its text and the text as laid out in it; null
// for a control without text. The forms hold push, radio and check buttons.
static std::pair<QRect, QRect> PlaceOfText(QWidget* w) {
    auto* b = qobject_cast<QAbstractButton*>(w);
    auto* l = qobject_cast<QLabel*>(w);
    const QString text = b ? b->text() : l ? l->text() : QString();
    if (text.isEmpty())
        return {};
    if (b) {
        QStyleOptionButton opt;
        opt.initFrom(b);
        opt.text = text;
        const auto element = qobject_cast<QPushButton*>(b) ? QStyle::SE_PushButtonContents
                             : qobject_cast<QCheckBox*>(b) ? QStyle::SE_CheckBoxContents
                                                           : QStyle::SE_RadioButtonContents;
        const QRect r = b->style()->subElementRect(element, &opt, b);
        return {r, b->fontMetrics().boundingRect(r, Qt::AlignCenter | Qt::TextShowMnemonic, text)};
    }
    QRect r = l->contentsRect().adjusted(l->margin(), l->margin(), -l->margin(), -l->margin());
    if (l->indent() > 0 && (l->alignment() & Qt::AlignLeft))
        r.setLeft(r.left() + l->indent());
    return {r, l->fontMetrics().boundingRect(
                   r, int(l->alignment()) | (l->wordWrap() ? Qt::TextWordWrap : 0), text)};
}

const QString kKey = QStringLiteral("quarn-test-%1").arg(::getpid());

// A prefix with the suite set up and the given files under drive_c
// ("path=bytes"), a prompter and a shell that record, the window shown.
struct Fixture {
    TestPrefix p;
    ScriptedPrompter script;
    RecordingShell shell;
    std::unique_ptr<frmMain> w;

    explicit Fixture(const QStringList& files = {}) {
        p.write(p.driveC() + "/VALUATOR/QUARN2.INI",
                "[LOCAL]\r\nQXADATADIR=C:\\L\\A\r\nQXODATADIR=C:\\L\\O\r\n"
                "[NETWORK]\r\nQXADATADIR=N:\\A\r\nQXODATADIR=N:\\O\r\n");
        for (const QString& file : files)
            p.write(p.driveC() + "/" + file.section(u'=', 0, 0), file.section(u'=', 1).toUtf8());
        w = std::make_unique<frmMain>(kKey);
        w->Load();
        w->show();
    }
};

class TestFrmMain : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Cases: name, entry, the program started, boxes shown, the appraisal
    // directory in force afterwards, 1 when Quarn goes on, the files. After a
    // switch to LOCAL (C:\L\A does not exist) and DataDir edited by hand.
    void entries_data() { AddCases("app/entries.txt", "name"); }
    void entries() {
        QFETCH(Row, row);
        Fixture f(row.rest("files"));
        QTest::mouseClick(f.w->ui()->imgLocal, Qt::RightButton); // any button switches
        WPINI::WriteIni(f.w->state().ProductIniPaths.kav, "Directories", "DataDir", "X:\\BY HAND");
        QTest::mouseClick(f.w->findChild<QWidget*>(row["entry"]), Qt::LeftButton);
        const QString started =
            f.shell.requests.isEmpty() ? QString() : f.shell.requests.last().target;
        QCOMPARE((QStringList{started, QString::number(f.script.shown().size()),
                              f.w->state().WorkingSet.txtQXAdataDir, f.w->isVisible() ? "1" : "0"}),
                 row.fields({"started", "boxes", "datadir", "running"}));
    }

    // The buttons show the pictures the build decoded, pixel for pixel what
    // their PNGs decode to; a file that is not one of them shows nothing.
    void buttonsShowTheirPictures() {
        Fixture f;
        const Ui::frmMain& ui = *f.w->ui();
        for (AlphaImageControl* img :
             {ui.imgLocal, ui.imgNetwork, ui.imgTransfer, ui.imgLaunchQXA, ui.imgExit}) {
            const QString png =
                QUARN_ICONS_DIR "/" + QFileInfo(img->imageFile()).completeBaseName() + ".png";
            const QImage decoded = QImage(png).convertToFormat(QImage::Format_ARGB32_Premultiplied);
            QVERIFY2(!decoded.isNull(), qPrintable(png));
            QCOMPARE(AlphaImageControl::LoadPicture(img->imageFile()).toImage(), decoded);
        }
        const QByteArray whole = TestPrefix::read(ui.imgExit->imageFile());
        QVERIFY(whole.size() > 1);
        f.p.write(f.p.at("cut.argb"), whole.chopped(1));
        QVERIFY(AlphaImageControl::LoadPicture(f.p.at("cut.argb")).isNull());
    }

    void aLockWithoutAnAnswerIsStale() {
        platform::SingleInstance first(kKey + "-stale");
        QVERIFY(!first.anotherIsRunning());
        // Many later starts are refused, and quickly: each probe is answered.
        for (int i = 0; i < 100; ++i) {
            QVERIFY(platform::SingleInstance(kKey + "-stale").anotherIsRunning());
            QCoreApplication::processEvents();
        }
        QLockFile held(platform::PrivateRuntimeFolder() + "/" + kKey + "-mute.lock");
        QVERIFY(held.tryLock(0)); // a lock whose holder has no socket
        QVERIFY(!platform::SingleInstance(kKey + "-mute").anotherIsRunning());
    }

    // A lock file left behind, even one naming a live Quarn, holds nothing:
    // the start takes the lock itself, and lets it go with the file.
    void aLockFileLeftBehindIsTaken() {
        const QString key = kKey + "-left";
        const QByteArray path =
            QFile::encodeName(platform::PrivateRuntimeFolder() + "/" + key + ".lock");
        QFile left(QFile::decodeName(path));
        QVERIFY(left.open(QIODevice::WriteOnly | QIODevice::Truncate));
        left.write(QByteArray::number(QCoreApplication::applicationPid()) + '\n' +
                   QFileInfo(QCoreApplication::applicationFilePath()).fileName().toUtf8() + '\n' +
                   QSysInfo::machineHostName().toUtf8() + '\n');
        left.close();
        {
            platform::SingleInstance first(key);
            QVERIFY(!first.anotherIsRunning());
            const int fd = platform::TakeLockFile(path);
            if (fd >= 0)
                ::close(fd);
            QCOMPARE(fd, -1);
            QVERIFY(platform::SingleInstance(key).anotherIsRunning());
        }
        QVERIFY(!QFileInfo::exists(QFile::decodeName(path)));
        platform::SingleInstance next(key);
        QVERIFY(!next.anotherIsRunning());
    }

    // Without $XDG_RUNTIME_DIR, and with Qt's own fallback folder taken by
    // another user, a lock and socket planted in the temporary folder keep
    // no one from starting. Where no private folder exists it starts unchecked.
    void onlyAPrivateFolderHoldsTheCheck_data() { AddCases("app/private_folder.txt"); }
    void onlyAPrivateFolderHoldsTheCheck() {
        QFETCH(Row, row);
        const bool taken = row["taken"] == u"1";
        if (QFileInfo::exists("/run/user/" + QString::number(::geteuid())))
            QSKIP("the session's runtime folder stands in for an unset one");
        TestPrefix tmp;
        const ScopedEnv dirs({{"XDG_RUNTIME_DIR", ""}, {"TMPDIR", tmp.root()}});
        const QString key = kKey + "-planted";
        QLockFile planted(tmp.root() + "/" + key + ".lock");
        QVERIFY(planted.tryLock(0));
        QLocalServer squatter;
        QVERIFY(squatter.listen(tmp.root() + "/" + key + ".socket"));
        if (!GiveAway(tmp.root() + "/runtime-" +
                      QString::fromLocal8Bit(::getpwuid(::geteuid())->pw_name)) ||
            (taken && !GiveAway(tmp.root() + "/quarn-" + QString::number(::geteuid()))))
            QSKIP("another user's folder needs root");
        if (taken)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("single-instance check"));
        QVERIFY(!platform::SingleInstance(key).anotherIsRunning());
    }

    // With the fonts this machine has, plain and skinned, every text a window
    // shows lies whole in its control and inside the window. (A label's box
    // may run past the edge, as the version's does.)
    void textsFitTheirWindows_data() { AddCases("app/texts_fit.txt"); }
    void textsFitTheirWindows() {
        QFETCH(Row, row);
        Fixture f;
        if (row["skinned"] == u"1") {
            f.w->skin().LoadSkin(QStringLiteral(QUARN_SKIN_FILE));
            QVERIFY(f.w->skin().loaded());
            f.w->skin().ApplyWindow(f.w.get());
        }
        frmCopy transfer(f.w->state(), &f.w->skin(), [&]() -> frmConfig& { return f.w->Config(); });
        frmAbout about(&f.w->skin());
        PrefixDialog prefix(platform::SearchPrefixes(QDir::homePath()), {}, &f.w->skin());
        OfficeShareDialog share(f.w->state(), {}, &f.w->skin());
        share.ui()->lblMessage->setText(Texts::ShareNoGvfs()); // one of the longest
        share.ui()->lblMessage->show();
        const QStringList names{"main", "config", "transfer", "about", "prefix", "share"};
        QWidget* shown = QList<QWidget*>{f.w.get(), &f.w->Config(), &transfer,
                                         &about,    &prefix,        &share}[names.indexOf(
            row["window"])];
        shown->show();
        QVERIFY(QTest::qWaitForWindowExposed(shown));
        for (QWidget* c : shown->findChildren<QWidget*>()) {
            const QRect at(c->mapTo(shown, QPoint()), c->size());
            const auto [room, text] = PlaceOfText(c);
            // Controls placed beyond the edges are never displayed.
            if (!c->isVisibleTo(shown) || !shown->rect().intersects(at) || c->isWindow() ||
                text.isNull())
                continue;
            // A line's height holds a pixel of leading no glyph reaches.
            QVERIFY2(room.adjusted(0, -1, 0, 1).contains(text),
                     qPrintable(c->objectName() + " cuts off its text"));
            QVERIFY2(shown->rect().contains(text.translated(at.topLeft())),
                     qPrintable(c->objectName() + "'s text runs past the window's edge"));
        }
    }
};

QTEST_MAIN(TestFrmMain)
#include "tst_frmmain.moc"
