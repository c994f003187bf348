#pragma once
// A worker thread's question to its window: asked on the window's thread
// while the worker waits for the answer. Once the window lets go (Abandon),
// a waiting question and every later one answer unasked, so that no worker
// waits on a window that has gone. A copy shares the question's state.

#include <QObject>

#include <functional>
#include <memory>

class WorkerQuestion {
public:
    // The questions go to `window`'s thread; the window calls Abandon before
    // it goes.
    explicit WorkerQuestion(QObject* window);

    // From the worker: `ask`, run on the window's thread, and its answer;
    // `unanswered` once abandoned. T is a number, a truth value or an enum.
    template <class T> T Ask(std::function<T()> ask, T unanswered) const {
        return static_cast<T>(
            AskNumber([ask] { return static_cast<int>(ask()); }, static_cast<int>(unanswered)));
    }

    void Abandon() const;
    bool abandoned() const;

private:
    struct Shared;
    int AskNumber(std::function<int()> ask, int unanswered) const;

    QObject* window_;
    std::shared_ptr<Shared> shared_;
};
