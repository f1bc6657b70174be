// Calls from workers are handed over to the owning thread, answered there in order, and end
// at once without effect once the front end has detached.

#include <poll.h>

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "RecordingHost.h"
#include "platform/HandOverHost.h"

namespace orvex::test {
namespace {

TEST(HandOverHost, WorkerCallsRunOnTheOwningThreadInOrderAndEndOnceDetached) {
    HandOverHost host;
    RecordingHost target;
    target.QueueAnswer(MsgAnswer::Yes);
    host.Attach(&target);

    MsgAnswer answer = MsgAnswer::Ok;
    std::thread worker([&] {
        host.Status(HostMessage::Coded("P10009 Requesting WAN IP address..."));
        host.Cycle(CycleCode::DisableRefresh);
        MessageBoxRequest box;
        box.text = "sure?";
        box.buttons = MsgButtons::YesNo;
        answer = host.MessageBox(box);
        host.ExitRequest();
    });
    // The owning thread: wait for the wake-up, run what waits, until the worker is through.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (target.Events().size() < 4 && std::chrono::steady_clock::now() < deadline) {
        pollfd p{host.WakeFd(), POLLIN, 0};
        if (::poll(&p, 1, 100) > 0) {
            host.RunPending();
        }
    }
    worker.join();
    EXPECT_EQ(answer, MsgAnswer::Yes);
    EXPECT_EQ(target.Transcript(),
              (std::vector<std::string>{"status: P10009 Requesting WAN IP address...", "cycle: 200",
                                        "box: sure?", "exit"}));

    // A late worker after the front end is gone: nothing reaches the target, nothing waits.
    host.Detach();
    MessageBoxRequest late;
    late.buttons = MsgButtons::OkCancel;
    std::thread lateWorker([&] {
        host.Status(HostMessage::Plain("late"));
        answer = host.MessageBox(late);
    });
    lateWorker.join();
    EXPECT_EQ(answer, MsgAnswer::Cancel);
    EXPECT_EQ(target.Events().size(), 4u);
}

}  // namespace
}  // namespace orvex::test
