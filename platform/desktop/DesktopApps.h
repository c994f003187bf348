#pragma once
// Which desktop application opens a file, found the way the desktop's own
// opener finds it: mimeapps.list defaults and additions, then the
// applications that list the file's type (or an alias or parent of it).

#include <QString>

namespace platform {

// The desktop file id ("xchm.desktop") of an application for the host file,
// or "" when the desktop has none. A handler only for
// application/octet-stream does not count: every file is one.
QString DesktopApplicationFor(const QString& hostFile);

} // namespace platform
