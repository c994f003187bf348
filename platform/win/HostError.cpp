#include "platform/win/HostError.h"

#include <cerrno>

namespace platform {

QString ErrorDescription(int number) {
    switch (number) {
    case InvalidCall: return QStringLiteral("Invalid procedure call or argument");
    case Overflow: return QStringLiteral("Overflow");
    case FileNotFound: return QStringLiteral("File not found");
    case DeviceIOError: return QStringLiteral("Device I/O error");
    case DiskFull: return QStringLiteral("Disk full");
    case DeviceUnavailable: return QStringLiteral("Device unavailable");
    case PermissionDenied: return QStringLiteral("Permission denied");
    case DiskNotReady: return QStringLiteral("Disk not ready");
    case PathFileAccessError: return QStringLiteral("Path/File access error");
    case PathNotFound: return QStringLiteral("Path not found");
    case 380: return QStringLiteral("Invalid property value");
    case SameFile: return QStringLiteral("Source and target are the same file");
    case Cancelled: return QStringLiteral("Cancelled");
    case FileBusy:
        return QStringLiteral("The file is busy: another program kept it locked for over five "
                              "seconds");
    case NoLockFolder:
        return QStringLiteral("No safe folder for Quarn's locks: set XDG_RUNTIME_DIR to a folder "
                              "only you can write");
    case TargetChanged:
        return QStringLiteral("The file to be replaced was saved by another program during the "
                              "copy, so it was left as it is");
    default: return QStringLiteral("Application-defined or object-defined error");
    }
}

int ErrorFromErrno(int err, bool parentMissing) {
    switch (err) {
    case 0: return NoError;
    case ENOENT: return parentMissing ? PathNotFound : FileNotFound;
    case ENOTDIR: return PathNotFound;
    case EIO: return DeviceIOError;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return DiskFull;
    case ENXIO:
    case ENODEV:
    case EHOSTDOWN:
    case EHOSTUNREACH:
    case ENETDOWN:
    case ENETUNREACH:
    case ESTALE: return DeviceUnavailable;
    case ENOMEDIUM: return DiskNotReady;
    case EACCES:
    case EPERM:
    case EROFS: return PermissionDenied;
    default: return PathFileAccessError;
    }
}

RuntimeError::RuntimeError(int number)
    : number_(number),
      what_(QStringLiteral("Error %1: %2").arg(number).arg(ErrorDescription(number)).toUtf8()) {}

} // namespace platform
