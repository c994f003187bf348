#pragma once
// The ANSI code page of the suite's INI files: Windows-1252.

#include <QByteArray>
#include <QString>

namespace platform {

QString DecodeAnsi(const char* data, qsizetype size);
// Characters the code page lacks become "?", as the platform's own
// conversion does.
QByteArray EncodeAnsi(QStringView text);

} // namespace platform
