#include "tests/support/TestPrefix.h"

#include "platform/profile/ProfileStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace {

void Link(const QString& target, const QString& link) {
    if (::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) != 0)
        qFatal("cannot link %s", qPrintable(link));
}

} // namespace

TestPrefix::TestPrefix(Options options) {
    if (!dir_.isValid())
        qFatal("no temporary directory");
    hadPrefix_ = qEnvironmentVariableIsSet("WINEPREFIX");
    savedPrefix_ = qgetenv("WINEPREFIX");

    makeDir(prefix() + QStringLiteral("/dosdevices/unc/server"));
    if (options.driveC) {
        makeDir(driveC() + QStringLiteral("/windows/system32"));
        makeDir(driveC() + QStringLiteral("/VALUATOR"));
        Link(QStringLiteral("../drive_c"), prefix() + QStringLiteral("/dosdevices/c:"));
    }
    makeDir(driveD());
    Link(driveD(), prefix() + QStringLiteral("/dosdevices/d:"));
    Link(root() + QStringLiteral("/no-medium"), prefix() + QStringLiteral("/dosdevices/e:"));
    if (options.driveZ)
        Link(QStringLiteral("/"), prefix() + QStringLiteral("/dosdevices/z:"));
    makeDir(share());
    Link(share(), prefix() + QStringLiteral("/dosdevices/unc/server/share"));

    qputenv("WINEPREFIX", QFile::encodeName(prefix()));
    platform::profile::ForgetCache();
}

TestPrefix::~TestPrefix() {
    if (hadPrefix_)
        qputenv("WINEPREFIX", savedPrefix_);
    else
        qunsetenv("WINEPREFIX");
    platform::profile::ForgetCache();
}

void TestPrefix::write(const QString& hostPath, const QByteArray& bytes) {
    makeDir(QFileInfo(hostPath).path());
    QFile f(hostPath);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(hostPath));
}

void TestPrefix::makeDir(const QString& hostPath) {
    if (!QDir().mkpath(hostPath))
        qFatal("cannot make %s", qPrintable(hostPath));
}

QByteArray TestPrefix::read(const QString& hostPath) {
    QFile f(hostPath);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList TestPrefix::entries(const QString& hostDir) {
    return QDir(hostDir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                   QDir::NoDotAndDotDot);
}

namespace {
constexpr const char* kXdgVariables[] = {"XDG_DATA_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_HOME",
                                         "XDG_CONFIG_DIRS"};
}

ScopedXdgDirs::ScopedXdgDirs(const QString& root) {
    // The type database is read once per process, so every test sees it.
    QDir().mkpath(root + "/system");
    QFile::link(QStringLiteral("/usr/share/mime"), root + "/system/mime");
    const char* folders[] = {"/data", "/system", "/config", "/none"};
    for (int i = 0; i < 4; ++i) {
        saved_.append(qgetenv(kXdgVariables[i]));
        qputenv(kXdgVariables[i], QFile::encodeName(root + folders[i]));
    }
}

ScopedXdgDirs::~ScopedXdgDirs() {
    for (int i = 0; i < saved_.size(); ++i)
        saved_[i].isNull() ? qunsetenv(kXdgVariables[i]) : qputenv(kXdgVariables[i], saved_[i]);
}

ScopedRuntimeDirs::ScopedRuntimeDirs(const QString& runtime, const QString& tmp)
    : runtime_(qgetenv("XDG_RUNTIME_DIR")), tmp_(qgetenv("TMPDIR")) {
    runtime.isEmpty() ? qunsetenv("XDG_RUNTIME_DIR")
                      : qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
    qputenv("TMPDIR", QFile::encodeName(tmp));
}

ScopedRuntimeDirs::~ScopedRuntimeDirs() {
    runtime_.isNull() ? qunsetenv("XDG_RUNTIME_DIR") : qputenv("XDG_RUNTIME_DIR", runtime_);
    tmp_.isNull() ? qunsetenv("TMPDIR") : qputenv("TMPDIR", tmp_);
}

bool ScopedRuntimeDirs::GiveAway(const QString& dir) {
    QDir().mkpath(dir);
    return ::chown(QFile::encodeName(dir).constData(), 65534, 65534) == 0;
}
