#pragma once

#include <cstdint>
#include <ctime>

namespace orvex {

// Wall-clock time, the millisecond tick count and sleeping, behind one interface so tests can
// set the time. Local times follow the process's time zone (TZ).
class Clock {
public:
    virtual ~Clock() = default;

    // Seconds since the epoch.
    virtual std::time_t Now() const = 0;
    // Milliseconds since some fixed point; wraps like a 32-bit counter.
    virtual uint32_t TickCount() const = 0;
    virtual void SleepMs(uint32_t milliseconds) = 0;

    // Broken-down local and UTC time of `t`; `tm_gmtoff` and `tm_isdst` are filled.
    virtual std::tm LocalTime(std::time_t t) const;
    virtual std::tm UtcTime(std::time_t t) const;
};

class SystemClock : public Clock {
public:
    std::time_t Now() const override;
    uint32_t TickCount() const override;
    void SleepMs(uint32_t milliseconds) override;
};

// The clock of the running program.
Clock& DefaultClock();

}  // namespace orvex
