#pragma once

#include <cstdint>

#include "platform/Clock.h"

namespace orvex {

// The moment a bounded operation gives up, read on a clock's millisecond tick count (which
// wraps; a deadline spans at most kMaxDeadlineMs).
class Deadline {
public:
    // `limitMs` from now; a negative limit means "now".
    explicit Deadline(int64_t limitMs, Clock& clock = DefaultClock());

    // Milliseconds left, 0 once the deadline has passed.
    int LeftMs() const;
    bool Passed() const { return LeftMs() == 0; }
    // The whole span from the start, as given and extended.
    int64_t LimitMs() const { return limitMs_; }
    // Moves the deadline `ms` later (a transfer's grows with the bytes it has moved).
    void Extend(int64_t ms);
    // Whichever of the two comes first.
    const Deadline& Earlier(const Deadline& other) const {
        return other.LeftMs() < LeftMs() ? other : *this;
    }

private:
    Clock* clock_;
    uint32_t start_;
    int64_t limitMs_;
};

// About 24 days: well inside the tick count's wrap.
inline constexpr int64_t kMaxDeadlineMs = int64_t{1} << 31;

enum class WaitResult { kReady, kTimedOut, kFailed };

// Waits until `fd` shows one of `events` (POLLIN, POLLOUT) or the deadline passes: one poll
// with the time left, resumed with what is then left after an interrupted call. Errors and
// hang-ups count as ready (the next call on the descriptor reports them); a poll that waits out
// its time is the end, whatever a test's clock reads. *revents (when given) gets what poll saw.
WaitResult WaitUntil(int fd, short events, const Deadline& deadline, short* revents = nullptr);

}  // namespace orvex
