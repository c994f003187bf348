#pragma once
// The desktop's shell: web addresses and documents through the desktop's
// opener, ".exe" programs through the Wine of the prefix in force (31 when
// it is not installed, as for a document type no desktop application
// opens). Windows paths resolve through the prefix; a relative one against
// the current directory.

#include "platform/ShellOpen.h"

namespace platform {

class DesktopShell : public ShellService {
public:
    int execute(const ShellRequest& request) override;
};

} // namespace platform
