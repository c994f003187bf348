#pragma once
// The share as the suite's drive works on it. GVfs's FUSE view cannot open
// an existing file for reading and writing, which is how Wine saves over
// one, so the drive stands on a mount of its own: the kernel's where the
// system already mounts the share (it alone carries byte-range locks to the
// server), else rclone's SMB mount with its write cache, which saves over,
// renames over and deletes as a Windows PC's mapped drive does.

#include "platform/share/ShareMount.h"

#include <QString>

#include <optional>

namespace platform {

// The kernel's (cifs, smb3) mount of the share in a /proc/self/mountinfo
// text: its folder, "" when there is none.
QString KernelMountIn(const QString& mountinfo, const ShareAddress& share);
// An /etc/fstab entry for the share that a user may mount ("user", "users",
// "owner" or "group"): its mount point.
std::optional<QString> UserFstabEntryIn(const QString& fstab, const ShareAddress& share);

// The kernel's mount of the share now, "" when there is none.
QString KernelMounted(const ShareAddress& share);
// The kernel's mount of the share, mounting its user fstab entry first
// when there is one; "" when neither.
QString KernelMount(const ShareAddress& share, int boundMs);

// The drive's own mount, made by Quarn: its folder for this login, and
// whether rclone serves it now.
QString DriveMountFolder(const ShareAddress& share, const QString& user, const QString& domain);
bool DriveMounted(const QString& folder);
bool DriveMountAvailable(); // rclone is installed

// The password GVfs keeps in the keyring for this login (for this share,
// or for any share of the server), "" when none.
QString KeyringPassword(const ShareAddress& share, const QString& user, const QString& domain,
                        bool byShare);

// Mounts the drive's folder for this login with `password` (the keyring's
// when empty); found mounted, it is left as it is. `mountedHere` is set when
// this call made it. rclone sends a file up after it is closed, so Quarn's
// own copies and locks, which must be on the server when they return, take
// `direct` (GVfs's folder of the share), named beside the drive's folder
// by a link `<folder>.direct` that WinPath follows.
MountOutcome MountDrive(const ShareAddress& share, const ShareLogin& login, int boundMs,
                        const QString& direct, bool directMadeHere);

// "" when the drive's mount is gone (or was not there), else why not.
// `directMadeHere`: whether the direct folder's mount was made with it.
QString UnmountDrive(const QString& folder, bool* directMadeHere = nullptr);

MountKind KindOf(const QString& folder);

// The mount at `folder` as /proc/self/mountinfo tells it apart from any later
// one there (its mount number and device), "" when nothing is mounted there.
QString MountInfoIdentity(const QString& folder);

} // namespace platform
