#pragma once
// Common utilities (the old program's name; see docs/layout.md, Glossary).
// Path and string utilities on which every window builds its file and
// directory names, and the shared error reporter HandleError.
//
// Positions are 1-based where they show; to trim removes the space character
// only. Procedures that report through HandleError record their name in
// CurrentProc on entry and may throw platform::RuntimeError when the answer
// is to hand the error on.

#include <QString>

#include <cstdint>

namespace ModCommon {

enum class RecoveryAction { Retry = 0, Skip = 1, Leave = 2, Propagate = 3 };

// The procedure most recently entered; not restored on exit.
extern QString CurrentProc;

QString Trim(QStringView s); // blanks only, unlike QString::trimmed
// Upper case one character for one, as the run-time's UCase: "ß" stays, so
// positions and file names keep their length.
QString UCase(QStringView s);
QString TrimUCase(QStringView s);

// Both change their argument in place and return; see the .cpp for the edges.
QString CkRSlash(QString& path);
QString StripRChar(QString& path);

// Present and at least one byte long.
bool FileExists(const QString& path);
// The drive-and-directory part of the path can be listed.
bool PathExists(const QString& path);

// All four outputs upper case; the extension starts at the first dot after
// the drive, even inside a directory name.
void ParseFileName(const QString& path, QString& drive, QString& directory, QString& name,
                   QString& extension);

QString SplitLR(const QString& s, const QString& selector, const QString& delimiter);
QString PadLeft(const QString& s, std::int16_t width, const QString& fill);
std::int16_t CountChar(const QString& s, const QString& c);

// Abort/Retry/Ignore for the device errors 57, 61, 68 and 71; Propagate for
// every other number, without a message.
RecoveryAction HandleError(int errorNumber);

} // namespace ModCommon
