// orvexd: Orvex without a window, for servers, headless machines and scripts.

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/AppState.h"
#include "platform/Clock.h"
#include "platform/SingleInstance.h"
#include "service/CommandLine.h"
#include "service/ControlSocket.h"
#include "service/StatusReport.h"
#include "service/SystemdNotify.h"
#include "platform/HandOverHost.h"
#include "service/Service.h"
#include "settings/SettingsReport.h"
#include "settings/SettingsTemplate.h"
#include "version/VersionInfo.h"

namespace {

int g_signalPipe[2] = {-1, -1};
// How long --status and --refresh wait for the service's answer.
constexpr int kStatusWaitMs = 10000;
constexpr int kRefreshWaitMs = 30 * 60 * 1000;
volatile sig_atomic_t g_stopSignalled = 0;

// One byte per signal for the loop; a second stop signal ends the process at once, whatever
// the loop is doing (it may be in the middle of the offline publication).
void OnSignal(int signo) {
    if (signo == SIGTERM || signo == SIGINT) {
        if (g_stopSignalled != 0) {
            ::_exit(128 + signo);
        }
        g_stopSignalled = 1;
    }
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signo);
    [[maybe_unused]] ssize_t n = ::write(g_signalPipe[1], &byte, 1);
    errno = saved;
}

bool CatchSignals() {
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return false;
    }
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signo : {SIGTERM, SIGINT, SIGHUP, SIGUSR1}) {
        if (::sigaction(signo, &action, nullptr) != 0) {
            return false;
        }
    }
    return true;
}

std::string CurrentDirectory() {
    std::vector<char> buffer(4096);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) {
            return std::string();
        }
        buffer.resize(buffer.size() * 2);
    }
    return std::string(buffer.data());
}

void PrintLine(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    // The journal (or a pipe) sees each message as it happens.
    std::fflush(stdout);
}

int Fail(const std::string& text) {
    std::fprintf(stderr, "orvexd: %s\n", text.c_str());
    return 1;
}

std::string HolderText(const std::string& holder) {
    const size_t blank = holder.find(' ');
    const std::string program = holder.substr(0, blank);
    const std::string pid = blank == std::string::npos ? "" : holder.substr(blank + 1);
    std::string text =
        program == orvex::kServiceProgram ? "the service orvexd" : "the desktop program";
    if (holder.empty()) {
        text = "another copy";
    }
    if (!pid.empty()) {
        text += " (process " + pid + ")";
    }
    return text;
}

// --status and --refresh: asks the running service and prints its answer.
int CallRunningService(const orvex::ServiceOptions& options, const std::string& socketPath) {
    using Mode = orvex::ServiceOptions::Mode;
    const bool refresh = options.mode == Mode::Refresh;
    std::string answer;
    std::string error;
    // A refresh waits for its cycle, whose every step is bounded by Timeout.
    const int timeoutMs = refresh ? kRefreshWaitMs : kStatusWaitMs;
    switch (orvex::CallService(socketPath, refresh ? "refresh" : "status", timeoutMs, &answer,
                               &error)) {
        case orvex::CallResult::kAnswered:
            break;
        case orvex::CallResult::kNoService:
            std::fprintf(stderr, "orvexd: no service runs here: nothing answers on %s (%s)\n",
                         socketPath.c_str(), error.c_str());
            return orvex::kNoServiceExitCode;
        case orvex::CallResult::kFailed:
            return Fail("the service at " + socketPath + " did not answer: " + error);
    }
    const nlohmann::json reply = nlohmann::json::parse(answer, nullptr, false);
    if (!reply.is_object()) {
        return Fail("the service at " + socketPath + " gave an answer that is no JSON object");
    }
    if (!refresh) {
        std::fputs(
            options.json ? (reply.dump(2) + "\n").c_str() : orvex::ServiceStatusText(reply).c_str(),
            stdout);
        return 0;
    }
    std::fputs(orvex::RefreshAnswerText(reply).c_str(), stdout);
    return reply.value("started", false) && reply.value("result", "") == "online" ? 0 : 1;
}

// Worker threads are never waited for and may still hold these at exit, so they live for the
// whole process.
orvex::AppState* g_state = nullptr;
orvex::HandOverHost* g_workerHost = nullptr;

}  // namespace

int main(int argc, char* argv[]) {
    using Mode = orvex::ServiceOptions::Mode;
    const orvex::ServiceOptions options =
        orvex::ParseServiceOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!options.error.empty()) {
        std::fprintf(stderr, "orvexd: %s\nTry 'orvexd --help'.\n", options.error.c_str());
        return orvex::kUsageExitCode;
    }
    if (options.mode == Mode::Help) {
        std::fputs(orvex::ServiceHelpText().c_str(), stdout);
        return 0;
    }
    if (options.mode == Mode::Version) {
        PrintLine(std::string("orvexd ") + orvex::ProgramVersion());
        return 0;
    }
    if (!options.configDir.empty() && ::chdir(options.configDir.c_str()) != 0) {
        return Fail("cannot use the folder " + options.configDir + ": " + std::strerror(errno));
    }
    const std::string workDir = CurrentDirectory();
    if (workDir.empty()) {
        return Fail(std::string("cannot read the current folder: ") + std::strerror(errno));
    }
    const std::string iniPath = workDir + "/Orvex.ini";
    const std::string socketPath = orvex::ControlSocketPath(options.socketPath, workDir);

    if (options.mode == Mode::Status || options.mode == Mode::Refresh) {
        return CallRunningService(options, socketPath);
    }
    if (options.mode == Mode::Init) {
        std::string error;
        if (!orvex::WriteCommentedSettings(iniPath, &error)) {
            return Fail(error);
        }
        PrintLine("Wrote " + iniPath +
                  ": fill in the server and the page, then orvexd --check names what is missing.");
        return 0;
    }

    if (options.mode == Mode::Check) {
        for (const std::string& warning : orvex::SettingsFileWarnings(iniPath)) {
            PrintLine(warning);
        }
        const std::vector<std::string> problems = orvex::CheckSettingsFile(iniPath, workDir);
        for (const std::string& problem : problems) {
            PrintLine(problem);
        }
        if (problems.empty()) {
            PrintLine(iniPath + ": no problems found");
        }
        return problems.empty() ? 0 : 1;
    }
    if (options.mode == Mode::PrintConfig) {
        orvex::AppSettings settings;
        if (!orvex::LoadSettingsUnchanged(iniPath, settings)) {
            return Fail(iniPath + " is missing or names no FTPServer");
        }
        for (const std::string& line : orvex::EffectiveSettingsLines(settings)) {
            PrintLine(line);
        }
        return 0;
    }

    orvex::SingleInstance instance;
    switch (instance.Acquire(orvex::kServiceProgram)) {
        case orvex::SingleInstance::Result::First:
            break;
        case orvex::SingleInstance::Result::AlreadyRunning:
            return Fail(
                "Orvex already runs for this user: " + HolderText(orvex::SingleInstance::Holder()) +
                ". Stop it first; one copy publishes at a time.");
        case orvex::SingleInstance::Result::Failed:
            return Fail("cannot take the one-copy lock in " + orvex::SingleInstance::RuntimeDir());
    }
    // A peer closing a connection must not end the process.
    ::signal(SIGPIPE, SIG_IGN);

    g_state = new orvex::AppState(workDir, iniPath);
    g_workerHost = new orvex::HandOverHost();
    int code = 0;
    {
        orvex::SystemdNotifier notifier;
        const bool oneShot = options.mode == Mode::Once || options.mode == Mode::Offline;
        orvex::Service service(*g_state, *g_workerHost, orvex::DefaultClock(),
                               [&notifier, oneShot](const std::string& line) {
                                   PrintLine(line);
                                   if (!oneShot) {
                                       notifier.Status(line);
                                   }
                               });
        service.Core().AllowMetrics(!oneShot);
        if (!service.LoadSettings()) {
            return Fail(iniPath +
                        " names no FTPServer: configure Orvex with the desktop program or by "
                        "hand first (orvexd --init writes a commented Orvex.ini to start from)");
        }
        if (oneShot) {
            code = service.RunOnce(options.mode == Mode::Once);
        } else {
            if (!CatchSignals()) {
                return Fail(std::string("cannot catch signals: ") + std::strerror(errno));
            }
            orvex::ControlServer control;
            std::string error;
            if (!control.Listen(socketPath, &error)) {
                return Fail("no control socket: " + error);
            }
            service.AttachControl(&control);
            service.AttachNotifier(&notifier);
            PrintLine("Orvex " + orvex::ProgramVersion() + " runs without a window in " + workDir +
                      "; control socket " + socketPath);
            notifier.Ready();
            code = service.Run(g_signalPipe[0]);
            notifier.Stopping();
        }
        if (g_state->Flags.CycleRunning) {
            // A worker still publishes and holds references into this process; nothing may be
            // destroyed under it.
            std::fflush(stdout);
            std::fflush(stderr);
            std::_Exit(code);
        }
    }
    return code;
}
