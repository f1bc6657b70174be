#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/Host.h"

namespace orvex {

// The Host the publishing cycles report through when there is no window: each call runs on
// the service's loop thread and returns once it has been handled there. A worker hands its
// call over under the mutex and wakes the loop through an event counter (WakeFd); on the loop
// thread itself a call runs at once. Once detached it is a sink that does nothing. Create it
// on the loop thread and let it outlive the loop: workers are not waited for.
class LoopHost : public Host {
public:
    LoopHost();
    ~LoopHost() override;
    LoopHost(const LoopHost&) = delete;
    LoopHost& operator=(const LoopHost&) = delete;

    // The loop's own Host, which does the work on the loop thread. Loop thread only.
    void Attach(Host* target) { target_ = target; }
    void Detach() { Attach(nullptr); }

    // Readable when calls wait; the loop then calls RunPending.
    int WakeFd() const { return wakeFd_; }
    // Runs the waiting calls; loop thread only.
    void RunPending();

    void Status(const std::string& text) override;
    void Cycle(CycleCode code) override;
    void ExitRequest() override;
    MsgAnswer MessageBox(const MessageBoxRequest& request) override;
    void ActivatePage(Page page) override;

private:
    template <typename Call>
    void OnLoopThread(Call&& call);

    struct Pending {
        std::function<void()> run;
        bool done = false;
    };

    const std::thread::id loopThread_ = std::this_thread::get_id();
    std::atomic<Host*> target_{nullptr};
    int wakeFd_ = -1;
    std::mutex mutex_;
    std::condition_variable finished_;
    std::deque<Pending*> pending_;
};

}  // namespace orvex
