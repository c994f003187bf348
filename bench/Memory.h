#pragma once
// Resident memory from /proc/self/status ("VmRSS", or the peak "VmHWM",
// which ResetPeak starts afresh), in KiB.

#include <QByteArray>
#include <QFile>
#include <QList>

inline long StatusKiB(const char* field) {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qstrlen(field) + 1).trimmed().split(' ').value(0).toLong();
    return 0;
}

inline void ResetPeak() {
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}
