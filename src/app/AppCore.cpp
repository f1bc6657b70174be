#include "app/AppCore.h"

#include "app/Cycles.h"
#include "log/EventLog.h"
#include "settings/SettingsFile.h"

namespace orvex {

AppCore::AppCore(AppState& state, WindowPort& window, WindowTimer& timer, Host& windowHost,
                 Host& workerHost, Clock& clock)
    : state_(state),
      window_(window),
      windowHost_(windowHost),
      clock_(clock),
      cycles_(MakeCycleLauncher(state, workerHost, clock)),
      status_(
          state, window, clock, [this](const std::string& text) { Log(text); },
          [this] {
              return std::make_pair(state_.Addresses.CurrentLANIP(),
                                    state_.Addresses.CurrentWANIP());
          }),
      scheduler_(state, window, timer, windowHost, status_, *cycles_),
      settings_(state, window, scheduler_, PasswordKey(), &windowHost),
      exit_(state, window, windowHost, scheduler_, settings_, *cycles_) {
    settings_.SetNoticeFunction([this](const HostMessage& text) { status_.ShowStatus(text); });
    scheduler_.SetProgramListRefresher([this] {
        RefreshProgramList(state_.Ini(), state_.Settings().StatusIndicators, state_.Programs);
    });
}

AppCore::~AppCore() = default;

void AppCore::Log(const std::string& text) {
    const AppSettings s = state_.Settings();
    LogSettings log;
    log.IsLogging = s.IsLogging;
    log.LogFilename = s.LogFilename;
    log.MaxLog = s.MaxLog;
    log.workDir = state_.WorkDir;
    LogEvent(text, log, windowHost_, clock_);
}

void AppCore::OnStatusMessage(const HostMessage& text) {
    status_.ShowStatus(text);
    settings_.CommitFtpPage();
}

void AppCore::OnCycleCode(CycleCode code) {
    switch (code) {
        case CycleCode::ShowShutdownWindow:
            window_.ShowShutdownWindow(true);
            break;
        case CycleCode::HideShutdownWindow:
            window_.ShowShutdownWindow(false);
            break;
        case CycleCode::DisableRefresh:
            window_.EnableRefreshButton(false);
            break;
        case CycleCode::EnableRefresh:
            window_.EnableRefreshButton(true);
            break;
        case CycleCode::OfflinePublishFailed:
            exit_.OnShutdownError();
            break;
        default:
            break;
    }
}

void AppCore::OnExitMessage() {
    exit_.OnExitRequest();
}

}  // namespace orvex
