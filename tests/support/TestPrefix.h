#pragma once
// A throw-away Wine-style prefix for tests that touch files: C: (dosdevices
// link to drive_c, with windows\system32 and the suite folder VALUATOR), D:
// on a second folder, E: a drive whose medium is gone (a dangling link), Z:
// on the host's root as Wine sets it up, and the share \\SERVER\SHARE.
// WINEPREFIX points at it for the object's lifetime.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <utility>

// Sets environment variables for the object's lifetime (an empty value
// unsets one) and puts back what they were.
class ScopedEnv {
public:
    explicit ScopedEnv(const QList<std::pair<const char*, QString>>& values);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    QList<std::pair<const char*, QByteArray>> saved_;
};

class TestPrefix {
public:
    struct Options {
        bool driveZ = true, driveC = true;
    };
    TestPrefix() : TestPrefix(Options{}) {}
    explicit TestPrefix(Options options);
    ~TestPrefix();

    QString root() const { return dir_.path(); }
    QString prefix() const { return dir_.path() + QStringLiteral("/prefix"); }
    QString driveC() const { return prefix() + QStringLiteral("/drive_c"); }
    QString driveD() const { return dir_.path() + QStringLiteral("/second"); }
    QString share() const { return dir_.path() + QStringLiteral("/share"); }

    // Host path under root() for a relative path such as "prefix/drive_c/x".
    QString at(const QString& relative) const { return root() + u'/' + relative; }

    // Files and folders by host path; parents are created.
    static void write(const QString& hostPath, const QByteArray& bytes);
    static void makeDir(const QString& hostPath);
    static QByteArray read(const QString& hostPath);
    // Every file name in a host directory, hidden ones included.
    static QStringList entries(const QString& hostDir);
    // Everything below a host directory, sorted: "name/" a folder, "name->text"
    // a link (its text as written), "name=bytes" a file.
    static QStringList tree(const QString& hostDir);

private:
    QTemporaryDir dir_;
    ScopedEnv prefix_{{{"WINEPREFIX", prefix()}}};
};

// Points the desktop's application lookup at <root>/data and <root>/config
// alone (with the system's type database) for the object's lifetime.
class ScopedXdgDirs : public ScopedEnv {
public:
    explicit ScopedXdgDirs(const QString& root);
};

// Makes `dir` another user's (as one planted by them); false when not root.
bool GiveAway(const QString& dir);

// A host path's status, of a link itself: all zero, which no check expects,
// when there is none.
struct stat Stat(const QString& hostPath);
