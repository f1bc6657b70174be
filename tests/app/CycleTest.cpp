#include "app/PublishCycle.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "AppFakes.h"
#include "ManualClock.h"
#include "app/Cycles.h"

#include "RecordingHost.h"
#include "ScriptedPeer.h"
#include "ServerProcess.h"
#include "TempDir.h"

namespace orvex::test {
namespace {

class FixedResolver : public HostResolver {
public:
    std::vector<Ipv4Address> OwnAddresses() override { return {{10, 1, 2, 3}}; }
};

// A whole cycle against a real FTP server and a real echo page, both on 127.0.0.1.
class CycleTest : public ::testing::Test {
protected:
    CycleTest()
        : state(work.Path(), work.File("Orvex.ini")),
          ftp(kPython, {PeerScript("ftp_server.py"), "--root", ftpRoot.Path(), "--user", "tester",
                        "--password", "secret", "--quiet"}),
          echo(kPython, {PeerScript("echo_page.py")}),
          env{resolver, {}, [](const std::string&) { return false; }, {}} {}

    void SetUp() override {
        ASSERT_TRUE(ftp.Ready()) << ftp.Log();
        ASSERT_TRUE(echo.Ready()) << echo.Log();
        WriteFile(work.File("online.htm"), "<p>%H is %S at %WI (LAN %I)</p>");
        WriteFile(work.File("offline.htm"), "<p>%H is %S</p>");
        state.Ini().WriteString("LocalSettings", "WANIPURL",
                                "http://127.0.0.1:" + std::to_string(echo.Port()) + "/");
        state.EditSettings([&](AppSettings& s) {
            s.FTPServer = "127.0.0.1";
            s.Port = ftp.Port();
            s.SiteName = "Home";
            s.UserID = "tester";
            s.Password = "secret";
            s.OnlineFile = ".\\online.htm";
            s.OfflineFile = "offline.htm";
            s.RemoteFile = "index.html";
            s.EnableFTP = 1;
            s.SaveFileHTML = "Orvex.html";
            s.SaveFileASCII = "Orvex.txt";
            s.StartDelimiter = "REMOTE_ADDR:";
            s.EndDelimiter = "<br>";
            s.SuppressError = 1;
            s.Timeout = 5;
        });
    }

    void Set(const std::function<void(AppSettings&)>& edit) { state.EditSettings(edit); }

    TempDir work;
    TempDir ftpRoot;
    AppState state;
    ServerProcess ftp;
    ServerProcess echo;
    FixedResolver resolver;
    CycleEnvironment env;
    RecordingHost host;
};

TEST_F(CycleTest, OnlineCycleUploadsTheExpandedPageAndReportsEveryStep) {
    EXPECT_EQ(OnlineCycle(state, host, DefaultClock(), env), 1);
    EXPECT_EQ(ReadFile(ftpRoot.File("index.html")),
              "<p>Home is Online at 127.0.0.1 (LAN 10.1.2.3)</p>");
    EXPECT_FALSE(FileExists(work.File("Online.txt")));
    EXPECT_EQ(ReadFile(work.File("Orvex.txt")), "127.0.0.1");

    const std::vector<std::string> t = host.Transcript();
    ASSERT_GE(t.size(), 10u);
    EXPECT_EQ(t[0], "status: P10009 Requesting WAN IP address...");
    EXPECT_EQ(t[1], "cycle: 200");
    EXPECT_EQ(t[2], "cycle: 200");
    EXPECT_EQ(t[3], "status: P10004 Attempting to connect to FTP Server...");
    EXPECT_EQ(t[4].rfind("status: 230", 0), 0u) << t[4];  // logged on
    EXPECT_EQ(t[5].rfind("status: 200", 0), 0u) << t[5];  // TYPE A
    EXPECT_EQ(t[6].rfind("status: 5", 0), 0u) << t[6];    // REST 0: refused in ASCII, not tested
    EXPECT_EQ(t[7], "status: P10003 Successfuly copied file.");
    EXPECT_EQ(t[8].rfind("status: 226", 0), 0u) << t[8];
    EXPECT_EQ(t[9], "status: P10005 System Online:   ");
    EXPECT_EQ(t[10], "cycle: 201");
    EXPECT_EQ(t.size(), 11u);

    EXPECT_EQ(state.Flags.CycleBusy, 0);
    EXPECT_EQ(state.Flags.CycleSucceeded, 1);
    EXPECT_EQ(state.ConnectionState(), "Online");
    EXPECT_EQ(state.Ini().GetString("IPAddress", "LastWANIP", ""), "127.0.0.1");
    EXPECT_EQ(state.Ini().GetString("IPAddress", "LastLANIP", ""), "10.1.2.3");
}

TEST_F(CycleTest, RemoteFolderIsChangedIntoBeforeTheUpload) {
    ASSERT_EQ(system(("mkdir -p " + ftpRoot.File("www/site") + " " + ftpRoot.File("a/b")).c_str()),
              0);
    Set([](AppSettings& s) { s.RemoteFile = "www/site/index.html"; });
    EXPECT_EQ(OnlineCycle(state, host, DefaultClock(), env), 1);
    EXPECT_TRUE(FileExists(ftpRoot.File("www/site/index.html")));
    const auto statuses = host.Statuses();
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), "P10002 Successfully changed folder."),
              statuses.end());

    Set([](AppSettings& s) { s.RemoteFile = "a/b\\c.htm"; });
    EXPECT_EQ(OnlineCycle(state, host, DefaultClock(), env), 1);
    EXPECT_TRUE(FileExists(ftpRoot.File("a/b/c.htm")));
}

// A server behind NAT names another address in its passive reply: the page still goes up, to
// the address the cycle called, and the replaced address is told once.
TEST_F(CycleTest, PassiveReplyNamingAnotherAddressIsToldOnceAndTheUploadGoesToTheServer) {
    ServerProcess masked(kPython,
                         {PeerScript("ftp_server.py"), "--root", ftpRoot.Path(), "--user", "tester",
                          "--password", "secret", "--quiet", "--masquerade", "127.0.0.2"});
    ASSERT_TRUE(masked.Ready()) << masked.Log();
    Set([&](AppSettings& s) { s.Port = masked.Port(); });
    EXPECT_EQ(OnlineCycle(state, host, DefaultClock(), env), 1);
    EXPECT_EQ(ReadFile(ftpRoot.File("index.html")),
              "<p>Home is Online at 127.0.0.1 (LAN 10.1.2.3)</p>");
    const auto statuses = host.Statuses();
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(),
                         "The server's passive reply named 127.0.0.2; the data connection went to "
                         "127.0.0.1, where the control connection went."),
              1);
}

TEST_F(CycleTest, CycleWritingTheAddressesLeavesAReadableSettingsFilePrivate) {
    ASSERT_EQ(::chmod(work.File("Orvex.ini").c_str(), 0644), 0);
    EXPECT_EQ(OnlineCycle(state, host, DefaultClock(), env), 1);
    EXPECT_EQ(state.Ini().GetString("IPAddress", "LastWANIP", ""), "127.0.0.1");
    struct stat st {};
    ASSERT_EQ(::stat(work.File("Orvex.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST_F(CycleTest, WithFtpAndMailOffOnlyTheLookupsRun) {
    Set([](AppSettings& s) { s.EnableFTP = 0; });
    EXPECT_EQ(OnlineCycle(state, host, DefaultClock(), env), 1);
    EXPECT_EQ(
        host.Transcript(),
        (std::vector<std::string>{"status: P10009 Requesting WAN IP address...", "cycle: 200",
                                  "cycle: 200", "status: P10005 System Online:   ", "cycle: 201"}));
    EXPECT_FALSE(FileExists(ftpRoot.File("index.html")));
    EXPECT_FALSE(FileExists(work.File("Orvex.html")));
}

TEST_F(CycleTest, UnchangedAddressesSkipAScheduledUploadButNotAManualOne) {
    Set([](AppSettings& s) { s.FTPOnIPChangeOnly = 1; });
    state.Ini().WriteString("IPAddress", "LastWANIP", "127.0.0.1");
    state.Ini().WriteString("IPAddress", "LastLANIP", "10.1.2.3");
    EXPECT_EQ(OnlineCycle(state, host, DefaultClock(), env), 1);
    EXPECT_FALSE(FileExists(ftpRoot.File("index.html")));
    EXPECT_EQ(host.Statuses().back(), "P10005 System Online:   ");

    state.Flags.ManualRefresh = 1;
    EXPECT_EQ(OnlineCycle(state, host, DefaultClock(), env), 1);
    EXPECT_TRUE(FileExists(ftpRoot.File("index.html")));

    // A pending start-up update publishes once, then the rule holds again.
    state.Flags.ManualRefresh = 0;
    state.Flags.UpdateOnStartPending = 1;
    std::remove(ftpRoot.File("index.html").c_str());
    EXPECT_EQ(OnlineCycle(state, host, DefaultClock(), env), 1);
    EXPECT_TRUE(FileExists(ftpRoot.File("index.html")));
    EXPECT_EQ(state.Flags.UpdateOnStartPending, 0);
}

TEST_F(CycleTest, RefusedLogonShowsOnlyTheServersReplyWhenErrorsAreSuppressed) {
    ScriptedPeer peer;
    peer.SendLine("220 hello").Expect("USER tester").SendLine("530 Login incorrect.").Hold();
    peer.Start();
    Set([&](AppSettings& s) { s.Port = peer.Port(); });
    EXPECT_EQ(OnlineCycle(state, host, DefaultClock(), env), -1);
    const std::vector<std::string> refused = host.Statuses();
    ASSERT_GE(refused.size(), 2u);
    EXPECT_EQ(refused[refused.size() - 2], "530 Login incorrect.");
    EXPECT_EQ(refused.back(), "P 127.0.0.1:" + std::to_string(peer.Port()) +
                                  " refused the logon: 530 Login incorrect.");
    EXPECT_TRUE(host.MessageBoxTexts().empty());
    EXPECT_EQ(host.CycleCodes().back(), 201);
    EXPECT_TRUE(FileExists(work.File("Online.txt")));  // left for a look after a failure
    EXPECT_EQ(state.Flags.CycleSucceeded, 0);
    EXPECT_EQ(state.Flags.CycleBusy, 0);
    peer.Stop();

    Set([](AppSettings& s) {
        s.SuppressError = 0;
        s.Port = 1;
    });
    EXPECT_EQ(OnlineCycle(state, host, DefaultClock(), env), -1);
    const std::vector<std::string> local = host.Statuses();
    EXPECT_EQ(local[local.size() - 2], "");  // a local failure
    EXPECT_EQ(local.back(), "P 127.0.0.1:1 refused the connection");
    ASSERT_EQ(host.MessageBoxTexts().size(), 1u);
    EXPECT_EQ(host.MessageBoxTexts()[0], kUploadErrorText);
    EXPECT_EQ(host.Events().back().kind, RecordingHost::Event::kCycle);
}

// Through a firewall the machine called is the firewall, and the plain words name it.
TEST_F(CycleTest, FailureThroughAFirewallNamesTheFirewall) {
    uint16_t firewallPort;
    {
        ScriptedPeer gone;  // its port is free again once it is destroyed
        firewallPort = gone.Port();
    }
    Set([&](AppSettings& s) {
        s.UseProxy = 1;
        s.LogonType = 1;
        s.ProxyAddress = "localhost";
        s.FTPProxyPort = firewallPort;
    });
    state.Flags.ProxyInUse = 1;
    EXPECT_EQ(OnlineCycle(state, host, DefaultClock(), env), -1);
    const std::vector<std::string> told = host.Statuses();
    ASSERT_GE(told.size(), 2u);
    EXPECT_EQ(told[told.size() - 2], "");
    EXPECT_EQ(told.back(),
              "P localhost:" + std::to_string(firewallPort) + " refused the connection");
}

TEST_F(CycleTest, FailedManualRefreshLeavesTheNextCycleAScheduledOne) {
    Set([](AppSettings& s) { s.Port = 1; });
    state.Flags.ManualRefresh = 1;
    EXPECT_EQ(OnlineCycle(state, host, DefaultClock(), env), -1);
    EXPECT_EQ(state.Flags.ManualRefresh, 0);
}

TEST_F(CycleTest, MissingTemplateEndsTheCycleBeforeTheServerIsContacted) {
    ScriptedPeer peer;
    peer.SetStepTimeout(300).SendLine("220 hello");
    peer.Start();
    Set([&](AppSettings& s) {
        s.Port = peer.Port();
        s.OnlineFile = "missing.htm";
    });
    EXPECT_EQ(OnlineCycle(state, host, DefaultClock(), env), -1);
    peer.Finish(1000);
    EXPECT_EQ(peer.Connections(), 0);
    EXPECT_EQ(host.Statuses().back().rfind("P10007 ", 0), 0u);
    EXPECT_EQ(host.CycleCodes().back(), 201);
}

TEST_F(CycleTest, OfflineCyclePublishesTheOfflinePageAndAsksToClose) {
    EXPECT_EQ(OfflineCycle(state, host, DefaultClock(), env, true), 1);
    EXPECT_EQ(ReadFile(ftpRoot.File("index.html")), "<p>Home is Offline</p>");
    EXPECT_FALSE(FileExists(work.File("Offline.txt")));
    const auto t = host.Transcript();
    EXPECT_EQ(t.front(), "cycle: 100");
    EXPECT_EQ(t[t.size() - 2], "status: P10006 System Offline.");
    EXPECT_EQ(t.back(), "exit");
    EXPECT_EQ(state.ConnectionState(), "Offline");
}

TEST_F(CycleTest, OfflineCycleWithFtpOffClosesAndAfterExitCommittedDoesNot) {
    Set([](AppSettings& s) { s.EnableFTP = 0; });
    EXPECT_EQ(OfflineCycle(state, host, DefaultClock(), env, true), 1);
    EXPECT_EQ(host.Transcript().back(), "exit");

    RecordingHost second;
    state.Flags.ExitCommitted = 1;
    EXPECT_EQ(OfflineCycle(state, second, DefaultClock(), env, true), 1);
    EXPECT_EQ(second.Transcript().back(), "status: P10006 System Offline.");
}

TEST_F(CycleTest, FailedOfflinePublicationAtExitHidesTheShutdownWindowAndReports) {
    Set([](AppSettings& s) { s.Port = 1; });
    EXPECT_EQ(OfflineCycle(state, host, DefaultClock(), env, true), -1);
    const auto codes = host.CycleCodes();
    EXPECT_EQ(codes, (std::vector<int>{100, 200, 200, 201, 101, -1}));

    RecordingHost session;
    EXPECT_EQ(OfflineCycle(state, session, DefaultClock(), env, false), -1);
    EXPECT_EQ(session.CycleCodes(), (std::vector<int>{100, 200, 200, 201}));
}

TEST_F(CycleTest, ProxyFieldsAreResetInMemoryWhenTheProxyIsOff) {
    Set([](AppSettings& s) {
        s.EnableFTP = 0;
        s.ProxyAddress = "fw";
        s.ProxyUser = "u";
        s.ProxyPass = "p";
        s.ProxyAccount = "acct";
        s.FTPProxyPort = 2121;
        s.HTTPProxyPort = "8080";
    });
    OnlineCycle(state, host, DefaultClock(), env);
    const AppSettings s = state.Settings();
    EXPECT_EQ(s.ProxyAddress, "");
    EXPECT_EQ(s.ProxyUser, "");
    EXPECT_EQ(s.ProxyPass, "");
    EXPECT_EQ(s.FTPProxyPort, 21);
    EXPECT_EQ(s.HTTPProxyPort, "80");
    EXPECT_EQ(s.ProxyAccount, "acct");
}

TEST_F(CycleTest, MailIsSentBeforeTheUpload) {
    TempDir mailDir;
    ServerProcess smtp(kPython, {PeerScript("smtp_server.py"), mailDir.Path(), "--port", "0"});
    ASSERT_TRUE(smtp.Ready()) << smtp.Log();
    WriteFile(work.File("mail.htm"), "Now at %WI");
    Set([&](AppSettings& s) {
        s.EnableMail = 1;
        s.EmailServer = "127.0.0.1";
        s.EmailPort = smtp.Port();
        s.EmailFrom = "me@home.test";
        s.EmailTo = "you@away.test";
        s.EmailInput = "mail.htm";
    });
    EXPECT_EQ(OnlineCycle(state, host, DefaultClock(), env), 1);
    EXPECT_NE(ReadFile(mailDir.File("1.eml")).find("Now at 127.0.0.1"), std::string::npos);
    const auto t = host.Transcript();
    ASSERT_GE(t.size(), 6u);
    EXPECT_EQ(t[3], "status: P10007 Attempting to send email...");
    EXPECT_EQ(t[4], "status: P10008 Successfully sent email.");
    EXPECT_EQ(t[5], "status: P10004 Attempting to connect to FTP Server...");
    EXPECT_TRUE(FileExists(ftpRoot.File("index.html")));
}

// A mail its own settings stop (here an unknown EmailSecurity) brings the E-Mail page forward
// after its box, unless errors are suppressed; the upload goes on either way.
TEST_F(CycleTest, MailStoppedByItsSettingsBringsTheEmailPageForward) {
    for (const int suppress : {0, 1}) {
        SCOPED_TRACE(suppress);
        RecordingHost seen;
        Set([suppress](AppSettings& s) {
            s.EnableMail = 1;
            s.EmailSecurity = 7;
            s.SuppressError = suppress;
        });
        EXPECT_EQ(OnlineCycle(state, seen, DefaultClock(), env), 1);
        const auto t = seen.Transcript();
        const auto box = std::find_if(t.begin(), t.end(), [](const std::string& line) {
            return line.rfind("box: ", 0) == 0;
        });
        const auto page = std::find(t.begin(), t.end(), "page: 5");
        EXPECT_EQ(page != t.end(), suppress == 0);
        if (suppress == 0) {
            ASSERT_NE(box, t.end());
            EXPECT_EQ(page, box + 1);
        }
        EXPECT_TRUE(FileExists(ftpRoot.File("index.html")));
    }
}

// Many refresh requests while a cycle is still in its (slow) address lookup start one cycle.
TEST(CycleOverlap, RefreshesDuringASlowLookupStartExactlyOneCycle) {
    TempDir work;
    ServerProcess slowEcho(kPython, {PeerScript("echo_page.py"), "--pieces", "3", "--gap", "1.0"});
    ASSERT_TRUE(slowEcho.Ready());
    AppState state(work.Path(), work.File("Orvex.ini"));
    state.Ini().WriteString("LocalSettings", "WANIPURL",
                            "http://127.0.0.1:" + std::to_string(slowEcho.Port()) + "/");
    state.EditSettings([](AppSettings& s) {
        s.StartDelimiter = "REMOTE_ADDR:";
        s.EndDelimiter = "<br>";
    });
    FakeWindow window;
    window.page.values = FilledFtpPage();
    FakeTimer timer;
    RecordingHost host;
    ManualClock clock;
    auto launcher = MakeCycleLauncher(state, host, DefaultClock());
    StatusDisplay status(
        state, window, clock, [](const std::string&) {},
        [] { return std::make_pair(std::string(), std::string()); });
    Scheduler scheduler(state, window, timer, host, status, *launcher);
    state.Flags.StartupReady = 1;

    // The requests stop once the cycle has ended: on a loaded machine the loop can outlast the
    // lookup, and a request after the end rightly starts the next cycle.
    scheduler.RefreshCommand();
    for (int i = 1; i < 20 && state.Flags.CycleRunning; ++i) {
        scheduler.RefreshCommand();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (state.Flags.CycleRunning && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_FALSE(state.Flags.CycleRunning);
    const auto statuses = host.Statuses();
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(), "P10009 Requesting WAN IP address..."),
              1);
    EXPECT_EQ(statuses.back(), "P10005 System Online:   ");
    EXPECT_EQ(state.Addresses.CurrentWANIP(), "127.0.0.1");

    // Once it has ended, the next request starts a cycle again.
    scheduler.RefreshCommand();
    while (state.Flags.CycleRunning && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const auto after = host.Statuses();
    EXPECT_EQ(std::count(after.begin(), after.end(), "P10009 Requesting WAN IP address..."), 2);
}

TEST(RemoteFileSplit, BackslashSplitWins) {
    std::string folder;
    std::string name;
    SplitRemoteFile("www/site/index.html", &folder, &name);
    EXPECT_EQ(folder, "www/site");
    EXPECT_EQ(name, "index.html");
    SplitRemoteFile("a/b\\c.htm", &folder, &name);
    EXPECT_EQ(folder, "a/b");
    EXPECT_EQ(name, "c.htm");
    SplitRemoteFile("a\\b/c.htm", &folder, &name);
    EXPECT_EQ(folder, "a");
    EXPECT_EQ(name, "b/c.htm");
    SplitRemoteFile("index.html", &folder, &name);
    EXPECT_EQ(folder, "");
    EXPECT_EQ(name, "index.html");
}

// Interface addresses chosen by the test: a temporary one listed before the stable one.
class Ipv6Resolver : public HostResolver {
public:
    std::vector<Ipv4Address> OwnAddresses() override { return {{10, 1, 2, 3}}; }
    std::vector<Ipv6InterfaceAddress> Ipv6Addresses() override {
        return {{"2001:db8::99", true, false}, {stable, false, false}};
    }
    std::string stable = "2001:db8::5";
};

// With IPv6 on, the page with the IPv6 tokens goes to an FTP server on ::1, the mail to an SMTP
// server on ::1, and a change of an IPv6 address alone counts as a change.
TEST(Ipv6CycleTest, PageAndMailCarryTheIpv6AddressesToServersOnIpv6) {
    TempDir work;
    TempDir ftpRoot;
    TempDir mailDir;
    ServerProcess ftp(kPython, {PeerScript("ftp_server.py"), "--root", ftpRoot.Path(), "--user",
                                "tester", "--password", "secret", "--quiet", "--bind", "::1"});
    ServerProcess echo(kPython,
                       {PeerScript("echo_page.py"), "--bind", "127.0.0.1", "--bind", "::1"});
    ServerProcess smtp(kPython, {PeerScript("smtp_server.py"), mailDir.Path(), "--bind", "::1"});
    ASSERT_TRUE(ftp.Ready() && echo.Ready() && smtp.Ready()) << ftp.Log() << echo.Log();
    AppState state(work.Path(), work.File("Orvex.ini"));
    Ipv6Resolver resolver;
    CycleEnvironment env{resolver, {}, [](const std::string&) { return false; }, {}};
    RecordingHost host;
    const std::string page = "<p>%WI6 %I6 | %WI %I</p>";
    WriteFile(work.File("online.htm"), page);
    WriteFile(work.File("mail.txt"), "Now at %WI6 and %WI");
    const std::string echoPort = std::to_string(echo.Port());
    state.Ini().WriteString("LocalSettings", "WANIPURL", "http://127.0.0.1:" + echoPort + "/");
    // A name that resolves to both families: asked over IPv6 only.
    state.Ini().WriteString("Preferences", "WANIPURL6", "http://localhost:" + echoPort + "/");
    state.EditSettings([&](AppSettings& s) {
        s.FTPServer = "localhost";
        s.Port = ftp.Port();
        s.UserID = "tester";
        s.Password = "secret";
        s.OnlineFile = "online.htm";
        s.RemoteFile = "index.html";
        s.EnableFTP = 1;
        s.StartDelimiter = "REMOTE_ADDR:";
        s.EndDelimiter = "<br>";
        s.SuppressError = 1;
        s.Timeout = 5;
        s.EnableMail = 1;
        s.EmailServer = "[::1]";
        s.EmailPort = smtp.Port();
        s.EmailFrom = "orvex@home.test";
        s.EmailTo = "me@home.test";
        s.EmailSubject = "Where";
        s.EmailInput = "mail.txt";
        s.EnableIPv6 = 1;
    });

    ASSERT_EQ(OnlineCycle(state, host, DefaultClock(), env), 1);
    EXPECT_EQ(ReadFile(ftpRoot.File("index.html")), "<p>::1 2001:db8::5 | 127.0.0.1 10.1.2.3</p>");
    EXPECT_NE(ReadFile(mailDir.File("1.eml")).find("Now at ::1 and 127.0.0.1"), std::string::npos);
    EXPECT_EQ(state.Ini().GetString("IPAddress", "LastWANIP6", ""), "::1");
    EXPECT_EQ(state.Ini().GetString("IPAddress", "LastLANIP6", ""), "2001:db8::5");

    // Only on a change: nothing changed, nothing is uploaded.
    state.EditSettings([](AppSettings& s) {
        s.FTPOnIPChangeOnly = 1;
        s.EnableMail = 0;
    });
    WriteFile(ftpRoot.File("index.html"), "old");
    ASSERT_EQ(OnlineCycle(state, host, DefaultClock(), env), 1);
    EXPECT_EQ(ReadFile(ftpRoot.File("index.html")), "old");
    resolver.stable = "2001:db8::6";
    ASSERT_EQ(OnlineCycle(state, host, DefaultClock(), env), 1);
    EXPECT_EQ(ReadFile(ftpRoot.File("index.html")), "<p>::1 2001:db8::6 | 127.0.0.1 10.1.2.3</p>");

    // Switched off, the IPv6 tokens are text again and the IPv6 addresses no change.
    state.EditSettings([](AppSettings& s) { s.EnableIPv6 = 0; });
    resolver.stable = "2001:db8::7";
    WriteFile(ftpRoot.File("index.html"), "old");
    ASSERT_EQ(OnlineCycle(state, host, DefaultClock(), env), 1);
    EXPECT_EQ(ReadFile(ftpRoot.File("index.html")), "old");
    state.EditSettings([](AppSettings& s) { s.FTPOnIPChangeOnly = 0; });
    ASSERT_EQ(OnlineCycle(state, host, DefaultClock(), env), 1);
    EXPECT_EQ(ReadFile(ftpRoot.File("index.html")),
              "<p>127.0.0.16 10.1.2.36 | 127.0.0.1 10.1.2.3</p>");
}

}  // namespace
}  // namespace orvex::test
