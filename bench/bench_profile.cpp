// The INI store's speed and memory on a 1 MiB file of a few thousand
// sections, and its memory on a 100 MB file of junk. Run it from a quiet
// machine; it prints a Markdown table for docs/benchmarks.md.

#include "config/WPINI.h"
#include "platform/files/FileLock.h"
#include "platform/profile/ProfileStore.h"

#include "BenchIni.h"
#include "Memory.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <unistd.h>
#include <vector>

namespace {

int gSections = 0;

double MedianUs(int runs, const std::function<void()>& step) {
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        step();
        t.push_back(timer.nsecsElapsed() / 1000.0);
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

void Row(const char* what, double us) {
    std::printf("| %s | %.1f µs |\n", what, us);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // A prefix of its own, so the reads go through the Windows path mapping.
    QTemporaryDir dir;
    QDir().mkpath(dir.path() + "/drive_c/VALUATOR");
    qputenv("WINEPREFIX", QFile::encodeName(dir.path()));
    const QString path = QStringLiteral("c:\\valuator\\bench.ini");
    const QString host = dir.path() + "/drive_c/VALUATOR/BENCH.INI";
    const QByteArray ini = MakeIni(1024 * 1024, &gSections);
    {
        QFile f(host);
        if (!f.open(QIODevice::WriteOnly) || f.write(ini) != ini.size())
            return 1;
    }
    usleep(200'000); // let the file's time fall behind the clock, so the cache may trust it
    auto* rng = QRandomGenerator::global();
    const auto someSection = [&] {
        return QStringLiteral("product%1").arg(rng->bounded(gSections));
    };

    std::printf("File: %.2f MiB, %d sections of 6 keys, read as %s.\n\n", ini.size() / 1048576.0,
                gSections, qPrintable(path));
    std::printf("| operation | median |\n|---|---|\n");
    Row("ReadIni, cold (file read and parsed)", MedianUs(50, [&] {
            platform::profile::ForgetCache();
            WPINI::ReadIni(path, someSection(), "key3", "");
        }));
    WPINI::ReadIni(path, "product1", "key3", "");
    Row("ReadIni, warm (cached parse, file checked)",
        MedianUs(20000, [&] { WPINI::ReadIni(path, someSection(), "key3", ""); }));
    Row("ReadIni, absent key (default)",
        MedianUs(20000, [&] { WPINI::ReadIni(path, someSection(), "nokey", "d"); }));
    Row("the file's lock taken and let go (part of every write)", MedianUs(2000, [&] {
            platform::FileLock lock(host);
            lock.acquire();
        }));
    int n = 0;
    Row("WriteIni, existing key (lock, atomic replace, fsync)",
        MedianUs(50, [&] { WPINI::WriteIni(path, "product2000", "key3", QString::number(++n)); }));
    usleep(100'000); // past the window in which a just-written file is re-read
    Row("WriteIni, same value again (no write)",
        MedianUs(50, [&] { WPINI::WriteIni(path, "product2000", "key3", QString::number(n)); }));
    Row("WriteIni, new key", MedianUs(50, [&] {
            WPINI::WriteIni(path, someSection(), QStringLiteral("new%1").arg(++n), "v");
        }));
    Row("DeleteIniSection", MedianUs(50, [&] { WPINI::DeleteIniSection(path, someSection()); }));

    // Two 100 MB files no INI should be: random bytes (few lines, no
    // sections) and distinct short sections (the most index per byte). One
    // read each, and what it costs in memory at its peak.
    const auto bigFile = [&](const char* what, const std::function<void(QByteArray&)>& fill) {
        const QString big = dir.path() + "/drive_c/VALUATOR/BIG.INI";
        {
            QFile f(big);
            if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
                return;
            QByteArray block;
            for (int i = 0; i < 100; ++i) {
                fill(block);
                f.write(block);
            }
        }
        const long before = StatusKiB("VmRSS");
        ResetPeak();
        QElapsedTimer timer;
        timer.start();
        WPINI::ReadIni("C:\\VALUATOR\\BIG.INI", "s", "k", "d");
        const double ms = timer.nsecsElapsed() / 1e6;
        std::printf("| %s | %.0f ms | %.0f MiB |\n", what, ms,
                    (StatusKiB("VmHWM") - before) / 1024.0);
    };
    std::printf("\n| 100 MB file | ReadIni | peak memory growth |\n|---|---|---|\n");
    bigFile("random bytes", [&](QByteArray& block) {
        block.resize(1024 * 1024);
        rng->fillRange(reinterpret_cast<quint32*>(block.data()), block.size() / 4);
    });
    int section = 0;
    bigFile("distinct sections of 12 bytes, \"[s1234567]\\r\\n\"", [&](QByteArray& block) {
        block.clear();
        while (block.size() < 1024 * 1024 - 16)
            block += "[s" + QByteArray::number(1000000 + section++) + "]\r\n";
    });
    return 0;
}
