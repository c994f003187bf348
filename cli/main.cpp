// quarnctl's entry: the terminal answers any message box. Qt Core only.

#include "cli/Quarnctl.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const int status = cli::Quarnctl(app.arguments().mid(1), out, err);
    out.flush();
    err.flush();
    return status;
}
