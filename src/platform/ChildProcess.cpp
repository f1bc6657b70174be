#include "platform/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/DeadlineWait.h"
#include "platform/UniqueFd.h"

extern char** environ;

namespace orvex {

namespace {

// After the child has ended, how long output still in the pipe is waited for (something it
// left running in the background may hold the pipe open for ever).
constexpr int kDrainMs = 100;
// How often the wait looks whether the child has ended while its output stays quiet.
constexpr int kExitCheckMs = 20;

// The program's environment without the variables the request sets, then those.
std::vector<std::string> ChildEnvironment(
    const std::vector<std::pair<std::string, std::string>>& extra) {
    std::vector<std::string> out;
    for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
        const std::string entry = *e;
        const bool overridden = std::any_of(extra.begin(), extra.end(), [&](const auto& pair) {
            const std::string& name = pair.first;
            return entry.size() > name.size() && entry.compare(0, name.size(), name) == 0 &&
                   entry[name.size()] == '=';
        });
        if (!overridden) {
            out.push_back(entry);
        }
    }
    for (const auto& [name, value] : extra) {
        out.push_back(name + "=" + value);
    }
    return out;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> out;
    for (std::string& text : texts) {
        out.push_back(text.data());
    }
    out.push_back(nullptr);
    return out;
}

// Starts the request with `output` (or /dev/null when -1) as standard output and error.
// 0 and *pid, or the errno.
int Spawn(const ChildRequest& request, int output, pid_t* pid) {
    if (request.arguments.empty()) {
        return EINVAL;
    }
    std::vector<std::string> arguments = request.arguments;
    std::vector<std::string> environment = ChildEnvironment(request.environment);
    const std::vector<char*> argv = Pointers(arguments);
    const std::vector<char*> envp = Pointers(environment);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (output >= 0) {
        posix_spawn_file_actions_adddup2(&actions, output, 1);
        posix_spawn_file_actions_adddup2(&actions, output, 2);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
    }
    if (!request.workDir.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, request.workDir.c_str());
    }
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(
        &attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    const int spawned =
        ::posix_spawn(pid, argv[0], &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return spawned;
}

// Reads what is there, keeping at most `limit` bytes in `output`; false at the end of the pipe.
bool ReadSome(int fd, size_t limit, std::string& output) {
    char buffer[4096];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
        return errno == EINTR || errno == EAGAIN;
    }
    if (n == 0) {
        return false;
    }
    const size_t room = limit > output.size() ? limit - output.size() : 0;
    output.append(buffer, std::min(static_cast<size_t>(n), room));
    return true;
}

ChildResult Ended(int status, std::string output) {
    ChildResult result;
    result.output = std::move(output);
    if (WIFSIGNALED(status)) {
        result.outcome = ChildResult::Outcome::kSignalled;
        result.status = WTERMSIG(status);
    } else {
        result.outcome = ChildResult::Outcome::kExited;
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 0;
    }
    return result;
}

}  // namespace

ChildResult RunChild(const ChildRequest& request) {
    const Deadline deadline(request.boundMs);
    ChildResult result;
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        result.startError = errno;
        return result;
    }
    UniqueFd readEnd(pipeFds[0]);
    UniqueFd writeEnd(pipeFds[1]);
    pid_t pid = -1;
    const int spawned = Spawn(request, writeEnd.Get(), &pid);
    writeEnd.Reset();
    if (spawned != 0) {
        result.startError = spawned;
        return result;
    }

    std::string output;
    bool pipeOpen = true;
    int status = 0;
    bool exited = false;
    while (!deadline.Passed()) {
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            exited = true;
            break;
        }
        const Deadline step = Deadline(kExitCheckMs).Earlier(deadline);
        if (!pipeOpen) {
            std::this_thread::sleep_for(std::chrono::milliseconds(step.LeftMs()));
        } else if (WaitUntil(readEnd.Get(), POLLIN, step) == WaitResult::kReady) {
            pipeOpen = ReadSome(readEnd.Get(), request.outputLimit, output);
        }
    }
    if (!exited) {
        ::kill(-pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        result.outcome = ChildResult::Outcome::kTimedOut;
        result.output = std::move(output);
        return result;
    }
    const Deadline drain(kDrainMs);
    while (pipeOpen && WaitUntil(readEnd.Get(), POLLIN, drain) == WaitResult::kReady) {
        pipeOpen = ReadSome(readEnd.Get(), request.outputLimit, output);
    }
    return Ended(status, std::move(output));
}

int StartChild(const ChildRequest& request) {
    pid_t pid = -1;
    const int spawned = Spawn(request, -1, &pid);
    if (spawned != 0) {
        return spawned;
    }
    // Nobody else waits for it; ECHILD (children reaped by the system) ends the wait too.
    std::thread([pid] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return 0;
}

}  // namespace orvex
