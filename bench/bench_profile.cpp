// The INI store's speed and memory on a 1 MiB file of a few thousand
// sections, and its memory on a 100 MB file of junk. Run it from a quiet
// machine; it prints a Markdown table for the README.

#include "ProfileStore.h"
#include "WPINI.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

int gSections = 0;

QByteArray MakeIni() {
    QByteArray out;
    for (int& s = gSections; out.size() < 1024 * 1024; ++s) {
        out += "[Product" + QByteArray::number(s) + "]\r\n";
        for (int k = 0; k < 6; ++k)
            out += "Key" + QByteArray::number(k) + "=C:\\VALUATOR\\DATA\\" + QByteArray::number(s) +
                   "\\" + QByteArray::number(k) + "\r\n";
        out += "\r\n";
    }
    return out;
}

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

long MaxRssKiB() {
    rusage r{};
    getrusage(RUSAGE_SELF, &r);
    return r.ru_maxrss;
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
    const QByteArray ini = MakeIni();
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
    int n = 0;
    Row("WriteIni, existing key (atomic replace, fsync)",
        MedianUs(50, [&] { WPINI::WriteIni(path, "product2000", "key3", QString::number(++n)); }));
    usleep(100'000); // past the window in which a just-written file is re-read
    Row("WriteIni, same value again (no write)",
        MedianUs(50, [&] { WPINI::WriteIni(path, "product2000", "key3", QString::number(n)); }));
    Row("WriteIni, new key", MedianUs(50, [&] {
            WPINI::WriteIni(path, someSection(), QStringLiteral("new%1").arg(++n), "v");
        }));
    Row("DeleteIniSection", MedianUs(50, [&] { WPINI::DeleteIniSection(path, someSection()); }));

    // 100 MB of random bytes: one read, and what it costs in memory.
    const QString junk = dir.path() + "/JUNK.INI";
    {
        QFile f(junk);
        if (!f.open(QIODevice::WriteOnly))
            return 1;
        QByteArray block(1024 * 1024, Qt::Uninitialized);
        for (int i = 0; i < 100; ++i) {
            rng->fillRange(reinterpret_cast<quint32*>(block.data()), block.size() / 4);
            f.write(block);
        }
    }
    const long before = MaxRssKiB();
    QElapsedTimer timer;
    timer.start();
    WPINI::ReadIni(junk, "s", "k", "d");
    const double ms = timer.nsecsElapsed() / 1e6;
    std::printf("\n100 MB of random bytes: ReadIni %.0f ms, peak memory grew by %.0f MiB.\n", ms,
                (MaxRssKiB() - before) / 1024.0);
    return 0;
}
