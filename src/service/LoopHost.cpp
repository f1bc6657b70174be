#include "service/LoopHost.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace orvex {

LoopHost::LoopHost() : wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

LoopHost::~LoopHost() {
    if (wakeFd_ >= 0) {
        ::close(wakeFd_);
    }
}

template <typename Call>
void LoopHost::OnLoopThread(Call&& call) {
    if (target_.load() == nullptr || wakeFd_ < 0) {
        return;
    }
    // The target is read on the loop thread, where it is also cleared, so it cannot go away
    // while the call runs.
    auto run = [&] {
        if (Host* target = target_.load()) {
            call(*target);
        }
    };
    if (std::this_thread::get_id() == loopThread_) {
        run();
        return;
    }
    Pending pending{run};
    std::unique_lock<std::mutex> lock(mutex_);
    pending_.push_back(&pending);
    lock.unlock();
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof one);
    lock.lock();
    finished_.wait(lock, [&] { return pending.done; });
}

void LoopHost::RunPending() {
    uint64_t count = 0;
    [[maybe_unused]] ssize_t n = ::read(wakeFd_, &count, sizeof count);
    std::unique_lock<std::mutex> lock(mutex_);
    while (!pending_.empty()) {
        Pending* next = pending_.front();
        pending_.pop_front();
        lock.unlock();
        next->run();
        lock.lock();
        next->done = true;
        finished_.notify_all();
    }
}

void LoopHost::Status(const std::string& text) {
    OnLoopThread([&](Host& target) { target.Status(text); });
}

void LoopHost::Cycle(CycleCode code) {
    OnLoopThread([&](Host& target) { target.Cycle(code); });
}

void LoopHost::ExitRequest() {
    OnLoopThread([&](Host& target) { target.ExitRequest(); });
}

MsgAnswer LoopHost::MessageBox(const MessageBoxRequest& request) {
    MsgAnswer answer = DismissedAnswer(request.buttons);
    OnLoopThread([&](Host& target) { answer = target.MessageBox(request); });
    return answer;
}

void LoopHost::ActivatePage(Page page) {
    OnLoopThread([&](Host& target) { target.ActivatePage(page); });
}

}  // namespace orvex
