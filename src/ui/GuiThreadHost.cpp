#include "ui/GuiThreadHost.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QObject>
#include <QSocketNotifier>

#include <cstdint>
#include <thread>

namespace orvex {

GuiThreadHost::GuiThreadHost()
    : receiver_(std::make_unique<QObject>()), wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (wakeFd_ >= 0) {
        wakeNotifier_ = new QSocketNotifier(wakeFd_, QSocketNotifier::Read, receiver_.get());
        QObject::connect(wakeNotifier_, &QSocketNotifier::activated, receiver_.get(), [this] {
            uint64_t count = 0;
            [[maybe_unused]] ssize_t n = ::read(wakeFd_, &count, sizeof count);
            RunPending();
        });
    }
}

GuiThreadHost::~GuiThreadHost() {
    receiver_.reset();
    if (wakeFd_ >= 0) {
        ::close(wakeFd_);
    }
}

void GuiThreadHost::Attach(Host* target) {
    target_ = target;
}

template <typename Call>
bool GuiThreadHost::OnWindowThread(Call&& call) {
    if (target_.load() == nullptr || wakeFd_ < 0) {
        return false;
    }
    bool handled = false;
    // The target is read on the window's thread, where it is also cleared, so it cannot go
    // away while the call runs.
    auto run = [&] {
        if (Host* target = target_.load()) {
            call(*target);
            handled = true;
        }
    };
    if (std::this_thread::get_id() == windowThread_) {
        run();
        return handled;
    }
    Pending pending{run};
    std::unique_lock<std::mutex> lock(mutex_);
    pending_.push_back(&pending);
    lock.unlock();
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof one);
    lock.lock();
    finished_.wait(lock, [&] { return pending.done; });
    return handled;
}

void GuiThreadHost::RunPending() {
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

void GuiThreadHost::Status(const std::string& text) {
    OnWindowThread([&](Host& target) { target.Status(text); });
}

void GuiThreadHost::Cycle(CycleCode code) {
    OnWindowThread([&](Host& target) { target.Cycle(code); });
}

void GuiThreadHost::ExitRequest() {
    OnWindowThread([&](Host& target) { target.ExitRequest(); });
}

MsgAnswer GuiThreadHost::MessageBox(const MessageBoxRequest& request) {
    MsgAnswer answer = DismissedAnswer(request.buttons);
    OnWindowThread([&](Host& target) { answer = target.MessageBox(request); });
    return answer;
}

void GuiThreadHost::ActivatePage(Page page) {
    OnWindowThread([&](Host& target) { target.ActivatePage(page); });
}

}  // namespace orvex
