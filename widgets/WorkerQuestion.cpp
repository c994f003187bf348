#include "widgets/WorkerQuestion.h"

#include <condition_variable>
#include <mutex>
#include <optional>

struct WorkerQuestion::Shared {
    std::mutex mutex;
    std::condition_variable answered;
    std::optional<int> answer;
    bool abandoned = false;
};

WorkerQuestion::WorkerQuestion(QObject* window)
    : window_(window), shared_(std::make_shared<Shared>()) {}

int WorkerQuestion::AskNumber(std::function<int()> ask, int unanswered) const {
    const std::shared_ptr<Shared> shared = shared_;
    std::unique_lock hold(shared->mutex);
    if (shared->abandoned)
        return unanswered;
    shared->answer.reset();
    hold.unlock();
    QMetaObject::invokeMethod(
        window_,
        [shared, ask = std::move(ask), unanswered] {
            bool gone = false;
            {
                const std::lock_guard look(shared->mutex);
                gone = shared->abandoned;
            }
            // The box is shown unlocked: the window may abandon meanwhile.
            const int a = gone ? unanswered : ask();
            const std::lock_guard give(shared->mutex);
            shared->answer = a;
            shared->answered.notify_all();
        },
        Qt::QueuedConnection);
    hold.lock();
    shared->answered.wait(hold, [&] { return shared->answer || shared->abandoned; });
    return shared->answer.value_or(unanswered);
}

void WorkerQuestion::Abandon() const {
    const std::lock_guard hold(shared_->mutex);
    shared_->abandoned = true;
    shared_->answered.notify_all();
}

bool WorkerQuestion::abandoned() const {
    const std::lock_guard hold(shared_->mutex);
    return shared_->abandoned;
}
