#pragma once
// ModCommon is the old program's name for this unit (see docs/layout.md, Glossary).
//
// Path and string utilities on which every window builds its file and
// directory names.
//
// Positions are 1-based where they show; to trim removes the space character
// only. CkRSlash, StripRChar, FileExists, PathExists and ParseFileName record
// their name in ErrorReport::CurrentProc; FileExists alone reports through
// HandleError. PadLeft and CountChar throw platform::RuntimeError to their
// caller, as the run-time's string functions raise.

#include <QString>

#include <cstdint>

namespace ModCommon {

QString Trim(QStringView s); // blanks only, unlike QString::trimmed
// Upper case one character for one, as the run-time's UCase: "ß" stays, so
// positions and file names keep their length.
QString UCase(QStringView s);
QString TrimUCase(QStringView s);

// Both change their argument in place and return; see the .cpp for the edges.
QString CkRSlash(QString& path);
QString StripRChar(QString& path);

// A file of at least one byte. A missing file, a missing folder on the way
// and a directory give false. MAY ASK: a device error (57, 61, 68 or 71,
// as a share that stops answering gives) shows HandleError's Abort/Retry/
// Ignore; Retry asks again, Abort and Ignore give false. Any other error
// (70, 75 ...) is thrown as platform::RuntimeError.
bool FileExists(const QString& path);
// The drive-and-directory part of the path (the name after the last
// backslash dropped: C:\DATA tests C:\) can be listed within the listing's
// time bound. Never asks and never throws: whatever fails gives false.
bool PathExists(const QString& path);

// All four outputs upper case; the extension starts at the first dot after
// the drive, even inside a directory name.
void ParseFileName(const QString& path, QString& drive, QString& directory, QString& name,
                   QString& extension);

QString SplitLR(const QString& s, const QString& selector, const QString& delimiter);
QString PadLeft(const QString& s, std::int16_t width, const QString& fill);
std::int16_t CountChar(const QString& s, const QString& c);

} // namespace ModCommon
