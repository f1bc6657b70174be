#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <thread>

#include "platform/Clock.h"

// Shared pieces of the fuzz targets: invariant checks that abort (so libFuzzer keeps the
// input), a scratch directory on a fast filesystem, a clock that never really sleeps and a
// loopback peer that plays a script to the code under test.
namespace orvex::fuzz {

// Prints what broke and aborts; libFuzzer then writes the input out as a crash file.
[[noreturn]] void Fail(const char* file, int line, const char* what, const std::string& detail);

#define FUZZ_CHECK(cond, detail)                                      \
    do {                                                              \
        if (!(cond)) {                                                \
            ::orvex::fuzz::Fail(__FILE__, __LINE__, #cond, (detail)); \
        }                                                             \
    } while (false)

// Printable form of bytes for failure messages (C escapes, cut after `limit` bytes).
std::string Shown(const std::string& bytes, size_t limit = 200);

// One directory per process under /dev/shm (else $TMPDIR or /tmp), removed at exit. Files
// there cost no disk flush, so targets that write files stay fast.
const std::string& ScratchDir();
// Removes every entry of the scratch directory (not the directory itself).
void ClearScratchDir();
std::string ReadWholeFile(const std::string& path, bool* exists = nullptr);
void WriteWholeFile(const std::string& path, const std::string& bytes);

// Wall-clock time is set by the target; the tick count follows real time plus every sleep
// asked for, which returns at once. Code that paces itself by sleeping therefore runs at full
// speed, and its deadlines still pass in real time.
class FastClock : public Clock {
public:
    std::time_t Now() const override { return now_.load(); }
    uint32_t TickCount() const override;
    void SleepMs(uint32_t milliseconds) override { skipped_ += milliseconds; }

    void SetNow(std::time_t now) { now_ = now; }

private:
    std::atomic<std::time_t> now_{1700000000};
    std::atomic<uint64_t> skipped_{0};
};

// A listening TCP socket on 127.0.0.1 (port chosen by the system), made once per process.
class LoopbackListener {
public:
    LoopbackListener();
    ~LoopbackListener();
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    int Port() const { return port_; }
    // The next incoming connection within `limitMs`, or -1.
    int Accept(int limitMs) const;

private:
    int fd_ = -1;
    int port_ = 0;
};

// The server side of one connection, run on its own thread: accepts the client, runs the
// script with the connected descriptor and closes it. Join() waits for the script, which must
// end on its own (every wait in it bounded).
class PeerThread {
public:
    using Script = std::function<void(int fd)>;
    PeerThread(const LoopbackListener& listener, Script script);
    ~PeerThread();
    PeerThread(const PeerThread&) = delete;
    PeerThread& operator=(const PeerThread&) = delete;

    void Join();
    bool Accepted() const { return accepted_.load(); }

private:
    std::thread thread_;
    std::atomic<bool> accepted_{false};
};

// Peer helpers; every wait is bounded by `limitMs`.
// Sends all bytes (false when the client went away).
bool SendAllBytes(int fd, const std::string& bytes, int limitMs = 5000);
// Reads one line through its LF (the LF kept); false at the end of the stream or on time-out,
// with what arrived left in *line.
bool ReadPeerLine(int fd, std::string* line, int limitMs = 5000);
// Reads until the client closes; what arrived.
std::string ReadUntilClosed(int fd, int limitMs = 5000);

}  // namespace orvex::fuzz
