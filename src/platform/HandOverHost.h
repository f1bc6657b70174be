#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/Host.h"

namespace orvex {

// The Host the publishing cycles report through from any thread: each call runs on the thread
// that created it (the service's loop, the window's thread) and returns once it has been
// handled there. A worker hands its call over under the mutex and wakes that thread through an
// event counter (WakeFd), never through a toolkit; on the owning thread itself a call runs at
// once (the end-of-session path runs a cycle there). Once detached it is a sink that does
// nothing, so a late worker never reaches a front end that is gone. Create it on the owning
// thread and let it outlive the front end: workers are not waited for and may still hold it.
class HandOverHost : public Host {
public:
    HandOverHost();
    ~HandOverHost() override;
    HandOverHost(const HandOverHost&) = delete;
    HandOverHost& operator=(const HandOverHost&) = delete;

    // The front end's own Host, which does the work on the owning thread. Owning thread only.
    void Attach(Host* target) { target_ = target; }
    void Detach() { Attach(nullptr); }
    bool Attached() const { return target_.load() != nullptr; }

    // Readable when calls wait; the owning thread then calls RunPending.
    int WakeFd() const { return wakeFd_; }
    // Runs the waiting calls; owning thread only.
    void RunPending();

    void Status(const HostMessage& message) override;
    void Cycle(CycleCode code) override;
    void ExitRequest() override;
    MsgAnswer MessageBox(const MessageBoxRequest& request) override;
    void ActivatePage(Page page) override;

private:
    template <typename Call>
    void OnOwnThread(Call&& call);

    struct Pending {
        std::function<void()> run;
        bool done = false;
    };

    const std::thread::id ownThread_ = std::this_thread::get_id();
    std::atomic<Host*> target_{nullptr};
    int wakeFd_ = -1;
    std::mutex mutex_;
    std::condition_variable finished_;
    std::deque<Pending*> pending_;
};

}  // namespace orvex
