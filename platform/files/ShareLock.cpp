#include "platform/files/ShareLock.h"

#include "platform/files/FileLock.h"
#include "platform/files/HostFile.h"
#include "platform/win/BoundedAsk.h"
#include "platform/win/HostError.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRandomGenerator>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <pwd.h>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

namespace platform {
namespace {

std::atomic<int> gStaleSeconds{120};
constexpr int kLongestLock = 4096; // anything longer is no lock of ours

qint64 MonotonicMs() {
    // Counting a laptop's sleep too: waking from it, the lock may have been
    // broken as stale meanwhile, and the next renewal must look at once.
    timespec t{};
    ::clock_gettime(CLOCK_BOOTTIME, &t);
    return qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

// Whole seconds, as the file keeps them, so a lock read back equals its holder.
QDateTime NowUtc() {
    return QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch(), Qt::UTC);
}

QByteArray OneLine(QString s) {
    return s.replace(u'\n', u' ').replace(u'\r', u' ').toUtf8();
}

QByteArray LockText(const LockHolder& h) {
    return "user=" + OneLine(h.user) + "\ncomputer=" + OneLine(h.computer) +
           "\npid=" + QByteArray::number(h.pid) + "\nmachine=" + OneLine(h.machine) +
           "\nsince=" + h.since.toUTC().toString(Qt::ISODate).toUtf8() +
           "\nrenewed=" + h.renewed.toUTC().toString(Qt::ISODate).toUtf8() +
           "\ncount=" + QByteArray::number(h.count) + '\n';
}

// nullopt for a text that is not a whole lock (yet).
std::optional<LockHolder> Parse(const QByteArray& text) {
    if (!text.endsWith('\n'))
        return std::nullopt;
    LockHolder h;
    int keys = 0;
    for (const QByteArray& line : text.split('\n')) {
        const qsizetype eq = line.indexOf('=');
        if (eq < 0)
            continue;
        const QByteArray key = line.left(eq), value = line.mid(eq + 1);
        ++keys;
        if (key == "user")
            h.user = QString::fromUtf8(value);
        else if (key == "computer")
            h.computer = QString::fromUtf8(value);
        else if (key == "pid")
            h.pid = value.toLongLong();
        else if (key == "machine") { // optional: a lock without it is never taken over
            h.machine = QString::fromUtf8(value);
            --keys;
        } else if (key == "since")
            h.since = QDateTime::fromString(QString::fromLatin1(value), Qt::ISODate);
        else if (key == "renewed")
            h.renewed = QDateTime::fromString(QString::fromLatin1(value), Qt::ISODate);
        else if (key == "count") { // optional: older versions write none
            h.count = value.toLongLong();
            --keys;
        } else
            --keys;
    }
    // A pid of 0 or below would name a process group to kill(), not a process.
    if (keys != 5 || h.pid <= 0 || h.pid > INT_MAX || !h.since.isValid() || !h.renewed.isValid())
        return std::nullopt;
    return h;
}

// Whether the lock file's text is still this taking of the lock, at this
// or at a later renewal: a renewal whose answer came after its bound may
// have written the file all the same.
bool SameTaking(const QByteArray& text, const QByteArray& own) {
    if (text == own)
        return true;
    const auto now = Parse(text), ours = Parse(own);
    return now && ours && now->user == ours->user && now->computer == ours->computer &&
           now->pid == ours->pid && now->machine == ours->machine && now->since == ours->since &&
           now->count >= ours->count;
}

struct Found {
    int err = 0;
    QByteArray text; // empty for what is not a file (a link)
    QDateTime mtime;
};

// The lock file's text, never read through a link.
Found ReadLock(const QByteArray& path) {
    Found found;
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0)
        return Found{errno, {}, {}};
    found.mtime = QDateTime::fromSecsSinceEpoch(st.st_mtime, Qt::UTC);
    if (!S_ISREG(st.st_mode))
        return found;
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == ELOOP ? found : Found{errno, {}, {}};
    char buf[kLongestLock + 1];
    qsizetype got = 0;
    for (ssize_t n; got < qsizetype(sizeof buf) && (n = ::read(fd, buf + got, sizeof buf - got));) {
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            found.err = errno;
            break;
        }
        got += n;
    }
    ::close(fd);
    found.text = QByteArray(buf, got);
    return found;
}

// A lock left by a process of this computer that has ended.
bool LeftByEndedProcess(const LockHolder& h) {
    return h.pid > 0 && !h.computer.isEmpty() && h.computer == ComputerName() &&
           !h.machine.isEmpty() && h.machine == MachineId() && ::kill(pid_t(h.pid), 0) != 0 &&
           errno == ESRCH;
}

// Runs `ask`, which touches the share, within the answer bound on the lock
// folder's own thread: a share that stopped answering must not hold the
// caller, who lets go of its lock on the way out. False when it gave up; the
// ask goes on alone with its own copies.
bool AskShare(const QString& folder, const std::function<void()>& ask) {
    try {
        return RunWithinBound(folder, BoundClock::now() + std::chrono::milliseconds(AnswerBound()),
                              ask);
    } catch (const std::system_error&) {
        ask(); // no thread to spare: asked here
        return true;
    }
}

LockHolder Holder(const Found& found) {
    return Parse(found.text).value_or(LockHolder{{}, {}, 0, {}, found.mtime, found.mtime, 0});
}

// A lock lives by changing. When this boot first saw each lock as it
// stands (its text and file time), by this computer's own clock: another
// laptop's clock may be days off. Kept in the private folder too, so the
// next run of Quarn or quarnctl goes on watching where this one stopped.
std::mutex gSeenMutex;
QHash<QByteArray, qint64> gSeen; // digest -> MonotonicMs

QByteArray Digest(const Found& found) {
    return QCryptographicHash::hash(found.text + '\n' +
                                        QByteArray::number(found.mtime.toSecsSinceEpoch()),
                                    QCryptographicHash::Sha1)
        .toHex();
}

// This boot's clock as MonotonicMs() reads it (a time namespace shifts
// it); empty when the boot cannot be told, and nothing is kept then.
QByteArray ClockId() {
    QFile boot(QStringLiteral("/proc/sys/kernel/random/boot_id"));
    const QByteArray id = boot.open(QIODevice::ReadOnly) ? boot.readAll().trimmed() : QByteArray();
    if (id.isEmpty())
        return {};
    const QString ns = QFileInfo(QStringLiteral("/proc/self/ns/time")).symLinkTarget();
    return id + ' ' + QFile::encodeName(QFileInfo(ns).fileName());
}

QByteArray SeenPath(const QByteArray& digest) {
    const QString dir = LockFolder();
    return dir.isEmpty() ? QByteArray() : Encoded(dir) + "/share-" + digest + ".seen";
}

qint64 FirstSeen(const QByteArray& digest) {
    const qint64 now = MonotonicMs();
    const std::lock_guard hold(gSeenMutex);
    if (const auto it = gSeen.constFind(digest); it != gSeen.cend())
        return *it;
    qint64 first = now;
    const QByteArray clock = ClockId(), path = clock.isEmpty() ? QByteArray() : SeenPath(digest);
    if (!path.isEmpty()) {
        char buf[256];
        ssize_t n = -1;
        if (const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC); fd >= 0) {
            n = ::read(fd, buf, sizeof buf);
            ::close(fd);
        }
        const QList<QByteArray> said = QByteArray(buf, std::max<ssize_t>(n, 0)).split('\n');
        bool ok = false;
        const qint64 at = said.size() > 1 ? said[1].toLongLong(&ok) : 0;
        if (said[0] == clock && ok && at <= now) {
            first = at;
        } else if (const int fd =
                       ::open(path.constData(),
                              O_CREAT | O_TRUNC | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0600);
                   fd >= 0) {
            WriteAllAt(fd, clock + '\n' + QByteArray::number(now) + '\n');
            ::close(fd);
        }
    }
    gSeen.insert(digest, first);
    return first;
}

void Forget(const QByteArray& digest) {
    const std::lock_guard hold(gSeenMutex);
    gSeen.remove(digest);
    if (const QByteArray path = SeenPath(digest); !path.isEmpty())
        ::unlink(path.constData());
}

} // namespace

QString ComputerName() {
    char name[HOST_NAME_MAX + 1] = {};
    return ::gethostname(name, sizeof name - 1) == 0 ? QString::fromUtf8(name) : QString();
}

QString MachineId() {
    QFile boot(QStringLiteral("/proc/sys/kernel/random/boot_id"));
    const QString id =
        boot.open(QIODevice::ReadOnly) ? QString::fromLatin1(boot.readAll().trimmed()) : QString();
    const QString pids = QFileInfo(QStringLiteral("/proc/self/ns/pid")).symLinkTarget();
    return id.isEmpty() ? QString() : id + u' ' + QFileInfo(pids).fileName();
}

QString UserName() {
    const long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buf(size > 0 ? size : 16384);
    passwd pw{};
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &pw, buf.data(), buf.size(), &found) == 0 && found)
        return QString::fromLocal8Bit(found->pw_name);
    return qEnvironmentVariable("USER");
}

int ShareLock::StaleSeconds() {
    return gStaleSeconds;
}

void ShareLock::SetStaleSecondsForTest(int seconds) {
    gStaleSeconds = seconds;
}

ShareLock::ShareLock(const QString& folder, const QString& name)
    : dir_(folder + QStringLiteral("/.quarn-locks")),
      path_(dir_ + u'/' + name + QStringLiteral(".lock")),
      nameOk_(!name.isEmpty() && name != u"." && name != u".." && !name.contains(u'/') &&
              !name.contains(QChar(0))) {}

ShareLock::~ShareLock() {
    release();
}

ShareLock::Take ShareLock::failed(int error) {
    error_ = error;
    return Take::Failed;
}

int ShareLock::makeFolder() {
    if (::mkdir(Encoded(dir_).constData(), 0777) == 0) {
        // Everyone who may write reports there must be able to lock them:
        // the report folder's own permissions, not this user's umask.
        struct stat reports {};
        const QByteArray parent = Encoded(QFileInfo(dir_).absolutePath());
        if (::stat(parent.constData(), &reports) == 0)
            ::chmod(Encoded(dir_).constData(), reports.st_mode & 0777);
    } else if (errno != EEXIST) {
        return ErrorFromErrno(errno, true);
    }
    return NoError;
}

ShareLock::Take ShareLock::take() {
    if (held_)
        return Take::Taken;
    error_ = NoError;
    if (!nameOk_)
        return failed(PathFileAccessError);
    const QByteArray path = Encoded(path_);
    // A few rounds: a lock let go or taken over between our looks; the lock
    // folder made where the first finds none (on a share, a look for it
    // would cost each lock a round trip).
    bool folderMade = false;
    for (int round = 0; round < 4; ++round) {
        const QDateTime now = NowUtc();
        const LockHolder mine{UserName(), ComputerName(), qint64(::getpid()), MachineId(), now,
                              now};
        const QByteArray text = LockText(mine);
        if (const int fd = ::open(path.constData(),
                                  O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0644);
            fd >= 0) {
            int err = WriteAllAt(fd, text);
            if (::close(fd) != 0 && err == 0)
                err = errno;
            if (err != 0) {
                ::unlink(path.constData());
                return failed(ErrorFromErrno(err));
            }
            held_ = true;
            if (seen_)
                Forget(seenDigest_);
            seen_ = false;
            holder_ = mine;
            ownText_ = text;
            lastRenewMs_ = writtenMs_ = MonotonicMs();
            return Take::Taken;
        }
        if (errno == ENOENT && !folderMade) {
            folderMade = true;
            if (const int err = makeFolder())
                return failed(err);
            --round;
            continue;
        }
        if (errno != EEXIST)
            return failed(ErrorFromErrno(errno, errno == ENOENT));
        const Found found = ReadLock(path);
        if (found.err == ENOENT)
            continue;
        if (found.err != 0)
            return failed(ErrorFromErrno(found.err));
        see(found.text, found.mtime);
        // A killed Quarn or quarnctl of this computer never blocks the next sync.
        if (!LeftByEndedProcess(holder_))
            return Take::HeldByOther;
        if (const Aside a = setAside(); a != Aside::Removed)
            return a == Aside::Failed ? Take::Failed : Take::HeldByOther;
    }
    return Take::HeldByOther;
}

void ShareLock::see(const QByteArray& text, const QDateTime& mtime) {
    const Found found{0, text, mtime};
    const QByteArray digest = Digest(found);
    if (seen_ && digest != seenDigest_)
        Forget(seenDigest_); // it moved on: that one is no one's now
    seen_ = true;
    seenText_ = found.text;
    seenDigest_ = digest;
    firstSeenMs_ = FirstSeen(digest);
    holder_ = Holder(found);
}

bool ShareLock::stale() const {
    // Not the holder's own times: its clock may be days ahead or behind.
    return !held_ && seen_ && MonotonicMs() - firstSeenMs_ >= qint64(StaleSeconds()) * 1000;
}

ShareLock::Take ShareLock::breakStale() {
    if (held_ || !seen_)
        return take();
    if (!stale())
        return Take::HeldByOther;
    switch (setAside()) {
    case Aside::Removed: return take();
    case Aside::Other: return Take::HeldByOther;
    case Aside::Failed: break;
    }
    return Take::Failed;
}

// Renamed first, so that what is read and removed is one file, whatever
// another computer does to the name meanwhile.
ShareLock::Aside ShareLock::setAside() {
    const QByteArray path = Encoded(path_);
    QString computer = ComputerName();
    computer.replace(u'/', u'_');
    const QByteArray aside = path + ".broken-" + Encoded(computer) + '-' +
                             QByteArray::number(::getpid()) + '-' +
                             QByteArray::number(QRandomGenerator::global()->generate64(), 16);
    if (::rename(path.constData(), aside.constData()) != 0) {
        if (errno == ENOENT)
            return Aside::Removed; // gone already: the name is free
        error_ = ErrorFromErrno(errno);
        return Aside::Failed;
    }
    const Found found = ReadLock(aside);
    if (found.err == 0 && found.text == seenText_) {
        ::unlink(aside.constData());
        return Aside::Removed;
    }
    // Renewed or taken again meanwhile: it goes back, unless a newer lock
    // has the name by now. A share without hard links gets it back by an
    // exclusive create.
    int err = ::link(aside.constData(), path.constData()) == 0 ? 0 : errno;
    if (err != 0 && err != EEXIST && found.err == 0) {
        const int fd =
            ::open(path.constData(), O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0644);
        err = fd < 0 ? errno : WriteAllAt(fd, found.text);
        if (fd >= 0)
            ::close(fd);
    }
    // Back in place, or a newer lock has the name: the one set aside is no one's.
    if (err == 0 || err == EEXIST)
        ::unlink(aside.constData());
    if (found.err != 0) {
        error_ = ErrorFromErrno(found.err);
        return Aside::Failed;
    }
    see(found.text, found.mtime);
    return Aside::Other;
}

bool ShareLock::renew() {
    if (!held_)
        return false;
    const qint64 now = MonotonicMs();
    if (now - lastRenewMs_ < qint64(StaleSeconds()) * 1000 / 12)
        return true;
    lastRenewMs_ =
        now; // also when it fails: a share that does not answer is not asked at every byte
    struct Answer {
        bool held = true;
        LockHolder renewed;
        QByteArray text; // empty: not written
    };
    auto answer = std::make_shared<Answer>();
    answer->renewed = holder_;
    const auto ask = [answer, path = Encoded(path_), own = ownText_] {
        const int fd = ::open(path.constData(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            answer->held = !(errno == ENOENT || errno == ELOOP); // gone: broken by another
            return;
        }
        char buf[kLongestLock + 1];
        const ssize_t n = ::pread(fd, buf, sizeof buf, 0);
        if (n >= 0 && !SameTaking(QByteArray(buf, n), own)) {
            ::close(fd);
            answer->held = false;
            return;
        }
        answer->renewed.renewed = NowUtc();
        ++answer->renewed.count; // changes it, whatever this computer's clock does
        const QByteArray text = LockText(answer->renewed);
        if (n >= 0 && WriteAllAt(fd, text) == 0 && ::ftruncate(fd, text.size()) == 0)
            answer->text = text;
        ::close(fd);
    };
    // A share that does not answer: the copy's own bound tells of it.
    if (!AskShare(dir_, ask))
        return true;
    held_ = answer->held;
    if (!answer->text.isEmpty()) {
        holder_ = answer->renewed;
        ownText_ = answer->text;
        writtenMs_ = now;
    }
    return held_;
}

void ShareLock::release() {
    if (!held_)
        return;
    held_ = false;
    // Written by us within half the stale time, the lock is still ours: no
    // other computer breaks a lock before it has seen it unchanged for the
    // whole of it. Older, it is read first, in case it was broken and taken.
    const bool ours = MonotonicMs() - writtenMs_ < qint64(StaleSeconds()) * 1000 / 2;
    // A share that does not answer keeps the lock, which this computer's
    // next run takes over once this process is gone.
    AskShare(dir_, [path = Encoded(path_), own = ownText_, ours] {
        const auto stillOurs = [&] {
            const Found found = ReadLock(path);
            return found.err == 0 && SameTaking(found.text, own);
        };
        if (ours || stillOurs())
            // A FUSE client closes the look's handle on the server after
            // close() returns (smbnetfs), and the server refuses to delete an
            // open file until then: asked again for a moment.
            for (int tries = 0; ::unlink(path.constData()) != 0 && errno != ENOENT && tries < 40;
                 ++tries)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
    });
}

} // namespace platform
