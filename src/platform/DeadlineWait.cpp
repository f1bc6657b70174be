#include "platform/DeadlineWait.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <climits>

namespace orvex {

Deadline::Deadline(int64_t limitMs, Clock& clock)
    : clock_(&clock),
      start_(clock.TickCount()),
      limitMs_(std::clamp<int64_t>(limitMs, 0, kMaxDeadlineMs)) {}

int Deadline::LeftMs() const {
    const uint32_t elapsed = clock_->TickCount() - start_;
    const int64_t left = limitMs_ - static_cast<int64_t>(elapsed);
    return static_cast<int>(std::clamp<int64_t>(left, 0, INT_MAX));
}

void Deadline::Extend(int64_t ms) {
    limitMs_ = std::clamp<int64_t>(limitMs_ + std::max<int64_t>(ms, 0), 0, kMaxDeadlineMs);
}

WaitResult WaitUntil(int fd, short events, const Deadline& deadline, short* revents) {
    while (true) {
        pollfd p{fd, events, 0};
        const int ready = ::poll(&p, 1, deadline.LeftMs());
        if (revents != nullptr) {
            *revents = ready > 0 ? p.revents : 0;
        }
        if (ready > 0) {
            return WaitResult::kReady;
        }
        if (ready == 0) {
            return WaitResult::kTimedOut;
        }
        if (errno != EINTR) {
            return WaitResult::kFailed;
        }
    }
}

}  // namespace orvex
