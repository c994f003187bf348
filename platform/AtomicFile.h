#pragma once
// Replacing a file so that a crash, a kill or a full disk leaves either the
// old file or the new one, never a torn or empty one: the new content goes to
// a temporary file in the same directory, is flushed to disk and then renamed
// over the target.

#include <QByteArray>
#include <QString>

#include <sys/stat.h>

#include <functional>

namespace platform {

class AtomicWriter {
public:
    // `target` is a host path; a symbolic link is followed, so the file it
    // names is replaced and the link stays.
    explicit AtomicWriter(QString target);
    ~AtomicWriter(); // discards an uncommitted file
    AtomicWriter(const AtomicWriter&) = delete;
    AtomicWriter& operator=(const AtomicWriter&) = delete;

    // Each returns 0 or an error number. `like` gives the permissions (and,
    // for root, the owner) of the file being replaced; a new file gets the
    // umask's.
    int open(const struct stat* like = nullptr);
    int write(const char* data, qint64 size);
    int commit();
    int fd() const { return fd_; } // the open temporary, for copying into

    // Tests reach the path taken where the file system has no unnamed files.
    static void UseNamedTemporariesOnly(bool namedOnly);

private:
    void discard();

    QString target_;
    QString tempName_; // named temporary file, when the file system has no O_TMPFILE
    int fd_ = -1;
};

// The whole of `bytes` into `target`, atomically. Returns 0 or an error number.
int ReplaceFile(const QString& target, const QByteArray& bytes, const struct stat* like = nullptr);

// Copies `source` over `target` (host paths) atomically, keeping the
// source's permissions and modification time, as the platform's copy does.
// A target that is the source itself (another spelling, a link) is refused
// with SameFile and left alone. `progress` hears the bytes done so far and
// may answer false to cancel (Cancelled); either failure leaves the old
// target as it was and no partial file.
int CopyFileAtomically(const QString& source, const QString& target,
                       const std::function<bool(qint64 done, qint64 total)>& progress = {});

} // namespace platform
