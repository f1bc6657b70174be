#include "ui/GuiThreadHost.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>

namespace orvex {

GuiThreadHost::GuiThreadHost() : receiver_(std::make_unique<QObject>()) {}

GuiThreadHost::~GuiThreadHost() = default;

void GuiThreadHost::Attach(Host* target) {
    target_ = target;
}

template <typename Call>
bool GuiThreadHost::OnWindowThread(Call&& call) {
    if (target_.load() == nullptr) {
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
    if (QThread::currentThread() == receiver_->thread()) {
        run();
    } else {
        QMetaObject::invokeMethod(receiver_.get(), run, Qt::BlockingQueuedConnection);
    }
    return handled;
}

void GuiThreadHost::Status(const std::string& text) {
    OnWindowThread([&](Host& target) { target.Status(text); });
}

void GuiThreadHost::Cycle(int code) {
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

void GuiThreadHost::ActivatePage(int index) {
    OnWindowThread([&](Host& target) { target.ActivatePage(index); });
}

}  // namespace orvex
