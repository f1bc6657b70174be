#include "platform/DesktopLauncher.h"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

extern char** environ;

namespace orvex {

namespace {

constexpr auto kStartBound = std::chrono::seconds(5);

bool IsExecutableFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::string FindExecutable(const std::string& program) {
    if (program.empty()) {
        return std::string();
    }
    if (program.find('/') != std::string::npos) {
        return IsExecutableFile(program) ? program : std::string();
    }
    const char* path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t colon = dirs.find(':', start);
        if (colon == std::string::npos) {
            colon = dirs.size();
        }
        std::string dir = dirs.substr(start, colon - start);
        std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + program;
        if (IsExecutableFile(candidate)) {
            return candidate;
        }
        start = colon + 1;
    }
    return std::string();
}

bool XdgLauncher::Open(const std::string& target) {
    if (target.empty() || target.front() == '-') {
        return false;
    }
    const std::string opener = FindExecutable(opener_);
    if (opener.empty()) {
        return false;
    }
    // The shell starts the opener in the background and ends at once; the opener is then
    // adopted by init, so nobody here has to wait for the viewer.
    const char* script = "\"$0\" \"$1\" </dev/null >/dev/null 2>&1 &";
    const char* argv[] = {"sh", "-c", script, opener.c_str(), target.c_str(), nullptr};
    // The viewer may outlive the program; it must not keep any of its files or sockets open.
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    pid_t pid = -1;
    const int spawned =
        ::posix_spawn(&pid, "/bin/sh", &actions, nullptr, const_cast<char* const*>(argv), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + kStartBound;
    for (;;) {
        int status = 0;
        pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        }
        if (done < 0 && errno == EINTR) {
            continue;
        }
        if (done < 0) {
            // Children reaped elsewhere (SIGCHLD ignored): the shell did start.
            return errno == ECHILD;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

DesktopLauncher& DefaultDesktopLauncher() {
    static XdgLauncher launcher;
    return launcher;
}

}  // namespace orvex
