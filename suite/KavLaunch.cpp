#include "suite/KavLaunch.h"
#include "suite/Texts.h"

#include "config/ModCommon.h"
#include "platform/Prompter.h"
#include "platform/win/HostError.h"
#include "platform/win/WinPath.h"
#include "suite/mod_Shell32.h"

namespace KavLaunch {
namespace {

// FileExists, which may ask Abort/Retry/Ignore; what it would throw is false.
bool PresentMayAsk(const QString& path) {
    try {
        return ModCommon::FileExists(path);
    } catch (const platform::RuntimeError&) {
        return false; // a program we cannot even look at will not start
    }
}

void Start(const QString& program, QWidget* owner) {
    mod_Shell32::GShell(program, 3, QString(), QString(), QStringLiteral("open"), owner);
}

} // namespace

void launchKav(const Quarn_v2::SuiteState& s, QWidget* owner) {
    QString dir = s.KavAppDir;
    ModCommon::CkRSlash(dir);
    // The program tested is the one started. Without a directory there is
    // nothing to test: a bare "Kav.exe" would mean the current folder.
    const QString program = dir + QStringLiteral("Kav.exe");
    if (!dir.isEmpty() && PresentMayAsk(program)) {
        Start(program, owner);
        return;
    }
    platform::MsgBox(Texts::CannotLaunch(), platform::Buttons::Ok, platform::Icon::None,
                     Texts::CannotLaunchTitle());
}

void LaunchFromFixedPaths(QWidget* owner) {
    // Silent to the end: a missing drive is a missing program.
    using platform::NonEmptyFileExists;
    if (NonEmptyFileExists(QStringLiteral("c:\\kav\\KAV.exe")))
        Start(QStringLiteral("c:\\kav\\") + QStringLiteral("Kav.exe"), owner);
    else if (NonEmptyFileExists(QStringLiteral("c:\\kav\\kav32\\KAV.exe")))
        Start(QStringLiteral("c:\\kav\\kav32\\") + QStringLiteral("Kav.exe"), owner);
}

} // namespace KavLaunch
