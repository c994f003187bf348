#pragma once
// Windows paths over a Wine prefix. Everything above the platform layer keeps
// Windows paths (C:\VALUATOR\QUARN2.INI, \\SERVER\SHARE\DATA); they become host
// paths here, only at the moment the disk is touched.

#include "platform/win/BoundedAsk.h"
#include "platform/win/HostError.h"

#include <QString>

#include <functional>

namespace platform {

// $WINEPREFIX, else ~/.wine; on a thread inside a ScopedWinePrefix, its
// folder.
QString WinePrefix();

// Maps this thread's paths through another prefix for its lifetime (to look
// into prefixes other than the one in force).
class ScopedWinePrefix {
public:
    explicit ScopedWinePrefix(const QString& folder);
    ~ScopedWinePrefix();
    ScopedWinePrefix(const ScopedWinePrefix&) = delete;
    ScopedWinePrefix& operator=(const ScopedWinePrefix&) = delete;

private:
    QString previous_;
};

// Host path for a Windows path. Drive letters go through
// <prefix>/dosdevices/<letter>: (C: falls back to <prefix>/drive_c), UNC
// paths through <prefix>/dosdevices/unc/<server>/<share>, and a path that
// starts with "/" is a host path already. Each existing component is matched
// exactly first, then without regard to case; the rest is kept as written.
// Relative paths resolve against CurrentDirectory(), or against the host's
// working folder itself when no drive reaches it. Errors: 68 for a drive or
// share with no mapping, 71 for a mapping whose target is gone (a drive
// without its medium, or a share that did not answer in time: see
// AnswerBound), 75 for a name the file system cannot hold.
Result<QString> ToHostPath(const QString& windowsPath);

// Windows path for a host path through the drive table ("" when no drive
// reaches it).
QString ToWindowsPath(const QString& hostPath);

// The process's working directory as a Windows path on a drive, else "C:\".
QString CurrentDirectory();

// "C:\windows" and "C:\windows\system32", or "" when the prefix has no C:
// (or its C: did not answer in time).
QString WindowsDirectory();
QString SystemDirectory();

// Length of a file. 53 for a missing file or a directory, 76 for a missing
// directory on the way, 71 for a share that did not answer in time, else
// the mapped host error.
Result<qint64> FileLength(const QString& windowsPath);

// A file of at least one byte. Whatever cannot be asked (no such drive, no
// medium, no permission) counts as absent: for lookups that must never
// trouble the user.
bool NonEmptyFileExists(const QString& windowsPath);

// Runs `ask`, which touches the disk on the share `path` lies on, within
// AnswerBound() (BoundedAsk.h), under this thread's ScopedWinePrefix: false
// when it gave up (the ask goes on alone and must own what it touches) or
// no thread could be started for it. Inside such an ask, further ones run
// at once.
bool AskWithinBound(const QString& path, std::function<void()> ask);

// As AskWithinBound, giving up after `boundMs`, and throwing
// std::system_error where no thread can be started.
bool AskWithinBoundOrThrow(const QString& path, std::function<void()> ask, int boundMs);

// The share a path lies on, told from its text alone: finding it on the disk
// could hang. A drive letter, a \\server\share (names without regard to
// case), "" for a path on the current drive, and for a host path its first
// two folders, where mounts sit.
QString ShareOf(const QString& windowsPath);

// Tests stand in for a share that stops answering: `probe` sees each host
// path before the disk is asked about it, on the asking thread, and may
// block. An empty function takes it away.
using HostProbe = std::function<void(const QString& hostPath)>;
void SetHostProbe(HostProbe probe);
void ProbeHost(const QString& hostPath);

} // namespace platform
