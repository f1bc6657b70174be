// The built program against real servers on 127.0.0.1: what a user sees happen on the web
// server, in the mailbox, in the log and in the settings file.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <map>
#include <memory>

#include <gtest/gtest.h>

#include "ProgramRun.h"
#include "ScriptedPeer.h"
#include "ServerProcess.h"
#include "TempDir.h"
#include "UploadSettings.h"
#include "X11Probe.h"
#include "XvfbServer.h"
#include "platform/Profile.h"
#include "settings/SettingsFile.h"

namespace orvex::test {
namespace {

class PublishE2ETest : public ::testing::Test {
protected:
    PublishE2ETest()
        : ftp(kPython, {PeerScript("ftp_server.py"), "--root", ftpRoot.Path(), "--user", "tester",
                        "--password", "secret", "--quiet"}),
          echo(kPython, {PeerScript("echo_page.py")}) {}

    void SetUp() override {
        ASSERT_TRUE(ftp.Ready()) << ftp.Log();
        ASSERT_TRUE(echo.Ready()) << echo.Log();
        WriteFile(work.File("online.htm"), "<p>%H is %S at %WI</p>");
        WriteFile(work.File("offline.htm"), "<p>%H is %S</p>");
        WriteFile(work.File("mail.htm"), "Reach %H at %WI");
        Configure(ftp.Port());
    }

    // A settings file as a user who filled in every page would have it.
    void Configure(int ftpPort) {
        Profile ini(work.File("Orvex.ini"));
        const char* P = kSectionPreferences;
        WriteUploadSettings(ini, ftpPort, "secret", LoopbackUrl(echo.Port()));
        ini.WriteString(P, "IsLogging", "1");
        ini.WriteString(P, "LogFilename", "Orvex.log");
        ini.WriteString(P, "IsUpdateOnStart", "1");
        ini.WriteString(P, "IsUpdateOnShut", "0");
        ini.WriteString(P, "SuppressError", "1");
        ini.WriteString(P, "RefreshIntv", "0");
        ini.WriteString(P, "Timeout", "5");
    }

    void Set(const char* section, const char* key, const std::string& value) {
        Profile(work.File("Orvex.ini")).WriteString(section, key, value);
    }

    bool LogHas(const std::string& text, int timeoutMs) {
        return WaitFor(timeoutMs, [&] {
            return ReadFile(work.File("Orvex.log")).find(text) != std::string::npos;
        });
    }

    bool PageIs(const std::string& content, int timeoutMs) {
        return WaitFor(timeoutMs, [&] { return ReadFile(ftpRoot.File("index.html")) == content; });
    }

    TempDir work;
    TempDir runtime;
    TempDir ftpRoot;
    ServerProcess ftp;
    ServerProcess echo;
};

TEST_F(PublishE2ETest, ConfiguredStartUploadsMailsLogsAndRemembersTheAddresses) {
    TempDir mailDir;
    ServerProcess smtp(kPython, {PeerScript("smtp_server.py"), mailDir.Path(), "--port", "0"});
    ASSERT_TRUE(smtp.Ready()) << smtp.Log();
    Set(kSectionPreferences, "EnableMail", "1");
    Set(kSectionPreferences, "EmailServer", "127.0.0.1");
    Set(kSectionPreferences, "EmailPort", std::to_string(smtp.Port()));
    Set(kSectionPreferences, "EmailFrom", "home@orvex.test");
    Set(kSectionPreferences, "EmailTo", "friend@orvex.test");
    Set(kSectionPreferences, "EmailSubject", "Where I am");
    Set(kSectionPreferences, "EmailInput", "mail.htm");

    ProgramRun run(work.Path(), runtime.Path());
    EXPECT_TRUE(PageIs("<p>Home is Online at 127.0.0.1</p>", 30000));
    ASSERT_TRUE(LogHas("System Online:   LAN IP: ", 30000)) << ReadFile(work.File("Orvex.log"));
    EXPECT_NE(ReadFile(mailDir.File("1.eml")).find("Reach Home at 127.0.0.1"), std::string::npos);

    const std::string log = ReadFile(work.File("Orvex.log"));
    for (const char* line :
         {"Requesting WAN IP address...\r\n", "Attempting to send email...\r\n",
          "Successfully sent email.\r\n", "Attempting to connect to FTP Server...\r\n",
          "Successfuly copied file.\r\n", ", WAN IP: 127.0.0.1\r\n"}) {
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    }
    Profile ini(work.File("Orvex.ini"));
    EXPECT_EQ(ini.GetString("IPAddress", "LastWANIP", ""), "127.0.0.1");
    EXPECT_NE(ini.GetString("IPAddress", "LastLANIP", ""), "");
    EXPECT_FALSE(FileExists(work.File("Online.txt")));
    EXPECT_TRUE(run.Running());
}

// The desktop program tells a failure in plain words after its code, in the log as in orvexd.
TEST_F(PublishE2ETest, FailuresAreToldInPlainWordsBesideTheirCodes) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    const std::string port = std::to_string(ntohs(address.sin_port));
    Set(kSectionLocal, "Port", port);
    Set(kSectionLocal, "WANIPURL", "http://no-such-host.invalid/");
    ProgramRun run(work.Path(), runtime.Path());
    const std::string last = "127.0.0.1:" + port + " refused the connection";
    ASSERT_TRUE(LogHas(last, 30000)) << ReadFile(work.File("Orvex.log"));
    const std::string log = ReadFile(work.File("Orvex.log"));
    size_t at = 0;
    for (const std::string& line :
         {std::string("WAN address service http://no-such-host.invalid/: host name not found: "
                      "no-such-host.invalid"),
          std::string("Unable to resolve hostname/Connection Timeout"), last}) {
        at = log.find(line + "\r\n", at);
        ASSERT_NE(at, std::string::npos) << line << "\n" << log;
    }
}

TEST_F(PublishE2ETest, SigtermPublishesTheOfflinePageAndEnds) {
    Set(kSectionPreferences, "IsUpdateOnShut", "1");
    ProgramRun run(work.Path(), runtime.Path());
    ASSERT_TRUE(PageIs("<p>Home is Online at 127.0.0.1</p>", 30000));
    ASSERT_TRUE(LogHas("System Online:", 10000));
    ::kill(run.Pid(), SIGTERM);
    EXPECT_EQ(run.WaitExit(30000), 0);
    EXPECT_EQ(ReadFile(ftpRoot.File("index.html")), "<p>Home is Offline</p>");
    EXPECT_NE(ReadFile(work.File("Orvex.log")).find("System Offline."), std::string::npos);
}

// A second start with --refresh: the running copy refreshes, the second one exits 0.
TEST_F(PublishE2ETest, SecondStartWithRefreshMakesTheRunningCopyRefresh) {
    ProgramRun run(work.Path(), runtime.Path());
    ASSERT_TRUE(PageIs("<p>Home is Online at 127.0.0.1</p>", 30000));
    WriteFile(work.File("online.htm"), "<p>%H refreshed at %WI</p>");
    ProgramRun second(work.Path(), runtime.Path(), {}, {"--refresh"});
    EXPECT_EQ(second.WaitExit(10000), 0);
    EXPECT_TRUE(PageIs("<p>Home refreshed at 127.0.0.1</p>", 30000));
    EXPECT_TRUE(run.Running());
}

// A desktop session of our own: the close box, and a second start bringing the window up.
class DesktopE2ETest : public PublishE2ETest {
protected:
    void SetUp() override {
        PublishE2ETest::SetUp();
        if (!xvfb.Started()) {
            GTEST_SKIP() << "no private X server: " << xvfb.Error();
        }
        wm = std::make_unique<WindowManager>(xvfb.Display());
        if (!wm->Running()) {
            GTEST_SKIP() << "openbox is not installed";
        }
    }

    std::map<std::string, std::string> Desktop() const {
        return {{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", xvfb.Display()}};
    }

    XvfbServer xvfb;
    std::unique_ptr<WindowManager> wm;
};

TEST_F(DesktopE2ETest, CloseBoxWithUpdateOnShutPublishesTheOfflinePageAndEnds) {
    Set(kSectionPreferences, "IsUpdateOnShut", "1");
    ProgramRun run(work.Path(), runtime.Path(), Desktop());
    ASSERT_TRUE(PageIs("<p>Home is Online at 127.0.0.1</p>", 30000));
    ASSERT_TRUE(LogHas("System Online:", 10000));
    X11Probe probe(xvfb.Display());
    unsigned long window = 0;
    ASSERT_TRUE(WaitFor(10000, [&] { return (window = probe.FindWindow("Orvex")) != 0; }));
    probe.RequestClose(window);
    EXPECT_EQ(run.WaitExit(30000), 0);
    EXPECT_EQ(ReadFile(ftpRoot.File("index.html")), "<p>Home is Offline</p>");
}

TEST_F(DesktopE2ETest, SecondStartExitsWithOneAndShowsTheFirstWindow) {
    Set(kSectionPreferences, "IsMinOnStartup", "1");
    Set(kSectionPreferences, "IsUpdateOnStart", "0");
    ProgramRun first(work.Path(), runtime.Path(), Desktop());
    X11Probe probe(xvfb.Display());
    unsigned long window = 0;
    ASSERT_TRUE(WaitFor(10000, [&] { return (window = probe.FindWindow("Orvex")) != 0; }));
    // This desktop has no notification area, so the window is iconified rather than hidden.
    // Not yet mapped would also read as not viewable: wait for the window manager's own word.
    ASSERT_TRUE(WaitFor(10000, [&] { return probe.Iconic(window) && !probe.Viewable(window); }))
        << "minimised at start";

    TempDir otherWork;
    ProgramRun second(otherWork.Path(), runtime.Path(), Desktop());
    EXPECT_EQ(second.WaitExit(10000), 1);
    EXPECT_TRUE(WaitFor(10000, [&] { return probe.Viewable(window); }));
    EXPECT_TRUE(first.Running());
}

// Connects to the running copy's local socket and times how long it takes to answer.
int MillisecondsToAnswer(const std::string& runtimeDir) {
    const std::string path = runtimeDir + "/orvex-" + std::to_string(getuid()) + "/Orvex";
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    const auto start = std::chrono::steady_clock::now();
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        close(fd);
        return -1;
    }
    send(fd, "show\n", 5, MSG_NOSIGNAL);
    timeval limit{10, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    char byte;
    recv(fd, &byte, 1, 0);  // returns when the program closes its end
    close(fd);
    return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::steady_clock::now() - start)
                                .count());
}

TEST_F(PublishE2ETest, SilentServerEndsTheCycleInBoundedTimeWhileTheWindowAnswers) {
    ScriptedPeer silent;
    silent.Hold();
    silent.Start();
    Configure(silent.Port());
    Set(kSectionPreferences, "Timeout", "1");
    ProgramRun run(work.Path(), runtime.Path());
    ASSERT_TRUE(LogHas("Attempting to connect to FTP Server...", 30000));
    const int answer = MillisecondsToAnswer(runtime.Path());
    EXPECT_GE(answer, 0);
    EXPECT_LT(answer, 3000) << "the window must stay responsive while the cycle waits";
    // The wait for the greeting gives up after the inactivity limit (60 s at most here).
    EXPECT_TRUE(LogHas("Unable to resolve hostname/Connection Timeout", 90000))
        << ReadFile(work.File("Orvex.log"));
    EXPECT_TRUE(run.Running());
    silent.Stop();
}

}  // namespace
}  // namespace orvex::test
