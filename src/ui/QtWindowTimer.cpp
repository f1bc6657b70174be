#include "ui/QtWindowTimer.h"

#include <climits>

namespace orvex {

QtWindowTimer::QtWindowTimer(std::function<void()> onFire) : onFire_(std::move(onFire)) {
    // Intervals are minutes long; a coarse timer could drift by several seconds.
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] { onFire_(); });
}

bool QtWindowTimer::Set(unsigned milliseconds) {
    timer_.start(static_cast<int>(milliseconds > INT_MAX ? INT_MAX : milliseconds));
    return true;
}

bool QtWindowTimer::Kill() {
    const bool wasArmed = timer_.isActive();
    timer_.stop();
    return wasArmed;
}

}  // namespace orvex
