#pragma once
// The first entry of a directory, the run-time's way of asking whether a
// folder is there, on a thread of its own so that a share that stopped
// answering cannot hang the caller.

#include "platform/win/HostError.h"

#include <QString>

#include <functional>

namespace platform {

// True when the directory can be listed: it exists and is readable. Lists
// as FirstDirectoryEntry does, giving up with it.
bool CanListDirectory(const QString& windowsDirectory);

// The first entry of a directory as the run-time's listing gives it:
// plain files and directories, no hidden ones ("." names); a directory
// other than a drive's root first lists ".", itself. "" when a root lists
// nothing. A listing that has not answered within `timeoutMs` (a share that
// stopped answering) gives up with error 71; the listing goes on alone.
// One listing per share (drive letter, \\server\share, the current drive):
// while one is pending, another of the same share waits for it as long as
// it may still answer in time, and gives up at once (71) when that time has
// run out, without starting a listing of its own.
Result<QString> FirstDirectoryEntry(const QString& windowsDirectory, int timeoutMs = 5000);

// Tests stand in for the host's listing (of a host directory); an empty
// function puts the host's back.
using DirectoryLister = std::function<Result<QString>(const QString& hostDir, bool driveRoot)>;
void SetDirectoryLister(DirectoryLister lister);

} // namespace platform
