#include "ddns/CommandHook.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "ddns/ProviderText.h"
#include "platform/UniqueFd.h"

extern char** environ;

namespace orvex::ddns {

namespace {

// Output kept from the command: enough for its first line.
constexpr size_t kMaxOutput = 4096;
// After the shell has ended, how long output still in the pipe is waited for (a command it
// left running in the background may hold the pipe open for ever).
constexpr int kDrainMs = 100;

using SteadyClock = std::chrono::steady_clock;

long MsLeft(SteadyClock::time_point deadline) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now())
            .count());
}

// The program's environment without the variables the hook sets, then those.
std::vector<std::string> ChildEnvironment(
    const std::vector<std::pair<std::string, std::string>>& extra) {
    std::vector<std::string> out;
    for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
        const std::string entry = *e;
        bool overridden = false;
        for (const auto& [name, value] : extra) {
            if (entry.size() > name.size() && entry.compare(0, name.size(), name) == 0 &&
                entry[name.size()] == '=') {
                overridden = true;
            }
        }
        if (!overridden) {
            out.push_back(entry);
        }
    }
    for (const auto& [name, value] : extra) {
        out.push_back(name + "=" + value);
    }
    return out;
}

// Reads what is there (at most up to kMaxOutput kept); false at the end of the pipe.
bool ReadSome(int fd, std::string& output) {
    char buffer[1024];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
        return errno == EINTR || errno == EAGAIN;
    }
    if (n == 0) {
        return false;
    }
    const size_t room = kMaxOutput - output.size();
    output.append(buffer, static_cast<size_t>(n) < room ? static_cast<size_t>(n) : room);
    return true;
}

std::string StatusText(int status) {
    if (WIFEXITED(status)) {
        return "exit status " + std::to_string(WEXITSTATUS(status));
    }
    if (WIFSIGNALED(status)) {
        return "ended by signal " + std::to_string(WTERMSIG(status));
    }
    return "ended";
}

}  // namespace

std::vector<std::pair<std::string, std::string>> HookEnvironment(const HookValues& values) {
    return {
        {"ORVEX_WAN_IP", values.addresses.wan},
        {"ORVEX_WAN_IP6", values.addresses.wan6},
        {"ORVEX_LAN_IP", values.addresses.lan},
        {"ORVEX_LAN_IP6", values.addresses.lan6},
        {"ORVEX_HOSTS", values.hosts},
        {"ORVEX_USER", values.user},
        {"ORVEX_PASSWORD", values.password},
        {"ORVEX_SERVER", values.server},
        {"ORVEX_ZONE", values.zone},
        {"ORVEX_TTL", std::to_string(values.ttl)},
    };
}

UpdateAttempt RunCommandHook(const CommandRequest& request) {
    UpdateAttempt attempt;
    const SteadyClock::time_point deadline =
        SteadyClock::now() + std::chrono::milliseconds(request.boundMs);

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        attempt.why = std::string("the command could not be started: ") + std::strerror(errno);
        return attempt;
    }
    UniqueFd readEnd(pipeFds[0]);
    UniqueFd writeEnd(pipeFds[1]);

    const std::vector<std::string> env = ChildEnvironment(request.environment);
    std::vector<char*> envp;
    for (const std::string& entry : env) {
        envp.push_back(const_cast<char*>(entry.c_str()));
    }
    envp.push_back(nullptr);
    char shell[] = "/bin/sh";
    char dashC[] = "-c";
    std::string command = request.command;
    char* argv[] = {shell, dashC, command.data(), nullptr};

    // posix_spawn, not fork: the program has other threads, and the child must start clean.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.Get(), 1);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.Get(), 2);
    if (!request.workDir.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, request.workDir.c_str());
    }
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // A group of its own, so the bound ends everything the command started; default signal
    // handling and no blocked signals, whatever the program set for itself.
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(
        &attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, shell, &actions, &attributes, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    writeEnd.Reset();
    if (spawned != 0) {
        attempt.why = std::string("the command could not be started: ") + std::strerror(spawned);
        return attempt;
    }

    std::string output;
    bool pipeOpen = true;
    bool exited = false;
    int status = 0;
    SteadyClock::time_point drainUntil = SteadyClock::time_point::max();
    while (true) {
        if (!exited) {
            const pid_t done = ::waitpid(pid, &status, WNOHANG);
            if (done == pid) {
                exited = true;
                drainUntil = SteadyClock::now() + std::chrono::milliseconds(kDrainMs);
            }
        }
        if (exited && (!pipeOpen || SteadyClock::now() >= drainUntil)) {
            break;
        }
        const long left = MsLeft(deadline);
        if (left <= 0) {
            break;
        }
        if (!pipeOpen) {
            // Nothing more to read; wait for the end in small steps.
            ::poll(nullptr, 0, static_cast<int>(std::min<long>(left, 20)));
            continue;
        }
        pollfd p{readEnd.Get(), POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(std::min<long>(left, 20)));
        if (ready > 0) {
            pipeOpen = ReadSome(readEnd.Get(), output);
        }
    }
    if (!exited) {
        ::kill(-pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        attempt.answers.push_back("no end within " + SecondsText(request.boundMs) +
                                  "; the command was stopped");
        attempt.why = "the command did not finish in time";
        return attempt;
    }
    const std::string line = FirstLine(output);
    attempt.answers.push_back(StatusText(status) + (line.empty() ? "" : ": " + line));
    attempt.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!attempt.ok) {
        attempt.why = "the command ended with " + StatusText(status);
    }
    return attempt;
}

}  // namespace orvex::ddns
