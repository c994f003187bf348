#include "platform/files/Trash.h"

#include "platform/files/FileCopy.h"
#include "platform/files/HostFile.h"
#include "platform/win/HostError.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <gio/gio.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

// "SMITH.RPT", then "SMITH.2.RPT" ...: the type stays visible.
QString Candidate(const QString& name, int n) {
    if (n == 1)
        return name;
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot > 0 ? name.left(dot) + u'.' + QString::number(n) + name.mid(dot)
                   : name + u'.' + QString::number(n);
}

// The home trash with its two folders, made when missing; its error number
// when it cannot be.
Result<QString> HomeTrash() {
    const QString trash = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                          QStringLiteral("/Trash");
    QDir().mkpath(QFileInfo(trash).absolutePath());
    for (const char* part : {"", "/files", "/info"})
        if (::mkdir(Encoded(trash + QLatin1String(part)).constData(), 0700) != 0 && errno != EEXIST)
            return {{}, ErrorFromErrno(errno, true)};
    return {trash};
}

} // namespace

int MoveToTrash(const QString& path) {
    // On the office share GIO would make a trash folder per user number at
    // the share's root, which a colleague's laptop may share: the report
    // goes to this user's home trash instead.
    if (OnShare(QFileInfo(path).absolutePath()))
        return MoveToHomeTrash(path);
    struct stat st {};
    if (::lstat(Encoded(path).constData(), &st) != 0) {
        const int err = errno;
        return ErrorFromErrno(err, !QFileInfo(path).dir().exists());
    }
    if (!S_ISREG(st.st_mode))
        return PathFileAccessError;
    GFile* file = g_file_new_for_path(Encoded(path).constData());
    GError* error = nullptr;
    const bool trashed = g_file_trash(file, nullptr, &error);
    g_object_unref(file);
    if (trashed)
        return NoError;
    const bool elsewhere = g_error_matches(error, G_IO_ERROR, G_IO_ERROR_NOT_SUPPORTED);
    const int code = error->domain == G_IO_ERROR ? error->code : G_IO_ERROR_FAILED;
    g_error_free(error);
    if (elsewhere) // no trash on its volume that GIO will use
        return MoveToHomeTrash(path);
    switch (code) {
    case G_IO_ERROR_NOT_FOUND: return FileNotFound;
    case G_IO_ERROR_PERMISSION_DENIED: return PermissionDenied;
    case G_IO_ERROR_NO_SPACE: return DiskFull;
    default: return PathFileAccessError;
    }
}

namespace {

// A file set aside goes back under its name, never over a file saved there
// meanwhile; where the share has no hard links, only while the name is free.
void PutBack(const QByteArray& aside, const QByteArray& name) {
    if (::link(aside.constData(), name.constData()) == 0) {
        ::unlink(aside.constData());
        return;
    }
    struct stat there {};
    if (errno != EEXIST && ::lstat(name.constData(), &there) != 0)
        ::rename(aside.constData(), name.constData());
}

} // namespace

int MoveToHomeTrash(const QString& path) {
    const QFileInfo file(path);
    const QByteArray source = Encoded(path);
    struct stat st {};
    if (::lstat(source.constData(), &st) != 0) {
        const int err = errno;
        return ErrorFromErrno(err, !file.dir().exists());
    }
    if (!S_ISREG(st.st_mode))
        return PathFileAccessError;

    const Result<QString> home = HomeTrash();
    if (!home.ok())
        return home.error;
    const QString& trash = home.value;
    const QByteArray info =
        "[Trash Info]\nPath=" +
        Encoded(QDir::cleanPath(file.absoluteFilePath())).toPercentEncoding("/") +
        "\nDeletionDate=" + QDateTime::currentDateTime().toString(u"yyyy-MM-ddThh:mm:ss").toUtf8() +
        '\n';
    for (int n = 1; n < 10000; ++n) {
        const QString name = Candidate(file.fileName(), n);
        const QString kept = trash + QStringLiteral("/files/") + name;
        struct stat there {};
        if (::lstat(Encoded(kept).constData(), &there) == 0)
            continue;
        // The record claims the name: whoever makes it first has it.
        const QByteArray record =
            Encoded(trash + QStringLiteral("/info/") + name + QStringLiteral(".trashinfo"));
        const int fd =
            ::open(record.constData(), O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            return ErrorFromErrno(errno);
        int err = WriteAllAt(fd, info);
        if (::close(fd) != 0 && err == 0)
            err = errno;
        // Set aside first, in one step: a save that comes during the copy
        // makes a new file, which stays, instead of being deleted unseen.
        const QByteArray aside = Encoded(file.absolutePath() + QStringLiteral("/.") +
                                         file.fileName() + QStringLiteral(".quarn-trash"));
        if (err == 0 && ::rename(source.constData(), aside.constData()) != 0)
            err = errno;
        int failure =
            err != 0 ? ErrorFromErrno(err) : CopyFileAtomically(QFile::decodeName(aside), kept);
        if (failure == NoError && ::unlink(aside.constData()) != 0) {
            failure = ErrorFromErrno(errno);
            ::unlink(Encoded(kept).constData());
        }
        if (failure != NoError) {
            if (err == 0)
                PutBack(aside, source);
            ::unlink(record.constData());
        }
        return failure;
    }
    return PathFileAccessError;
}

} // namespace platform
