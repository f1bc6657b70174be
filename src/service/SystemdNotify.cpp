#include "service/SystemdNotify.h"

#include <systemd/sd-daemon.h>

#include <algorithm>
#include <climits>

namespace orvex {

namespace {

// STATUS= is one line; a host message is one already, but a box may not be.
std::string OneLine(const std::string& text) {
    std::string line = text.substr(0, 512);
    std::replace(line.begin(), line.end(), '\n', ' ');
    return line;
}

}  // namespace

SystemdNotifier::SystemdNotifier() {
    uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) > 0 && usec > 0) {
        // Pinging at half the bound leaves room for a loop that is busy for a while.
        interval_ = std::chrono::microseconds(usec / 2);
        next_ = std::chrono::steady_clock::now();
    }
}

void SystemdNotifier::Ready() {
    sd_notify(0, "READY=1");
}

void SystemdNotifier::Status(const std::string& line) {
    sd_notify(0, ("STATUS=" + OneLine(line)).c_str());
}

void SystemdNotifier::Stopping() {
    sd_notify(0, "STOPPING=1");
}

int SystemdNotifier::WatchdogWaitMs(TimePoint now) const {
    if (!WatchdogOn()) {
        return -1;
    }
    if (next_ <= now) {
        return 0;
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(next_ - now).count();
    return static_cast<int>(std::min<long long>(left, INT_MAX));
}

void SystemdNotifier::PingIfDue(TimePoint now) {
    if (!WatchdogOn() || now < next_) {
        return;
    }
    sd_notify(0, "WATCHDOG=1");
    next_ = now + std::chrono::duration_cast<std::chrono::steady_clock::duration>(interval_);
}

}  // namespace orvex
