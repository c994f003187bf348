#include "platform/profile/ProfileStore.h"

#include "platform/files/AtomicFile.h"
#include "platform/files/FileLock.h"
#include "platform/profile/IniDocument.h"
#include "platform/win/HostError.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QScopeGuard>

#include <functional>
#include <optional>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::profile {
namespace {

// An INI file larger than this is no INI file (a disk image, a sparse file
// of terabytes): it reads as missing and is never written.
constexpr qint64 kLargestFile = 256 * 1024 * 1024;
// The cache holds parsed files up to this many bytes in all; larger files
// are parsed for each call.
constexpr qint64 kCacheBytes = 32 * 1024 * 1024;
// File times come from a coarse clock; a file changed this close to our read
// of it may change again without its time moving, so it is not trusted.
constexpr qint64 kRacyNs = 50'000'000;

qint64 Ns(const timespec& t) {
    return qint64(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

FileMode ModeOf(const struct stat& st) {
    return {st.st_mode & 07777u, static_cast<int>(st.st_uid), static_cast<int>(st.st_gid)};
}

struct Identity {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    qint64 mtime = 0;
    qint64 ctime = 0;
    bool operator==(const Identity&) const = default;
};

Identity IdentityOf(const struct stat& st) {
    return {st.st_dev, st.st_ino, st.st_size, Ns(st.st_mtim), Ns(st.st_ctim)};
}

// Written by us: the times say nothing of the text, which the next read
// compares.
constexpr Identity kByContentOnly{.size = -1};

struct Entry {
    Identity id;
    qint64 readAt = 0;
    std::shared_ptr<const IniDocument> doc;
};

// A window's worker thread may write while the user-interface thread reads:
// the cache is shared, under its mutex. The parsed documents are immutable.
std::mutex gCacheMutex;
QHash<QString, Entry> gCache;
qint64 gCachedBytes = 0;

void ForgetHeld(const QString& hostPath) {
    const auto it = gCache.constFind(hostPath);
    if (it == gCache.cend())
        return;
    gCachedBytes -= it->doc->bytes().size();
    gCache.erase(it);
}

void Forget(const QString& hostPath) {
    const std::lock_guard hold(gCacheMutex);
    ForgetHeld(hostPath);
}

void Remember(const QString& hostPath, const Entry& entry) {
    const std::lock_guard hold(gCacheMutex);
    ForgetHeld(hostPath);
    const qint64 size = entry.doc->bytes().size();
    if (size > kCacheBytes)
        return;
    if (gCachedBytes + size > kCacheBytes) {
        gCache.clear();
        gCachedBytes = 0;
    }
    gCache.insert(hostPath, entry);
    gCachedBytes += size;
}

struct Loaded {
    std::shared_ptr<const IniDocument> doc; // empty document when the file is missing
    bool exists = false;
    bool usable = true; // false: present but not a readable regular file of sane size
    QString why;        // when not usable
    struct stat st {};
};

// Whether the open file holds exactly `bytes`: read in pieces into one
// buffer, no further than the first difference.
bool Holds(int fd, const QByteArray& bytes) {
    char buf[65536];
    for (qsizetype at = 0;;) {
        const ssize_t n = ::pread(fd, buf, sizeof buf, at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n == 0 && at == bytes.size();
        if (n > bytes.size() - at || std::memcmp(buf, bytes.constData() + at, n) != 0)
            return false;
        at += n;
    }
}

const std::shared_ptr<const IniDocument>& Empty() {
    static const auto empty = std::make_shared<const IniDocument>();
    return empty;
}

Loaded Load(const QString& hostPath) {
    Loaded out;
    out.doc = Empty();
    // O_NONBLOCK: a FIFO named like an INI file must not hang us.
    const int fd =
        ::open(QFile::encodeName(hostPath).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        out.usable = errno == ENOENT || errno == ENOTDIR;
        out.why = ErrorDescription(ErrorFromErrno(errno));
        return out;
    }
    out.exists = true;
    if (::fstat(fd, &out.st) != 0 || !S_ISREG(out.st.st_mode) || out.st.st_size > kLargestFile) {
        out.why = S_ISREG(out.st.st_mode) ? QStringLiteral("the file is larger than 256 MiB")
                                          : QStringLiteral("not a plain file");
        ::close(fd);
        out.usable = false;
        return out;
    }
    const Identity id = IdentityOf(out.st);
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    std::shared_ptr<const IniDocument> seen;
    {
        const std::lock_guard hold(gCacheMutex);
        const auto it = gCache.constFind(hostPath);
        if (it != gCache.cend() && it->id == id && id.mtime < it->readAt - kRacyNs &&
            id.ctime < it->readAt - kRacyNs) {
            out.doc = it->doc;
            ::close(fd);
            return out;
        }
        if (it != gCache.cend() && it->doc->bytes().size() == id.size)
            seen = it->doc;
    }
    // Its times not to be trusted, the text decides: the same bytes keep
    // their parse.
    if (seen && Holds(fd, seen->bytes())) {
        ::close(fd);
        out.doc = std::move(seen);
        Remember(hostPath, {id, Ns(now), out.doc});
        return out;
    }

    try {
        QByteArray bytes;
        bytes.reserve(out.st.st_size);
        char buf[65536];
        for (;;) {
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 || bytes.size() + n > kLargestFile) {
                out.usable = false;
                out.why = n < 0 ? ErrorDescription(ErrorFromErrno(errno))
                                : QStringLiteral("the file is larger than 256 MiB");
            }
            if (n <= 0 || !out.usable)
                break;
            bytes.append(buf, n);
        }
        if (out.usable)
            out.doc = std::make_shared<const IniDocument>(std::move(bytes));
    } catch (const std::bad_alloc&) {
        out.usable = false;
        out.why = QStringLiteral("out of memory");
    }
    ::close(fd);
    if (out.usable)
        Remember(hostPath, {id, Ns(now), out.doc});
    return out;
}

// The platform refuses to write a file that is not writable, even where the
// directory would let us replace it; root writes only where some write bit
// is set.
bool Writable(const QString& hostPath, const Loaded& cur) {
    if (!cur.exists)
        return true;
    if (::access(QFile::encodeName(hostPath).constData(), W_OK) != 0)
        return false;
    return ::geteuid() != 0 || (cur.st.st_mode & 0222) != 0;
}

QString Unquoted(QStringView def) {
    qsizetype e = def.size();
    while (e > 0 && def[e - 1] == u' ')
        --e;
    QStringView v = def.left(e);
    if (v.size() >= 2 && (v[0] == u'"' || v[0] == u'\'') && v.back() == v[0])
        v = v.mid(1, v.size() - 2);
    return v.toString();
}

// Whether the file is still the one `cur` read: no other program has
// replaced or changed it since.
bool Unchanged(const QString& hostPath, const Loaded& cur) {
    struct stat now {};
    if (::stat(QFile::encodeName(hostPath).constData(), &now) != 0)
        return !cur.exists && errno == ENOENT;
    if (!cur.exists || !(IdentityOf(now) == IdentityOf(cur.st)))
        return false;
    // Within the clock's grain an edit in place may keep every time: look.
    timespec clock{};
    ::clock_gettime(CLOCK_REALTIME, &clock);
    if (Ns(now.st_mtim) < Ns(clock) - kRacyNs && Ns(now.st_ctim) < Ns(clock) - kRacyNs)
        return true;
    const int fd =
        ::open(QFile::encodeName(hostPath).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    const bool same = Holds(fd, cur.doc->bytes());
    ::close(fd);
    return same;
}

std::function<void(const QString&)> gBeforeReplace;

int WriteAll(int fd, const QByteArray& bytes) {
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::pwrite(fd, bytes.constData() + done, bytes.size() - done, done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        done += n;
    }
    return ::ftruncate(fd, bytes.size()) == 0 && ::fsync(fd) == 0 ? 0 : errno;
}

// A file with other names (hard links, as from the Windows directory) is
// rewritten in place, so that every name keeps showing the one file. Its old
// text waits beside it, in .NAME.quarn.old, until the new text is on disk,
// and is put back if the new text cannot be written whole (a full disk).
int WriteInPlace(const QString& target, const Loaded& cur, const QByteArray& bytes,
                 const std::function<bool()>& stillWanted) {
    const QFileInfo fi(target);
    const QString keep =
        fi.path() + QStringLiteral("/.") + fi.fileName() + QStringLiteral(".quarn.old");
    // The name itself, under a lock of its own: a link planted there is
    // replaced, not written through.
    FileLock keepLock(keep, false);
    int err = keepLock.acquire();
    if (err)
        return err;
    AtomicWriter copy(keep, &keepLock);
    err = copy.open(ModeOf(cur.st));
    if (!err)
        err = copy.write(cur.doc->bytes().constData(), cur.doc->bytes().size());
    if (!err)
        err = copy.commit();
    if (err)
        return err;
    auto removeCopy = qScopeGuard([&] { ::unlink(QFile::encodeName(keep).constData()); });
    const int fd = ::open(QFile::encodeName(target).constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return ErrorFromErrno(errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_dev != cur.st.st_dev || st.st_ino != cur.st.st_ino ||
        !stillWanted()) {
        ::close(fd);
        return Cancelled;
    }
    // The space first, where the file system can promise it.
    int errnum = bytes.size() > st.st_size
                     ? (::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, bytes.size()) == 0 ? 0 : errno)
                     : 0;
    if (errnum == EOPNOTSUPP || errnum == ENOSYS || errnum == EINVAL)
        errnum = 0;
    if (!errnum) {
        errnum = WriteAll(fd, bytes);
        // Put back only what we tore: where nothing was written, another
        // program may have written since our last look.
        if (errnum && WriteAll(fd, cur.doc->bytes()) != 0)
            removeCopy.dismiss(); // the old text is in the copy alone now
    }
    if (::close(fd) != 0 && !errnum && errno != EINTR)
        errnum = errno;
    return ErrorFromErrno(errnum);
}

// The loaded file as edited; nullopt with an empty `why` when nothing needs
// writing.
using Edit = std::function<std::optional<IniDocument>(const Loaded& cur, QString* why)>;

// Read, edit and replace as one step among Quarn's writers (the file's
// lock), and never over a change that another program made meanwhile: the
// edit is made again on the file as it now is.
Outcome Change(const QString& hostPath, const Edit& edit) {
    FileLock lock(hostPath);
    if (const int err = lock.acquire())
        return {false, ErrorDescription(err)};
    for (int attempt = 0;; ++attempt) {
        const Loaded cur = Load(hostPath);
        if (!cur.usable)
            return {false, cur.why};
        QString why;
        auto edited = edit(cur, &why);
        if (!edited)
            return {why.isEmpty(), why};
        const auto doc = std::make_shared<const IniDocument>(std::move(*edited));
        const QByteArray* const bytes = &doc->bytes();
        // A write that changes nothing is none, so a read-only file that
        // already holds the value is no failure.
        if (cur.exists && *bytes == cur.doc->bytes())
            return {};
        if (!Writable(hostPath, cur))
            return {false, QStringLiteral("the file is read-only")};
        // Asked at the last moment: once the new text is whole on disk, or,
        // in place, the old text's copy.
        const auto stillWanted = [&] {
            if (gBeforeReplace)
                gBeforeReplace(hostPath);
            return Unchanged(hostPath, cur);
        };
        int err = NoError;
        bool replaced = false;
        if (cur.exists && cur.st.st_nlink > 1) {
            err = WriteInPlace(lock.target(), cur, *bytes, stillWanted);
        } else {
            AtomicWriter w(hostPath, &lock);
            err = w.open(cur.exists ? std::optional(ModeOf(cur.st)) : std::nullopt);
            if (!err)
                err = w.write(bytes->constData(), bytes->size());
            if (!err)
                err = w.commit(stillWanted);
            replaced = !err;
        }
        // What we wrote keeps its parse for the next call, which still reads
        // the file to see that it holds these bytes.
        if (replaced)
            Remember(hostPath, {kByContentOnly, 0, doc});
        else
            Forget(hostPath);
        // Another program that keeps changing the file wins: its text stays.
        if (err == Cancelled && attempt < 8)
            continue;
        if (err == Cancelled)
            return {false, QStringLiteral("The file is busy: another program kept changing it")};
        if (err == PathNotFound || (err == FileNotFound && !cur.exists))
            return {false, QStringLiteral("its folder does not exist")};
        return {err == 0, err == 0 ? QString() : ErrorDescription(err)};
    }
}

// The file with the key set; nullopt with an empty `why` when it reads as
// the value already, however spelled (quoted, say), so that a read-only file
// holding it is no failure.
std::optional<IniDocument> WithValue(const Loaded& cur, QStringView section, QStringView key,
                                     QStringView value, QString* why) {
    if (const auto now = cur.doc->value(section, key); now && *now == value)
        return std::nullopt;
    return cur.doc->edited(section, key, value, why);
}

} // namespace

QString Read(const QString& hostPath, QStringView section, QStringView key, QStringView def) {
    const Loaded file = Load(hostPath);
    if (auto v = file.doc->value(section, key))
        return *v;
    return Unquoted(def);
}

Outcome Write(const QString& hostPath, QStringView section, QStringView key, QStringView value) {
    return Change(hostPath, [&](const Loaded& cur, QString* why) {
        return WithValue(cur, section, key, value, why);
    });
}

Outcome WriteIfUnchanged(const QString& hostPath, QStringView section, QStringView key,
                         QStringView expected, QStringView value) {
    std::optional<QString> newer;
    Outcome out = Change(hostPath, [&](const Loaded& cur, QString* why) {
        newer.reset();
        const QString now = cur.doc->value(section, key).value_or(QString());
        if (now != expected) {
            newer = now;
            return std::optional<IniDocument>();
        }
        return WithValue(cur, section, key, value, why);
    });
    out.newer = newer;
    return out;
}

Outcome DeleteSection(const QString& hostPath, QStringView section) {
    return Change(hostPath, [&](const Loaded& cur, QString* why) -> std::optional<IniDocument> {
        if (!cur.exists)
            return std::nullopt; // nothing to remove
        if (auto bytes = cur.doc->withoutSection(section, why))
            return IniDocument(std::move(*bytes));
        return std::nullopt;
    });
}

void SetBeforeReplace(std::function<void(const QString&)> hook) {
    gBeforeReplace = std::move(hook);
}

void ForgetCache() {
    const std::lock_guard hold(gCacheMutex);
    gCache.clear();
    gCachedBytes = 0;
}

} // namespace platform::profile
