#include "tests/support/TestPrefix.h"

#include "platform/profile/ProfileStore.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <filesystem>
#include <unistd.h>

static void Link(const QString& target, const QString& link) {
    if (::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) != 0)
        qFatal("cannot link %s", qPrintable(link));
}

TestPrefix::TestPrefix(Options options) {
    if (!dir_.isValid())
        qFatal("no temporary directory");
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
    platform::profile::ForgetCache();
}

// WINEPREFIX is put back just after.
TestPrefix::~TestPrefix() {
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

QStringList TestPrefix::tree(const QString& hostDir) {
    QStringList items;
    const auto all = QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;
    for (QDirIterator it(hostDir, all, QDirIterator::Subdirectories); it.hasNext();) {
        const QFileInfo entry(it.next());
        const QString name = entry.filePath().mid(hostDir.size() + 1);
        const std::filesystem::path path(QFile::encodeName(entry.filePath()).toStdString());
        items << (entry.isSymLink() ? name + "->" + QFile::decodeName(read_symlink(path).c_str())
                  : entry.isDir()   ? name + u'/'
                                    : name + u'=' + QString::fromLatin1(read(entry.filePath())));
    }
    items.sort();
    return items;
}

ScopedEnv::ScopedEnv(const QList<std::pair<const char*, QString>>& values) {
    for (const auto& [name, value] : values) {
        saved_.append({name, qgetenv(name)});
        value.isEmpty() ? qunsetenv(name) : qputenv(name, QFile::encodeName(value));
    }
}

ScopedEnv::~ScopedEnv() {
    for (const auto& [name, value] : saved_)
        value.isNull() ? qunsetenv(name) : qputenv(name, value);
}

ScopedXdgDirs::ScopedXdgDirs(const QString& root)
    : ScopedEnv({{"XDG_DATA_HOME", root + "/data"},
                 {"XDG_DATA_DIRS", root + "/system"},
                 {"XDG_CONFIG_HOME", root + "/config"},
                 {"XDG_CONFIG_DIRS", root + "/none"}}) {
    // The type database is read once per process, so every test sees it.
    QDir().mkpath(root + "/system");
    QFile::link(QStringLiteral("/usr/share/mime"), root + "/system/mime");
}

struct stat Stat(const QString& hostPath) {
    struct stat st {};
    ::lstat(QFile::encodeName(hostPath).constData(), &st);
    return st;
}

bool GiveAway(const QString& dir) {
    QDir().mkpath(dir);
    return ::chown(QFile::encodeName(dir).constData(), 65534, 65534) == 0;
}
