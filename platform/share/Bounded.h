#pragma once
// What the share's units share of GIO: owning references, and GIO's
// asynchronous calls run under one deadline on a context of their own.

#include <QElapsedTimer>

#include <gio/gio.h>

#include <memory>

namespace platform {

template <class T> struct GFree {
    void operator()(T* p) const { g_object_unref(p); }
};
template <class T> using GRef = std::unique_ptr<T, GFree<T>>;
using GText = std::unique_ptr<char, decltype(&g_free)>;

// GIO's asynchronous calls, run one after another on a context of the
// calling thread's own until they answer or the deadline passes; a call
// still running then is cancelled, and its answer waited for a moment longer.
// A call given up for good never calls back: nobody runs the context again.
class Bounded {
public:
    explicit Bounded(qint64 deadlineMs) : deadlineMs_(deadlineMs) {
        g_main_context_push_thread_default(context_);
        clock_.start();
    }
    ~Bounded() {
        g_main_context_pop_thread_default(context_);
        g_main_context_unref(context_);
    }
    Bounded(const Bounded&) = delete;
    Bounded& operator=(const Bounded&) = delete;

    GCancellable* cancellable() const { return cancel_.get(); }
    qint64 elapsed() const { return clock_.elapsed(); }
    bool timedOut() const { return timedOut_; }
    void finish() { done_ = true; }

    // Until the call started last calls finish(); false when it never did.
    bool wait() {
        while (!done_) {
            const qint64 left = deadlineMs_ - clock_.elapsed();
            if (left <= 0 && !timedOut_) {
                timedOut_ = true;
                g_cancellable_cancel(cancel_.get());
            }
            if (left <= -kGraceMs)
                return false;
            // Woken by the call's answer or at the next time to act.
            GSource* alarm = g_timeout_source_new(left > 0 ? left : left + kGraceMs);
            g_source_set_callback(
                alarm, [](gpointer) { return G_SOURCE_REMOVE; }, nullptr, nullptr);
            g_source_attach(alarm, context_);
            g_main_context_iteration(context_, TRUE);
            g_source_destroy(alarm);
            g_source_unref(alarm);
        }
        done_ = false;
        return true;
    }

private:
    static constexpr qint64 kGraceMs = 800; // the bound and this within ten seconds
    GMainContext* context_ = g_main_context_new();
    GRef<GCancellable> cancel_{g_cancellable_new()};
    QElapsedTimer clock_;
    qint64 deadlineMs_;
    bool done_ = false, timedOut_ = false;
};

} // namespace platform
