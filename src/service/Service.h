#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/AppCore.h"
#include "app/AppState.h"
#include "app/WindowPort.h"
#include "platform/Clock.h"
#include "platform/HostResolver.h"
#include "platform/HandOverHost.h"
#include "service/ControlSocket.h"
#include "service/DeadlineTimer.h"
#include "service/StatusReport.h"
#include "service/SystemdNotify.h"

namespace orvex {

// The answer a program without a window gives to a question: the box's default button, what
// Enter would choose ("Exit anyway?" is answered Yes, "are you sure you want to exit?" in the
// middle of a transfer No). A box with only Ok just reports.
MsgAnswer UnattendedAnswer(const MessageBoxRequest& request);

// One host message or message box as one line of output: line breaks become blanks, and a
// question shows the answer it was given.
std::string OutputLine(const std::string& text);
std::string BoxLine(const MessageBoxRequest& request, MsgAnswer answer);

// Orvex without a window: the program's logic (AppCore) driven by a loop that waits for the
// timer, the cycles' reports and the signals. It stands in for the main window (WindowPort):
// there is nothing to show, no page to edit and nothing unsaved. Every host message and every
// message box goes to `out` as one line; message boxes are also logged and never wait.
class Service : public WindowPort {
public:
    using LineWriter = std::function<void(const std::string& line)>;

    // `workerHost` is what the cycles report through; it must outlive the service.
    Service(AppState& state, HandOverHost& workerHost, Clock& clock, LineWriter out);
    ~Service() override;

    AppCore& Core() { return *core_; }
    Host& OwnHost();
    const DeadlineTimer& Timer() const { return timer_; }

    // Loads the settings file; false, with nothing read or written, when it names no
    // FTPServer (a service never writes the desktop program's first-start default set).
    bool LoadSettings();
    // The service: runs the schedule of the loaded settings and returns its exit code once a
    // stop request has ended it (0, or 1 when the offline publication failed). `signalFd`
    // delivers one byte per signal caught: SIGHUP reloads, SIGUSR1 starts a cycle now, SIGTERM
    // and SIGINT stop. Callers of the control socket, when one is attached, are answered
    // between.
    int Run(int signalFd);

    // What the service also serves while it runs; both may be left out, and must outlive Run.
    void AttachControl(ControlServer* control) { control_ = control; }
    void AttachNotifier(SystemdNotifier* notifier) { notifier_ = notifier; }

    // A cycle now, as the window's Refresh starts one (a cycle already running counts). False,
    // with `why`, when none could start.
    bool RefreshNow(std::string* why);
    // What the status call answers.
    ServiceStatusInput StatusInput();
    // Answers one caller of the control socket: "status" at once, "refresh" when its cycle
    // has ended.
    void HandleCaller(int fd, const std::string& request);
    // Runs one online (or offline) cycle of the loaded settings on this thread: 0 when it
    // ended well, 1 otherwise.
    int RunOnce(bool online);

    // SIGHUP: reads the settings file again and applies its interval.
    void Reload();
    // SIGTERM / SIGINT: waits (up to kCycleWaitMs) for a running cycle when the offline page
    // is to be published, publishes it, then ends the loop.
    void RequestStop();
    bool Ended() const { return ended_; }

    static constexpr int kCycleWaitMs = 60000;
    static constexpr int kCyclePollMs = 100;

    // WindowPort
    void MinimizeWindow() override {}
    void RestoreWindow() override {}
    bool WindowVisible() const override { return false; }
    void DestroyWindow() override;
    void ActivatePage(Page) override {}
    bool HasUnsavedChanges() const override { return false; }
    void MarkPagesSaved() override {}
    FtpPageFields& FtpPage() override { return ftpPage_; }
    void StatusFieldsChanged(const StatusFields&) override {}
    void RefreshProgramMonitor() override {}
    void UpdateTrayIcon() override {}
    void ShowShutdownWindow(bool) override {}
    void EnableRefreshButton(bool) override {}

private:
    class OwnThreadHost;

    void ContinueStop();
    // Answers the refresh callers whose cycle has ended (all of them once the service ends).
    void AnswerWaiters();
    // A message of the service itself (not a host message): printed and logged.
    void Note(const std::string& text);

    AppState& state_;
    HandOverHost& workerHost_;
    Clock& clock_;
    LineWriter out_;
    FtpPageRecord ftpPage_;
    DeadlineTimer timer_;
    std::unique_ptr<OwnThreadHost> ownHost_;
    std::unique_ptr<AppCore> core_;
    SystemHostResolver resolver_;
    bool stopping_ = false;
    bool ended_ = false;
    int exitCode_ = 0;
    std::chrono::steady_clock::time_point cycleDeadline_{};
    ControlServer* control_ = nullptr;
    SystemdNotifier* notifier_ = nullptr;
    // Refresh callers: their connection and the number of cycles ended when they asked.
    struct Waiter {
        int fd;
        std::uint64_t ended;
    };
    std::vector<Waiter> waiters_;
};

}  // namespace orvex
