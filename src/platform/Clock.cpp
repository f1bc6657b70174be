#include "platform/Clock.h"

#include <chrono>
#include <thread>

namespace orvex {

std::tm Clock::LocalTime(std::time_t t) const {
    std::tm out{};
    ::localtime_r(&t, &out);
    return out;
}

std::tm Clock::UtcTime(std::time_t t) const {
    std::tm out{};
    ::gmtime_r(&t, &out);
    return out;
}

std::time_t SystemClock::Now() const {
    return std::time(nullptr);
}

uint32_t SystemClock::TickCount() const {
    auto since = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

void SystemClock::SleepMs(uint32_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

Clock& DefaultClock() {
    static SystemClock clock;
    return clock;
}

}  // namespace orvex
