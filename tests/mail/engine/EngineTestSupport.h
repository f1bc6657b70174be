#pragma once

#include <atomic>
#include <chrono>
#include <ctime>
#include <string>

#include <gtest/gtest.h>

#include "ScriptedPeer.h"
#include "TempDir.h"
#include "mail/engine/See.h"
#include "platform/Clock.h"

namespace orvex::test {

// Real time for the dialogue's waits, but a fixed wall clock for the Date line and a tick
// count that starts at a chosen value on its first reading (seeAttach's boundary).
class FixedDateClock : public SystemClock {
public:
    explicit FixedDateClock(uint32_t firstTick) : firstTick_(firstTick) {}

    std::time_t Now() const override { return 1796533629; }
    uint32_t TickCount() const override {
        int64_t now = RealMs();
        int64_t expected = -1;
        startMs_.compare_exchange_strong(expected, now);
        return firstTick_ + static_cast<uint32_t>(now - startMs_.load());
    }
    // Sunday, 6 December 2026, 5:07:09 one hour east of UTC.
    std::tm LocalTime(std::time_t) const override {
        std::tm t{};
        t.tm_year = 126;
        t.tm_mon = 11;
        t.tm_mday = 6;
        t.tm_wday = 0;
        t.tm_hour = 5;
        t.tm_min = 7;
        t.tm_sec = 9;
        t.tm_gmtoff = 3600;
        return t;
    }

private:
    static int64_t RealMs() {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    uint32_t firstTick_;
    mutable std::atomic<int64_t> startMs_{-1};
};

inline constexpr uint32_t kFirstTick = 5208843;
inline const std::string kBoundary = "=====_SEE5208843_=====";
inline const std::string kMailer = "X-Mailer: Quorvane SMTP/POP3 Email Engine Version 3.4\r\n";
inline const std::string kDate = "Date: Sun, 6 Dec 2026 5:07:09 +0100\r\n";

// Attaches one channel with the fixed clock and a temporary work directory; detaches and puts
// the process-wide parameters the tests touch back to their defaults.
class EngineTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(seeAttach(1, clock_, dir_.Path()), 1); }
    void TearDown() override {
        seeIntegerParam(0, kSeeReplyTimeout, 25000);
        seeIntegerParam(0, kSeePassAllBytes, 0);
        seeIntegerParam(0, kSeeOmitTo, 0);
        seeDetach();
    }

    // Connects channel 0 to `port` on 127.0.0.1 with sender <me@example.com>.
    int Connect(int port, const char* sender = "<me@example.com>") {
        seeIntegerParam(0, kSeePort, port);
        return seeSmtpConnect(0, "127.0.0.1", sender, nullptr);
    }

    FixedDateClock clock_{kFirstTick};
    TempDir dir_;
};

// The server side of a HELO greeting.
inline ScriptedPeer& Greet(ScriptedPeer& peer, const std::string& helo = "HELO example.com") {
    return peer.SendLine("220 test ready").Expect(helo).SendLine("250 hello");
}

// The bytes the client sent between "DATA" and the end of the terminating dot line.
inline std::string DataOf(const std::string& received) {
    size_t start = received.find("DATA\r\n");
    if (start == std::string::npos) {
        return {};
    }
    start += 6;
    size_t end = received.find("\r\n.\r\n", start);
    return end == std::string::npos ? received.substr(start)
                                    : received.substr(start, end + 5 - start);
}

}  // namespace orvex::test
