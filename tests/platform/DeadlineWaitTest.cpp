#include <gtest/gtest.h>

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "ManualClock.h"
#include "platform/DeadlineWait.h"

namespace orvex {
namespace {

long long MsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
}

struct SocketPair {
    SocketPair() { ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds); }
    ~SocketPair() {
        ::close(fds[0]);
        ::close(fds[1]);
    }
    int fds[2] = {-1, -1};
};

TEST(DeadlineTest, CountsDownOnTheClockAndGrows) {
    test::ManualClock clock(0, 0xfffffff0u);  // the tick count wraps during the deadline
    Deadline deadline(100, clock);
    EXPECT_EQ(deadline.LeftMs(), 100);
    clock.SleepMs(60);
    EXPECT_EQ(deadline.LeftMs(), 40);
    deadline.Extend(30);
    EXPECT_EQ(deadline.LeftMs(), 70);
    EXPECT_EQ(deadline.LimitMs(), 130);
    const Deadline sooner(10, clock);
    EXPECT_EQ(deadline.Earlier(sooner).LeftMs(), 10);
    clock.SleepMs(200);
    EXPECT_TRUE(deadline.Passed());
    EXPECT_EQ(Deadline(-5, clock).LeftMs(), 0);
}

TEST(DeadlineWaitTest, ReadyAtOnceOrAtTheDeadline) {
    SocketPair pair;
    ASSERT_EQ(::write(pair.fds[1], "x", 1), 1);
    short revents = 0;
    EXPECT_EQ(WaitUntil(pair.fds[0], POLLIN, Deadline(5000), &revents), WaitResult::kReady);
    EXPECT_TRUE(revents & POLLIN);
    char byte;
    ASSERT_EQ(::read(pair.fds[0], &byte, 1), 1);

    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitUntil(pair.fds[0], POLLIN, Deadline(200)), WaitResult::kTimedOut);
    EXPECT_GE(MsSince(start), 195);
    EXPECT_LT(MsSince(start), 2000);

    // A clock that never moves (a test's) cannot keep a wait going: one poll with the time
    // left is the whole wait.
    test::ManualClock still;
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitUntil(pair.fds[0], POLLIN, Deadline(100, still)), WaitResult::kTimedOut);
    EXPECT_LT(MsSince(start), 2000);
}

void IgnoreSignal(int) {}

// A signal that interrupts the poll resumes it with what is left: the wait neither ends early
// nor starts over.
TEST(DeadlineWaitTest, InterruptedWaitResumesWithTheTimeLeft) {
    struct sigaction action {};
    action.sa_handler = IgnoreSignal;  // no SA_RESTART: poll fails with EINTR
    struct sigaction previous {};
    ::sigaction(SIGUSR1, &action, &previous);
    SocketPair pair;
    const pthread_t waiter = ::pthread_self();
    std::thread interrupter([waiter] {
        for (int i = 0; i < 5; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(60));
            ::pthread_kill(waiter, SIGUSR1);
        }
    });
    const auto start = std::chrono::steady_clock::now();
    const WaitResult result = WaitUntil(pair.fds[0], POLLIN, Deadline(500));
    const long long took = MsSince(start);
    interrupter.join();
    ::sigaction(SIGUSR1, &previous, nullptr);
    EXPECT_EQ(result, WaitResult::kTimedOut);
    EXPECT_GE(took, 495);
    EXPECT_LT(took, 1500);
}

}  // namespace
}  // namespace orvex
