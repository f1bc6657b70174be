#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace orvex {

// What the service tells systemd when it runs as a unit of Type=notify: READY=1 once the
// settings are loaded, STATUS= with the last host message, WATCHDOG=1 at half the unit's
// WatchdogSec, STOPPING=1 at the end. Outside systemd (no NOTIFY_SOCKET) every call does
// nothing.
// The watchdog bound WATCHDOG_USEC gives, in microseconds; 0 when it is unset, not a number,
// or WATCHDOG_PID names another process than `ownPid`.
uint64_t WatchdogMicroseconds(const char* usec, const char* pid, long ownPid);

class SystemdNotifier {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    SystemdNotifier();

    void Ready();
    void Status(const std::string& line);
    void Stopping();

    bool WatchdogOn() const { return interval_.count() > 0; }
    // Milliseconds until the next ping is due (0: now), -1 without a watchdog.
    int WatchdogWaitMs(TimePoint now) const;
    // Pings when due.
    void PingIfDue(TimePoint now);

private:
    std::chrono::microseconds interval_{0};
    TimePoint next_{};
};

}  // namespace orvex
