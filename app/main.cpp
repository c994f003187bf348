// Quarn's entry: the main window is the program.

#include "QtPrompter.h"
#include "SkinFramework.h"
#include "frmMain.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QIcon>

#include <cstdio>

namespace {

// A local X display (":N") is reachable when its socket is there; remote and
// Wayland displays and an explicit platform are left for Qt to try.
bool DisplayReachable() {
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
        !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return true;
    const QString display = qEnvironmentVariable("DISPLAY");
    if (display.isEmpty())
        return false;
    if (!display.startsWith(u':'))
        return true;
    const QString number = display.mid(1).section(u'.', 0, 0);
    return QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X") + number);
}

// Help opens "quarn.chm" by its bare name from the working folder, which the
// desktop entry sets to the data folder. Started from anywhere else (a
// terminal), Quarn moves to where its help lies, beside the program or in
// the installed data folder.
void StartWhereTheHelpLies() {
    if (QFileInfo::exists(QStringLiteral("quarn.chm")))
        return;
    const QFileInfo help(SkinFramework::DataFile(QStringLiteral("quarn.chm")));
    if (!help.exists())
        return;
    // A relative prefix keeps meaning the folder it was given in.
    const QString prefix = qEnvironmentVariable("WINEPREFIX");
    if (!prefix.isEmpty() && QDir::isRelativePath(prefix))
        qputenv("WINEPREFIX", QFile::encodeName(QDir::current().absoluteFilePath(prefix)));
    QDir::setCurrent(help.path());
}

} // namespace

int main(int argc, char** argv) {
    // Without a display Qt would abort with a page of advice; one line will do.
    if (!DisplayReachable()) {
        std::fputs("quarn: no display to show the window on (set DISPLAY, or run it under "
                   "xvfb-run)\n",
                   stderr);
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quarn"));
    // The desktop matches the window to its menu entry by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.quarn"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/quarn.png")));
    StartWhereTheHelpLies();
    platform::QtPrompter prompter;
    platform::ScopedPrompter use(prompter);
    frmMain window;
    if (!window.Load())
        return 0;
    window.show();
    return app.exec();
}
