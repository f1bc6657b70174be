#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

#include "app/WindowPort.h"

namespace orvex {

// The window's one timer: arming it again replaces the pending period, and it fires
// repeatedly until killed.
class QtWindowTimer : public WindowTimer {
public:
    explicit QtWindowTimer(std::function<void()> onFire);

    bool Set(unsigned milliseconds) override;
    bool Kill() override;
    bool Armed() const { return timer_.isActive(); }
    int Period() const { return timer_.interval(); }

private:
    QTimer timer_;
    std::function<void()> onFire_;
};

}  // namespace orvex
