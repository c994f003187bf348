#include "DirectoryCheck.h"

#include "ModCommon.h"
#include "WPINI.h"
#include "WinPath.h"

#include <system_error>

namespace DirectoryCheck {

const std::array<Field, 18> CheckOrder = {{
    {"txtNetworkQXADataDir", "NETWORK", "QXADATADIR"},
    {"txtNetworkQXPPdataDir", "NETWORK", "QXPPDATADIR"},
    {"txtNetworkQXPPphotoDir", "NETWORK", "QXPPPHOTODIR"},
    {"txtNetworkAPEXDataDir", "NETWORK", "APEXDATADIR"},
    {"txtLocalQXAdataDir", "LOCAL", "QXADATADIR"},
    {"txtLocalQXPPdataDir", "LOCAL", "QXPPDATADIR"},
    {"txtLocalQXPPphotoDir", "LOCAL", "QXPPPHOTODIR"},
    {"txtLocalApexDataDir", "LOCAL", "APEXDATADIR"},
    {"txtNetworkQXPdataDir", "NETWORK", "QXPDATADIR"},
    {"txtNetworkQXPphotoDir", "NETWORK", "QXPPHOTODIR"},
    {"txtNetworkQXCdataDir", "NETWORK", "QXCDATADIR"},
    {"txtNetworkQXOdataDir", "NETWORK", "QXODATADIR"},
    {"txtNetworkQXSdataDir", "NETWORK", "QXSDATADIR"},
    {"txtLocalQXPdataDir", "LOCAL", "QXPDATADIR"},
    {"txtLocalQXPphotoDir", "LOCAL", "QXPPHOTODIR"},
    {"txtLocalQXCdataDir", "LOCAL", "QXCDATADIR"},
    {"txtLocalQXOdataDir", "LOCAL", "QXODATADIR"},
    {"txtLocalQXSdataDir", "LOCAL", "QXSDATADIR"},
}};

bool DirectoryExists(const QString& path) {
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
        if (!DirectoryExists(entries[i].path))
            return i;
    return -1;
}

QList<Entry> StoredEntries(const Quarn_v2::SuiteState& s) {
    QList<Entry> out;
    for (const Field& f : CheckOrder)
        out.append({QString::fromLatin1(f.name),
                    WPINI::ReadIni(s.SuiteIniPath, QString::fromLatin1(f.section),
                                   QString::fromLatin1(f.key), QString())});
    return out;
}

} // namespace DirectoryCheck
