#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "platform/Clock.h"

namespace orvex::test {

// A listening socket on 127.0.0.1 with backlog 0 whose queue is already filled and which never
// accepts: further connects get no answer at all (the SYNs are dropped), as behind a firewall
// that swallows packets.
class SilentListener {
public:
    SilentListener();
    ~SilentListener();
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;
    uint16_t Port() const { return port_; }

private:
    int listenFd_ = -1;
    std::vector<int> fillers_;
    uint16_t port_ = 0;
};

// A clock that returns the given seconds one call after another (the last one from then on)
// and counts the calls.
class SequenceClock : public Clock {
public:
    explicit SequenceClock(std::vector<std::time_t> values) : values_(std::move(values)) {}
    std::time_t Now() const override;
    uint32_t TickCount() const override { return 0; }
    void SleepMs(uint32_t) override {}
    int Calls() const { return calls_.load(); }

private:
    std::vector<std::time_t> values_;
    mutable std::atomic<int> calls_{0};
};

// "227 Entering Passive Mode (127,0,0,1,h,l)" for a port on loopback.
std::string PasvReplyFor(uint16_t port);

// Connects to 127.0.0.1:port (blocking, for a scripted peer's active data connection).
int ConnectLoopback(uint16_t port);

// A loopback port that was free a moment ago: connecting to it is refused.
uint16_t ClosedLoopbackPort();

// The port named by a "PORT h1,h2,h3,h4,p1,p2" line; 0 when it does not parse.
uint16_t PortOfPortLine(const std::string& line);

// Bytes 0..255 repeating with a twist, so shifted or dropped blocks show.
std::string PatternBytes(size_t size);

// Milliseconds since `start`.
long long ElapsedMs(long long startMs);
long long NowMs();

}  // namespace orvex::test
