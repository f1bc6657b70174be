#include "app/Scheduler.h"

#include <gtest/gtest.h>

#include "AppFakes.h"
#include "ManualClock.h"
#include "RecordingHost.h"
#include "TempDir.h"

namespace orvex::test {
namespace {

class SchedulerTest : public ::testing::Test {
protected:
    SchedulerTest()
        : state(dir.Path(), dir.File("Orvex.ini")),
          launcher(state.Flags),
          status(
              state, window, clock, [this](const std::string& t) { logged.push_back(t); },
              [] { return std::make_pair(std::string("10.0.0.2"), std::string("1.2.3.4")); }),
          scheduler(state, window, timer, host, status, launcher) {
        window.page.values = FilledFtpPage();
    }

    void Configure(int refreshIntv, int updateOnStart, int delay = 0) {
        state.EditSettings([&](AppSettings& s) {
            s.RefreshIntv = refreshIntv;
            s.IsUpdateOnStart = updateOnStart;
            s.InitStartupDelay = delay;
        });
    }

    // Runs the show phase and returns with the delay phase armed.
    void Show() {
        scheduler.Begin();
        ASSERT_TRUE(timer.armed);
        scheduler.OnTimer();
    }

    TempDir dir;
    AppState state;
    FakeWindow window;
    FakeTimer timer;
    RecordingHost host;
    ManualClock clock{1000};
    FakeLauncher launcher;
    std::vector<std::string> logged;
    StatusDisplay status;
    Scheduler scheduler;
};

TEST_F(SchedulerTest, ShowPhaseRestoresOrMinimisesThenArmsTheDelay) {
    Configure(30, 0, 7);
    Show();
    EXPECT_EQ(window.calls.front(), "restore");
    EXPECT_EQ(timer.sets, (std::vector<unsigned>{1, 7000}));
    EXPECT_EQ(scheduler.ShowTimer(), 0u);
    EXPECT_EQ(scheduler.DelayTimer(), 1224u);
    EXPECT_EQ(state.Flags.StartupReady, 0);
}

TEST_F(SchedulerTest, IntervalRefreshesAtOnceAfterTheDelayThenEveryInterval) {
    Configure(30, 0);
    Show();
    scheduler.OnTimer();  // delay ends: the interval armed there matches at once
    EXPECT_EQ(state.Flags.StartupReady, 1);
    EXPECT_EQ(launcher.online, 1);
    EXPECT_EQ(timer.period, 30u * 60000u);
    EXPECT_EQ(state.Flags.UpdateOnStartPending, 0);
    launcher.Finish();
    scheduler.OnTimer();
    EXPECT_EQ(launcher.online, 2);
}

TEST_F(SchedulerTest, ZeroIntervalRefreshesOnceOnlyWithUpdateOnStart) {
    Configure(0, 1);
    Show();
    scheduler.OnTimer();
    EXPECT_EQ(launcher.online, 1);
    EXPECT_EQ(state.Flags.UpdateOnStartPending, 1);
    EXPECT_FALSE(timer.armed);
}

TEST_F(SchedulerTest, ZeroOrNegativeIntervalWithoutUpdateOnStartNeverRefreshesByItself) {
    for (int interval : {0, -5}) {
        FakeTimer t;
        Scheduler s(state, window, t, host, status, launcher);
        Configure(interval, 0);
        s.Begin();
        s.OnTimer();
        s.OnTimer();
        EXPECT_EQ(launcher.online, 0) << interval;
        EXPECT_FALSE(t.armed) << interval;
        EXPECT_EQ(window.fields.nextRefresh, "Not Scheduled to refresh");
        // The Refresh command still works once the delay has passed.
        s.RefreshCommand();
        EXPECT_EQ(launcher.online, 1);
        launcher.Finish();
        launcher.online = 0;
    }
}

TEST_F(SchedulerTest, SaveDuringTheDelayReplacesItAndTheStartUpCompletesWhenItFires) {
    Configure(45, 0, 60);
    Show();
    scheduler.ScheduleRefresh(45);  // a Save during the delay
    EXPECT_EQ(timer.period, 45u * 60000u);
    scheduler.OnTimer();  // the interval timer fires; the delay test still matches
    EXPECT_EQ(state.Flags.StartupReady, 1);
    EXPECT_EQ(launcher.online, 1);
    EXPECT_TRUE(timer.armed);
    EXPECT_EQ(timer.period, 45u * 60000u);
}

TEST_F(SchedulerTest, RefreshBeforeStartUpIsDroppedButRemembersItWasManual) {
    Configure(30, 0, 60);
    Show();
    scheduler.RefreshCommand();
    EXPECT_EQ(launcher.online, 0);
    EXPECT_EQ(state.Flags.ManualRefresh, 1);
    EXPECT_TRUE(host.Events().empty());
}

TEST_F(SchedulerTest, NextRefreshFieldShowsWhenTheArmedIntervalFires) {
    const auto stamp = [&](std::time_t t) {
        return StatusDisplay::FormatStamp(clock.LocalTime(t));
    };
    Configure(30, 0);
    Show();
    scheduler.OnTimer();  // the start-up ends at 1000 and arms the interval
    EXPECT_EQ(window.fields.nextRefresh, stamp(1000 + 30 * 60));
    launcher.Finish();

    // A Refresh that never starts (a field is missing) is over; it leaves no mark.
    window.page.values.Password.clear();
    scheduler.RefreshCommand();
    EXPECT_EQ(state.Flags.ManualRefresh, 0);
    window.page.values = FilledFtpPage();

    // A Save with a new interval arms it from now, and a scheduled success counts from then.
    clock.Advance(600);
    scheduler.ScheduleRefresh(5);
    EXPECT_EQ(window.fields.nextRefresh, stamp(1600 + 5 * 60));
    state.EditSettings([](AppSettings& s) { s.RefreshIntv = 5; });
    clock.Advance(2);
    status.ShowStatus(HostMessage::Coded("P10005 System Online:   "));
    EXPECT_EQ(window.fields.nextRefresh, stamp(1602 + 5 * 60));

    // A manual success does not move the schedule.
    state.Flags.ManualRefresh = 1;
    clock.Advance(60);
    status.ShowStatus(HostMessage::Coded("P10005 System Online:   "));
    EXPECT_EQ(window.fields.nextRefresh, stamp(1602 + 5 * 60));
}

TEST_F(SchedulerTest, RefreshPressedManyTimesWhileACycleRunsStartsOne) {
    Configure(30, 0);
    state.Flags.StartupReady = 1;
    for (int i = 0; i < 20; ++i) {
        scheduler.RefreshCommand();
    }
    EXPECT_EQ(launcher.online, 1);
    launcher.Finish();
    scheduler.RefreshCommand();
    EXPECT_EQ(launcher.online, 2);
}

TEST_F(SchedulerTest, RefreshClearsSuccessCommitsThePageAndRefreshesTheMonitor) {
    state.Flags.StartupReady = 1;
    state.Flags.CycleSucceeded = 1;
    int listRefreshes = 0;
    scheduler.SetProgramListRefresher([&] { ++listRefreshes; });
    scheduler.StartRefresh();
    EXPECT_EQ(state.Flags.CycleSucceeded, 0);
    EXPECT_EQ(state.Settings().FTPServer, "127.0.0.1");
    EXPECT_EQ(listRefreshes, 1);
    EXPECT_EQ(window.calls.back(), "monitor");
}

TEST_F(SchedulerTest, MissingFtpFieldStopsEveryRefreshWithTheStatus) {
    state.Flags.StartupReady = 1;
    state.EditSettings([](AppSettings& s) { s.UseProxy = 1; });
    window.page.values.Password.clear();
    scheduler.StartRefresh();
    EXPECT_EQ(launcher.online, 0);
    EXPECT_EQ(window.fields.hostMessage, "Local Settings Needed.");
    EXPECT_EQ(logged, (std::vector<std::string>{"Local Settings Needed."}));
    EXPECT_EQ(state.Flags.ProxyInUse, 0);

    window.page.values = FilledFtpPage();
    EXPECT_TRUE(scheduler.ValidateSettings());
    EXPECT_EQ(state.Flags.ProxyInUse, 1);
}

TEST_F(SchedulerTest, TimerFailuresShowTheirBoxesUnlessSuppressed) {
    timer.failSet = true;
    scheduler.Begin();
    EXPECT_EQ(scheduler.ShowTimer(), 0u);
    ASSERT_EQ(host.Events().size(), 1u);
    EXPECT_EQ(host.Events()[0].box.text, "Unable to obtain timer");
    EXPECT_EQ(host.Events()[0].box.caption, "IDT_TIMER_0");

    // Clearing a schedule whose timer is already gone is no fault to show.
    timer.failSet = false;
    scheduler.ScheduleRefresh(5);
    timer.Kill();
    scheduler.ScheduleRefresh(0);
    EXPECT_EQ(host.MessageBoxTexts().size(), 1u);

    state.EditSettings([](AppSettings& s) { s.SuppressError = 1; });
    timer.failSet = true;
    scheduler.Begin();
    EXPECT_EQ(host.MessageBoxTexts().size(), 1u);
}

// Start, show, a Save during the start-up delay, the replaced timer firing, then two
// intervals: every step as the user sees it, and never a message box.
TEST_F(SchedulerTest, SaveDuringTheDelayShowsNoBoxOnTheWholeTimeline) {
    for (int updateOnStart : {0, 1}) {
        SCOPED_TRACE(updateOnStart);
        FakeTimer t;
        FakeLauncher cycles(state.Flags);
        Scheduler s(state, window, t, host, status, cycles);
        state.Flags.StartupReady = 0;
        Configure(45, updateOnStart, 60);
        s.Begin();
        s.OnTimer();
        EXPECT_EQ(t.period, 60000u);
        s.ScheduleRefresh(45);  // Save
        EXPECT_EQ(t.period, 45u * 60000u);
        EXPECT_EQ(cycles.online, 0);
        s.OnTimer();  // the interval timer fires and completes the start-up
        EXPECT_EQ(state.Flags.StartupReady, 1);
        EXPECT_EQ(cycles.online, 1);
        EXPECT_TRUE(t.armed);
        EXPECT_EQ(t.period, 45u * 60000u);
        cycles.Finish();
        s.OnTimer();
        EXPECT_EQ(cycles.online, 2);
        cycles.Finish();
        s.ScheduleRefresh(0);  // Save with no interval
        EXPECT_FALSE(t.armed);
        s.ScheduleRefresh(0);  // and again, with nothing left to kill
        EXPECT_EQ(host.MessageBoxTexts(), std::vector<std::string>{});
    }
}

}  // namespace
}  // namespace orvex::test
