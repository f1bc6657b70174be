// The built orvexd asked and watched while it runs: the control socket (--status, --refresh,
// SIGUSR1), the metrics and health answers, systemd's notify protocol, passwords kept outside
// Orvex.ini, and a first start in an empty folder.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "ServerProcess.h"
#include "ServiceRun.h"
#include "TempDir.h"
#include "UploadSettings.h"
#include "platform/Profile.h"
#include "settings/SettingsFile.h"

namespace orvex::test {
namespace {

using nlohmann::json;

// One GET on 127.0.0.1:`port`; the whole answer, head and body ("" when nothing answered).
std::string HttpGet(int port, const std::string& path) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        const std::string request = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
        char buffer[4096];
        for (;;) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 10000) <= 0) {
                break;
            }
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                break;
            }
            answer.append(buffer, static_cast<size_t>(n));
        }
    }
    ::close(fd);
    return answer;
}

class ServiceControlTest : public ::testing::Test {
protected:
    ServiceControlTest()
        : ftp(kPython, {PeerScript("ftp_server.py"), "--root", ftpRoot.Path(), "--user", "tester",
                        "--password", "secret", "--quiet"}),
          echo(kPython, {PeerScript("echo_page.py")}) {}

    void SetUp() override {
        ASSERT_TRUE(ftp.Ready()) << ftp.Log();
        ASSERT_TRUE(echo.Ready()) << echo.Log();
        WriteFile(work.File("online.htm"), "<p>%H is %S at %WI</p>");
        WriteFile(work.File("offline.htm"), "<p>%H is %S</p>");
        const char* P = kSectionPreferences;
        Profile ini(work.File("Orvex.ini"));
        WriteUploadSettings(ini, ftp.Port(), "secret", LoopbackUrl(echo.Port()));
        Set(P, "IsUpdateOnStart", "1");
        Set(P, "RefreshIntv", "0");
        Set(P, "Timeout", "5");
    }

    void Set(const char* section, const char* key, const std::string& value) {
        Profile(work.File("Orvex.ini")).WriteString(section, key, value);
    }

    ServiceResult Call(const std::vector<std::string>& args) {
        return RunService(work.Path(), runtime.Path(), args, 60000);
    }

    json Status() {
        const ServiceResult result = Call({"--status", "--json"});
        EXPECT_EQ(result.code, 0) << result.out << result.err;
        return json::parse(result.out, nullptr, false);
    }

    TempDir work;
    TempDir runtime;
    TempDir ftpRoot;
    ServerProcess ftp;
    ServerProcess echo;
};

TEST_F(ServiceControlTest, StatusRefreshSignalAndMetricsFollowTheCycles) {
    Set(kSectionPreferences, "MetricsAddress", "127.0.0.1:0");
    ServiceRun run(work.Path(), runtime.Path());
    ASSERT_TRUE(run.OutputHas("P10005 System Online:", 30000)) << run.Output() << run.Errors();
    std::smatch served;
    const std::string output = run.Output();
    ASSERT_TRUE(
        std::regex_search(output, served, std::regex("P Metrics served on 127\\.0\\.0\\.1:(\\d+)")))
        << output;
    const int metricsPort = std::stoi(served[1]);
    // Only its user may open the control socket.
    struct stat info {};
    ASSERT_EQ(::stat(runtime.File("orvexd.sock").c_str(), &info), 0);
    EXPECT_TRUE(S_ISSOCK(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    json status = Status();
    EXPECT_EQ(status["addresses"]["wan"], "127.0.0.1") << status.dump();
    EXPECT_TRUE(status["addresses"]["lan"].is_string()) << status.dump();
    EXPECT_EQ(status["addresses"]["via"], "web") << status.dump();
    EXPECT_EQ(status["addresses"]["nat"], "unknown") << status.dump();
    EXPECT_EQ(status["lastCycle"]["result"], "online") << status.dump();
    EXPECT_EQ(status["cycles"]["online"], 1);
    EXPECT_EQ(status["nextRefresh"], "Not Scheduled to refresh");
    const ServiceResult text = Call({"--status"});
    EXPECT_NE(text.out.find("WAN IP: 127.0.0.1\n"), std::string::npos) << text.out;

    // A refresh runs a cycle now and prints its result when it has ended.
    WriteFile(work.File("online.htm"), "<p>%H answers at %WI</p>");
    const ServiceResult refreshed = Call({"--refresh"});
    EXPECT_EQ(refreshed.code, 0) << refreshed.out << refreshed.err;
    EXPECT_NE(refreshed.out.find(": online\n"), std::string::npos) << refreshed.out;
    EXPECT_NE(refreshed.out.find("WAN IP: 127.0.0.1\n"), std::string::npos) << refreshed.out;
    EXPECT_EQ(ReadFile(ftpRoot.File("index.html")), "<p>Home answers at 127.0.0.1</p>");

    run.Signal(SIGUSR1);
    EXPECT_TRUE(WaitUntil(20000, [&] { return Status()["cycles"]["online"] == 3; }));

    const std::string metrics = HttpGet(metricsPort, "/metrics");
    for (const char* line : {"HTTP/1.1 200 OK\r\n", "\norvex_cycles_total{result=\"online\"} 3\n",
                             "\norvex_cycles_total{result=\"failed\"} 0\n",
                             "\norvex_step_failures_total{step=\"upload\"} 0\n",
                             "\norvex_wan_address_info{address=\"127.0.0.1\"} 1\n"}) {
        EXPECT_NE(metrics.find(line), std::string::npos) << line << "\n" << metrics;
    }
    EXPECT_NE(HttpGet(metricsPort, "/healthz").find("\r\n\r\nok\n"), std::string::npos);

    // A cycle that fails: the refresh says so and exits 1, health turns 503 with the failure.
    ftp.Stop();
    const ServiceResult failed = Call({"--refresh"});
    EXPECT_EQ(failed.code, 1) << failed.out << failed.err;
    EXPECT_NE(failed.out.find(": failed (upload: 127.0.0.1:"), std::string::npos) << failed.out;
    const std::string health = HttpGet(metricsPort, "/healthz");
    EXPECT_EQ(health.rfind("HTTP/1.1 503 ", 0), 0u) << health;
    EXPECT_NE(health.find("failed: upload: 127.0.0.1:"), std::string::npos) << health;
    EXPECT_NE(
        HttpGet(metricsPort, "/metrics").find("orvex_step_failures_total{step=\"upload\"} 1\n"),
        std::string::npos);

    run.Signal(SIGTERM);
    EXPECT_EQ(run.WaitExit(30000), 0) << run.Output() << run.Errors();
    EXPECT_FALSE(FileExists(runtime.File("orvexd.sock")));
    const ServiceResult none = Call({"--status"});
    EXPECT_EQ(none.code, 3) << none.out << none.err;
    EXPECT_NE(none.err.find("no service runs here"), std::string::npos) << none.err;
}

// The notify protocol as systemd's manager receives it: a datagram socket of the test's own.
TEST_F(ServiceControlTest, TellsSystemdReadyStatusAndWatchdog) {
    const std::string path = runtime.File("notify");
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ServiceRun run(work.Path(), runtime.Path(), {},
                   {{"NOTIFY_SOCKET", path}, {"WATCHDOG_USEC", "400000"}});

    std::vector<std::string> received;
    auto has = [&](const std::string& text) {
        for (const std::string& message : received) {
            if (message.find(text) != std::string::npos) {
                return true;
            }
        }
        return false;
    };
    WaitUntil(30000, [&] {
        char buffer[1024];
        while (true) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 0) <= 0) {
                break;
            }
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n > 0) {
                received.emplace_back(buffer, static_cast<size_t>(n));
            }
        }
        int pings = 0;
        for (const std::string& message : received) {
            pings += message == "WATCHDOG=1" ? 1 : 0;
        }
        return has("READY=1") && has("STATUS=P10005 System Online:") && pings >= 3;
    });
    ::close(fd);
    EXPECT_TRUE(has("READY=1"));
    EXPECT_TRUE(has("STATUS=P10005 System Online:"));
    EXPECT_TRUE(has("WATCHDOG=1"));
    // READY=1 comes once the settings are loaded, before the first cycle's messages.
    size_t ready = received.size();
    size_t online = received.size();
    for (size_t i = 0; i < received.size(); ++i) {
        ready = received[i] == "READY=1" && ready == received.size() ? i : ready;
        online =
            received[i].rfind("STATUS=P10005", 0) == 0 && online == received.size() ? i : online;
    }
    EXPECT_LT(ready, online);
}

// A unit of Type=notify under a real manager: the user's own, where one runs.
TEST_F(ServiceControlTest, NotifyUnitStartsUnderTheUserManager) {
    if (std::system("systemctl --user is-system-running >/dev/null 2>&1") != 0 &&
        std::system("systemctl --user list-units >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "no systemd user manager answers here (systemctl --user); the notify "
                        "protocol is checked against an emulated manager socket instead";
    }
    const std::string unit = "orvex-test-" + std::to_string(::getpid());
    const std::string command =
        "systemd-run --user --quiet --unit=" + unit +
        " -p Type=notify -p WatchdogSec=30 --setenv=XDG_RUNTIME_DIR=" + runtime.Path() + " " +
        ORVEXD_BINARY + " --config " + work.Path();
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    FILE* pipe = ::popen(("systemctl --user show -p ActiveState --value " + unit).c_str(), "r");
    char state[64] = {};
    ASSERT_NE(pipe, nullptr);
    ASSERT_NE(std::fgets(state, sizeof state, pipe), nullptr);
    ::pclose(pipe);
    EXPECT_EQ(std::string(state), "active\n");
    EXPECT_EQ(Call({"--status"}).code, 0);
    std::system(("systemctl --user stop " + unit).c_str());
}

TEST_F(ServiceControlTest, PasswordGivenOnlyByFileUploadsAndNeverReachesTheSettingsFile) {
    Set(kSectionLocal, "Password", "");
    Set(kSectionLocal, "PasswordFile", "ftp.pass");
    WriteFile(work.File("ftp.pass"), "secret\nsecond line ignored\n");
    ASSERT_EQ(::chmod(work.File("ftp.pass").c_str(), 0600), 0);
    std::string scrambled = "secret";
    EncodePassword(scrambled, PasswordKey());

    const ServiceResult ok = Call({"--once"});
    EXPECT_EQ(ok.code, 0) << ok.out << ok.err;
    EXPECT_EQ(ReadFile(ftpRoot.File("index.html")), "<p>Home is Online at 127.0.0.1</p>");
    EXPECT_EQ(Call({"--check"}).code, 0);
    const std::string ini = ReadFile(work.File("Orvex.ini"));
    EXPECT_EQ(ini.find("secret"), std::string::npos) << ini;
    EXPECT_EQ(ini.find("Password=" + scrambled), std::string::npos) << ini;

    // A systemd credential of the key's name comes before the file.
    TempDir credentials;
    WriteFile(work.File("ftp.pass"), "wrong\n");
    ::chmod(work.File("ftp.pass").c_str(), 0600);
    WriteFile(credentials.File("Password"), "secret");
    ::chmod(credentials.File("Password").c_str(), 0400);
    std::remove(ftpRoot.File("index.html").c_str());
    const ServiceResult credential = RunService(work.Path(), runtime.Path(), {"--once"}, 60000,
                                                {{"CREDENTIALS_DIRECTORY", credentials.Path()}});
    EXPECT_EQ(credential.code, 0) << credential.out << credential.err;
    EXPECT_TRUE(FileExists(ftpRoot.File("index.html")));

    // A file others may read is refused, said plainly, and no logon is tried with it.
    WriteFile(work.File("ftp.pass"), "secret\n");
    ::chmod(work.File("ftp.pass").c_str(), 0644);
    const ServiceResult refused = Call({"--once"});
    EXPECT_EQ(refused.code, 1);
    EXPECT_NE(refused.out.find("P Secret not used: Password: " + work.File("ftp.pass") +
                               " may be read or changed by other users (mode 0644)"),
              std::string::npos)
        << refused.out;
    const ServiceResult check = Call({"--check"});
    EXPECT_EQ(check.code, 1);
    EXPECT_NE(check.out.find("Password: " + work.File("ftp.pass") + " may be read"),
              std::string::npos)
        << check.out;
    EXPECT_EQ(ReadFile(work.File("Orvex.ini")).find("secret"), std::string::npos);
}

TEST(ServiceFirstStart, AnEmptyFolderPointsToInitWhichWritesAPrivateCommentedFile) {
    TempDir empty;
    TempDir runtime;
    const ServiceResult check = RunService(empty.Path(), runtime.Path(), {"--check"});
    EXPECT_EQ(check.code, 1);
    EXPECT_EQ(check.out, "Orvex.ini: cannot read " + empty.File("Orvex.ini") +
                             ": No such file or directory (orvexd --init writes a commented one "
                             "to start from)\n");
    const ServiceResult once = RunService(empty.Path(), runtime.Path(), {"--once"});
    EXPECT_EQ(once.code, 1);
    EXPECT_NE(once.err.find("names no FTPServer: configure Orvex with the desktop program or by "
                            "hand first (orvexd --init"),
              std::string::npos)
        << once.err;

    const ServiceResult init = RunService(empty.Path(), runtime.Path(), {"--init"});
    EXPECT_EQ(init.code, 0) << init.err;
    struct stat info {};
    ASSERT_EQ(::stat(empty.File("Orvex.ini").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    const std::string written = ReadFile(empty.File("Orvex.ini"));
    for (const char* text : {"\n[LocalSettings]\n", "\nEnableFTP=0\n", "\n[Preferences]\n",
                             "\nEnableMail=0\n", "\nTimeout=15\n", "\n[DynamicDNS]\n"}) {
        EXPECT_NE(written.find(text), std::string::npos) << text;
    }
    // Never over a file that is there.
    WriteFile(empty.File("Orvex.ini"), "[LocalSettings]\nFTPServer=mine\n");
    const ServiceResult again = RunService(empty.Path(), runtime.Path(), {"--init"});
    EXPECT_EQ(again.code, 1);
    EXPECT_EQ(ReadFile(empty.File("Orvex.ini")), "[LocalSettings]\nFTPServer=mine\n");
}

// --help and the manual page come from one source: the help text is the source's, and the page
// lists every option the help text does.
TEST(ServiceManual, HelpTextAndManualPageShareTheirSource) {
    TempDir runtime;
    const ServiceResult help = RunService(runtime.Path(), runtime.Path(), {"--help"});
    ASSERT_EQ(help.code, 0);
    const std::string source =
        ReadFile(std::string(ORVEX_SOURCE_DIR) + "/resources/man/orvexd.txt");
    const size_t start = source.find(".help\n") + 6;
    EXPECT_EQ(source.substr(start, source.find(".man\n") - start), help.out);
    const std::string page = ReadFile(std::string(ORVEX_BUILD_DIR) + "/man/orvexd.8");
    std::istringstream lines(help.out);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("  --", 0) == 0) {
            std::string option = line.substr(2, line.find(' ', 2) - 2);
            std::string escaped;
            for (char c : option) {
                escaped += c == '-' ? std::string("\\-") : std::string(1, c);
            }
            EXPECT_NE(page.find("\\fB" + escaped), std::string::npos) << option;
        }
    }
}

}  // namespace
}  // namespace orvex::test
