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
        const auto now = std::chrono::steady_clock::now();
        int wait = timer_.WaitMs(now);
        // A refresh caller waits for a cycle's end, which no descriptor announces.
        if (stopping_ || !waiters_.empty()) {
            wait = wait < 0 ? kCyclePollMs : std::min(wait, kCyclePollMs);
        }
        if (notifier_ != nullptr && notifier_->WatchdogOn()) {
            const int ping = notifier_->WatchdogWaitMs(now);
            wait = wait < 0 ? ping : std::min(wait, ping);
        }
        pollfd fds[3] = {{signalFd, POLLIN, 0},
                         {workerHost_.WakeFd(), POLLIN, 0},
                         {control_ != nullptr ? control_->Fd() : -1, POLLIN, 0}};
        if (::poll(fds, 3, wait) < 0 && errno != EINTR) {
            out_(std::string("orvexd: waiting failed: ") + std::strerror(errno));
            exitCode_ = 1;
            break;
        }
        if (notifier_ != nullptr) {
            notifier_->PingIfDue(std::chrono::steady_clock::now());
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
                } else if (signals[i] == SIGUSR1) {
                    std::string why;
                    if (!RefreshNow(&why)) {
                        Note("Refresh asked for by SIGUSR1 not started: " + why);
                    }
                } else {
                    RequestStop();
                }
            }
        }
        if ((fds[2].revents & POLLIN) != 0 && !ended_) {
            std::string request;
            const int caller = control_->Accept(&request);
            if (caller >= 0) {
                HandleCaller(caller, request);
            }
        }
        if (!ended_ && timer_.TakeDue(std::chrono::steady_clock::now())) {
            core_->Schedule().OnTimer();
        }
        if (stopping_ && !ended_) {
            ContinueStop();
        }
        AnswerWaiters();
    }
    AnswerWaiters();
    return exitCode_;
}

bool Service::RefreshNow(std::string* why) {
    if (stopping_) {
        *why = "the service is stopping";
        return false;
    }
    if (state_.Flags.CycleRunning) {
        return true;
    }
    if (state_.Flags.StartupReady == 0) {
        *why = "the start-up delay (InitStartupDelay) has not passed yet";
        return false;
    }
    core_->Schedule().RefreshCommand();
    if (!state_.Flags.CycleRunning) {
        *why = core_->Status().Fields().hostMessage;
        return false;
    }
    return true;
}

ServiceStatusInput Service::StatusInput() {
    ServiceStatusInput in;
    const AppSettings settings = state_.Settings();
    const AddressState::Snapshot a = state_.Addresses.Get();
    in.folder = state_.WorkDir;
    in.pid = static_cast<long>(::getpid());
    in.ipv6 = settings.EnableIPv6 == 1;
    in.lan = a.CurrentLANIP;
    in.wan = a.CurrentWANIP;
    in.lan6 = a.CurrentLANIP6;
    in.wan6 = a.CurrentWANIP6;
    in.nat = a.WanNat;
    in.via = a.WanVia;
    in.reachability = a.WanReachability;
    in.cycleRunning = state_.Flags.CycleRunning;
    in.fields = core_->Status().Fields();
    in.record = state_.Cycles.Get();
    in.entries = settings.DynamicDns;
    return in;
}

void Service::HandleCaller(int fd, const std::string& request) {
    if (request == "status") {
        ControlServer::Answer(fd, ServiceStatusJson(StatusInput(), clock_).dump() + "\n");
        return;
    }
    if (request == "refresh") {
        const std::uint64_t ended = state_.Cycles.Get().ended;
        std::string why;
        if (RefreshNow(&why)) {
            waiters_.push_back({fd, ended});
        } else {
            ControlServer::Answer(fd,
                                  nlohmann::json{{"started", false}, {"why", why}}.dump() + "\n");
        }
        return;
    }
    ControlServer::Answer(
        fd, nlohmann::json{{"error", "unknown request; status or refresh"}}.dump() + "\n");
}

void Service::AnswerWaiters() {
    if (waiters_.empty()) {
        return;
    }
    // In this order: a cycle records its end before it releases its claim, so a claim found
    // released means its end is counted in what is read next.
    const bool running = state_.Flags.CycleRunning;
    const std::uint64_t ended = state_.Cycles.Get().ended;
    std::vector<Waiter> still;
    for (const Waiter& waiter : waiters_) {
        if (ended > waiter.ended) {
            ControlServer::Answer(waiter.fd,
                                  RefreshAnswerJson(StatusInput(), clock_).dump() + "\n");
        } else if (!running || ended_) {
            // The claim is released after the end is recorded: this cycle gave no result.
            const char* why = ended_ ? "the service stopped" : "the cycle ended without a result";
            ControlServer::Answer(waiter.fd,
                                  nlohmann::json{{"started", false}, {"why", why}}.dump() + "\n");
        } else {
            still.push_back(waiter);
        }
    }
    waiters_ = std::move(still);
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
