// Reading a value from the prefix's system.reg: a registry of ordinary size,
// one value continued over 2.2 MB of lines, a 64 MiB file of short lines,
// and the value asked for as 60 MiB of empty hex items. Prints a Markdown
// table of the time and the peak memory growth.

#include "platform/win/Registry.h"

#include "Memory.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    qputenv("WINEPREFIX", QFile::encodeName(dir.path()));
    const QString reg = dir.path() + "/system.reg";
    const QString key = QStringLiteral("Software\\Microsoft\\Shared Tools\\MSINFO");

    const auto run = [&](const char* what, const std::function<void(QFile&)>& fill) {
        {
            QFile f(reg);
            if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
                return;
            f.write("WINE REGISTRY Version 2\n\n");
            fill(f);
            f.write(
                "[Software\\\\Microsoft\\\\Shared Tools\\\\MSINFO]\n\"Path\"=\"C:\\\\x.exe\"\n");
        }
        const double size = QFile(reg).size() / 1048576.0;
        const long before = StatusKiB("VmRSS");
        ResetPeak();
        QElapsedTimer timer;
        timer.start();
        const auto value = platform::ReadMachineValue(key, QStringLiteral("path"));
        const double ms = timer.nsecsElapsed() / 1e6;
        std::printf("| %s | %.1f MiB | %.0f ms | %.0f MiB | %s |\n", what, size, ms,
                    (StatusKiB("VmHWM") - before) / 1024.0, value ? "found" : "missing");
    };

    std::printf("| system.reg | size | ReadMachineValue | peak memory growth | value |\n"
                "|---|---|---|---|---|\n");
    run("20 000 keys of 3 values", [](QFile& f) {
        for (int k = 0; k < 20000; ++k)
            f.write("[Software\\\\Vendor\\\\Product" + QByteArray::number(k) +
                    "] 1700000000\n\"Name\"=\"Value\"\n\"Number\"=dword:0000002a\n"
                    "\"Bytes\"=hex:01,02,03,04\n\n");
    });
    run("one value continued over 2.2 MB of lines", [](QFile& f) {
        f.write("[Software\\\\Microsoft\\\\Shared Tools\\\\MSINFO]\n\"Blob\"=hex:00,\\\n");
        const QByteArray line =
            "  00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,\\\n";
        for (qint64 n = 0; n * line.size() < 2200 * 1024; ++n)
            f.write(line);
        f.write("  00\n");
    });
    run("64 MiB of short lines", [](QFile& f) {
        f.write("[Software\\\\Microsoft\\\\Shared Tools\\\\MSINFO]\n");
        const QByteArray block = QByteArray("a\n").repeated(512 * 1024);
        for (int i = 0; i < 63; ++i)
            f.write(block);
    });
    run("the value asked for: hex, 60 MiB of empty items", [](QFile& f) {
        f.write("[Software\\\\Microsoft\\\\Shared Tools\\\\MSINFO]\n\"Path\"=hex:");
        const QByteArray block(1024 * 1024, ',');
        for (int i = 0; i < 60; ++i)
            f.write(block);
        f.write("\n");
    });
    return 0;
}
