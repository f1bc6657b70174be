#pragma once

#include <memory>
#include <string>

#include "app/AppState.h"
#include "app/ExitRoutine.h"
#include "app/MetricsServer.h"
#include "app/Scheduler.h"
#include "app/SettingsCommands.h"
#include "app/StatusDisplay.h"
#include "app/WindowPort.h"
#include "platform/Clock.h"
#include "platform/Host.h"

namespace orvex {

// Everything the main window drives: the scheduler, the status display, the settings
// commands, the exit routine and the cycles. Lives on the window's thread and as long as the
// window.
class AppCore {
public:
    // `windowHost` shows message boxes on the window's thread; `workerHost` is what the
    // cycles' worker threads report through (it reaches this object on the window's thread).
    AppCore(AppState& state, WindowPort& window, WindowTimer& timer, Host& windowHost,
            Host& workerHost, Clock& clock);
    ~AppCore();

    AppState& State() { return state_; }
    StatusDisplay& Status() { return status_; }
    Scheduler& Schedule() { return scheduler_; }
    SettingsCommands& Settings() { return settings_; }
    ExitRoutine& Exit() { return exit_; }

    // A host message from any sender, on the window's thread: show and log it, then commit
    // the FTP page.
    void OnStatusMessage(const HostMessage& text);
    // Cycle codes: 100 / 101 show / hide the shutdown window, 200 / 201 disable / enable the
    // Refresh button, -1 the offline publication at exit failed.
    void OnCycleCode(CycleCode code);
    // The offline cycle is done.
    void OnExitMessage();

    // The event log, as the status display writes it.
    void Log(const std::string& text);

    // Serves the metrics where MetricsAddress says (stops when it is emptied); a failure to
    // listen is a host message. Called after every load and save of the settings.
    void ApplyMetricsAddress();
    // The port the metrics are served on, 0 when they are not.
    int MetricsPort() const;
    // A one-shot run serves no metrics.
    void AllowMetrics(bool allowed) { metricsAllowed_ = allowed; }

private:
    AppState& state_;
    WindowPort& window_;
    Host& windowHost_;
    Clock& clock_;
    std::unique_ptr<CycleLauncher> cycles_;
    StatusDisplay status_;
    Scheduler scheduler_;
    SettingsCommands settings_;
    ExitRoutine exit_;
    bool metricsAllowed_ = true;
    std::string metricsAddress_;
    std::unique_ptr<MetricsServer> metrics_;
};

}  // namespace orvex
