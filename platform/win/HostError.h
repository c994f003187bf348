#pragma once
// Host failures expressed as the run-time's numbered errors, so every caller
// above the platform layer reasons in the numbers the program's messages use.

#include <QString>

#include <exception>

namespace platform {

enum ErrorNumber : int {
    NoError = 0,
    InvalidCall = 5,
    Overflow = 6,
    FileNotFound = 53,
    DeviceIOError = 57,
    DiskFull = 61,
    DeviceUnavailable = 68,
    PermissionDenied = 70,
    DiskNotReady = 71,
    PathFileAccessError = 75,
    PathNotFound = 76,
    // Quarn's own, beyond the run-time's numbers.
    SameFile = 1001,
    Cancelled = 1002,
    FileBusy = 1003,      // another writer held the file's lock too long
    NoLockFolder = 1004,  // no folder of the user's own to keep locks in
    TargetChanged = 1005, // the file to be replaced was saved by another during the copy
};

// Short description of an error number, as the run-time words it.
QString ErrorDescription(int number);

// Maps a host errno onto an error number. `parentMissing` tells ENOENT for a
// missing file (53) from ENOENT for a missing directory on the way (76).
int ErrorFromErrno(int err, bool parentMissing = false);

// A failure handed on to the caller ("raised"), carrying its number.
class RuntimeError : public std::exception {
public:
    explicit RuntimeError(int number);
    int number() const { return number_; }
    QString description() const { return ErrorDescription(number_); }
    const char* what() const noexcept override { return what_.constData(); }

private:
    int number_;
    QByteArray what_;
};

// A value with the error number of the step that produced it (0 = success).
template <class T> struct Result {
    T value{};
    int error = NoError;
    bool ok() const { return error == NoError; }
};

} // namespace platform
