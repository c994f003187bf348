#pragma once
// Files removed by a synchronization go to the desktop's trash, never into
// nothing.

#include <QString>

namespace platform {

// Moves the host file `path` to the desktop's trash (the freedesktop trash
// of its own volume, else the user's home trash by a copy and a removal).
// NoError, or the run-time error number of why it stayed.
int MoveToTrash(const QString& path);

} // namespace platform
