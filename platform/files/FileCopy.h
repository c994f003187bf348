#pragma once
// Copying a file whole or not at all, also to and from a share that is slow
// or stops answering.

#include <QString>

#include <functional>

namespace platform {

// Copies `source` over `target` (host paths) atomically, keeping the
// source's modification time, under the target's FileLock. As `cp` does, a
// new file gets the source's permission bits less the umask, a replaced file
// keeps its own mode and owner, and set-ID bits never come along. A link at
// the target is replaced, never written through. A read-only target is
// refused with PermissionDenied, a target that is the source itself (another
// spelling, through a folder link) with SameFile; both are left alone.
// `progress` hears the bytes done so far and may answer false to cancel
// (Cancelled); either failure leaves the old target as it was and no partial
// file. A copy from or to a share that moves no byte for five seconds gives
// up with DiskNotReady; should the share answer later, the copy is called off
// and its partial file removed. However slow, a copy that keeps moving goes on.
// A source that changes during the copy (saved again in place) gives
// DeviceIOError and leaves the old target.
// `keepOldAt`, when given, is where the replaced target goes as it is
// replaced (AtomicWriter::keepOldAt): kept whole, whatever it was saved as
// meanwhile, without a copy over a slow link.
// `mustBeNew`: the caller saw no target; one that turns up before the copy
// is renamed into place gives TargetChanged and is left alone.
int CopyFileAtomically(const QString& source, const QString& target,
                       const std::function<bool(qint64 done, qint64 total)>& progress = {},
                       const QString& keepOldAt = {}, bool mustBeNew = false);

} // namespace platform
