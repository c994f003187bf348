#include "config/ModCommon.h"

#include "config/ErrorReport.h"
#include "platform/win/DirectoryListing.h"
#include "platform/win/HostError.h"
#include "platform/win/WinPath.h"

using ErrorReport::CurrentProc;
using ErrorReport::HandleError;
using ErrorReport::RecoveryAction;
using platform::RuntimeError;

namespace ModCommon {

QString Trim(QStringView s) {
    qsizetype b = 0, e = s.size();
    while (b < e && s[b] == u' ')
        ++b;
    while (e > b && s[e - 1] == u' ')
        --e;
    return s.mid(b, e - b).toString();
}

QString UCase(QStringView s) {
    QString out = s.toString();
    for (qsizetype i = 0; i < out.size(); ++i) {
        if (out[i].isHighSurrogate() && i + 1 < out.size() && out[i + 1].isLowSurrogate()) {
            const char32_t upper = QChar::toUpper(QChar::surrogateToUcs4(out[i], out[i + 1]));
            if (QChar::requiresSurrogates(upper)) {
                out[i] = QChar(QChar::highSurrogate(upper));
                out[i + 1] = QChar(QChar::lowSurrogate(upper));
            }
            ++i;
        } else {
            out[i] = out[i].toUpper();
        }
    }
    return out;
}

QString TrimUCase(QStringView s) {
    return UCase(Trim(s));
}

// Blank -> "" with the argument untouched; a missing backslash is added to
// the (trimmed) argument; an argument that already ends in one is left as it
// was, blanks included. The trimmed form is returned either way.
QString CkRSlash(QString& path) {
    CurrentProc = QStringLiteral("CkRSlash");
    const QString trimmed = Trim(path);
    if (trimmed.isEmpty())
        return {};
    if (!trimmed.endsWith(u'\\'))
        path = trimmed + u'\\';
    return Trim(path);
}

// Trims the argument and drops one trailing backslash: C:\\ becomes C:\.
QString StripRChar(QString& path) {
    CurrentProc = QStringLiteral("StripRChar");
    path = Trim(path);
    if (path.endsWith(u'\\'))
        path.chop(1);
    return path;
}

bool FileExists(const QString& path) {
    CurrentProc = QStringLiteral("FileExists");
    for (;;) {
        const auto length = platform::FileLength(path);
        if (length.ok())
            return length.value > 0;
        if (length.error == platform::FileNotFound || length.error == platform::PathNotFound)
            return false;
        switch (HandleError(length.error)) {
        case RecoveryAction::Retry: continue;
        case RecoveryAction::Skip: // a file we cannot read is not a present file
        case RecoveryAction::Leave: return false;
        case RecoveryAction::Propagate: throw RuntimeError(length.error);
        }
    }
}

bool PathExists(const QString& path) {
    CurrentProc = QStringLiteral("PathExists");
    QString drive, directory, name, extension;
    ParseFileName(path, drive, directory, name, extension);
    return platform::CanListDirectory(drive + directory);
}

void ParseFileName(const QString& path, QString& drive, QString& directory, QString& name,
                   QString& extension) {
    CurrentProc = QStringLiteral("ParseFileName");
    drive.clear();
    directory.clear();
    name.clear();
    extension.clear();
    QString work = UCase(Trim(path));
    if (work.isEmpty())
        return;
    if (work.indexOf(u':') == 1) {
        drive = work.left(2);
        work.remove(0, 2);
    }
    if (const qsizetype bracket = work.indexOf(u']'); bracket >= 0)
        work.remove(0, bracket + 1);
    if (const qsizetype dot = work.indexOf(u'.'); dot >= 0) {
        extension = work.mid(dot + 1);
        work.truncate(dot);
    }
    if (const qsizetype slash = work.lastIndexOf(u'\\'); slash >= 0) {
        directory = work.left(slash + 1);
        work.remove(0, slash + 1);
    }
    name = work;
}

QString SplitLR(const QString& s, const QString& selector, const QString& delimiter) {
    if (delimiter.isEmpty())
        return {};
    const qsizetype at = s.indexOf(delimiter);
    if (at < 0)
        return {};
    const QString side = selector.left(1).toUpper();
    if (side == u"L")
        return s.left(at);
    if (side == u"R")
        return s.mid(at + 1);
    return {};
}

QString PadLeft(const QString& s, std::int16_t width, const QString& fill) {
    if (width < 0 || fill.isEmpty())
        throw RuntimeError(platform::InvalidCall);
    const QString padded = QString(width, fill[0]) + Trim(s);
    return padded.right(width);
}

std::int16_t CountChar(const QString& s, const QString& c) {
    if (c.isEmpty())
        return 0; // every position would match; nothing sensible to count
    int count = 0;
    for (qsizetype at = s.indexOf(c); at >= 0; at = s.indexOf(c, at + 1))
        if (++count > INT16_MAX)
            throw RuntimeError(platform::Overflow);
    return static_cast<std::int16_t>(count);
}

} // namespace ModCommon
