#include <QThread>

#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "RecordingHost.h"
#include "ShellTestSupport.h"
#include "ui/GuiThreadHost.h"

namespace orvex::test {
namespace {

// Records on which thread each call arrived.
class ThreadCheckingHost : public RecordingHost {
public:
    void Status(const HostMessage& message) override {
        onWindowThread = onWindowThread && QThread::currentThread() == qApp->thread();
        RecordingHost::Status(message);
    }
    std::atomic<bool> onWindowThread{true};
};

TEST(GuiThreadHostTest, WorkerCallsRunOnTheWindowThreadInOrderAndWait) {
    GuiThreadHost host;
    ThreadCheckingHost target;
    host.Attach(&target);
    target.QueueAnswer(MsgAnswer::Yes);

    std::atomic<bool> finished{false};
    std::vector<size_t> seenAfterEachCall;
    MsgAnswer answer = MsgAnswer::Ok;
    std::thread worker([&] {
        host.Status(HostMessage::Plain("one"));
        // Each call returns only after the window's thread handled it.
        seenAfterEachCall.push_back(target.Events().size());
        host.Cycle(CycleCode::DisableRefresh);
        seenAfterEachCall.push_back(target.Events().size());
        MessageBoxRequest box;
        box.buttons = MsgButtons::YesNo;
        answer = host.MessageBox(box);
        host.Status(HostMessage::Plain("two"));
        host.ExitRequest();
        finished = true;
    });
    PumpUntil([&] { return finished.load(); });
    worker.join();

    EXPECT_EQ(seenAfterEachCall, (std::vector<size_t>{1, 2}));
    EXPECT_EQ(answer, MsgAnswer::Yes);
    EXPECT_EQ(target.Transcript(), (std::vector<std::string>{"status: one", "cycle: 200",
                                                             "box: ", "status: two", "exit"}));
    EXPECT_TRUE(target.onWindowThread);
}

TEST(GuiThreadHostTest, CallsOnTheWindowThreadAreDirect) {
    GuiThreadHost host;
    RecordingHost target;
    host.Attach(&target);
    // No event loop runs here: a queued call would never return.
    host.Status(HostMessage::Plain("direct"));
    host.ActivatePage(Page::Status);
    EXPECT_EQ(target.Transcript(), (std::vector<std::string>{"status: direct", "page: 2"}));
}

TEST(GuiThreadHostTest, DetachedHostIsASink) {
    GuiThreadHost host;
    RecordingHost target;
    host.Attach(&target);
    host.Detach();
    std::atomic<bool> finished{false};
    MsgAnswer answer = MsgAnswer::Yes;
    std::thread worker([&] {
        host.Status(HostMessage::Plain("late"));
        host.Cycle(CycleCode::EnableRefresh);
        MessageBoxRequest box;
        box.buttons = MsgButtons::OkCancel;
        answer = host.MessageBox(box);
        finished = true;
    });
    // Nothing is handled on the window's thread, so the worker must not wait for it.
    for (int i = 0; i < 500 && !finished; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(finished.load());
    worker.join();
    EXPECT_TRUE(target.Events().empty());
    EXPECT_EQ(answer, MsgAnswer::Cancel);
}

TEST(GuiThreadHostTest, CallQueuedBeforeDetachIsDroppedWhenHandled) {
    GuiThreadHost host;
    RecordingHost target;
    host.Attach(&target);
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        host.Status(HostMessage::Plain("queued"));
        finished = true;
    });
    // Let the call be posted, then detach before the window's thread handles it.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    host.Detach();
    PumpUntil([&] { return finished.load(); });
    worker.join();
    EXPECT_TRUE(target.Events().empty());
}

}  // namespace
}  // namespace orvex::test
