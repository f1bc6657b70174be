// The built orvexd against real servers on 127.0.0.1: one-shot runs and their exit codes, the
// service's schedule and signals, the settings check and listing, and the lock it shares with
// the desktop program.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include <gtest/gtest.h>

#include "ScriptedPeer.h"
#ifdef ORVEX_BINARY
#include "ProgramRun.h"
#endif
#include "ServerProcess.h"
#include "ServiceRun.h"
#include "TempDir.h"
#include "UploadSettings.h"
#include "platform/Profile.h"
#include "settings/SettingsFile.h"

namespace orvex::test {
namespace {

class ServiceE2ETest : public ::testing::Test {
protected:
    ServiceE2ETest()
        : ftp(kPython, {PeerScript("ftp_server.py"), "--root", ftpRoot.Path(), "--user", "tester",
                        "--password", "secret", "--quiet"}),
          echo(kPython, {PeerScript("echo_page.py")}) {}

    void SetUp() override {
        ASSERT_TRUE(ftp.Ready()) << ftp.Log();
        ASSERT_TRUE(echo.Ready()) << echo.Log();
        WriteFile(work.File("online.htm"), "<p>%H is %S at %WI</p>");
        WriteFile(work.File("offline.htm"), "<p>%H is %S</p>");
        Configure(ftp.Port(), "secret");
    }

    void Configure(int ftpPort, std::string password) {
        const char* P = kSectionPreferences;
        Profile ini(work.File("Orvex.ini"));
        WriteUploadSettings(ini, ftpPort, password, LoopbackUrl(echo.Port()));
        Set(P, "IsLogging", "1");
        Set(P, "LogFilename", "Orvex.log");
        Set(P, "IsUpdateOnStart", "1");
        Set(P, "IsUpdateOnShut", "0");
        Set(P, "SuppressError", "0");
        Set(P, "RefreshIntv", "0");
        Set(P, "Timeout", "5");
    }

    void Set(const char* section, const char* key, const std::string& value) {
        Profile(work.File("Orvex.ini")).WriteString(section, key, value);
    }

    bool PageIs(const std::string& content, int timeoutMs) {
        return WaitUntil(timeoutMs,
                         [&] { return ReadFile(ftpRoot.File("index.html")) == content; });
    }

    ServiceResult Run(const std::vector<std::string>& args) {
        return RunService(work.Path(), runtime.Path(), args);
    }

    TempDir work;
    TempDir runtime;
    TempDir ftpRoot;
    ServerProcess ftp;
    ServerProcess echo;
};

TEST_F(ServiceE2ETest, OnceExitsZeroAfterPublishingAndOneAfterARefusedLogon) {
    ServiceResult ok = Run({"--once"});
    EXPECT_EQ(ok.code, 0) << ok.out << ok.err;
    EXPECT_EQ(ReadFile(ftpRoot.File("index.html")), "<p>Home is Online at 127.0.0.1</p>");
    EXPECT_NE(ok.out.find("P10009 Requesting WAN IP address...\n"), std::string::npos) << ok.out;
    EXPECT_NE(ok.out.find("P10005 System Online:   LAN IP: "), std::string::npos) << ok.out;
    EXPECT_NE(ok.out.find(", WAN IP: 127.0.0.1\n"), std::string::npos) << ok.out;
    EXPECT_NE(ReadFile(work.File("Orvex.log")).find("Successfuly copied file."), std::string::npos);

    std::remove(ftpRoot.File("index.html").c_str());
    Configure(ftp.Port(), "wrong");
    ServiceResult refused = Run({"--once"});
    EXPECT_EQ(refused.code, 1) << refused.out << refused.err;
    EXPECT_FALSE(FileExists(ftpRoot.File("index.html")));
    // The error box the desktop would show is a line, answered at once, and a log line.
    EXPECT_NE(refused.out.find("\n530 "), std::string::npos) << refused.out;
    const std::string box = "Orvex: There was an error uploading page.";
    EXPECT_NE(refused.out.find(box), std::string::npos) << refused.out;
    EXPECT_NE(ReadFile(work.File("Orvex.log")).find(box.substr(7)), std::string::npos);
}

TEST_F(ServiceE2ETest, OnceWithAnUnreachableEchoPageFollowsUpdateOnNAIP) {
    // A port nobody listens on: the lookup fails at once.
    ScriptedPeer closed;
    const int deadPort = closed.Port();
    closed.Stop();
    Set(kSectionLocal, "WANIPURL", "http://127.0.0.1:" + std::to_string(deadPort) + "/");
    Set(kSectionAddress, "LastWANIP", "198.51.100.7");

    Set(kSectionPreferences, "UpdateOnNAIP", "0");
    ServiceResult keep = Run({"--once"});
    EXPECT_EQ(keep.code, 0) << keep.out << keep.err;
    EXPECT_EQ(ReadFile(ftpRoot.File("index.html")), "<p>Home is Online at 198.51.100.7</p>");

    Set(kSectionPreferences, "UpdateOnNAIP", "1");
    ServiceResult publish = Run({"--once"});
    EXPECT_EQ(publish.code, 0) << publish.out << publish.err;
    EXPECT_EQ(ReadFile(ftpRoot.File("index.html")), "<p>Home is Online at N/A</p>");
}

// A loopback port nothing listens on.
int UnusedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

// Each failing step's own line, then plain words naming the server: in the output and the log.
TEST_F(ServiceE2ETest, FailuresAreToldInPlainWordsBesideTheirCodes) {
    const std::string mailPort = std::to_string(UnusedPort());
    const std::string ftpPort = std::to_string(UnusedPort());
    Set(kSectionLocal, "WANIPURL", "http://no-such-host.invalid/");
    Set(kSectionLocal, "Port", ftpPort);
    WriteFile(work.File("mail.htm"), "Reach %H at %WI");
    Set(kSectionPreferences, "EnableMail", "1");
    Set(kSectionPreferences, "EmailServer", "127.0.0.1");
    Set(kSectionPreferences, "EmailPort", mailPort);
    Set(kSectionPreferences, "EmailFrom", "home@orvex.test");
    Set(kSectionPreferences, "EmailTo", "friend@orvex.test");
    Set(kSectionPreferences, "EmailInput", "mail.htm");
    Set(kSectionPreferences, "SuppressError", "1");
    ServiceResult failed = Run({"--once"});
    EXPECT_EQ(failed.code, 1) << failed.out << failed.err;

    const std::vector<std::string> told = {
        "Requesting WAN IP address...",
        "WAN address service http://no-such-host.invalid/: host name not found: "
        "no-such-host.invalid",
        "Email not sent: SEE Error -36: Error attempting to connect. ",
        "127.0.0.1:" + mailPort + " refused the connection",
        "Attempting to connect to FTP Server...",
        "Unable to resolve hostname/Connection Timeout",
        "127.0.0.1:" + ftpPort + " refused the connection",
    };
    const std::string log = ReadFile(work.File("Orvex.log"));
    size_t at = 0;
    for (const std::string& line : told) {
        at = log.find(line + "\r\n", at);
        ASSERT_NE(at, std::string::npos) << line << "\n" << log;
    }
    EXPECT_NE(failed.out.find("\nP 127.0.0.1:" + ftpPort + " refused the connection\n"),
              std::string::npos)
        << failed.out;
}

TEST_F(ServiceE2ETest, OfflineOptionPublishesTheOfflinePage) {
    ServiceResult result = Run({"--offline"});
    EXPECT_EQ(result.code, 0) << result.out << result.err;
    EXPECT_EQ(ReadFile(ftpRoot.File("index.html")), "<p>Home is Offline</p>");
    EXPECT_NE(result.out.find("P10006 System Offline.\n"), std::string::npos) << result.out;
}

// One run of the service through its whole life: a cycle at start, a changed interval and
// template picked up on SIGHUP (the interval's first cycle comes a minute later), no toolkit
// in the process, and the offline page on SIGTERM.
TEST_F(ServiceE2ETest, ServiceRunsTheScheduleReloadsOnHangupAndPublishesOfflineOnTerm) {
    Set(kSectionPreferences, "IsUpdateOnShut", "1");
    ServiceRun run(work.Path(), runtime.Path());
    ASSERT_TRUE(PageIs("<p>Home is Online at 127.0.0.1</p>", 30000)) << run.Output();
    ASSERT_TRUE(run.OutputHas("P10005 System Online:", 10000)) << run.Output();

    const std::string maps = ReadFile("/proc/" + std::to_string(run.Pid()) + "/maps");
    EXPECT_NE(maps.find("libc.so"), std::string::npos);
    EXPECT_EQ(maps.find("libQt"), std::string::npos);

    WriteFile(work.File("online2.htm"), "<p>%H answers at %WI</p>");
    Set(kSectionLocal, "OnlineFile", "online2.htm");
    Set(kSectionPreferences, "RefreshIntv", "1");
    run.Signal(SIGHUP);
    ASSERT_TRUE(run.OutputHas("Settings reloaded from ", 10000)) << run.Output();
    EXPECT_TRUE(PageIs("<p>Home answers at 127.0.0.1</p>", 90000)) << run.Output();

    run.Signal(SIGTERM);
    EXPECT_EQ(run.WaitExit(30000), 0) << run.Output() << run.Errors();
    EXPECT_EQ(ReadFile(ftpRoot.File("index.html")), "<p>Home is Offline</p>");
    EXPECT_NE(ReadFile(work.File("Orvex.log")).find("System Offline."), std::string::npos);
}

TEST_F(ServiceE2ETest, SecondStopSignalEndsAtOnceDuringTheOfflinePublication) {
    // An FTP server that greets and then says nothing more.
    ScriptedPeer silent;
    silent.SendLine("220 ready").Hold();
    silent.Start();
    Set(kSectionLocal, "Port", std::to_string(silent.Port()));
    Set(kSectionPreferences, "IsUpdateOnStart", "0");
    Set(kSectionPreferences, "IsUpdateOnShut", "1");
    Set(kSectionPreferences, "Timeout", "60");
    ServiceRun run(work.Path(), runtime.Path());
    ASSERT_TRUE(run.OutputHas("runs without a window", 10000)) << run.Output() << run.Errors();
    run.Signal(SIGTERM);
    ASSERT_TRUE(run.OutputHas("P10004 Attempting to connect to FTP Server...", 15000))
        << run.Output();
    run.Signal(SIGTERM);
    EXPECT_EQ(run.WaitExit(3000), 128 + SIGTERM) << run.Output();
    silent.Stop();
}

TEST_F(ServiceE2ETest, CheckNamesEveryProblemAndChangesNothing) {
    ServiceResult good = Run({"--check"});
    EXPECT_EQ(good.code, 0) << good.out;
    EXPECT_NE(good.out.find("no problems found"), std::string::npos) << good.out;
    EXPECT_EQ(good.out.find("warning"), std::string::npos) << good.out;

    // A file made readable by others is warned of, but is no problem that fails the check.
    ASSERT_EQ(::chmod(work.File("Orvex.ini").c_str(), 0644), 0);
    ServiceResult readable = Run({"--check"});
    EXPECT_EQ(readable.code, 0) << readable.out;
    EXPECT_NE(readable.out.find("Orvex.ini: warning: readable by other users (mode 0644)"),
              std::string::npos)
        << readable.out;

    Set(kSectionLocal, "Port", "twenty-one");
    Set(kSectionLocal, "OnlineFile", "missing.htm");
    Set(kSectionLocal, "RemoteFile", "");
    Set(kSectionPreferences, "Timeout", "0");
    Set(kSectionPreferences, "IsUpdateOnShut", "2");
    Set(kSectionPreferences, "LogFilename", "");
    Set(kSectionPreferences, "EnableMail", "1");
    Set(kSectionPreferences, "EmailServer", "127.0.0.1");
    Set(kSectionPreferences, "EmailSecurity", "5");
    Set(kSectionLocal, "FTPSecurity", "-1");
    Set(kSectionPreferences, "WANIPSources", "upnp router web");
    const std::string before = ReadFile(work.File("Orvex.ini"));
    ServiceResult bad = Run({"--check"});
    EXPECT_EQ(bad.code, 1);
    for (const char* line :
         {"Port: \"twenty-one\" is not a whole number\n",
          "OnlineFile: cannot read " /* path follows */,
          "RemoteFile: empty; every cycle stops with", "Timeout: 0 is out of range (1 or more)\n",
          "IsUpdateOnShut: 2 is out of range (0 to 1)\n",
          "LogFilename: empty while IsLogging is 1\n", "EmailTo: empty while EnableMail is 1\n",
          "EmailInput: empty while EnableMail is 1\n",
          "EmailSecurity: 5 is out of range (0 to 2)\n",
          "FTPSecurity: -1 is out of range (0 to 3)\n",
          "WANIPSources: \"router\" is no source (web, upnp, natpmp or dns); it is left out\n"}) {
        EXPECT_NE(bad.out.find(line), std::string::npos) << line << "\n" << bad.out;
    }
    EXPECT_EQ(bad.out.find("EmailServer"), std::string::npos) << bad.out;
    EXPECT_EQ(ReadFile(work.File("Orvex.ini")), before);
}

TEST_F(ServiceE2ETest, PrintConfigShowsTheSettingsInEffectWithoutPasswords) {
    Set(kSectionLocal, "SaveFileHTML", "");
    Set(kSectionPreferences, "EmailPassword", "scrambled");
    const std::string before = ReadFile(work.File("Orvex.ini"));
    ServiceResult result = Run({"--print-config"});
    EXPECT_EQ(result.code, 0) << result.err;
    for (const char* line :
         {"[LocalSettings]\nFTPServer=127.0.0.1\n", "\nPassword=***\n", "\nEmailPassword=***\n",
          "\nProxyPass=\n", "\nSaveFileHTML=Orvex.html\n", "\nStartDelimiter=REMOTE_ADDR:\n"}) {
        EXPECT_NE(result.out.find(line), std::string::npos) << line << "\n" << result.out;
    }
    EXPECT_EQ(result.out.find("secret"), std::string::npos);
    // The loader refills an empty local-copy name in the file; a listing must not.
    EXPECT_EQ(ReadFile(work.File("Orvex.ini")), before);
}

TEST_F(ServiceE2ETest, WithoutAConfiguredServerItWritesNothingAndSaysWhy) {
    TempDir empty;
    ServiceResult result = RunService(empty.Path(), runtime.Path(), {"--once"});
    EXPECT_EQ(result.code, 1);
    EXPECT_NE(result.err.find("names no FTPServer"), std::string::npos) << result.err;
    EXPECT_FALSE(FileExists(empty.File("Orvex.ini")));

    ServiceResult usage = Run({"--once", "--check"});
    EXPECT_EQ(usage.code, 2);
    EXPECT_NE(usage.err.find("--once and --check cannot be combined"), std::string::npos);

    ServiceResult version = Run({"--version"});
    EXPECT_EQ(version.code, 0);
    EXPECT_EQ(version.out.rfind("orvexd ", 0), 0u) << version.out;
    EXPECT_EQ(version.out.find("N/A"), std::string::npos) << version.out;
}

TEST(ServiceLinkTest, NoToolkitLibraryInTheLinkLine) {
    FILE* pipe = ::popen("ldd " ORVEXD_BINARY, "r");
    ASSERT_NE(pipe, nullptr);
    std::string libraries;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        libraries += buffer;
    }
    EXPECT_EQ(::pclose(pipe), 0);
    EXPECT_NE(libraries.find("libc.so"), std::string::npos) << libraries;
    EXPECT_EQ(libraries.find("libQt"), std::string::npos) << libraries;
}

#ifdef ORVEX_BINARY
TEST_F(ServiceE2ETest, OneCopyPerUserWhicheverProgramStartsFirst) {
    Set(kSectionPreferences, "IsUpdateOnStart", "0");
    {
        ProgramRun desktop(work.Path(), runtime.Path());
        const std::string socket = runtime.File("orvex-" + std::to_string(getuid()) + "/Orvex");
        ASSERT_TRUE(WaitUntil(10000, [&] { return FileExists(socket); }));
        ServiceResult refused = Run({"--once"});
        EXPECT_EQ(refused.code, 1);
        EXPECT_NE(refused.err.find("Orvex already runs for this user: the desktop program"),
                  std::string::npos)
            << refused.err;
        EXPECT_TRUE(desktop.Running());
    }
    ServiceRun service(work.Path(), runtime.Path());
    ASSERT_TRUE(service.OutputHas("runs without a window", 10000)) << service.Errors();
    ProgramRun desktop(work.Path(), runtime.Path());
    EXPECT_EQ(desktop.WaitExit(10000), 1);
    EXPECT_TRUE(service.Running());
}
#endif

}  // namespace
}  // namespace orvex::test
