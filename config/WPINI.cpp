#include "config/WPINI.h"

#include "config/ModCommon.h"
#include "platform/win/HostError.h"

#include "platform/win/WinPath.h"

#include <memory>

namespace WPINI {
namespace {

platform::Result<QString> HostFile(const QString& iniFile) {
    QString path = iniFile;
    const bool bare = !path.contains(u'\\') && !path.contains(u'/') && !path.contains(u':');
    if (bare) {
        const QString dir = platform::WindowsDirectory();
        if (dir.isEmpty())
            return {{}, platform::DeviceUnavailable};
        path = dir + u'\\' + path;
    }
    return platform::ToHostPath(path);
}

platform::profile::Outcome Unreachable(int error) {
    return {false, platform::ErrorDescription(error)};
}

QString WithBackslash(const QString& dir) {
    return dir.isEmpty() ? QString() : dir + u'\\';
}

} // namespace

QString ReadIni(const QString& iniFile, const QString& section, const QString& key,
                const QString& defaultValue) {
    // An unreachable file reads as a missing one: the default.
    return platform::profile::Read(HostFile(iniFile).value, section, key, defaultValue);
}

QString IniReader::read(const QString& iniFile, const QString& section, const QString& key,
                        const QString& defaultValue) {
    auto host = hostFiles_.constFind(iniFile);
    if (host == hostFiles_.cend())
        host = hostFiles_.insert(iniFile, HostFile(iniFile).value);
    return platform::profile::Read(*host, section, key, defaultValue);
}

void WriteIni(const QString& iniFile, const QString& section, const QString& key,
              const QString& value) {
    TryWriteIni(iniFile, section, key, value);
}

void DeleteIniSection(const QString& iniFile, const QString& section) {
    TryDeleteIniSection(iniFile, section);
}

platform::profile::Outcome TryWriteIni(const QString& iniFile, const QString& section,
                                       const QString& key, const QString& value) {
    const auto host = HostFile(iniFile);
    return host.ok() ? platform::profile::Write(host.value, section, key, value)
                     : Unreachable(host.error);
}

platform::profile::Outcome TryWriteIniIfUnchanged(const QString& iniFile, const QString& section,
                                                  const QString& key, const QString& expected,
                                                  const QString& value) {
    const auto host = HostFile(iniFile);
    return host.ok()
               ? platform::profile::WriteIfUnchanged(host.value, section, key, expected, value)
               : Unreachable(host.error);
}

platform::profile::Outcome TryDeleteIniSection(const QString& iniFile, const QString& section) {
    const auto host = HostFile(iniFile);
    return host.ok() ? platform::profile::DeleteSection(host.value, section)
                     : Unreachable(host.error);
}

QString LocateSuiteIni(const QString& name) {
    return LocateSuiteInis({name}).first();
}

QStringList LocateSuiteInis(const QStringList& names) {
    const QString windowsDir = GetWinDir();
    const QString folder = windowsDir.left(2) + QStringLiteral("\\Valuator\\");
    // Locating asks no questions: a file we cannot even ask about (no drive,
    // a link loop, no permission) is not there, and the Windows directory's
    // stands in.
    const bool listed = ModCommon::PathExists(folder);
    // The files in one ask of the drive, not one each: the start waits for
    // them. The answers are the ask's own until it has answered in time.
    auto there = std::make_shared<QList<bool>>(names.size(), false);
    const bool answered = listed && platform::AskWithinBound(folder, [there, folder, names] {
                              for (qsizetype i = 0; i < names.size(); ++i)
                                  (*there)[i] = platform::NonEmptyFileExists(folder + names[i]);
                          });
    QStringList found;
    for (qsizetype i = 0; i < names.size(); ++i)
        found << (answered && there->at(i) ? folder : windowsDir) + names[i];
    return found;
}

QString GetWinDir() {
    return WithBackslash(platform::WindowsDirectory());
}

QString GetWinDrive() {
    const QString dir = platform::WindowsDirectory();
    return dir.isEmpty() ? QString() : (dir + QStringLiteral("  ")).left(2);
}

QString GetSysDir() {
    return WithBackslash(platform::SystemDirectory());
}

} // namespace WPINI
