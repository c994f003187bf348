#pragma once
// A directory set and the staged fields it is written out from: the types
// the switch (Quarn_v2) and the table of directory entries share.

#include <QString>

namespace Quarn_v2 {

// The nine directories of a set, in the record's order, named by their
// QUARN2.INI keys (DirectoryEntries has the rest of what is known of each).
// Values are trimmed and carry no trailing backslash.
struct DirectorySet {
    QString QXADATADIR, QXPPDATADIR, QXPPPHOTODIR, APEXDATADIR, QXPDATADIR, QXPPHOTODIR, QXCDATADIR,
        QXODATADIR, QXSDATADIR;

    // Entry i in record order.
    QString& operator[](int i);
    const QString& operator[](int i) const;
    bool operator==(const DirectorySet&) const = default;
};

// The eight entries that are written out (a DirectorySet without Apex),
// under the main window's field names.
struct WorkingFields {
    QString txtQXAdataDir, txtQXPPdataDir, txtQXPPphotoDir, txtQXPdataDir, txtQXPphotoDir,
        txtQXCdataDir, txtQXOdataDir, txtQXSdataDir;
    bool operator==(const WorkingFields&) const = default;
};

} // namespace Quarn_v2
