// What keeping the replaced versions adds to a sync of 200 reports: each
// report of 100 KB with a 2 KB sketch replaced through the atomic copy,
// without and with its old version kept first, and the versions folder's
// expiry at the end. In a temporary folder, or in FOLDER (a share's mount):
// bench_keep [FOLDER]. Prints a Markdown table for docs/benchmarks.md.

#include "platform/files/FileCopy.h"
#include "platform/files/KeptVersions.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int kReports = 200;

void Write(const QString& path, qsizetype size, char fill) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(QByteArray(size, fill)) != size)
        qFatal("cannot write %s", qPrintable(path));
}

// Milliseconds of one round over every report.
double Round(const std::function<void(int)>& step) {
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < kReports; ++i)
        step(i);
    return t.nsecsElapsed() / 1e6;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir temp(argc > 1 ? QString::fromLocal8Bit(argv[1]) + "/bench-keep-XXXXXX"
                                : QDir::tempPath() + "/bench-keep-XXXXXX");
    const QString root = temp.path();
    for (const char* side : {"/laptop/data", "/laptop/S", "/share/data", "/share/S"})
        QDir().mkpath(root + side);
    const auto name = [](int i) { return QStringLiteral("R%1").arg(i, 4, 10, QChar(u'0')); };
    for (int i = 0; i < kReports; ++i) {
        Write(root + "/laptop/data/" + name(i) + ".RPT", 100 << 10, 'n');
        Write(root + "/laptop/S/" + name(i) + ".sk3", 2 << 10, 'n');
        Write(root + "/share/data/" + name(i) + ".RPT", 100 << 10, 'o');
        Write(root + "/share/S/" + name(i) + ".sk3", 2 << 10, 'o');
    }
    const auto copy = [&](int i) {
        for (const QString& file : {"/data/" + name(i) + ".RPT", "/S/" + name(i) + ".sk3"})
            if (platform::CopyFileAtomically(root + "/laptop" + file, root + "/share" + file))
                qFatal("copy failed");
    };
    const auto keepAndCopy = [&](int i, const QString& stamp) {
        for (const QString& file : {"/data/" + name(i) + ".RPT", "/S/" + name(i) + ".sk3"})
            if (platform::KeepVersion(root + "/share" + file, stamp))
                qFatal("keep failed");
        copy(i);
    };
    // What a sync and a transfer do: the old file set aside as it is replaced.
    const auto copySettingAside = [&](int i, const QString& stamp) {
        for (const QString& file : {"/data/" + name(i) + ".RPT", "/S/" + name(i) + ".sk3"}) {
            QString at;
            if (platform::KeepPlace(root + "/share" + file, stamp, &at) ||
                platform::CopyFileAtomically(root + "/laptop" + file, root + "/share" + file, {},
                                             at))
                qFatal("keep failed");
        }
    };
    std::vector<double> plain, kept, aside, expireNone, expireAll;
    for (int run = 0; run < 3; ++run) {
        plain.push_back(Round(copy));
        const QString stamp = platform::VersionStamp();
        kept.push_back(Round([&](int i) { keepAndCopy(i, stamp); }));
        aside.push_back(Round([&](int i) { copySettingAside(i, stamp); }));
        QElapsedTimer t;
        t.start();
        platform::ExpireVersions(root + "/share/data", 30);
        platform::ExpireVersions(root + "/share/S", 30);
        expireNone.push_back(t.nsecsElapsed() / 1e6);
        t.restart();
        const int gone =
            platform::ExpireVersions(root + "/share/data", 0,
                                     QDateTime::currentDateTime().addSecs(1)) +
            platform::ExpireVersions(root + "/share/S", 0, QDateTime::currentDateTime().addSecs(1));
        expireAll.push_back(t.nsecsElapsed() / 1e6);
        if (gone != 4 * kReports)
            qFatal("%d expired", gone);
    }
    std::printf("| %d reports of 100 KB with a 2 KB sketch, median of 3 | time | a report |\n"
                "|---|---|---|\n",
                kReports);
    const auto row = [](const char* what, double ms) {
        std::printf("| %s | %.0f ms | %.2f ms |\n", what, ms, ms / kReports);
    };
    row("replaced through the atomic copy", Median(plain));
    row("the same, each old version kept first by a copy", Median(kept));
    row("the same, each old version set aside as it is replaced", Median(aside));
    row("expiry at the end, nothing old enough", Median(expireNone));
    row("expiry at the end, every version", Median(expireAll));
    return 0;
}
