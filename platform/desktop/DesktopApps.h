#pragma once
// Which desktop application opens a file, as GIO finds it for the desktop's
// own opener: mimeapps.list defaults and additions, then the applications
// that list the file's type (or an alias or parent of it).

#include <QString>

namespace platform {

// The desktop file id ("xchm.desktop") of an application for the host file,
// or "" when the desktop has none or does not answer within the disk's
// bound. A handler only for application/octet-stream does not count: every
// file is one.
QString DesktopApplicationFor(const QString& hostFile);

} // namespace platform
