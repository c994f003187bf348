// One key written into a large INI file (the lock, the last look and the
// atomic, flushed replace) against the floor a disk allows for the same
// bytes: written to a new file, flushed, renamed over, the folder flushed.
// The two take turns, so both meet the same load. Usage: bench_write
// [writes] [FOLDER]; FOLDER defaults to a temporary folder on /tmp's disk.

#include "config/WPINI.h"
#include "platform/profile/ProfileStore.h"

#include "BenchIni.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <unistd.h>
#include <vector>

namespace {

// What any program must do to replace a file so that a crash leaves the old
// or the new text whole: nothing less is safe, so nothing can be faster.
bool BareRewrite(const QString& path, const QByteArray& bytes) {
    const QByteArray target = QFile::encodeName(path), temp = target + ".new";
    const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, bytes.size() - done);
        if (n <= 0) {
            ::close(fd);
            return false;
        }
        done += n;
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0 || ::rename(temp.constData(), target.constData()))
        return false;
    const int dir = ::open(QFile::encodeName(QFileInfo(path).path()).constData(),
                           O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool synced = dir >= 0 && ::fsync(dir) == 0;
    if (dir >= 0)
        ::close(dir);
    return synced;
}

double Median(std::vector<double> t) {
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

double Us(const std::function<bool()>& step) {
    QElapsedTimer timer;
    timer.start();
    if (!step()) {
        std::fprintf(stderr, "a write failed\n");
        std::exit(1);
    }
    return timer.nsecsElapsed() / 1000.0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int writes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    QTemporaryDir temporary(argc > 2 ? QString::fromLocal8Bit(argv[2]) + "/bench-write-XXXXXX"
                                     : QDir::tempPath() + "/bench-write-XXXXXX");
    const QString prefix = temporary.path();
    QDir().mkpath(prefix + "/drive_c/VALUATOR");
    qputenv("WINEPREFIX", QFile::encodeName(prefix));
    const QString path = QStringLiteral("c:\\valuator\\bench.ini");
    const QString host = prefix + "/drive_c/VALUATOR/BENCH.INI";
    const QString bare = prefix + "/drive_c/VALUATOR/BARE.INI";
    const QByteArray ini = MakeIni(1'470'000);
    if (!BareRewrite(host, ini) || !BareRewrite(bare, ini))
        return 1;
    usleep(200'000);

    // Both files change by the same few bytes each turn: the value written
    // takes turns between two of one length.
    std::vector<double> quarn, floor;
    for (int i = 0; i < writes; ++i) {
        const QString value = i % 2 ? QStringLiteral("D:\\A") : QStringLiteral("D:\\B");
        quarn.push_back(
            Us([&] { return WPINI::TryWriteIni(path, "product2000", "key3", value).ok; }));
        floor.push_back(Us([&] { return BareRewrite(bare, ini); }));
    }
    const double q = Median(quarn), b = Median(floor);
    std::printf("File: %.2f MB, written %d times each, in %s.\n\n", ini.size() / 1e6, writes,
                qPrintable(prefix));
    std::printf("| one key in a %.2f MB INI file, median | time |\n|---|---|\n", ini.size() / 1e6);
    std::printf("| WriteIni (lock, last look, atomic replace, flush) | %.2f ms |\n", q / 1000);
    std::printf("| bare rewrite (write, fsync, rename, fsync of the folder) | %.2f ms |\n",
                b / 1000);
    std::printf("| ratio | %.2f |\n", q / b);
    return 0;
}
