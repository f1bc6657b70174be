// The service front end without servers: its timer, command line, unattended answers, the
// hand-over of worker calls to the loop, and the loop's handling of signals and boxes.

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <signal.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <thread>

#include <gtest/gtest.h>

#include "ManualClock.h"
#include "RecordingHost.h"
#include "TempDir.h"
#include "app/ExitRoutine.h"
#include "log/EventLog.h"
#include "platform/Profile.h"
#include "service/CommandLine.h"
#include "service/ControlSocket.h"
#include "service/DeadlineTimer.h"
#include "platform/HandOverHost.h"
#include "service/Service.h"
#include "service/SystemdNotify.h"
#include "settings/SettingsFile.h"

namespace orvex::test {
namespace {

using std::chrono::milliseconds;

TEST(DeadlineTimer, FiresEveryPeriodFromWhenItWasTakenAndStopsWhenKilled) {
    DeadlineTimer timer;
    EXPECT_EQ(timer.WaitMs(std::chrono::steady_clock::now()), -1);
    EXPECT_FALSE(timer.Kill());

    ASSERT_TRUE(timer.Set(1000));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_GT(timer.WaitMs(start), 0);
    EXPECT_LE(timer.WaitMs(start), 1000);
    EXPECT_FALSE(timer.TakeDue(start));

    // A loop that comes late fires once, not once per missed period.
    const auto late = start + milliseconds(5500);
    EXPECT_TRUE(timer.TakeDue(late));
    EXPECT_FALSE(timer.TakeDue(late));
    EXPECT_EQ(timer.WaitMs(late), 1000);
    EXPECT_TRUE(timer.TakeDue(late + milliseconds(1000)));

    // Arming again replaces the period.
    timer.Set(60000);
    EXPECT_GT(timer.WaitMs(std::chrono::steady_clock::now()), 59000);
    EXPECT_TRUE(timer.Kill());
    EXPECT_EQ(timer.WaitMs(late), -1);
    EXPECT_FALSE(timer.TakeDue(late + milliseconds(100000)));
}

TEST(ServiceCommandLine, ReadsTheFolderAndOneModeAndRefusesTheRest) {
    using Mode = ServiceOptions::Mode;
    ServiceOptions plain = ParseServiceOptions({});
    EXPECT_EQ(plain.mode, Mode::Service);
    EXPECT_TRUE(plain.error.empty());

    ServiceOptions once = ParseServiceOptions({"--config", "/srv/orvex", "--once", "--once"});
    EXPECT_EQ(once.mode, Mode::Once);
    EXPECT_EQ(once.configDir, "/srv/orvex");
    EXPECT_TRUE(once.error.empty());
    EXPECT_EQ(ParseServiceOptions({"--print-config", "--config=/a b"}).configDir, "/a b");

    EXPECT_EQ(ParseServiceOptions({"--config"}).error, "--config needs a folder");
    EXPECT_EQ(ParseServiceOptions({"--config="}).error, "--config needs a folder");
    EXPECT_EQ(ParseServiceOptions({"-once"}).error, "unknown option -once");
    EXPECT_EQ(ParseServiceOptions({"--offline", "--once"}).error,
              "--offline and --once cannot be combined");
}

TEST(ServiceCommandLine, CallsOfTheRunningServiceTakeTheirSocketAndJson) {
    using Mode = ServiceOptions::Mode;
    const struct {
        std::vector<std::string> args;
        Mode mode;
        bool json;
        const char* socket;
        const char* error;
    } cases[] = {
        {{"--status", "--json"}, Mode::Status, true, "", ""},
        {{"--json", "--status", "--socket", "/run/o.sock"}, Mode::Status, true, "/run/o.sock", ""},
        {{"--refresh", "--socket=/tmp/s"}, Mode::Refresh, false, "/tmp/s", ""},
        {{"--socket", "/tmp/s"}, Mode::Service, false, "/tmp/s", ""},
        {{"--init", "--config", "/srv"}, Mode::Init, false, "", ""},
        {{"--refresh", "--json"}, Mode::Refresh, true, "", "--json goes with --status only"},
        {{"--socket"}, Mode::Service, false, "", "--socket needs a path"},
        {{"--status", "--refresh"},
         Mode::Status,
         false,
         "",
         "--status and --refresh cannot be combined"},
    };
    for (const auto& c : cases) {
        const ServiceOptions options = ParseServiceOptions(c.args);
        EXPECT_EQ(options.error, c.error) << c.args[0];
        if (*c.error == '\0') {
            EXPECT_EQ(options.mode, c.mode) << c.args[0];
            EXPECT_EQ(options.json, c.json) << c.args[0];
            EXPECT_EQ(options.socketPath, c.socket) << c.args[0];
        }
    }
}

TEST(ControlSocket, PrivateToItsUserNeverTakesAnotherFileAndDropsSilentCallers) {
    TempDir dir;
    const std::string path = dir.File("orvexd.sock");
    {
        ControlServer server;
        std::string error;
        ASSERT_TRUE(server.Listen(path, &error)) << error;
        struct stat info {};
        ASSERT_EQ(::stat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u);
        // A caller that sends no line is dropped at the bound; one that does is answered.
        const int silent = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
        ASSERT_EQ(::connect(silent, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        std::string request;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(server.Accept(&request), -1);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
        ::close(silent);
        std::thread caller([&] {
            std::string answer;
            std::string why;
            EXPECT_EQ(CallService(path, "status", 5000, &answer, &why), CallResult::kAnswered)
                << why;
            EXPECT_EQ(answer, "{}\n");
        });
        pollfd p{server.Fd(), POLLIN, 0};
        ASSERT_EQ(::poll(&p, 1, 5000), 1);
        const int fd = server.Accept(&request);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(request, "status");
        ControlServer::Answer(fd, "{}\n");
        caller.join();
        // A live socket is nobody else's to take.
        ControlServer second;
        EXPECT_FALSE(second.Listen(path, &error));
        EXPECT_NE(error.find("another program listens on"), std::string::npos) << error;
    }
    // Gone with the server; a socket left behind by a service that died is replaced.
    EXPECT_FALSE(FileExists(path));
    std::string answer;
    std::string why;
    EXPECT_EQ(CallService(path, "status", 1000, &answer, &why), CallResult::kNoService);
    WriteFile(path, "not a socket");
    ControlServer server;
    std::string error;
    EXPECT_FALSE(server.Listen(path, &error));
    EXPECT_NE(error.find("exists and is not a socket"), std::string::npos) << error;
    EXPECT_EQ(ReadFile(path), "not a socket");
}

TEST(ServiceAnswers, QuestionsTakeTheirDefaultButtonAndEveryBoxIsOneLine) {
    MessageBoxRequest exitAnyway;
    exitAnyway.text = ExitRoutine::kExitAnywayQuestion;
    exitAnyway.caption = "Orvex Error";
    exitAnyway.buttons = MsgButtons::YesNo;
    EXPECT_EQ(UnattendedAnswer(exitAnyway), MsgAnswer::Yes);
    EXPECT_EQ(BoxLine(exitAnyway, MsgAnswer::Yes),
              "Orvex Error: There was an error uploading page. Exit anyway? [answered Yes]");

    MessageBoxRequest transfer;
    transfer.buttons = MsgButtons::YesNo;
    transfer.defaultButton = 2;
    EXPECT_EQ(UnattendedAnswer(transfer), MsgAnswer::No);
    transfer.buttons = MsgButtons::YesNoCancel;
    transfer.defaultButton = 3;
    EXPECT_EQ(UnattendedAnswer(transfer), MsgAnswer::Cancel);
    transfer.defaultButton = 7;
    EXPECT_EQ(UnattendedAnswer(transfer), MsgAnswer::Cancel);

    MessageBoxRequest report;
    report.text = "first\r\nsecond\n";
    EXPECT_EQ(UnattendedAnswer(report), MsgAnswer::Ok);
    EXPECT_EQ(BoxLine(report, MsgAnswer::Ok), "Orvex: first  second ");
}

class ServiceLoopTest : public ::testing::Test {
protected:
    void SetUp() override {
        Profile ini(work.File("Orvex.ini"));
        for (const auto& [key, value] : {std::pair{"FTPServer", "127.0.0.1"},
                                         {"SiteName", "Home"},
                                         {"UserID", "tester"},
                                         {"OnlineFile", "online.htm"},
                                         {"OfflineFile", "offline.htm"},
                                         {"RemoteFile", "index.html"},
                                         {"Port", "21"}}) {
            ini.WriteString(kSectionLocal, key, value);
        }
        std::string password = "secret";
        EncodePassword(password, PasswordKey());
        ini.WriteString(kSectionLocal, "Password", password);
        ini.WriteString(kSectionPreferences, "IsUpdateOnStart", "0");
        ini.WriteString(kSectionPreferences, "RefreshIntv", "0");
        ASSERT_EQ(::pipe(signals), 0);
    }
    void TearDown() override {
        ::close(signals[0]);
        ::close(signals[1]);
    }

    void Send(unsigned char signo) { ASSERT_EQ(::write(signals[1], &signo, 1), 1); }
    std::string Lines() const {
        std::string all;
        for (const std::string& line : lines) {
            all += line + "\n";
        }
        return all;
    }

    TempDir work;
    AppState state{work.Path(), work.File("Orvex.ini")};
    HandOverHost workerHost;
    ManualClock clock{1700000000};
    std::vector<std::string> lines;
    Service service{state, workerHost, clock,
                    [this](const std::string& line) { lines.push_back(line); }};
    int signals[2] = {-1, -1};
};

TEST_F(ServiceLoopTest, HangupReloadsAndStopWithoutOfflinePageEndsAtOnce) {
    ASSERT_TRUE(service.LoadSettings());
    Profile(work.File("Orvex.ini")).WriteString(kSectionPreferences, "Timeout", "42");
    Send(SIGHUP);
    Send(SIGTERM);
    EXPECT_EQ(service.Run(signals[0]), 0);
    EXPECT_TRUE(service.Ended());
    EXPECT_EQ(state.Settings().Timeout, 42);
    EXPECT_NE(Lines().find("Settings reloaded from " + work.File("Orvex.ini") + ".\n"),
              std::string::npos)
        << Lines();
    EXPECT_FALSE(service.Timer().Armed());

    // A file that lost its server keeps the settings in use.
    Profile(work.File("Orvex.ini")).WriteString(kSectionLocal, "FTPServer", "");
    service.Reload();
    EXPECT_EQ(state.Settings().FTPServer, "127.0.0.1");
    EXPECT_NE(Lines().find("the settings in use are kept"), std::string::npos);
}

TEST_F(ServiceLoopTest, ABoxAboutTheLogItselfIsPrintedOnceAndNeverLoops) {
    Profile ini(work.File("Orvex.ini"));
    ini.WriteString(kSectionPreferences, "IsLogging", "1");
    ini.WriteString(kSectionPreferences, "LogFilename", "");
    ASSERT_TRUE(service.LoadSettings());
    service.OwnHost().Status(HostMessage::Coded("P10009 Requesting WAN IP address..."));
    ASSERT_EQ(lines.size(), 2u) << Lines();
    EXPECT_EQ(lines[0], std::string("Orvex: ") + kLogNameMissingText);
    EXPECT_EQ(lines[1], "P10009 Requesting WAN IP address...");
}

TEST_F(ServiceLoopTest, FtpServerMissingLeavesTheFileAsItWas) {
    Profile(work.File("Orvex.ini")).WriteString(kSectionLocal, "FTPServer", "");
    const std::string before = ReadFile(work.File("Orvex.ini"));
    EXPECT_FALSE(service.LoadSettings());
    EXPECT_EQ(ReadFile(work.File("Orvex.ini")), before);
}

TEST(SystemdNotifyTest, WatchdogBoundIsTakenOnlyWhenMeantForThisProcess) {
    struct Case {
        const char* usec;
        const char* pid;
        uint64_t bound;
    };
    const std::vector<Case> cases = {
        {nullptr, nullptr, 0},
        {"400000", nullptr, 400000},
        {"400000", "4242", 400000},
        {"400000", "4243", 0},
        {"400000", "", 0},
        {"-5", nullptr, 0},
        {"12x", nullptr, 0},
        {"", nullptr, 0},
        {"99999999999999999999", nullptr, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.usec ? c.usec : "(unset)") + " " + (c.pid ? c.pid : "(unset)"));
        EXPECT_EQ(WatchdogMicroseconds(c.usec, c.pid, 4242), c.bound);
    }
}

TEST(SystemdNotifyTest, StatesReachAManagerSocketInTheAbstractNamespace) {
    const std::string name = "orvex-notify-test-" + std::to_string(::getpid());
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, name.data(), name.size());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address),
                     static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size())),
              0);
    ::setenv("NOTIFY_SOCKET", ("@" + name).c_str(), 1);
    SystemdNotifier notifier;
    notifier.Ready();
    notifier.Status("two\nlines");
    ::unsetenv("NOTIFY_SOCKET");
    notifier.Stopping();  // outside a unit: nothing is sent
    std::vector<std::string> received;
    char buffer[1024];
    for (ssize_t n = 0; (n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0;) {
        received.emplace_back(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    EXPECT_EQ(received, (std::vector<std::string>{"READY=1", "STATUS=two lines"}));
}

}  // namespace
}  // namespace orvex::test
