#include "app/ExitRoutine.h"

#include <gtest/gtest.h>

#include "AppFakes.h"
#include "ManualClock.h"
#include "RecordingHost.h"
#include "TempDir.h"

namespace orvex::test {
namespace {

class ExitRoutineTest : public ::testing::Test {
protected:
    ExitRoutineTest()
        : state(dir.Path(), dir.File("Orvex.ini")),
          launcher(state.Flags),
          status(
              state, window, clock, [](const std::string&) {},
              [] { return std::make_pair(std::string(), std::string()); }),
          scheduler(state, window, timer, host, status, launcher),
          settings(state, window, scheduler, "KEY", &host),
          exit(state, window, host, scheduler, settings, launcher) {
        window.page.values = FilledFtpPage();
        window.visible = true;
    }

    void SetShut(int updateOnShut, int notifyError = 0) {
        state.EditSettings([&](AppSettings& s) {
            s.IsUpdateOnShut = updateOnShut;
            s.NotifyErrorOnShut = notifyError;
        });
    }

    TempDir dir;
    AppState state;
    FakeWindow window;
    FakeTimer timer;
    RecordingHost host;
    ManualClock clock;
    FakeLauncher launcher;
    StatusDisplay status;
    Scheduler scheduler;
    SettingsCommands settings;
    ExitRoutine exit;
};

TEST_F(ExitRoutineTest, BeforeAnySuccessfulCycleTheWindowClosesWithoutOfflinePage) {
    SetShut(1);
    EXPECT_TRUE(exit.ExitProgram());
    EXPECT_TRUE(window.destroyed);
    EXPECT_EQ(launcher.offline, 0);
    EXPECT_TRUE(host.Events().empty());
}

TEST_F(ExitRoutineTest, SaveQuestionCancelKeepsYesSavesNoGoesOn) {
    window.unsaved = true;
    host.QueueAnswer(MsgAnswer::Cancel);
    EXPECT_FALSE(exit.ExitProgram());
    EXPECT_FALSE(window.destroyed);
    const auto box = host.Events().back().box;
    EXPECT_EQ(box.text, "Do you want to save your settings?");
    EXPECT_EQ(box.caption, "Exit Orvex");
    EXPECT_EQ(box.buttons, MsgButtons::YesNoCancel);
    EXPECT_EQ(box.icon, MsgIcon::Question);

    host.QueueAnswer(MsgAnswer::Yes);
    EXPECT_TRUE(exit.ExitProgram());
    EXPECT_TRUE(window.destroyed);
    EXPECT_NE(ReadFile(dir.File("Orvex.ini")).find("FTPServer=127.0.0.1"), std::string::npos);

    window.destroyed = false;
    window.unsaved = true;
    host.QueueAnswer(MsgAnswer::No);
    EXPECT_TRUE(exit.ExitProgram());
    EXPECT_TRUE(window.unsaved);
}

// A Save refused (SFTP behind a proxy logon) writes nothing, and Exit stays so that the
// choice can be mended; nothing typed is lost.
TEST_F(ExitRoutineTest, RefusedSaveKeepsTheWindowOpen) {
    window.unsaved = true;
    window.page.values.FTPSecurity = 3;
    state.EditSettings([](AppSettings& s) {
        s.UseProxy = 1;
        s.LogonType = 1;
    });
    host.QueueAnswer(MsgAnswer::Yes);
    EXPECT_FALSE(exit.ExitProgram());
    EXPECT_FALSE(window.destroyed);
    EXPECT_TRUE(window.unsaved);
    EXPECT_NE(host.MessageBoxTexts().back().find("FTPS and SFTP cannot go through"),
              std::string::npos);
    EXPECT_EQ(state.Ini().GetString("LocalSettings", "FTPServer", "absent"), "absent");
}

TEST_F(ExitRoutineTest, UpdateOnShutMinimisesAndStartsTheOfflineCycle) {
    SetShut(1);
    state.Flags.CycleSucceeded = 1;
    EXPECT_TRUE(exit.ExitProgram());
    EXPECT_EQ(launcher.offline, 1);
    EXPECT_FALSE(window.destroyed);
    EXPECT_EQ(window.calls.front(), "minimize");
    EXPECT_TRUE(state.Flags.CycleRunning);

    // Asking again while it runs: the transfer question, No by default.
    host.QueueAnswer(MsgAnswer::No);
    EXPECT_FALSE(exit.ExitProgram());
    auto box = host.Events().back().box;
    EXPECT_EQ(box.text, "You are in the middle of a transfer, are you sure you want to exit?");
    EXPECT_EQ(box.buttons, MsgButtons::YesNo);
    EXPECT_EQ(box.defaultButton, 2);
    EXPECT_EQ(box.icon, MsgIcon::None);
    host.QueueAnswer(MsgAnswer::Yes);
    EXPECT_TRUE(exit.ExitProgram());
    EXPECT_TRUE(window.destroyed);
    EXPECT_EQ(launcher.offline, 1);
}

TEST_F(ExitRoutineTest, WithoutUpdateOnShutTheWindowClosesAtOnce) {
    SetShut(0);
    state.Flags.CycleSucceeded = 1;
    EXPECT_TRUE(exit.ExitProgram());
    EXPECT_TRUE(window.destroyed);
    EXPECT_EQ(launcher.offline, 0);
}

TEST_F(ExitRoutineTest, MissingFieldsAskExitAnywayOnTheStatusPage) {
    SetShut(1);
    state.Flags.CycleSucceeded = 1;
    window.page.values.RemoteFile.clear();
    host.QueueAnswer(MsgAnswer::No);
    EXPECT_FALSE(exit.ExitProgram());
    EXPECT_EQ(window.fields.hostMessage, "Local Settings Needed.");
    EXPECT_EQ(window.calls, (std::vector<std::string>{"minimize", "restore", "page 2"}));
    auto box = host.Events().back().box;
    EXPECT_EQ(box.text, "There was an error uploading page. Exit anyway?");
    EXPECT_EQ(box.caption, "Orvex Error");
    EXPECT_EQ(box.icon, MsgIcon::Warning);
    EXPECT_EQ(state.Flags.ExitCommitted, 0);

    host.QueueAnswer(MsgAnswer::Yes);
    EXPECT_TRUE(exit.ExitProgram());
    EXPECT_TRUE(window.destroyed);
    EXPECT_EQ(state.Flags.ExitCommitted, 1);
}

TEST_F(ExitRoutineTest, ExitRequestAsksAboutUnsavedSettingsAgainAndAlwaysCloses) {
    window.unsaved = true;
    host.QueueAnswer(MsgAnswer::Cancel);
    exit.OnExitRequest();
    EXPECT_TRUE(window.destroyed);
    EXPECT_EQ(host.MessageBoxTexts(),
              (std::vector<std::string>{"Do you want to save your settings?"}));
}

TEST_F(ExitRoutineTest, ShutdownErrorAsksOnlyWithNotifyErrorOnShut) {
    SetShut(1, 1);
    host.QueueAnswer(MsgAnswer::No);
    exit.OnShutdownError();
    EXPECT_FALSE(window.destroyed);
    EXPECT_EQ(host.MessageBoxTexts().back(), "There was an error uploading page. Exit anyway?");

    SetShut(1, 0);
    exit.OnShutdownError();
    EXPECT_TRUE(window.destroyed);
    EXPECT_EQ(host.MessageBoxTexts().size(), 1u);
}

TEST_F(ExitRoutineTest, EndOfSessionRunsTheOfflineCycleHereAndRefusesOnFailure) {
    SetShut(0);
    EXPECT_TRUE(exit.OnQueryEndSession());
    EXPECT_EQ(launcher.offlineHere, 0);

    SetShut(1);
    EXPECT_TRUE(exit.OnQueryEndSession());
    EXPECT_EQ(launcher.offlineHere, 1);
    // The cycle works from the FTP page's fields even when nothing committed them before.
    EXPECT_EQ(state.Settings().OfflineFile, FilledFtpPage().OfflineFile);
    launcher.offlineHereResult = -1;
    EXPECT_FALSE(exit.OnQueryEndSession());
    // A cycle that is still running makes the offline publication fail.
    ASSERT_TRUE(state.Flags.TryClaimCycle());
    EXPECT_FALSE(exit.OnQueryEndSession());
    EXPECT_EQ(launcher.offlineHere, 2);
}

}  // namespace
}  // namespace orvex::test
