#include "WPINI.h"

#include "ProfileStore.h"
#include "WinPath.h"

namespace WPINI {
namespace {

QString HostFile(const QString& iniFile) {
    QString path = iniFile;
    const bool bare = !path.contains(u'\\') && !path.contains(u'/') && !path.contains(u':');
    if (bare) {
        const QString dir = platform::WindowsDirectory();
        if (dir.isEmpty())
            return {};
        path = dir + u'\\' + path;
    }
    const auto host = platform::ToHostPath(path);
    return host.ok() ? host.value : QString();
}

QString WithBackslash(const QString& dir) {
    return dir.isEmpty() ? QString() : dir + u'\\';
}

} // namespace

QString ReadIni(const QString& iniFile, const QString& section, const QString& key,
                const QString& defaultValue) {
    // An unreachable file reads as a missing one: the default.
    return platform::profile::Read(HostFile(iniFile), section, key, defaultValue);
}

void WriteIni(const QString& iniFile, const QString& section, const QString& key,
              const QString& value) {
    const QString host = HostFile(iniFile);
    if (!host.isEmpty())
        platform::profile::Write(host, section, key, value);
}

void DeleteIniSection(const QString& iniFile, const QString& section) {
    const QString host = HostFile(iniFile);
    if (!host.isEmpty())
        platform::profile::DeleteSection(host, section);
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
