#include "service/Service.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "address/WanAddress.h"
#include "app/PublishCycle.h"
#include "log/EventLog.h"
#include "monitor/MonitoredPrograms.h"
#include "platform/StatusTexts.h"
#include "settings/SettingsFile.h"

namespace orvex {

namespace {

const char* AnswerName(MsgAnswer answer) {
    switch (answer) {
        case MsgAnswer::Ok:
            return "Ok";
        case MsgAnswer::Cancel:
            return "Cancel";
        case MsgAnswer::Yes:
            return "Yes";
        case MsgAnswer::No:
            return "No";
    }
    return "Ok";
}

}  // namespace

MsgAnswer UnattendedAnswer(const MessageBoxRequest& request) {
    static constexpr MsgAnswer kOkCancel[] = {MsgAnswer::Ok, MsgAnswer::Cancel};
    static constexpr MsgAnswer kYesNo[] = {MsgAnswer::Yes, MsgAnswer::No};
    static constexpr MsgAnswer kYesNoCancel[] = {MsgAnswer::Yes, MsgAnswer::No, MsgAnswer::Cancel};
    const size_t index = request.defaultButton > 0 ? request.defaultButton - 1 : 0;
    switch (request.buttons) {
        case MsgButtons::Ok:
            return MsgAnswer::Ok;
        case MsgButtons::OkCancel:
            return index < 2 ? kOkCancel[index] : DismissedAnswer(request.buttons);
        case MsgButtons::YesNo:
            return index < 2 ? kYesNo[index] : DismissedAnswer(request.buttons);
        case MsgButtons::YesNoCancel:
            return index < 3 ? kYesNoCancel[index] : DismissedAnswer(request.buttons);
    }
    return DismissedAnswer(request.buttons);
}

std::string OutputLine(const std::string& text) {
    std::string line = text;
    std::replace(line.begin(), line.end(), '\r', ' ');
    std::replace(line.begin(), line.end(), '\n', ' ');
    return line;
}

std::string BoxLine(const MessageBoxRequest& request, MsgAnswer answer) {
    std::string line = request.caption + ": " + request.text;
    if (request.buttons != MsgButtons::Ok) {
        line += std::string(" [answered ") + AnswerName(answer) + "]";
    }
    return OutputLine(line);
}

// The Host of the loop thread: the cycle messages go straight to the logic and out as lines;
// message boxes are answered at once.
class Service::OwnThreadHost : public Host {
public:
    explicit OwnThreadHost(Service& service) : service_(service) {}

    void Status(const HostMessage& message) override {
        AppCore& core = *service_.core_;
        core.OnStatusMessage(message);
        service_.out_(OutputLine(StatusLine(message, core.Status().Fields(), LineForm::kWithCode)));
    }
    void Cycle(CycleCode code) override { service_.core_->OnCycleCode(code); }
    void ExitRequest() override { service_.core_->OnExitMessage(); }
    MsgAnswer MessageBox(const MessageBoxRequest& request) override {
        const MsgAnswer answer = UnattendedAnswer(request);
        service_.out_(BoxLine(request, answer));
        // The log's own complaint would only come back here.
        if (!inBox_ && request.text != kLogNameMissingText) {
            inBox_ = true;
            service_.core_->Log(request.text);
            inBox_ = false;
        }
        return answer;
    }
    void ActivatePage(Page) override {}

private:
    Service& service_;
    bool inBox_ = false;
};

Service::Service(AppState& state, HandOverHost& workerHost, Clock& clock, LineWriter out)
    : state_(state),
      workerHost_(workerHost),
      clock_(clock),
      out_(std::move(out)),
      ownHost_(std::make_unique<OwnThreadHost>(*this)) {
    core_ = std::make_unique<AppCore>(state_, *this, timer_, *ownHost_, workerHost_, clock_);
    workerHost_.Attach(ownHost_.get());
}

Service::~Service() {
    workerHost_.Detach();
    timer_.Kill();
}

Host& Service::OwnHost() {
    return *ownHost_;
}

bool Service::LoadSettings() {
    if (ReadFtpServer(state_.Ini()).empty()) {
        return false;
    }
    core_->Settings().LoadAtStart();
    // The FTP fields go to the page first; the cycles read them from the settings.
    core_->Settings().CommitFtpPage();
    return true;
}

void Service::Note(const std::string& text) {
    out_(OutputLine(text));
    core_->Log(text);
}

int Service::Run(int signalFd) {
    core_->Schedule().Begin();
    state_.Flags.ManualRefresh = 0;
    while (!ended_) {
        int wait = timer_.WaitMs(std::chrono::steady_clock::now());
        if (stopping_) {
            wait = wait < 0 ? kCyclePollMs : std::min(wait, kCyclePollMs);
        }
        pollfd fds[2] = {{signalFd, POLLIN, 0}, {workerHost_.WakeFd(), POLLIN, 0}};
        if (::poll(fds, 2, wait) < 0 && errno != EINTR) {
            out_(std::string("orvexd: waiting failed: ") + std::strerror(errno));
            exitCode_ = 1;
            break;
        }
        if ((fds[1].revents & POLLIN) != 0) {
            workerHost_.RunPending();
        }
        if ((fds[0].revents & POLLIN) != 0) {
            unsigned char signals[16];
            const ssize_t n = ::read(signalFd, signals, sizeof signals);
            for (ssize_t i = 0; i < n; ++i) {
                if (signals[i] == SIGHUP) {
                    Reload();
                } else {
                    RequestStop();
                }
            }
        }
        if (!ended_ && timer_.TakeDue(std::chrono::steady_clock::now())) {
            core_->Schedule().OnTimer();
        }
        if (stopping_ && !ended_) {
            ContinueStop();
        }
    }
    return exitCode_;
}

int Service::RunOnce(bool online) {
    state_.Flags.StartupReady = 1;
    state_.Flags.CycleSucceeded = 0;
    core_->Settings().CommitFtpPage();
    const AppSettings settings = state_.Settings();
    RefreshProgramList(state_.Ini(), settings.StatusIndicators, state_.Programs);
    if (!core_->Schedule().ValidateSettings() || !state_.Flags.TryClaimCycle()) {
        return 1;
    }
    const CycleEnvironment env{resolver_, BuiltInWanServices(), FindProgramWindow,
                               BuiltInWanServices6()};
    const int result = online ? OnlineCycle(state_, *ownHost_, clock_, env)
                              : OfflineCycle(state_, *ownHost_, clock_, env, false);
    state_.Flags.ReleaseCycle();
    return result == 1 ? 0 : 1;
}

void Service::Reload() {
    const int before = state_.Settings().RefreshIntv;
    if (!LoadSettings()) {
        Note("Orvex.ini has no FTPServer; the settings in use are kept.");
        return;
    }
    Note("Settings reloaded from " + state_.IniPath + ".");
    // Before the start-up delay has passed, its phase applies the new settings itself.
    const int interval = state_.Settings().RefreshIntv;
    if (state_.Flags.StartupReady == 1 && (interval > 0 || before > 0)) {
        core_->Schedule().ScheduleRefresh(interval);
    }
}

void Service::RequestStop() {
    if (stopping_) {
        return;
    }
    stopping_ = true;
    cycleDeadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(kCycleWaitMs);
    ContinueStop();
}

void Service::ContinueStop() {
    ExitRoutine& exit = core_->Exit();
    if (exit.EndSessionAwaitsCycle() && std::chrono::steady_clock::now() < cycleDeadline_) {
        return;
    }
    if (!exit.OnQueryEndSession()) {
        exitCode_ = 1;
    }
    DestroyWindow();
}

void Service::DestroyWindow() {
    if (ended_) {
        return;
    }
    ended_ = true;
    // From here on a late worker reaches nothing.
    workerHost_.Detach();
    timer_.Kill();
}

}  // namespace orvex
