#include "service/DeadlineTimer.h"

#include <algorithm>
#include <climits>

namespace orvex {

bool DeadlineTimer::Set(unsigned milliseconds) {
    period_ = std::chrono::milliseconds(milliseconds);
    due_ = std::chrono::steady_clock::now() + period_;
    armed_ = true;
    return true;
}

bool DeadlineTimer::Kill() {
    const bool wasArmed = armed_;
    armed_ = false;
    return wasArmed;
}

int DeadlineTimer::WaitMs(TimePoint now) const {
    if (!armed_) {
        return -1;
    }
    if (due_ <= now) {
        return 0;
    }
    // Rounded up, so that the loop never wakes just before the deadline and spins.
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(due_ - now).count();
    return static_cast<int>(std::min<long long>(left, INT_MAX));
}

bool DeadlineTimer::TakeDue(TimePoint now) {
    if (!armed_ || now < due_) {
        return false;
    }
    due_ = now + period_;
    return true;
}

}  // namespace orvex
