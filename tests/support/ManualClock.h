#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>

#include "platform/Clock.h"

namespace orvex::test {

// A clock the test sets. Sleeping advances it instead of waiting.
class ManualClock : public Clock {
public:
    explicit ManualClock(std::time_t now = 0, uint32_t tick = 0) : now_(now), tick_(tick) {}

    std::time_t Now() const override { return now_.load(); }
    uint32_t TickCount() const override { return tick_.load(); }
    void SleepMs(uint32_t milliseconds) override { tick_ += milliseconds; }

    void Set(std::time_t now) { now_ = now; }
    void SetTick(uint32_t tick) { tick_ = tick; }
    void Advance(int seconds) { now_ += seconds; }

private:
    std::atomic<std::time_t> now_;
    std::atomic<uint32_t> tick_;
};

// Seconds since the epoch of a local time given as calendar fields (TZ applies).
std::time_t LocalTimeOf(int year, int month, int day, int hour, int minute, int second);

}  // namespace orvex::test
