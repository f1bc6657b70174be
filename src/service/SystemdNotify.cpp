#include "service/SystemdNotify.h"

#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/SharedLibrary.h"

namespace orvex {

namespace {

// The manager's client library is loaded only when the manager asked to be told (NOTIFY_SOCKET
// is set): it brings a compression and crypto stack that a program run any other way would
// hold resident for nothing. Loaded once, kept for the life of the process.
using NotifyFunction = decltype(&::sd_notify);

NotifyFunction NotifyFunctionLoaded() {
    static const NotifyFunction loaded = []() -> NotifyFunction {
        NotifyFunction notify = nullptr;
        SharedLibrary systemd("libsystemd.so.0");
        systemd.Find("sd_notify", notify);
        return systemd.Finish() != nullptr ? notify : nullptr;
    }();
    return loaded;
}

void Notify(const std::string& state) {
    if (std::getenv("NOTIFY_SOCKET") == nullptr) {
        return;
    }
    if (const NotifyFunction notify = NotifyFunctionLoaded()) {
        notify(0, state.c_str());
    }
}

// STATUS= is one line; a host message is one already, but a box may not be.
std::string OneLine(const std::string& text) {
    std::string line = text.substr(0, 512);
    std::replace(line.begin(), line.end(), '\n', ' ');
    return line;
}

}  // namespace

uint64_t WatchdogMicroseconds(const char* usec, const char* pid, long ownPid) {
    if (usec == nullptr || *usec < '0' || *usec > '9') {
        return 0;
    }
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(usec, &end, 10);
    if (errno != 0 || *end != '\0') {
        return 0;
    }
    if (pid != nullptr) {
        // Meant for another process of the unit.
        char* pidEnd = nullptr;
        const long meant = std::strtol(pid, &pidEnd, 10);
        if (*pid == '\0' || *pidEnd != '\0' || meant != ownPid) {
            return 0;
        }
    }
    return value;
}

SystemdNotifier::SystemdNotifier() {
    const uint64_t usec =
        WatchdogMicroseconds(std::getenv("WATCHDOG_USEC"), std::getenv("WATCHDOG_PID"), ::getpid());
    if (usec > 0) {
        // Pinging at half the bound leaves room for a loop that is busy for a while.
        interval_ = std::chrono::microseconds(usec / 2);
        next_ = std::chrono::steady_clock::now();
    }
}

void SystemdNotifier::Ready() {
    Notify("READY=1");
}

void SystemdNotifier::Status(const std::string& line) {
    Notify("STATUS=" + OneLine(line));
}

void SystemdNotifier::Stopping() {
    Notify("STOPPING=1");
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
    Notify("WATCHDOG=1");
    next_ = now + std::chrono::duration_cast<std::chrono::steady_clock::duration>(interval_);
}

}  // namespace orvex
