#pragma once
// Replacing a file so that a crash, a kill or a full disk leaves either the
// old file or the new one, never a torn or empty one: the new content goes to
// a temporary file in the same directory, is flushed to disk and then renamed
// over the target.

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

namespace platform {

class FileLock;

// What a replacement takes over from the file it replaces, or is given as
// a new file: permission bits, and (for root) the owner; -1 keeps the
// maker's.
struct FileMode {
    unsigned permissions = 0;
    int owner = -1;
    int group = -1;
};

// A file's time: seconds since the epoch (negative before 1970) and the
// nanoseconds after them, the whole range the host keeps.
struct FileTime {
    qint64 seconds = 0;
    long nanoseconds = 0;
};

class AtomicWriter {
public:
    // `target` is a host path; a symbolic link is followed, so the file it
    // names is replaced and the link stays. Under a held `lock` the temporary
    // file has one fixed name, so a writer killed halfway leaves at most one
    // file behind, which the next writer removes.
    explicit AtomicWriter(QString target, const FileLock* lock = nullptr);
    ~AtomicWriter(); // discards an uncommitted file
    AtomicWriter(const AtomicWriter&) = delete;
    AtomicWriter& operator=(const AtomicWriter&) = delete;

    // Each returns 0 or an error number. `like` gives the permissions (and,
    // for root, the owner) of the file being replaced; a new file gets the
    // umask's.
    int open(const std::optional<FileMode>& like = std::nullopt);
    int write(const char* data, qint64 size);
    // `stillWanted`, asked just before the rename, may call the write off.
    int commit(const std::function<bool()>& stillWanted = {});
    // The times the file gets once it is in place.
    void keepTimes(FileTime accessed, FileTime modified);
    // Where the file replaced goes the moment the new one takes its place: a
    // hard link, else a rename (a share), so exactly that version is kept
    // without a byte moved. The name must be free; a file that cannot be set
    // aside is not replaced.
    void keepOldAt(const QString& hostPath) { keepOld_ = hostPath; }
    // Only where no file is: one there at the rename gives TargetChanged
    // and stays as it is.
    void onlyNew() { onlyNew_ = true; }
    int fd() const { return fd_; } // the open temporary, for copying into

    // Tests reach the path taken where the file system has no unnamed files.
    static void UseNamedTemporariesOnly(bool namedOnly);

private:
    void discard();
    int afterRename(); // the times kept, the folder flushed

    QString tempName(int attempt) const;
    int claim(const QString& name, const std::function<int(const QString&)>& make);

    QString target_;
    bool locked_ = false;
    bool onShare_ = false; // looked at on opening: a rename makes a share's client ask again
    QString tempName_;     // named temporary file, when the file system has no O_TMPFILE
    int fd_ = -1;
    bool keepTimes_ = false;
    bool onlyNew_ = false;
    QString keepOld_;
    FileTime times_[2]{};
};

// The whole of `bytes` into `target`, atomically. Returns 0 or an error number.
int ReplaceFile(const QString& target, const QByteArray& bytes,
                const std::optional<FileMode>& like = std::nullopt);

// Removes from `dir` the temporary files of Quarn's writers that were cut
// off (a share gone mid-copy, a kill): those whose target's lock is free and
// that have not changed for a minute, as a writer on another machine, whose
// lock we cannot see, keeps its file changing.
void RemoveLeftovers(const QString& dir);

} // namespace platform
