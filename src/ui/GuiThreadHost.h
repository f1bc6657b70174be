#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/Host.h"

class QObject;
class QSocketNotifier;

namespace orvex {

// The Host the publishing cycles report through, from any thread. Each call runs on the
// window's thread and returns once it has been handled there: a blocking queued call from a
// worker, a direct call on the window's thread itself (the end-of-session path runs a cycle
// there). Once detached (the window is gone) it is a sink that does nothing, so a late worker
// never reaches a dead window. Create it on the window's thread and let it outlive the window:
// workers are not waited for and may still hold it at exit.
class GuiThreadHost : public Host {
public:
    GuiThreadHost();
    ~GuiThreadHost() override;

    // The window's own Host, which does the work on the window's thread. Window's thread only.
    void Attach(Host* target);
    void Detach() { Attach(nullptr); }
    bool Attached() const { return target_.load() != nullptr; }

    void Status(const std::string& text) override;
    void Cycle(CycleCode code) override;
    void ExitRequest() override;
    MsgAnswer MessageBox(const MessageBoxRequest& request) override;
    void ActivatePage(Page page) override;

private:
    // Runs `call` with the target on the window's thread and waits for it; false when there
    // was no target by the time it ran there.
    template <typename Call>
    bool OnWindowThread(Call&& call);

    // One call waiting for the window's thread.
    struct Pending {
        std::function<void()> run;
        bool done = false;
    };
    // Runs the pending calls; window's thread only.
    void RunPending();

    const std::thread::id windowThread_ = std::this_thread::get_id();
    std::unique_ptr<QObject> receiver_;
    std::atomic<Host*> target_{nullptr};
    // A worker wakes the window's thread through this event counter, never through Qt, and
    // hands its call over under the standard mutex below: every step is ordered by it.
    int wakeFd_ = -1;
    QSocketNotifier* wakeNotifier_ = nullptr;
    std::mutex mutex_;
    std::condition_variable finished_;
    std::deque<Pending*> pending_;
};

}  // namespace orvex
