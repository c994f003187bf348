#include "platform/desktop/DesktopShell.h"

#include "platform/desktop/DesktopApps.h"
#include "platform/win/HostError.h"
#include "platform/win/WinPath.h"
#include "platform/wine/WinePrefixes.h"
#include "platform/wine/WineRunners.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

namespace platform {
namespace {

constexpr int kAccepted = 42;
constexpr int kFileNotFound = 2;
constexpr int kPathNotFound = 3;
constexpr int kAccessDenied = 5;
constexpr int kNoAssociation = 31;

bool IsWebAddress(const QString& target) {
    const QUrl url(target);
    const QString scheme = url.scheme().toLower();
    // "C:\x" parses with the scheme "c": a drive is no scheme.
    return scheme.size() > 1 && (scheme == u"http" || scheme == u"https" || scheme == u"mailto");
}

} // namespace

int DesktopShell::execute(const ShellRequest& r) {
    // Nothing to open is no file: not the current folder.
    if (r.target.trimmed().isEmpty())
        return kFileNotFound;
    if (IsWebAddress(r.target))
        return QDesktopServices::openUrl(QUrl(r.target)) ? kAccepted : kNoAssociation;

    const auto host = ToHostPath(r.target);
    if (!host.ok())
        return kPathNotFound;
    const QFileInfo file(host.value);
    if (!file.exists())
        return QFileInfo(file.path()).isDir() ? kFileNotFound : kPathNotFound;
    if (!file.isReadable())
        return kAccessDenied;

    QString directory;
    if (!r.directory.isEmpty()) {
        const auto dir = ToHostPath(r.directory);
        if (!dir.ok() || !QFileInfo(dir.value).isDir())
            return kPathNotFound;
        directory = dir.value;
    }
    if (file.suffix().compare(u"exe", Qt::CaseInsensitive) == 0) {
        const Launch launch = WindowsProgram(host.value, QProcess::splitCommand(r.parameters));
        if (launch.runner.isEmpty())
            return kNoAssociation;
        return QProcess::startDetached(launch.runner, launch.arguments,
                                       directory.isEmpty() ? file.path() : directory)
                   ? kAccepted
                   : kNoAssociation;
    }
    // The opener would hand a type with no viewer to a web browser, or fail
    // silently: the shell says so instead.
    if (DesktopApplicationFor(host.value).isEmpty())
        return kNoAssociation;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(host.value)) ? kAccepted : kNoAssociation;
}

} // namespace platform
