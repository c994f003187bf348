#include "platform/files/FileCopy.h"

#include "platform/files/AtomicFile.h"
#include "platform/files/FileLock.h"
#include "platform/files/HostFile.h"
#include "platform/win/HostError.h"

#include <QFileInfo>
#include <QHash>
#include <QScopeGuard>

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;
// A copy that moves no byte for this long has met a share that stopped
// answering; the user hears so rather than waiting on it.
constexpr auto kStalled = std::chrono::seconds(5);
// How often a copy to a share touches its temporary, so that it shows as a
// copy under way, well within the minute after which another computer takes
// an unchanged temporary for a leftover; a report copied in a moment is not.
constexpr auto kTouchEvery = std::chrono::seconds(2);

// What a copy on its own thread shares with the thread that waits for it.
// Each step waits until the caller has heard of it, so that an answer of
// false stops the copy before its next step, as on one thread.
struct CopyState {
    std::mutex mutex;
    std::condition_variable changed, answered;
    qint64 done = 0, total = 0, heard = 0;
    Clock::time_point lastMove = Clock::now();
    bool bounded = true;                   // until the copy knows that neither side is a share
    bool copied = false, finished = false; // finished: leftovers cleared too
    int result = NoError;
    std::atomic<bool> stop{false};
    // Set when the copy runs on the caller's own thread: it is told directly.
    std::function<bool(qint64, qint64)> direct;

    // False when the copy is to stop.
    bool moved(qint64 d, qint64 t) {
        if (direct)
            return direct(d, t);
        std::unique_lock lock(mutex);
        done = d;
        total = t;
        lastMove = Clock::now();
        changed.notify_all();
        answered.wait(lock, [&] { return heard >= d || stop; });
        return !stop;
    }
};

// Whether this program swept `dir` for leftovers within the minute they
// must stand unchanged before they go (else it counts as swept now): a
// synchronization copying many reports into one large folder of the share
// would list the whole folder after each.
bool SweptLately(const QString& dir) {
    // Never destroyed: copies may outlive the program's statics.
    static auto& mutex = *new std::mutex;
    static auto& swept = *new QHash<QString, Clock::time_point>;
    const std::lock_guard lock(mutex);
    const auto now = Clock::now();
    if (const auto at = swept.constFind(dir);
        at != swept.cend() && now - *at < std::chrono::minutes(1))
        return true;
    swept.insert(dir, now);
    return false;
}

int CopyHere(const QString& source, const QString& target, const QString& keepOldAt, bool mustBeNew,
             CopyState& state) {
    const bool share = OnShare(QFileInfo(source).path()) || OnShare(QFileInfo(target).path());
    {
        std::lock_guard lock(state.mutex);
        state.bounded = share;
        state.lastMove = Clock::now();
    }
    const int in = ::open(Encoded(source).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (in < 0) {
        const int err = errno;
        return ErrorFromErrno(err, err == ENOENT && !QFileInfo(QFileInfo(source).path()).isDir());
    }
    const auto closeIn = qScopeGuard([in] { ::close(in); });
    struct stat from {};
    if (::fstat(in, &from) != 0)
        return ErrorFromErrno(errno);
    if (!S_ISREG(from.st_mode))
        return FileNotFound;

    // The name itself: a link planted there is replaced, not written through.
    FileLock lock(target, false);
    if (int err = lock.acquire())
        return err;
    struct stat to {};
    // Seen not there by the caller just now: the last look before the
    // rename tells of one that turned up, and on a share a look is a round trip.
    const bool existed = !mustBeNew && ::lstat(Encoded(lock.target()).constData(), &to) == 0;
    const bool replaced = existed && S_ISREG(to.st_mode);
    if (replaced && to.st_dev == from.st_dev && to.st_ino == from.st_ino)
        return SameFile; // a plain copy would empty it
    if (replaced && (to.st_mode & 0222) == 0)
        return PermissionDenied; // read-only, as the Windows attribute shows on a share
    const FileMode like = replaced ? FileMode{to.st_mode & 0777u, static_cast<int>(to.st_uid),
                                              static_cast<int>(to.st_gid)}
                                   : FileMode{from.st_mode & ~Umask() & 0777u};
    AtomicWriter out(target, &lock);
    if (int err = out.open(like))
        return err;
    out.keepOldAt(keepOldAt);
    if (mustBeNew)
        out.onlyNew();
    // The kernel copies without a trip through user space where it can. On
    // a share each step is flushed and sized to take about half a second,
    // so that a slow link shows as a copy that moves, a server that stops
    // as a copy that stops, and the last flush is short. The first step is
    // small, as a step that takes five seconds reads as a server that stopped
    // (16 KiB: two seconds on a poor mobile link), yet takes a report of
    // 100 KB in three steps, each a round trip.
    qint64 done = 0;
    bool kernel = true;
    std::vector<char> buffer;
    qint64 step = share ? 16 << 10 : 8 << 20;
    auto touched = Clock::now();
    while (done < from.st_size || !kernel) {
        const auto began = Clock::now();
        ssize_t n;
        if (kernel) {
            n = ::copy_file_range(in, nullptr, out.fd(), nullptr, static_cast<size_t>(step), 0);
            if (n < 0 &&
                (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL)) {
                kernel = false;
                continue;
            }
        } else {
            buffer.resize(static_cast<size_t>(share ? step : 1 << 20));
            n = ::read(in, buffer.data(), buffer.size());
            if (n > 0)
                if (int err = out.write(buffer.data(), n))
                    return err;
        }
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return ErrorFromErrno(errno);
        }
        if (n == 0) {
            if (kernel && done < from.st_size) {
                // Some file systems end a kernel copy early: go on by hand.
                kernel = false;
                if (::lseek(in, done, SEEK_SET) < 0)
                    return ErrorFromErrno(errno);
                continue;
            }
            break;
        }
        if (share) {
            if (::fdatasync(out.fd()) != 0 && errno != EINVAL && errno != ENOSYS)
                return ErrorFromErrno(errno);
            // Set by hand in a long copy: a server may show an open file's
            // time as of its first write, and another machine would take the
            // copy for a leftover a minute on. The time itself, as a FUSE
            // client may not know "now". Each touch is a round trip.
            if (Clock::now() - touched >= kTouchEvery) {
                timespec now[2]{};
                ::clock_gettime(CLOCK_REALTIME, &now[0]);
                now[1] = now[0];
                (void)::futimens(out.fd(), now);
                touched = Clock::now();
            }
            const auto took = Clock::now() - began;
            if (took < std::chrono::milliseconds(250))
                step = std::min<qint64>(step * 2, 8 << 20);
            else if (took > std::chrono::seconds(1))
                step = std::max<qint64>(step / 2, 4 << 10);
        }
        done += n;
        if (!state.moved(done, from.st_size))
            return Cancelled;
    }
    // The source changed under us: no short copy passes, nor a mix of two
    // versions from a save in place. Seconds only, as a share may give the
    // finer part of a time differently from one ask to the next.
    struct stat after {};
    if (done != from.st_size || ::fstat(in, &after) != 0 || after.st_size != from.st_size ||
        after.st_mtim.tv_sec != from.st_mtim.tv_sec)
        return DeviceIOError;
    const auto time = [](const timespec& t) { return FileTime{t.tv_sec, t.tv_nsec}; };
    out.keepTimes(time(from.st_atim), time(from.st_mtim));
    // Saved over by another computer during the copy (this computer's own
    // writers wait for the lock): that save is not replaced unseen. A copy
    // that must be new is refused by the rename itself.
    struct stat now {};
    const bool there = !mustBeNew && ::lstat(Encoded(lock.target()).constData(), &now) == 0;
    if ((there && !existed) ||
        (replaced && there &&
         (now.st_size != to.st_size || now.st_mtim.tv_sec != to.st_mtim.tv_sec)))
        return TargetChanged;
    return out.commit([&state] { return !state.stop; });
}

} // namespace

int CopyFileAtomically(const QString& source, const QString& target,
                       const std::function<bool(qint64, qint64)>& progress,
                       const QString& keepOldAt, bool mustBeNew) {
    // On a thread of its own: a share that stops answering holds that
    // thread, not the caller, who hears of it within kStalled.
    auto state = std::make_shared<CopyState>();
    const auto run = [state, source, target, keepOldAt, mustBeNew] {
        const int result = CopyHere(source, target, keepOldAt, mustBeNew, *state);
        {
            std::lock_guard lock(state->mutex);
            state->copied = true;
            state->result = result;
            state->lastMove = Clock::now();
        }
        // Then what cut-off copies left in that folder: a folder slow to list
        // delays the answer by kStalled at most, and never fails the copy.
        if (const QString dir = QFileInfo(target).path(); !SweptLately(dir))
            RemoveLeftovers(dir);
        {
            std::lock_guard lock(state->mutex);
            state->finished = true;
        }
        state->changed.notify_all();
    };
    try {
        std::thread(run).detach();
    } catch (const std::system_error&) {
        // No thread to spare: copy here, unbounded, hearing each step itself.
        state->direct = [&progress](qint64 done, qint64 total) {
            return !progress || progress(done, total);
        };
        run();
        return state->result;
    }

    std::unique_lock lock(state->mutex);
    for (;;) {
        state->changed.wait_for(lock, std::chrono::milliseconds(100),
                                [&] { return state->finished || state->done > state->heard; });
        if (state->finished)
            return state->result;
        if (state->done > state->heard) {
            const qint64 done = state->done, total = state->total;
            lock.unlock();
            const bool goOn = !progress || progress(done, total);
            lock.lock();
            state->stop = state->stop || !goOn;
            state->heard = done;
            state->answered.notify_all();
        } else if (state->bounded && Clock::now() - state->lastMove > kStalled) {
            if (state->copied)
                return state->result;
            state->stop = true; // if it ever moves again, it removes what it made
            state->answered.notify_all();
            return DiskNotReady;
        }
    }
}

} // namespace platform
