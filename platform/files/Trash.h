#pragma once
// Files removed by a synchronization go to the desktop's trash, never into
// nothing.

#include <QString>

namespace platform {

// Moves the host file `path` to the desktop's trash: through GIO on the
// laptop's own volumes (the home trash, or the volume's own trash as the
// file manager keeps it); a file on a share, or one GIO cannot trash, into
// the user's home trash by a copy and a removal. NoError, or the run-time
// error number of why it stayed.
int MoveToTrash(const QString& path);

// The home trash's way alone ($XDG_DATA_HOME/Trash), by a copy and a
// removal, for a file the trash cannot be renamed into (on a share, another
// volume): its record in info/ first, then the copy, then the removal; a
// failure undoes what it made and leaves the file. Plain files only.
int MoveToHomeTrash(const QString& path);

} // namespace platform
