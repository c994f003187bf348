// Decodes a picture at build time into the bytes a pixmap holds of it:
// predecode <in.png> <out.argb>. The program reads them straight into an
// image, so its start needs no PNG decoder and no image plugins (Qt loads
// every one of those to find a reader for the first PNG).
//
// The file: "ARGB32PM", the width and the height as 32-bit numbers, then the
// rows, premultiplied ARGB32, all in the byte order of the machine that
// builds it (the build runs the program where it built it).

#include <QFile>
#include <QGuiApplication>
#include <QImage>

#include <cstdio>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "minimal");
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fputs("usage: predecode <in.png> <out.argb>\n", stderr);
        return 2;
    }
    const QImage image = QImage(QString::fromLocal8Bit(argv[1]))
                             .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) {
        std::fprintf(stderr, "predecode: cannot read %s\n", argv[1]);
        return 1;
    }
    QFile out(QString::fromLocal8Bit(argv[2]));
    const quint32 size[2] = {quint32(image.width()), quint32(image.height())};
    bool ok = out.open(QIODevice::WriteOnly) && out.write("ARGB32PM", 8) == 8 &&
              out.write(reinterpret_cast<const char*>(size), sizeof size) == sizeof size;
    for (int y = 0; ok && y < image.height(); ++y) {
        const qint64 row = image.width() * 4;
        ok = out.write(reinterpret_cast<const char*>(image.constScanLine(y)), row) == row;
    }
    if (!ok || !out.flush()) {
        std::fprintf(stderr, "predecode: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
