#include "platform/HandOverHost.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace orvex {

HandOverHost::HandOverHost() : wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

HandOverHost::~HandOverHost() {
    if (wakeFd_ >= 0) {
        ::close(wakeFd_);
    }
}

template <typename Call>
void HandOverHost::OnOwnThread(Call&& call) {
    if (target_.load() == nullptr || wakeFd_ < 0) {
        return;
    }
    // The target is read on the owning thread, where it is also cleared, so it cannot go away
    // while the call runs.
    auto run = [&] {
        if (Host* target = target_.load()) {
            call(*target);
        }
    };
    if (std::this_thread::get_id() == ownThread_) {
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

void HandOverHost::RunPending() {
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

void HandOverHost::Status(const HostMessage& message) {
    OnOwnThread([&](Host& target) { target.Status(message); });
}

void HandOverHost::Cycle(CycleCode code) {
    OnOwnThread([&](Host& target) { target.Cycle(code); });
}

void HandOverHost::ExitRequest() {
    OnOwnThread([&](Host& target) { target.ExitRequest(); });
}

MsgAnswer HandOverHost::MessageBox(const MessageBoxRequest& request) {
    MsgAnswer answer = DismissedAnswer(request.buttons);
    OnOwnThread([&](Host& target) { answer = target.MessageBox(request); });
    return answer;
}

void HandOverHost::ActivatePage(Page page) {
    OnOwnThread([&](Host& target) { target.ActivatePage(page); });
}

}  // namespace orvex
