#include "suite/DirectoryCheck.h"

#include "config/ModCommon.h"
#include "config/WPINI.h"
#include "platform/win/DirectoryListing.h"
#include "platform/win/WinPath.h"
#include "suite/DirectoryEntries.h"

#include <system_error>

namespace DirectoryCheck {

bool ListsAnEntry(const QString& path) {
    QString dir = path;
    if (!dir.endsWith(u'\\'))
        dir += u'\\';
    try {
        const auto first = platform::FirstDirectoryEntry(dir);
        return first.ok() && !ModCommon::Trim(first.value).isEmpty();
    } catch (const std::system_error&) {
        return false; // no thread to list with: no directory we can vouch for
    }
}

qsizetype FirstMissing(const QList<Entry>& entries) {
    for (qsizetype i = 0; i < entries.size(); ++i)
        if (!ListsAnEntry(entries[i].path))
            return i;
    return -1;
}

QList<Entry> StoredEntries(const Quarn_v2::SuiteState& s) {
    QList<Entry> out;
    for (const Quarn_v2::CheckedField& f : Quarn_v2::CheckOrder())
        out.append({QString::fromLatin1(f.field),
                    WPINI::ReadIni(s.SuiteIniPath, QString::fromLatin1(f.section),
                                   QString::fromLatin1(f.key), QString())});
    return out;
}

} // namespace DirectoryCheck
