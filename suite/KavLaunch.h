#pragma once
// Starting the appraisal program, Kav.exe: launchKav and LaunchFromFixedPaths
// keep the old program's names (see docs/layout.md, Glossary).

#include "suite/Quarn_v2.h"

class QWidget;

namespace KavLaunch {

// Kav.exe in the application directory from KAV.INI, or a message that it
// is not there. The program keeps running either way.
void launchKav(const Quarn_v2::SuiteState& s, QWidget* owner);

// Kav.exe from c:\kav\, else c:\kav\kav32\, else nothing and no message.
// The caller ends the program afterwards, without the shutdown write.
void LaunchFromFixedPaths(QWidget* owner);

} // namespace KavLaunch
