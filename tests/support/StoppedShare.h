#pragma once
// Folders that stop answering, through the host probe: a host path under one
// of them, asked on another thread, blocks until answer() or the end; asked
// on the test's own thread it is counted, as the call would have hung there.
// The bound is shortened meanwhile.

#include "platform/win/WinPath.h"

#include <QStringList>
#include <QTest>

#include <atomic>
#include <future>
#include <memory>
#include <thread>

class StoppedShare {
public:
    explicit StoppedShare(const QStringList& hung, int boundMs = 1000) {
        platform::SetHostProbe([asked = askedHere_, opened = gate_.get_future().share(), hung,
                                caller = std::this_thread::get_id()](const QString& host) {
            for (const QString& h : hung)
                if (host.startsWith(h, Qt::CaseInsensitive))
                    return std::this_thread::get_id() == caller ? void(++*asked) : opened.wait();
        });
        platform::SetAnswerBound(boundMs);
    }
    ~StoppedShare() { (void)answer(); }
    StoppedShare(const StoppedShare&) = delete;
    StoppedShare& operator=(const StoppedShare&) = delete;

    int askedHere() const { return *askedHere_; }

    // The folders answer again: false when the asks left waiting on them
    // have not all ended soon after.
    bool answer() {
        if (answered_)
            return true;
        answered_ = true;
        gate_.set_value();
        const bool ended =
            QTest::qWaitFor([] { return platform::PendingDirectoryListings() == 0; });
        platform::SetHostProbe({});
        platform::SetAnswerBound(5000);
        return ended;
    }

private:
    std::shared_ptr<std::atomic<int>> askedHere_ = std::make_shared<std::atomic<int>>(0);
    std::promise<void> gate_;
    bool answered_ = false;
};
