#pragma once
// The ANSI code page of the suite's INI files: Windows-1252.

#include <QByteArray>
#include <QString>

namespace platform {

QString DecodeAnsi(const char* data, qsizetype size);
// UTF-8 that keeps a U+FEFF at the start, where QString::fromUtf8 drops it.
QString DecodeUtf8(const char* data, qsizetype size);
// Characters the code page lacks become "?", as the platform's own
// conversion does.
QByteArray EncodeAnsi(QStringView text);

} // namespace platform
