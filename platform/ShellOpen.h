#pragma once
// Opening a document, a program or a web address with what the desktop
// associates with it, answering with the shell's numbers: above 32 for
// success, else 2 file not found, 3 path not found, 5 access denied,
// 31 no application for the type, and so on.

#include "platform/Service.h"

#include <QString>

namespace platform {

struct ShellRequest {
    QString verb, target, parameters, directory;
    int showCommand = 1;
    bool operator==(const ShellRequest&) const = default;
};

class ShellService {
public:
    virtual ~ShellService() = default;
    virtual int execute(const ShellRequest& request) = 0;
};

// The service in use: the one installed last (the windows install the
// desktop's, DesktopShell); with none, every request answers 31.
ShellService& CurrentShell();

using ScopedShell = Service<ShellService>::Scoped;

} // namespace platform
