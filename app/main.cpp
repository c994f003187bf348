// Quarn's entry: the main window is the program.

#include "QtPrompter.h"
#include "frmMain.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char** argv) {
    // Without a display Qt would abort with a page of advice; one line will do.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        std::fputs("quarn: no display to show the window on (set DISPLAY, or run it under "
                   "xvfb-run)\n",
                   stderr);
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quarn"));
    platform::QtPrompter prompter;
    platform::ScopedPrompter use(prompter);
    frmMain window;
    if (!window.Load())
        return 0;
    window.show();
    return app.exec();
}
