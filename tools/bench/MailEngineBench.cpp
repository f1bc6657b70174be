// Timing runs for the mail engine (not a test; not run by CTest). Build in Release.
//
//   mail_engine_bench attach PORT FILE   one message with FILE as attachment to 127.0.0.1:PORT
//                                        (whole-process timing against another SMTP client)
//   mail_engine_bench small PORT [N [SECURITY CAFILE]]
//                                        N small plain messages (connect, send, close), each
//                                        split into the engine's fixed waits and the rest;
//                                        SECURITY 1 = STARTTLS, 2 = TLS, trusting CAFILE
//
// An SMTP server must already listen on PORT (tests/peers/smtp_server.py).

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "mail/engine/See.h"
#include "platform/Clock.h"

namespace {

using Ms = std::chrono::duration<double, std::milli>;

// The system clock, adding up every pause the engine takes through it: the settle delays
// before reading a reply and the pause after closing a socket.
class CountingClock : public orvex::SystemClock {
public:
    void SleepMs(uint32_t ms) override {
        auto start = std::chrono::steady_clock::now();
        orvex::SystemClock::SleepMs(ms);
        slept_ += std::chrono::duration_cast<std::chrono::microseconds>(
                      std::chrono::steady_clock::now() - start)
                      .count();
    }
    double TakeSleptMs() { return slept_.exchange(0) / 1000.0; }

private:
    std::atomic<long long> slept_{0};
};

struct Phase {
    double total = 0;
    double waits = 0;
};

template <typename F>
Phase Timed(CountingClock& clock, F&& run, int* rc) {
    clock.TakeSleptMs();
    auto start = std::chrono::steady_clock::now();
    *rc = run();
    Phase p;
    p.total = Ms(std::chrono::steady_clock::now() - start).count();
    p.waits = clock.TakeSleptMs();
    return p;
}

int Fail(const char* what, int rc) {
    std::fprintf(stderr, "%s failed: %d %s\n", what, rc, orvex::seeErrorText(0, rc).c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s attach PORT FILE | small PORT [N [SECURITY CAFILE]]\n",
                     argv[0]);
        return 2;
    }
    const std::string mode = argv[1];
    const int port = std::atoi(argv[2]);
    CountingClock clock;
    if (orvex::seeAttach(1, clock) != 1) {
        return 1;
    }
    orvex::seeIntegerParam(0, orvex::kSeePort, port);
    int rc = 0;
    if (mode == "attach" && argc >= 4) {
        Phase connect = Timed(
            clock,
            [] { return orvex::seeSmtpConnect(0, "127.0.0.1", "<bench@example.com>", nullptr); },
            &rc);
        if (rc < 0) {
            return Fail("connect", rc);
        }
        const std::string file = argv[3];
        Phase send = Timed(
            clock,
            [&] {
                return orvex::seeSendEmail(0, "<you@example.org>", nullptr, nullptr, "Bench", "",
                                           file.c_str());
            },
            &rc);
        if (rc < 0) {
            return Fail("send", rc);
        }
        Phase close = Timed(
            clock, [] { return orvex::seeClose(0); }, &rc);
        std::fprintf(stderr,
                     "connect %.1f ms (waits %.1f), send %.1f ms (waits %.1f), close %.1f ms "
                     "(waits %.1f)\n",
                     connect.total, connect.waits, send.total, send.waits, close.total,
                     close.waits);
    } else if (mode == "small") {
        int runs = argc >= 4 ? std::atoi(argv[3]) : 10;
        if (argc >= 6) {
            orvex::seeIntegerParam(0, orvex::kSeeSecurity, std::atoi(argv[4]));
            orvex::seeStringParam(0, orvex::kSeeTlsCaFile, argv[5]);
        }
        Phase sum;
        for (int i = 0; i < runs; ++i) {
            Phase all;
            for (int step = 0; step < 3; ++step) {
                Phase p = Timed(
                    clock,
                    [step] {
                        switch (step) {
                            case 0:
                                return orvex::seeSmtpConnect(0, "127.0.0.1", "<bench@example.com>",
                                                             nullptr);
                            case 1:
                                return orvex::seeSendEmail(
                                    0, "<you@example.org>", nullptr, nullptr, "Where am I",
                                    "LAN 192.168.1.20\r\nWAN 203.0.113.7\r\n", nullptr);
                            default:
                                return orvex::seeClose(0);
                        }
                    },
                    &rc);
                if (rc < 0) {
                    return Fail("small message", rc);
                }
                all.total += p.total;
                all.waits += p.waits;
            }
            std::printf("run %d: total %.1f ms = fixed waits %.1f ms + rest %.1f ms\n", i + 1,
                        all.total, all.waits, all.total - all.waits);
            sum.total += all.total;
            sum.waits += all.waits;
        }
        std::printf("mean of %d: total %.1f ms = fixed waits %.1f ms + rest %.1f ms\n", runs,
                    sum.total / runs, sum.waits / runs, (sum.total - sum.waits) / runs);
    } else {
        return 2;
    }
    orvex::seeDetach();
    return 0;
}
