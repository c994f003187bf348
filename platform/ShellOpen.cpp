#include "platform/ShellOpen.h"

namespace platform {
namespace {

ShellService* gShell = nullptr;

// Without a desktop (quarnctl, a test) nothing opens anything.
class NoShell : public ShellService {
public:
    int execute(const ShellRequest&) override { return 31; }
};

} // namespace

ShellService& CurrentShell() {
    static NoShell none;
    return gShell ? *gShell : none;
}

ScopedShell::ScopedShell(ShellService& shell) : previous_(gShell) {
    gShell = &shell;
}
ScopedShell::~ScopedShell() {
    gShell = previous_;
}

} // namespace platform
