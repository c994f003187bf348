#pragma once
// What the lock, the writer and the copy ask of the host about a file: its
// name as the host spells it, where its links end, whether it lies on a
// share, and the mode a new file gets.

#include <QByteArray>
#include <QString>

namespace platform {

QByteArray Encoded(const QString& path);

// The process's umask, read without changing it, and the mode a new file
// gets under it.
unsigned Umask();
unsigned NewFileMode();

// The file a chain of symbolic links ends in, even one that does not exist
// yet, so that replacing it keeps the links.
QString FollowLinks(QString path);
// The name itself, its folder resolved: a link there stays a link.
QString InFolderResolved(const QString& path);

// A share (SMB, NFS, a FUSE client such as GVfs or smbnetfs), where a copy
// must show that bytes still move.
bool OnShare(const QString& dir);

// Writes all of `bytes` at `at` (pwrite, again after an interruption): 0, or
// the errno that stopped it.
int WriteAllAt(int fd, const QByteArray& bytes, long long at = 0);

} // namespace platform
