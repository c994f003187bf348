// quarnctl's entry: the terminal answers any message box. The directory
// check loads the Settings dialog unseen, so for it (check, transfer) an
// offscreen display stands in; every other command stays free of one.

#include "Quarnctl.h"

#include <QApplication>

#include <memory>

int main(int argc, char** argv) {
    std::unique_ptr<QCoreApplication> app;
    if (argc > 1 && (qstrcmp(argv[1], "check") == 0 || qstrcmp(argv[1], "transfer") == 0)) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QTextStream out(stdout);
    QTextStream err(stderr);
    const int status = cli::Quarnctl(app->arguments().mid(1), out, err);
    out.flush();
    err.flush();
    return status;
}
