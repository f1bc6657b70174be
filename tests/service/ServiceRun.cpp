#include "ServiceRun.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "TempDir.h"

namespace orvex::test {

namespace {

int g_runs = 0;

}  // namespace

bool WaitUntil(int timeoutMs, const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

ServiceRun::ServiceRun(const std::string& workDir, const std::string& runtimeDir,
                       const std::vector<std::string>& args,
                       const std::map<std::string, std::string>& env) {
    const std::string stem = runtimeDir + "/orvexd-" + std::to_string(++g_runs);
    outPath_ = stem + ".out";
    errPath_ = stem + ".err";
    pid_ = ::fork();
    if (pid_ == 0) {
        const int out = ::open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0 ||
            ::chdir(workDir.c_str()) != 0) {
            ::_exit(126);
        }
        ::setenv("XDG_RUNTIME_DIR", runtimeDir.c_str(), 1);
        for (const auto& [name, value] : env) {
            ::setenv(name.c_str(), value.c_str(), 1);
        }
        std::vector<char*> argv{const_cast<char*>(ORVEXD_BINARY)};
        for (const std::string& arg : args) {
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        argv.push_back(nullptr);
        ::execv(ORVEXD_BINARY, argv.data());
        ::_exit(127);
    }
}

ServiceRun::~ServiceRun() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status_, 0);
    }
}

bool ServiceRun::Running() {
    if (pid_ <= 0) {
        return false;
    }
    if (::waitpid(pid_, &status_, WNOHANG) == pid_) {
        pid_ = -1;
        return false;
    }
    return true;
}

int ServiceRun::WaitExit(int timeoutMs) {
    WaitUntil(timeoutMs, [this] { return !Running(); });
    if (pid_ > 0) {
        return -1;
    }
    if (WIFSIGNALED(status_)) {
        return 128 + WTERMSIG(status_);
    }
    return WEXITSTATUS(status_);
}

void ServiceRun::Signal(int signo) {
    if (pid_ > 0) {
        ::kill(pid_, signo);
    }
}

std::string ServiceRun::Output() const {
    return ReadFile(outPath_);
}

std::string ServiceRun::Errors() const {
    return ReadFile(errPath_);
}

bool ServiceRun::OutputHas(const std::string& text, int timeoutMs) const {
    return WaitUntil(timeoutMs, [&] { return Output().find(text) != std::string::npos; });
}

ServiceResult RunService(const std::string& workDir, const std::string& runtimeDir,
                         const std::vector<std::string>& args, int timeoutMs,
                         const std::map<std::string, std::string>& env) {
    ServiceRun run(workDir, runtimeDir, args, env);
    ServiceResult result;
    result.code = run.WaitExit(timeoutMs);
    result.out = run.Output();
    result.err = run.Errors();
    return result;
}

}  // namespace orvex::test
