#pragma once
// The INI benchmarks' file: sections of six directory keys, as a suite's
// product file holds them, until it has at least `bytes`.

#include <QByteArray>

inline QByteArray MakeIni(qsizetype bytes, int* sections = nullptr) {
    QByteArray out;
    int s = 0;
    for (; out.size() < bytes; ++s) {
        out += "[Product" + QByteArray::number(s) + "]\r\n";
        for (int k = 0; k < 6; ++k)
            out += "Key" + QByteArray::number(k) + "=C:\\VALUATOR\\DATA\\" + QByteArray::number(s) +
                   "\\" + QByteArray::number(k) + "\r\n";
        out += "\r\n";
    }
    if (sections)
        *sections = s;
    return out;
}
