#pragma once

#include <chrono>

#include "app/WindowPort.h"

namespace orvex {

// The window timer of a program without a window: a deadline on the monotonic clock that the
// service's loop waits for. Between firings nothing runs, so an idle service never wakes.
class DeadlineTimer : public WindowTimer {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    bool Set(unsigned milliseconds) override;
    bool Kill() override;

    bool Armed() const { return armed_; }
    // Milliseconds the loop may sleep from `now`: 0 when due, -1 when not armed.
    int WaitMs(TimePoint now) const;
    // True when the timer is due at `now`; it is then armed for its next period, counted from
    // now so that a late loop never fires a burst of missed periods.
    bool TakeDue(TimePoint now);

private:
    bool armed_ = false;
    std::chrono::milliseconds period_{0};
    TimePoint due_{};
};

}  // namespace orvex
