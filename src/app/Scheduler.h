#pragma once

#include <functional>

#include "app/AppState.h"
#include "app/StatusDisplay.h"
#include "app/WindowPort.h"
#include "platform/Host.h"

namespace orvex {

// Starts the publishing cycles on worker threads of their own.
class CycleLauncher {
public:
    virtual ~CycleLauncher() = default;
    // Both are called with the cycle claimed (CycleFlags::TryClaimCycle); the launched cycle
    // releases the claim when it ends.
    virtual void StartOnlineCycle() = 0;
    virtual void StartOfflineCycle() = 0;
    // Runs the offline cycle on the calling thread (end of the desktop session).
    virtual int RunOfflineCycleHere() = 0;
};

// When the publishing cycles run: the show phase just after start, the start-up delay, then
// every RefreshIntv minutes, and whenever the user asks. One window timer serves all three
// phases; arming any of them replaces the pending one.
class Scheduler {
public:
    Scheduler(AppState& state, WindowPort& window, WindowTimer& timer, Host& host,
              StatusDisplay& status, CycleLauncher& cycles);

    // The window is created: arm the show phase.
    void Begin();
    // The window's timer fired.
    void OnTimer();

    // Arms the interval phase with `minutes`, or clears the schedule for 0 (or less).
    void ScheduleRefresh(int minutes);
    // Starts one online cycle when refreshes are allowed and no cycle runs.
    void StartRefresh();
    // The Refresh command of the menus and the sheet's button.
    void RefreshCommand();
    // The FTP page's fields are all filled in; else reports "P10001 Local Settings Needed.".
    bool ValidateSettings();

    // Re-reads the monitored programs and their states before each refresh.
    void SetProgramListRefresher(std::function<void()> refresh) {
        refreshPrograms_ = std::move(refresh);
    }

    // Fields of the three phases; each holds the timer id while armed, else 0.
    unsigned ShowTimer() const { return showTimer_; }
    unsigned DelayTimer() const { return delayTimer_; }
    unsigned IntervalTimer() const { return intervalTimer_; }

private:
    unsigned ArmTimer(unsigned milliseconds);
    bool DisarmTimer(unsigned id);

    AppState& state_;
    WindowPort& window_;
    WindowTimer& timer_;
    Host& host_;
    StatusDisplay& status_;
    CycleLauncher& cycles_;
    unsigned showTimer_ = 0;
    unsigned delayTimer_ = 0;
    unsigned intervalTimer_ = 0;
    std::function<void()> refreshPrograms_;
};

}  // namespace orvex
