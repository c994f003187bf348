#pragma once
// WPINI is the old program's name for this unit (see docs/layout.md, Glossary).
//
// INI file access: the only road to the program's INI files. Reads fall back
// to the default and writes fail silently, as the profile functions do.
// Paths are Windows paths; a bare file name lives in the Windows directory.

#include "platform/profile/ProfileStore.h"

#include <QHash>
#include <QString>
#include <QStringList>

namespace WPINI {

QString ReadIni(const QString& iniFile, const QString& section, const QString& key,
                const QString& defaultValue);
// ReadIni for many keys of a few files, each file found on the disk once
// for all of its keys: finding one asks a disk that may hang, on a thread
// of its own. For one pass over the files, not to be kept.
class IniReader {
public:
    QString read(const QString& iniFile, const QString& section, const QString& key,
                 const QString& defaultValue);

private:
    QHash<QString, QString> hostFiles_;
};

void WriteIni(const QString& iniFile, const QString& section, const QString& key,
              const QString& value);
void DeleteIniSection(const QString& iniFile, const QString& section);

// The same, saying whether the change took effect and why not, for callers
// that must tell their user (quarnctl).
platform::profile::Outcome TryWriteIni(const QString& iniFile, const QString& section,
                                       const QString& key, const QString& value);
// Only while the key still reads `expected`; see profile::WriteIfUnchanged.
platform::profile::Outcome TryWriteIniIfUnchanged(const QString& iniFile, const QString& section,
                                                  const QString& key, const QString& expected,
                                                  const QString& value);
platform::profile::Outcome TryDeleteIniSection(const QString& iniFile, const QString& section);

// The suite folder's file (Valuator on the Windows drive) when it holds one
// of at least a byte, else the Windows directory's, whether or not that
// exists. Every suite INI file is found this way.
QString LocateSuiteIni(const QString& name);
// The same for several names, the folder looked at once.
QStringList LocateSuiteInis(const QStringList& names);

// "C:\windows\", "C:" and "C:\windows\system32\", or "" when the platform
// cannot tell.
QString GetWinDir();
QString GetWinDrive();
QString GetSysDir();

} // namespace WPINI
