#include "ProgramRun.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace orvex::test {

ProgramRun::ProgramRun(const std::string& workDir, const std::string& runtimeDir,
                       const std::map<std::string, std::string>& extraEnv,
                       const std::vector<std::string>& args) {
    pid_ = ::fork();
    if (pid_ == 0) {
        if (::chdir(workDir.c_str()) != 0) {
            ::_exit(126);
        }
        ::setenv("XDG_RUNTIME_DIR", runtimeDir.c_str(), 1);
        if (std::getenv("ORVEX_TEST_DISPLAY") == nullptr) {
            ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        }
        for (const auto& [name, value] : extraEnv) {
            ::setenv(name.c_str(), value.c_str(), 1);
        }
        std::vector<char*> argv{const_cast<char*>(ORVEX_BINARY)};
        for (const std::string& arg : args) {
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        argv.push_back(nullptr);
        ::execv(ORVEX_BINARY, argv.data());
        ::_exit(127);
    }
}

ProgramRun::~ProgramRun() {
    Terminate();
}

bool ProgramRun::Running() {
    if (pid_ <= 0) {
        return false;
    }
    if (::waitpid(pid_, &status_, WNOHANG) == pid_) {
        pid_ = -1;
        return false;
    }
    return true;
}

int ProgramRun::WaitExit(int timeoutMs) {
    WaitFor(timeoutMs, [this] { return !Running(); });
    if (pid_ > 0 || !WIFEXITED(status_)) {
        return -1;
    }
    return WEXITSTATUS(status_);
}

void ProgramRun::Terminate() {
    if (pid_ <= 0) {
        return;
    }
    ::kill(pid_, SIGTERM);
    if (WaitExit(5000) == -1 && pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status_, 0);
        pid_ = -1;
    }
}

bool WaitFor(int timeoutMs, const std::function<bool()>& condition) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

}  // namespace orvex::test
