// Quarn's entry: the main window is the program.

#include "app/frmMain.h"
#include "platform/Prompter.h"
#include "platform/desktop/DesktopShell.h"
#include "platform/desktop/QtPrompter.h"
#include "platform/win/HostError.h"
#include "platform/wine/WinePrefixes.h"
#include "setup/PrefixDialog.h"
#include "suite/Texts.h"
#include "widgets/AlphaImageControl.h"
#include "widgets/SkinFramework.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QList>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <utility>

namespace {

// Qt decides whether there is a display. Until the platform is up, its
// complaints are held back: a failure ends in our one line instead of a page
// of advice and an abort, and a success hands them on.
const char kNoDisplay[] =
    "quarn: no display to show the window on (set DISPLAY, or run it under xvfb-run)\n";

struct HeldMessage {
    QtMsgType type;
    QString text;
    QByteArray category;
};
QList<HeldMessage>* gHeld = nullptr;
QtMessageHandler gPrevious = nullptr;

void HoldWhileStarting(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg) { // no platform could be started
        std::fputs(kNoDisplay, stderr);
        std::fflush(stderr);
        std::_Exit(1);
    }
    if (gHeld)
        gHeld->append({type, text, QByteArray(context.category ? context.category : "")});
}

void PassHeldMessagesOn() {
    qInstallMessageHandler(gPrevious);
    const QList<HeldMessage> held = std::exchange(*gHeld, {});
    for (const HeldMessage& m : held) {
        const QMessageLogContext context(nullptr, 0, nullptr, m.category.constData());
        qt_message_output(m.type, context, m.text);
    }
}

// Help opens "quarn.chm" by its bare name from the working folder, so Quarn
// moves to where its own help lies, beside the program or in the installed
// data folder, wherever it was started: a file of that name in the folder it
// was started from (Downloads, /tmp) is never opened. Without its help it
// moves beside the program, where none lies.
void StartWhereTheHelpLies() {
    const QFileInfo help(SkinFramework::DataFile(QStringLiteral("quarn.chm")));
    QDir::setCurrent(help.exists() ? help.path() : QCoreApplication::applicationDirPath());
}

// With several suites found and none chosen before, the user chooses once;
// the choice is remembered. Closing the chooser unanswered starts on the
// first found, unremembered, so the question comes again next time.
platform::PrefixPlace AskForPrefix(const platform::PrefixSearch& search) {
    SkinFramework skin;
    skin.LoadSkin(SkinFramework::DefaultSkinPath());
    PrefixDialog dialog(search, {}, &skin);
    const auto chosen = dialog.exec() == QDialog::Accepted ? dialog.chosen() : std::nullopt;
    if (!chosen)
        return search.found.first();
    platform::RememberPrefix(*chosen);
    return *chosen;
}

// Qt cannot carry an exception through its event loop: one that left a
// handler would end Quarn on the spot, without a word. The windows report
// the errors they expect; whatever slips past them is reported here, in the
// words of the copy's error report, and the window goes on.
class QuarnApplication : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const platform::RuntimeError& e) {
            Report(e.description());
        } catch (const std::exception& e) {
            Report(QString::fromLocal8Bit(e.what()));
        }
        return false;
    }

private:
    static void Report(const QString& what) {
        static bool reporting = false; // one box at a time, not one per repaint
        if (reporting)
            return;
        reporting = true;
        platform::MsgBox(Texts::ErrorReport(what));
        reporting = false;
    }
};

} // namespace

int main(int argc, char** argv) {
    frmMain::ConfigureFontsAside();
    QList<HeldMessage> held;
    gHeld = &held;
    gPrevious = qInstallMessageHandler(HoldWhileStarting);
    QuarnApplication app(argc, argv);
    PassHeldMessagesOn();
    gHeld = nullptr;
    QApplication::setApplicationName(QStringLiteral("Quarn"));
    // The desktop matches the window to its menu entry by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.quarn"));
    QApplication::setWindowIcon(
        QIcon(AlphaImageControl::LoadPicture(QStringLiteral(":/quarn.argb"))));

    QCommandLineParser options;
    options.setApplicationDescription(
        QStringLiteral("Quarn, on the appraisal suite's Wine prefix"));
    options.addHelpOption();
    const QCommandLineOption prefixOption(QStringLiteral("prefix"),
                                          QStringLiteral("The Wine prefix that holds the suite."),
                                          QStringLiteral("DIR"));
    options.addOption(prefixOption);
    const QCommandLineOption synchronizeOption(
        QStringLiteral("synchronize"),
        QStringLiteral("Open Synchronize Reports (in the Quarn already running, if one is)."));
    options.addOption(synchronizeOption);
    options.process(app);
    // Chosen before the working folder moves, so that a relative --prefix or
    // $WINEPREFIX means the folder it was given in; the place is absolute.
    const platform::PrefixChoice prefix =
        platform::ChoosePrefix(options.value(prefixOption), QDir::homePath());
    if (prefix.source != platform::PrefixSource::Several)
        platform::UsePrefix(prefix.place);
    StartWhereTheHelpLies();
    platform::QtPrompter prompter;
    platform::ScopedPrompter use(prompter);
    platform::DesktopShell desktop;
    platform::ScopedShell useDesktop(desktop);
    frmMain window;
    // A second Quarn says so before it asks anything.
    const auto askIfSeveral = [&prefix] {
        if (prefix.source == platform::PrefixSource::Several)
            platform::UsePrefix(AskForPrefix(prefix.search));
    };
    const bool synchronize = options.isSet(synchronizeOption);
    if (!window.Load(askIfSeveral, synchronize))
        return 0;
    window.show();
    if (synchronize)
        QTimer::singleShot(0, &window, &frmMain::ShowSync);
    return app.exec();
}
