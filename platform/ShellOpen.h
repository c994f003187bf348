#pragma once
// Opening a document, a program or a web address with what the desktop
// associates with it, answering with the shell's numbers: above 32 for
// success, else 2 file not found, 3 path not found, 5 access denied,
// 31 no application for the type, and so on.

#include <QList>
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

class ScopedShell {
public:
    explicit ScopedShell(ShellService& shell);
    ~ScopedShell();
    ScopedShell(const ScopedShell&) = delete;
    ScopedShell& operator=(const ScopedShell&) = delete;

private:
    ShellService* previous_;
};

// Records every request and answers with a set number (tests).
class RecordingShell : public ShellService {
public:
    explicit RecordingShell(int answer = 42) : answer(answer) {}
    int execute(const ShellRequest& request) override {
        requests.append(request);
        return answer;
    }
    int answer;
    QList<ShellRequest> requests;
};

} // namespace platform
