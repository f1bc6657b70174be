// The run command as a user starts it from a terminal: the demonstration servers, the program,
// and what Ctrl+C or a closed terminal leaves on the web server.

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "ProgramRun.h"
#include "TempDir.h"

namespace orvex::test {
namespace {

// A port of 127.0.0.1 that nothing listens on at the moment.
int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof addr;
    int port = -1;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &size) == 0) {
        port = ntohs(addr.sin_port);
    }
    ::close(fd);
    return port;
}

bool Listening(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    const bool open = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return open;
}

// `bash scripts/run` with the programs of this build, in a process group of its own as a
// terminal's foreground job is.
class RunScript {
public:
    RunScript(const std::string& runDir, const std::string& runtimeDir, int ftpPort, int echoPort) {
        pid_ = ::fork();
        if (pid_ == 0) {
            ::setpgid(0, 0);
            const int log = ::open((runDir + "/run.log").c_str(), O_WRONLY | O_CREAT, 0644);
            ::dup2(log, 1);
            ::dup2(log, 2);
            ::setenv("ORVEX_BUILD_DIR", ORVEX_BUILD_DIR, 1);
            ::setenv("ORVEX_RUN_DIR", runDir.c_str(), 1);
            ::setenv("ORVEX_DEMO_FTP_PORT", std::to_string(ftpPort).c_str(), 1);
            ::setenv("ORVEX_DEMO_ECHO_PORT", std::to_string(echoPort).c_str(), 1);
            ::setenv("XDG_RUNTIME_DIR", runtimeDir.c_str(), 1);
            ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
            const std::string script = std::string(ORVEX_SOURCE_DIR) + "/scripts/run";
            ::execl("/bin/bash", "bash", script.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::setpgid(pid_, pid_);
    }
    ~RunScript() {
        if (pid_ > 0) {
            ::kill(-pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    pid_t Pid() const { return pid_; }
    // The script's exit code once it has ended within `timeoutMs`, else -1.
    int WaitExit(int timeoutMs) {
        int status = 0;
        if (!WaitFor(timeoutMs, [&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; })) {
            return -1;
        }
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
};

struct SignalCase {
    int signal;
    bool wholeGroup;  // from the terminal (Ctrl+C, hang-up), else sent to the script alone
};

class RunScriptTest : public ::testing::TestWithParam<SignalCase> {};

TEST_P(RunScriptTest, SignalPublishesTheOfflinePageBeforeTheServersStop) {
    TempDir run;
    TempDir runtime;
    const int ftpPort = FreePort();
    const int echoPort = FreePort();
    ASSERT_NE(ftpPort, echoPort);
    RunScript script(run.Path(), runtime.Path(), ftpPort, echoPort);
    const std::string page = run.File("site/index.html");
    ASSERT_TRUE(WaitFor(60000,
                        [&] {
                            return ReadFile(run.File("Orvex.log")).find("System Online:") !=
                                   std::string::npos;
                        }))
        << ReadFile(run.File("run.log")) << ReadFile(run.File("Orvex.log"));
    ASSERT_NE(ReadFile(page).find(">Online<"), std::string::npos) << ReadFile(page);

    ::kill(GetParam().wholeGroup ? -script.Pid() : script.Pid(), GetParam().signal);
    EXPECT_EQ(script.WaitExit(60000), 0) << ReadFile(run.File("run.log"));
    EXPECT_NE(ReadFile(page).find(">Offline<"), std::string::npos) << ReadFile(page);
    EXPECT_NE(ReadFile(run.File("Orvex.log")).find("System Offline."), std::string::npos);
    EXPECT_FALSE(Listening(ftpPort)) << "the demonstration servers stop with the script";
    EXPECT_FALSE(Listening(echoPort));
}

INSTANTIATE_TEST_SUITE_P(Signals, RunScriptTest,
                         ::testing::Values(SignalCase{SIGINT, true}, SignalCase{SIGHUP, true},
                                           SignalCase{SIGINT, false}),
                         [](const ::testing::TestParamInfo<SignalCase>& info) {
                             return std::string(info.param.signal == SIGINT ? "Interrupt"
                                                                            : "HangUp") +
                                    (info.param.wholeGroup ? "FromTheTerminal" : "ToTheScript");
                         });

}  // namespace
}  // namespace orvex::test
