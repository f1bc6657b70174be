// The built program on a private desktop (X server, window manager, notification area): what
// the window manager and the X server see of its windows, not what the toolkit believes.

#include <functional>
#include <map>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "ProgramRun.h"
#include "TempDir.h"
#include "TestDesktop.h"
#include "X11Probe.h"
#include "platform/Profile.h"
#include "settings/SettingsFile.h"

namespace orvex::test {
namespace {

class WindowE2ETest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!desktop.Ready()) {
            GTEST_SKIP() << "needs Xvfb, openbox and trayer: " << desktop.Error();
        }
        // A window that only waits: no refresh by itself, nothing to publish.
        Profile ini(work.File("Orvex.ini"));
        ini.WriteString(kSectionPreferences, "IsUpdateOnStart", "0");
        ini.WriteString(kSectionPreferences, "RefreshIntv", "0");
        ini.WriteString(kSectionPreferences, "IsMinOnStartup", "0");
        probe = std::make_unique<X11Probe>(desktop.Display());
    }

    std::map<std::string, std::string> Env() const {
        return {{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", desktop.Display()}};
    }

    // The program's window, once the window manager shows it.
    unsigned long ShownWindow() {
        unsigned long window = 0;
        WaitFor(15000, [&] {
            window = probe->FindWindow("Orvex");
            return window != 0 && probe->Viewable(window);
        });
        return window;
    }

    bool Xdotool(const std::vector<std::string>& arguments) {
        std::vector<std::string> command{"xdotool"};
        command.insert(command.end(), arguments.begin(), arguments.end());
        return desktop.Run(command);
    }

    // Presses F1 in `window` until `done` holds: a key pressed while the window manager is
    // still handing over the focus would go elsewhere.
    bool PressF1Until(unsigned long window, const std::function<bool()>& done) {
        for (int attempt = 0; attempt < 5; ++attempt) {
            Xdotool({"windowactivate", "--sync", std::to_string(window), "key", "F1"});
            if (WaitFor(3000, done)) {
                return true;
            }
        }
        return false;
    }

    // Minimises with the window manager, as the title bar's button does.
    void Minimise(unsigned long window) {
        ASSERT_TRUE(Xdotool({"windowminimize", std::to_string(window)}));
    }

    bool DoubleClick(unsigned long window) {
        int x = 0;
        int y = 0;
        return probe->Centre(window, &x, &y) &&
               Xdotool({"mousemove", std::to_string(x), std::to_string(y), "click", "--repeat", "2",
                        "--delay", "80", "1"});
    }

    TestDesktop desktop;
    TempDir work;
    TempDir runtime;
    std::unique_ptr<X11Probe> probe;
};

TEST_F(WindowE2ETest, MinimiseLeavesNoFrameOnTheScreenAndTheIconBringsTheWindowBack) {
    ProgramRun run(work.Path(), runtime.Path(), Env());
    const unsigned long window = ShownWindow();
    ASSERT_NE(window, 0u);
    EXPECT_EQ(probe->FindTrayIcon("Orvex"), 0u);

    Minimise(window);
    unsigned long icon = 0;
    ASSERT_TRUE(WaitFor(10000, [&] { return (icon = probe->FindTrayIcon("Orvex")) != 0; }))
        << "the window hides behind its notification icon";
    // Let a late map request of the program reach the window manager before looking.
    WaitFor(1000, [] { return false; });
    EXPECT_FALSE(probe->Viewable(window));
    EXPECT_FALSE(probe->FrameViewable(window)) << "an empty frame stays on the screen";

    // The icon's double-click brings the window back, and the icon goes.
    WaitFor(500, [] { return false; });
    ASSERT_TRUE(DoubleClick(icon));
    EXPECT_TRUE(WaitFor(10000, [&] { return probe->Viewable(window); }));
    EXPECT_TRUE(probe->FrameViewable(window));
    EXPECT_FALSE(probe->Iconic(window));
    EXPECT_TRUE(WaitFor(10000, [&] { return probe->FindTrayIcon("Orvex") == 0; }));

    // And again: the second minimise behaves as the first.
    Minimise(window);
    ASSERT_TRUE(WaitFor(10000, [&] { return probe->FindTrayIcon("Orvex") != 0; }));
    WaitFor(1000, [] { return false; });
    EXPECT_FALSE(probe->Viewable(window));
    EXPECT_FALSE(probe->FrameViewable(window));
    EXPECT_TRUE(run.Running());
}

TEST_F(WindowE2ETest, SecondStartBringsTheWindowBackAndTakesTheIconAway) {
    ProgramRun first(work.Path(), runtime.Path(), Env());
    const unsigned long window = ShownWindow();
    ASSERT_NE(window, 0u);
    Minimise(window);
    ASSERT_TRUE(WaitFor(10000, [&] { return probe->FindTrayIcon("Orvex") != 0; }));

    TempDir otherWork;
    ProgramRun second(otherWork.Path(), runtime.Path(), Env());
    EXPECT_EQ(second.WaitExit(10000), 1);
    EXPECT_TRUE(WaitFor(10000, [&] { return probe->Viewable(window); }));
    EXPECT_TRUE(WaitFor(10000, [&] { return probe->FindTrayIcon("Orvex") == 0; }))
        << "the icon stays beside the restored window";
    EXPECT_TRUE(first.Running());
}

TEST_F(WindowE2ETest, HelpOpensInAWindowOfItsOwnOnADesktopWithoutABrowser) {
    TempDir noPrograms;  // PATH holds nothing: no opener, no browser
    std::map<std::string, std::string> env = Env();
    env["PATH"] = noPrograms.Path();
    env["XDG_DATA_DIRS"] = noPrograms.Path();
    env["XDG_DATA_HOME"] = noPrograms.Path();
    ProgramRun run(work.Path(), runtime.Path(), env);
    const unsigned long window = ShownWindow();
    ASSERT_NE(window, 0u);
    unsigned long help = 0;
    const auto helpShown = [&] {
        help = probe->FindWindow("Orvex Help");
        return help != 0 && probe->Viewable(help);
    };
    EXPECT_TRUE(PressF1Until(window, helpShown)) << "F1 shows the help";

    // Closed, it comes back as often as asked.
    probe->RequestClose(help);
    ASSERT_TRUE(WaitFor(10000, [&] { return !probe->Viewable(help); }));
    EXPECT_TRUE(PressF1Until(window, helpShown));
    EXPECT_TRUE(run.Running());
}

}  // namespace
}  // namespace orvex::test
