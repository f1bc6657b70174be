#include "ServerProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "TempDir.h"

namespace orvex::test {

std::string PeerScript(const std::string& name) {
    return std::string(ORVEX_PEERS_DIR) + "/" + name;
}

ServerProcess::ServerProcess(const std::string& program, const std::vector<std::string>& args,
                             int readyTimeoutMs) {
    char pattern[] = "/tmp/orvex-server-XXXXXX";
    int logFd = ::mkstemp(pattern);
    logPath_ = pattern;
    int pipeFd[2];
    if (logFd < 0 || ::pipe2(pipeFd, O_CLOEXEC) != 0) {
        return;
    }
    pid_ = ::fork();
    if (pid_ == 0) {
        ::setpgid(0, 0);
        ::dup2(pipeFd[1], 1);
        ::dup2(logFd, 2);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        ::setenv("PYTHONUNBUFFERED", "1", 1);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(pipeFd[1]);
    // Read the ready line; the rest of standard output is copied to the log by a thread.
    std::string line;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(readyTimeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{pipeFd[0], POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) {
            continue;
        }
        char c;
        if (::read(pipeFd[0], &c, 1) != 1) {
            break;
        }
        if (c != '\n') {
            line += c;
            continue;
        }
        if (line.rfind("READY ", 0) == 0) {
            port_ = std::atoi(line.c_str() + 6);
            break;
        }
        line.clear();
    }
    int readFd = pipeFd[0];
    std::thread([readFd, logFd] {
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(readFd, buffer, sizeof buffer)) > 0) {
            if (::write(logFd, buffer, static_cast<size_t>(n)) < 0) {
                break;
            }
        }
        ::close(readFd);
        ::close(logFd);
    }).detach();
}

ServerProcess::~ServerProcess() {
    Stop();
    ::unlink(logPath_.c_str());
}

void ServerProcess::Stop() {
    if (pid_ <= 0) {
        return;
    }
    ::kill(-pid_, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(-pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

std::string ServerProcess::Log() const {
    return ReadFile(logPath_);
}

}  // namespace orvex::test
