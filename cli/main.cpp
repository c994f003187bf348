// quarnctl's entry: the terminal answers any message box. Qt Core only.

#include "cli/Quarnctl.h"

#include <QCoreApplication>
#include <QStringDecoder>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    // Qt would turn the bytes it cannot read into another name or value.
    for (int i = 1; i < argc; ++i) {
        QStringDecoder utf8(QStringDecoder::Utf8);
        const QString text = utf8(QByteArrayView(argv[i]));
        if (utf8.hasError()) {
            err << "quarnctl: argument " << i << " (" << text
                << ") is not UTF-8 text: give names and values in UTF-8\n";
            return 2;
        }
    }
    const int status = cli::Quarnctl(app.arguments().mid(1), out, err);
    out.flush();
    err.flush();
    return status;
}
