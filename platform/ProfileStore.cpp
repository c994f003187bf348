#include "ProfileStore.h"

#include "AtomicFile.h"
#include "IniDocument.h"

#include <QFile>
#include <QHash>
#include <QMutex>

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::profile {
namespace {

// Larger files are parsed for each call rather than held.
constexpr qint64 kCacheableSize = 16 * 1024 * 1024;
constexpr int kCacheEntries = 64;
// File times come from a coarse clock; a file changed this close to our read
// of it may change again without its time moving, so it is not trusted.
constexpr qint64 kRacyNs = 50'000'000;

qint64 Ns(const timespec& t) {
    return qint64(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
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

struct Entry {
    Identity id;
    qint64 readAt = 0;
    std::shared_ptr<const IniDocument> doc;
};

QMutex gMutex;
QHash<QString, Entry> gCache;

struct Loaded {
    std::shared_ptr<const IniDocument> doc; // empty document when the file is missing
    bool exists = false;
    bool usable = true; // false: present but not a readable regular file
    struct stat st {};
};

Loaded Load(const QString& hostPath) {
    Loaded out;
    const QByteArray enc = QFile::encodeName(hostPath);
    // O_NONBLOCK: a FIFO named like an INI file must not hang us.
    const int fd = ::open(enc.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        out.usable = errno == ENOENT;
        out.doc = std::make_shared<IniDocument>();
        return out;
    }
    if (::fstat(fd, &out.st) != 0 || !S_ISREG(out.st.st_mode)) {
        ::close(fd);
        out.exists = true;
        out.usable = false;
        out.doc = std::make_shared<IniDocument>();
        return out;
    }
    out.exists = true;
    const Identity id = IdentityOf(out.st);
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    {
        QMutexLocker lock(&gMutex);
        const auto it = gCache.constFind(hostPath);
        if (it != gCache.cend() && it->id == id && id.mtime < it->readAt - kRacyNs &&
            id.ctime < it->readAt - kRacyNs) {
            out.doc = it->doc;
            ::close(fd);
            return out;
        }
    }

    QByteArray bytes;
    bytes.reserve(out.st.st_size);
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n < 0)
                out.usable = false;
            break;
        }
        bytes.append(buf, n);
    }
    ::close(fd);
    out.doc = std::make_shared<IniDocument>(std::move(bytes));
    if (out.usable && out.st.st_size <= kCacheableSize) {
        QMutexLocker lock(&gMutex);
        if (gCache.size() >= kCacheEntries)
            gCache.clear();
        gCache.insert(hostPath, {id, Ns(now), out.doc});
    }
    return out;
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

bool Replace(const QString& hostPath, const Loaded& cur, const QByteArray& bytes) {
    if (cur.exists && bytes == cur.doc->bytes())
        return true;
    const int err = ReplaceFile(hostPath, bytes, cur.exists ? &cur.st : nullptr);
    QMutexLocker lock(&gMutex);
    gCache.remove(hostPath);
    return err == 0;
}

} // namespace

QString Read(const QString& hostPath, QStringView section, QStringView key, QStringView def) {
    const Loaded file = Load(hostPath);
    if (auto v = file.doc->value(section, key))
        return *v;
    return Unquoted(def);
}

bool Write(const QString& hostPath, QStringView section, QStringView key, QStringView value) {
    const Loaded cur = Load(hostPath);
    if (!cur.usable)
        return false;
    const auto bytes = cur.doc->withValue(section, key, value);
    return bytes && Replace(hostPath, cur, *bytes);
}

bool DeleteSection(const QString& hostPath, QStringView section) {
    const Loaded cur = Load(hostPath);
    if (!cur.usable || !cur.exists)
        return false;
    const auto bytes = cur.doc->withoutSection(section);
    return bytes && Replace(hostPath, cur, *bytes);
}

void ForgetCache() {
    QMutexLocker lock(&gMutex);
    gCache.clear();
}

} // namespace platform::profile
