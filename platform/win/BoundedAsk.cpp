#include "platform/win/BoundedAsk.h"

#include <QHash>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace platform {
namespace {

thread_local bool tWithinBound = false; // on a thread that asks under the rule
std::atomic<int> gBoundMs{5000};
using Clock = BoundClock;

// The asks still running, one at most per share, each with the moment its
// caller gives up on it. Never destroyed: a hung ask may finish after the
// program's statics are gone.
struct PendingListings {
    std::mutex mutex;
    std::condition_variable finished;
    QHash<QString, Clock::time_point> givesUpAt;
    // One thread per share asks it, kept for the next ask: starting a thread
    // for each would cost more than most asks themselves.
    struct Asker {
        std::mutex mutex;
        std::condition_variable posted;
        std::function<void()> task;
    };
    QHash<QString, Asker*> askers;
};
PendingListings& Pending() {
    static auto* pending = new PendingListings;
    return *pending;
}

} // namespace

int AnswerBound() {
    return gBoundMs;
}

void SetAnswerBound(int ms) {
    gBoundMs = ms;
}

bool RunWithinBound(const QString& share, Clock::time_point giveUpAt, std::function<void()> ask) {
    if (tWithinBound) {
        ask();
        return true;
    }
    PendingListings& pending = Pending();
    {
        std::unique_lock lock(pending.mutex);
        for (auto at = pending.givesUpAt.constFind(share); at != pending.givesUpAt.cend();
             at = pending.givesUpAt.constFind(share)) {
            const Clock::time_point until = std::min(giveUpAt, *at);
            if (Clock::now() >= until)
                return false;
            pending.finished.wait_until(lock, until);
        }
        pending.givesUpAt.insert(share, giveUpAt);
    }
    auto finished = std::make_shared<std::promise<void>>();
    std::future<void> answer = finished->get_future();
    const auto done = [share] {
        PendingListings& p = Pending();
        {
            std::lock_guard lock(p.mutex);
            p.givesUpAt.remove(share);
        }
        p.finished.notify_all();
    };
    PendingListings::Asker* asker = nullptr;
    try {
        std::lock_guard lock(pending.mutex);
        asker = pending.askers.value(share);
        if (!asker) {
            auto owned = std::make_unique<PendingListings::Asker>();
            auto* made = owned.get();
            std::thread([made] {
                tWithinBound = true;
                for (;;) {
                    std::function<void()> task;
                    {
                        std::unique_lock lock(made->mutex);
                        made->posted.wait(lock, [made] { return bool(made->task); });
                        task = std::exchange(made->task, {});
                    }
                    task();
                }
            }).detach();
            asker = pending.askers[share] = owned.release(); // never ends
        }
    } catch (...) {
        done();
        throw;
    }
    {
        std::lock_guard lock(asker->mutex);
        asker->task = [finished, ask = std::move(ask), done] {
            try {
                ask();
            } catch (...) {
                // the caller finds the answer it started with
            }
            done(); // first, so the caller's next ask of the share finds it free
            finished->set_value();
        };
    }
    asker->posted.notify_one();
    return answer.wait_until(giveUpAt) == std::future_status::ready;
}

int PendingDirectoryListings() {
    std::lock_guard lock(Pending().mutex);
    return int(Pending().givesUpAt.size());
}

} // namespace platform
