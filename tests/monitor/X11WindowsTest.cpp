#include "platform/X11Windows.h"

#include <cstdlib>
#include <memory>
#include <thread>

#include <gtest/gtest.h>

#include "XvfbServer.h"
#include "monitor/MonitoredPrograms.h"

namespace orvex {
namespace {

// One private X server for every test of this program.
class X11WindowsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server_ = new test::XvfbServer(); }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }

    void SetUp() override {
        if (!server_->Started()) {
            GTEST_SKIP() << "no private X server: " << server_->Error();
        }
        display_ = std::make_unique<test::DisplayOverride>(server_->Display());
    }
    void TearDown() override { display_.reset(); }

    static const std::string& Display() { return server_->Display(); }

    static test::XvfbServer* server_;
    std::unique_ptr<test::DisplayOverride> display_;
};

test::XvfbServer* X11WindowsTest::server_ = nullptr;

TEST_F(X11WindowsTest, FindsMappedTitledWindowsWithoutRegardToCase) {
    test::TestWindow console(Display(), "alpha console");
    test::TestWindow hidden(Display(), "hidden window", false);

    EXPECT_TRUE(FindTopLevelWindow("alpha console"));
    EXPECT_TRUE(FindTopLevelWindow("ALPHA Console"));
    EXPECT_TRUE(FindProgramWindow("Alpha Console"));
    EXPECT_FALSE(FindTopLevelWindow("alpha"));
    EXPECT_FALSE(FindTopLevelWindow("hidden window"));
    EXPECT_FALSE(FindTopLevelWindow(""));

    auto windows = ListTopLevelWindows(Display());
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_EQ(windows[0].title, "alpha console");
    EXPECT_EQ(windows[0].id, console.Id());
    EXPECT_TRUE(windows[0].taskbar);

    console.Unmap();
    EXPECT_FALSE(FindTopLevelWindow("alpha console"));
}

TEST_F(X11WindowsTest, WindowManagerClientListIsPreferred) {
    test::TestWindow listed(Display(), "Zeta Server");
    test::TestWindow unlisted(Display(), "stray");
    listed.SetClientList({listed.Id()});

    auto windows = ListTopLevelWindows();
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_EQ(windows[0].title, "Zeta Server");
    EXPECT_FALSE(FindTopLevelWindow("stray"));
    listed.SetClientList({});
}

TEST_F(X11WindowsTest, WindowGoneFromTheListIsNotAnErrorAndQueriesMayOverlap) {
    // A destroyed window still named by the client list makes the server report errors,
    // which must neither end the process nor hide the other windows.
    test::TestWindow kept(Display(), "kept");
    unsigned long goneId = 0;
    {
        test::TestWindow gone(Display(), "gone");
        goneId = gone.Id();
    }
    kept.SetClientList({goneId, kept.Id()});

    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([] {
            for (int i = 0; i < 10; ++i) {
                EXPECT_TRUE(FindTopLevelWindow("KEPT"));
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    kept.SetClientList({});
}

TEST(X11WindowsNoDisplay, NoDisplayMeansNothingFound) {
    EXPECT_TRUE(ListTopLevelWindows(":54321").empty());
    EXPECT_FALSE(FindTopLevelWindow("anything", ":54321"));
}

}  // namespace
}  // namespace orvex
