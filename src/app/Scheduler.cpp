#include "app/Scheduler.h"

#include <algorithm>
#include <climits>

#include "platform/StatusTexts.h"
#include "settings/OutsideSecrets.h"
#include "settings/SettingsFile.h"

namespace orvex {

Scheduler::Scheduler(AppState& state, WindowPort& window, WindowTimer& timer, Host& host,
                     StatusDisplay& status, CycleLauncher& cycles)
    : state_(state),
      window_(window),
      timer_(timer),
      host_(host),
      status_(status),
      cycles_(cycles) {}

unsigned Scheduler::ArmTimer(unsigned milliseconds) {
    if (timer_.Set(milliseconds)) {
        return WindowTimer::kTimerId;
    }
    if (state_.Settings().SuppressError == 0) {
        MessageBoxRequest box;
        box.text = "Unable to obtain timer";
        box.caption = "IDT_TIMER_0";
        host_.MessageBox(box);
    }
    return 0;
}

bool Scheduler::DisarmTimer(unsigned /*id*/) {
    // The phases share one timer, so a phase may find it already killed by the one before
    // (after a Save during the start-up delay both the delay and the interval phase hold it).
    // A timer that is already gone is no fault to show, and stopping a running one cannot fail.
    return timer_.Kill();
}

void Scheduler::Begin() {
    showTimer_ = ArmTimer(1);
}

void Scheduler::OnTimer() {
    // All phases share one id, so the three tests may all match in one call; each sees the
    // fields as the one before left them.
    const unsigned id = WindowTimer::kTimerId;
    if (delayTimer_ == id) {
        state_.Flags.StartupReady = 1;
        DisarmTimer(delayTimer_);
        delayTimer_ = 0;
        const AppSettings settings = state_.Settings();
        if (settings.IsUpdateOnStart == 1) {
            state_.Flags.UpdateOnStartPending = 1;
            if (settings.RefreshIntv < 1) {
                StartRefresh();
            } else {
                ScheduleRefresh(settings.RefreshIntv);
            }
        } else {
            ScheduleRefresh(settings.RefreshIntv);
        }
    }
    if (showTimer_ == id) {
        const AppSettings settings = state_.Settings();
        if (settings.IsMinOnStartup == 1) {
            window_.MinimizeWindow();
        } else {
            window_.RestoreWindow();
        }
        if (showTimer_ != 0) {
            DisarmTimer(showTimer_);
            showTimer_ = 0;
        }
        const long long delay = static_cast<long long>(settings.InitStartupDelay) * 1000;
        delayTimer_ = ArmTimer(
            static_cast<unsigned>(std::clamp(delay, 0LL, static_cast<long long>(INT_MAX))));
    }
    if (intervalTimer_ == id) {
        StartRefresh();
    }
}

void Scheduler::ScheduleRefresh(int minutes) {
    if (minutes > 0) {
        if (intervalTimer_ != 0) {
            DisarmTimer(intervalTimer_);
        }
        intervalTimer_ = 0;
        intervalTimer_ = ArmTimer(static_cast<unsigned>(minutes) * 60000u);
        if (intervalTimer_ != 0) {
            // The schedule starts over from now; the Status page says when it fires.
            status_.SetNextRefresh(minutes);
        }
        return;
    }
    // 0, and a negative interval from a hand-edited file, schedule nothing.
    if (intervalTimer_ != 0) {
        DisarmTimer(intervalTimer_);
    }
    status_.SetNotScheduled();
}

void Scheduler::StartRefresh() {
    if (state_.Flags.StartupReady == 0 || state_.Flags.CycleRunning) {
        return;
    }
    state_.Flags.CycleSucceeded = 0;
    state_.EditSettings([&](AppSettings& s) { CommitFtpPage(window_.FtpPage(), s); });
    if (refreshPrograms_) {
        refreshPrograms_();
    }
    if (!ValidateSettings()) {
        // This refresh ends here; the next one is not the user's unless they ask again.
        state_.Flags.ManualRefresh = 0;
    } else if (state_.Flags.TryClaimCycle()) {
        cycles_.StartOnlineCycle();
    }
    window_.RefreshProgramMonitor();
}

void Scheduler::RefreshCommand() {
    state_.Flags.ManualRefresh = 1;
    StartRefresh();
}

bool Scheduler::ValidateSettings() {
    const FtpPageValues page = window_.FtpPage().TakeValues();
    // A password kept outside the file (PasswordFile, a credential) leaves the field empty.
    const bool passwordOutside = FtpPasswordKeptOutside(state_.Settings(), CredentialsDirectory());
    for (const std::string* field :
         {&page.FTPServer, &page.SiteName, &page.UserID, &page.Password, &page.OnlineFile,
          &page.OfflineFile, &page.RemoteFile, &page.Port}) {
        if (field->empty() && !(field == &page.Password && passwordOutside)) {
            status_.ShowStatus(HostMessage::Coded(status::kLocalSettingsNeeded));
            return false;
        }
    }
    state_.Flags.ProxyInUse = state_.Settings().UseProxy;
    return true;
}

}  // namespace orvex
