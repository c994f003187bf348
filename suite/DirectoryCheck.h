#pragma once
// The Settings dialog's directory check as plain functions: the dialog
// gathers its fields, quarnctl the stored values, and both ask here.

#include "suite/Quarn_v2.h"

#include <QList>
#include <QString>

namespace DirectoryCheck {

// A Settings field and the Windows directory it holds.
struct Entry {
    QString field;
    QString path;
};

// True when the directory, a backslash ensured, lists an entry within the
// five-second bound: a folder lists "." at least, so only an empty drive
// root, a missing or unreadable folder and a share that did not answer fail
// ("" lists the current drive's root). Never asks and never throws.
bool ListsAnEntry(const QString& path);

// The index of the first entry whose directory does not exist, or -1.
qsizetype FirstMissing(const QList<Entry>& entries);

// The fields as the dialog loads them from the suite's QUARN2.INI.
QList<Entry> StoredEntries(const Quarn_v2::SuiteState& s);

} // namespace DirectoryCheck
