#include <sys/stat.h>

#include <algorithm>
#include <memory>

#include <gtest/gtest.h>

#include "app/PublishCycle.h"
#include "settings/SettingsFile.h"

#include "RecordingHost.h"
#include "ScriptedPeer.h"
#include "ServerProcess.h"
#include "TempDir.h"
#include "TestCertificates.h"

namespace orvex::test {
namespace {

class FixedResolver : public HostResolver {
public:
    std::vector<Ipv4Address> OwnAddresses() override { return {{10, 1, 2, 3}}; }
};

// The server each FTPSecurity value talks to, all on 127.0.0.1 with the same user and root:
// pyftpdlib plain, pyftpdlib's TLS handler (explicit or implicit, TLS required on the data
// connections, which must resume the control session) and an asyncssh SFTP server.
std::unique_ptr<ServerProcess> StartServer(int security, const std::string& root,
                                           const TestCertificates& certs,
                                           const std::string& hostKey, const std::string& leaf) {
    std::vector<std::string> args{"--root", root, "--user", "tester", "--password", "secret"};
    std::string script = "ftp_server.py";
    if (security == kSecurityFtpsExplicit || security == kSecurityFtpsImplicit) {
        script = "ftps_server.py";
        args.insert(args.end(), {"--cert", certs.CertFile(leaf), "--key", certs.KeyFile(leaf),
                                 "--require-reuse"});
        if (security == kSecurityFtpsImplicit) {
            args.push_back("--implicit");
        }
    } else if (security == kSecuritySftp) {
        script = "sftp_server.py";
        args.insert(args.end(), {"--host-key", hostKey});
    }
    args.insert(args.begin(), PeerScript(script));
    return std::make_unique<ServerProcess>(kPython, args);
}

class SecureCycleTest : public ::testing::TestWithParam<int> {
protected:
    SecureCycleTest()
        : state(work.Path(), work.File("Orvex.ini")),
          certs(work.Path()),
          echo(kPython, {PeerScript("echo_page.py")}),
          env{resolver, {}, [](const std::string&) { return false; }, {}} {}

    void SetUp() override {
        ASSERT_TRUE(certs.Ok()) << certs.Error();
        ::mkdir(root.File("site").c_str(), 0755);
        server = StartServer(GetParam(), root.Path(), certs, work.File("hostkey"), "server");
        ASSERT_TRUE(server->Ready()) << server->Log();
        ASSERT_TRUE(echo.Ready()) << echo.Log();
        WriteFile(work.File("online.htm"), "<p>%H is %S at %WI</p>");
        WriteFile(work.File("offline.htm"), "<p>%H is %S</p>");
        state.Ini().WriteString("LocalSettings", "WANIPURL",
                                "http://127.0.0.1:" + std::to_string(echo.Port()) + "/");
        state.EditSettings([&](AppSettings& s) {
            s.FTPServer = "127.0.0.1";
            s.Port = server->Port();
            s.FTPSecurity = GetParam();
            s.SiteName = "Home";
            s.UserID = "tester";
            s.Password = "secret";
            s.OnlineFile = "online.htm";
            s.OfflineFile = "offline.htm";
            s.RemoteFile = "site\\index.html";
            s.EnableFTP = 1;
            s.SaveFileHTML = "Orvex.html";
            s.SaveFileASCII = "Orvex.txt";
            s.StartDelimiter = "REMOTE_ADDR:";
            s.EndDelimiter = "<br>";
            s.SuppressError = 1;
            s.Timeout = 5;
            // The certificates are relative to the work directory, as a user would write them.
            s.TLSCAFile = "ca.pem";
        });
    }

    // The program's own messages of a run, without the servers' lines.
    static std::vector<std::string> OwnMessages(const RecordingHost& recorded) {
        std::vector<std::string> own;
        for (const std::string& status : recorded.Statuses()) {
            if (status.rfind("P", 0) == 0) {
                own.push_back(status);
            }
        }
        return own;
    }

    TempDir work;
    TempDir root;
    AppState state;
    TestCertificates certs;
    std::unique_ptr<ServerProcess> server;
    ServerProcess echo;
    FixedResolver resolver;
    CycleEnvironment env;
    RecordingHost host;
};

// Online page into a folder, the address-change rule, and the offline page: the same program
// messages whatever carries the page.
TEST_P(SecureCycleTest, OnlineAndOfflinePagesGoUpWithTheSameMessagesInEveryMode) {
    EXPECT_EQ(OnlineCycle(state, host, DefaultClock(), env), 1) << server->Log();
    EXPECT_EQ(ReadFile(root.File("site/index.html")), "<p>Home is Online at 127.0.0.1</p>");
    EXPECT_FALSE(FileExists(work.File("Online.txt")));
    EXPECT_EQ(OwnMessages(host), (std::vector<std::string>{
                                     "P10009 Requesting WAN IP address...",
                                     "P10004 Attempting to connect to FTP Server...",
                                     "P10002 Successfully changed folder.",
                                     "P10003 Successfuly copied file.",
                                     "P10005 System Online:   ",
                                 }));

    // Unchanged addresses hold a scheduled upload back.
    state.EditSettings([](AppSettings& s) { s.FTPOnIPChangeOnly = 1; });
    std::remove(root.File("site/index.html").c_str());
    RecordingHost held;
    EXPECT_EQ(OnlineCycle(state, held, DefaultClock(), env), 1);
    EXPECT_FALSE(FileExists(root.File("site/index.html")));

    RecordingHost offline;
    EXPECT_EQ(OfflineCycle(state, offline, DefaultClock(), env, true), 1);
    EXPECT_EQ(ReadFile(root.File("site/index.html")), "<p>Home is Offline</p>");
    EXPECT_EQ(offline.Transcript().back(), "exit");
    EXPECT_EQ(OwnMessages(offline).back(), "P10006 System Offline.");
}

std::string ModeName(const ::testing::TestParamInfo<int>& info) {
    static const char* const kNames[] = {"Ftp", "FtpsExplicit", "FtpsImplicit", "Sftp"};
    return kNames[info.param];
}

INSTANTIATE_TEST_SUITE_P(Modes, SecureCycleTest,
                         ::testing::Values(kSecurityFtp, kSecurityFtpsExplicit,
                                           kSecurityFtpsImplicit, kSecuritySftp),
                         ModeName);

class SftpCycleTest : public SecureCycleTest {
protected:
    SftpCycleTest() = default;
};

// The first upload stores the key; a server with another key then gets nothing and the
// message shows both fingerprints; emptying the key in the file accepts the new one.
TEST_P(SftpCycleTest, HostKeyIsLearnedOnceAndAChangeIsRefusedUntilAccepted) {
    EXPECT_EQ(OnlineCycle(state, host, DefaultClock(), env), 1);
    const std::string learned = state.Ini().GetString("LocalSettings", "SFTPHostKey", "");
    EXPECT_EQ(learned.rfind("SHA256:", 0), 0u) << learned;
    EXPECT_EQ(state.Settings().SFTPHostKey, learned);

    server = StartServer(kSecuritySftp, root.Path(), certs, work.File("other-hostkey"), "");
    ASSERT_TRUE(server->Ready());
    state.EditSettings([&](AppSettings& s) { s.Port = server->Port(); });
    std::remove(root.File("site/index.html").c_str());
    RecordingHost refused;
    EXPECT_EQ(OnlineCycle(state, refused, DefaultClock(), env), -1);
    EXPECT_FALSE(FileExists(root.File("site/index.html")));
    const std::vector<std::string> told = refused.Statuses();
    ASSERT_GE(told.size(), 2u);
    const std::string message = told[told.size() - 2];
    EXPECT_EQ(told.back(), "P 127.0.0.1:" + std::to_string(server->Port()) +
                               " showed a host key other than the stored one");
    EXPECT_EQ(message.rfind("P10007 The SFTP server's host key has changed: " + learned, 0), 0u)
        << message;
    EXPECT_NE(message.find("the server shows SHA256:"), std::string::npos);
    EXPECT_EQ(state.Ini().GetString("LocalSettings", "SFTPHostKey", ""), learned);

    state.Ini().WriteString("LocalSettings", "SFTPHostKey", "");
    RecordingHost accepted;
    EXPECT_EQ(OnlineCycle(state, accepted, DefaultClock(), env), 1);
    EXPECT_NE(state.Ini().GetString("LocalSettings", "SFTPHostKey", ""), learned);

    state.EditSettings([](AppSettings& s) { s.Password = "wrong"; });
    RecordingHost wrong;
    EXPECT_EQ(OnlineCycle(state, wrong, DefaultClock(), env), -1);
    const std::vector<std::string> failed = wrong.Statuses();
    ASSERT_GE(failed.size(), 2u);
    EXPECT_EQ(failed[failed.size() - 2].rfind("P10007 SFTP: ", 0), 0u) << failed.back();
    EXPECT_EQ(failed.back().rfind("P the SFTP upload to 127.0.0.1:", 0), 0u) << failed.back();
}

INSTANTIATE_TEST_SUITE_P(Sftp, SftpCycleTest, ::testing::Values(kSecuritySftp));

class FtpsCycleTest : public SecureCycleTest {};

// A certificate for another name fails the cycle with the check's reason on the status line;
// with TLSVerify=0 the same server takes the page.
TEST_P(FtpsCycleTest, CertificateRefusalNamesTheReasonAndTlsVerifyOffAcceptsIt) {
    server = StartServer(GetParam(), root.Path(), certs, "", "other");
    ASSERT_TRUE(server->Ready());
    state.EditSettings([&](AppSettings& s) { s.Port = server->Port(); });
    EXPECT_EQ(OnlineCycle(state, host, DefaultClock(), env), -1);
    const std::vector<std::string> told = host.Statuses();
    ASSERT_GE(told.size(), 2u);
    EXPECT_EQ(told[told.size() - 2], "P10007 server certificate refused: IP address mismatch");
    EXPECT_EQ(told.back(), "P the certificate of 127.0.0.1 was not accepted: IP address mismatch");
    EXPECT_FALSE(FileExists(root.File("site/index.html")));

    state.EditSettings([](AppSettings& s) { s.TLSVerify = 0; });
    RecordingHost lenient;
    EXPECT_EQ(OnlineCycle(state, lenient, DefaultClock(), env), 1);
    EXPECT_TRUE(FileExists(root.File("site/index.html")));
}

// A proxy logon cannot carry FTPS: the cycle refuses rather than speak in clear.
TEST_P(FtpsCycleTest, ProxyLogonTypeIsRefusedWithoutContactingAnyServer) {
    ScriptedPeer firewall;
    firewall.SetStepTimeout(300).SendLine("220 firewall");
    firewall.Start();
    state.EditSettings([&](AppSettings& s) {
        s.UseProxy = 1;
        s.LogonType = 2;
        s.ProxyAddress = "127.0.0.1";
        s.FTPProxyPort = firewall.Port();
    });
    state.Flags.ProxyInUse = 1;
    EXPECT_EQ(OnlineCycle(state, host, DefaultClock(), env), -1);
    firewall.Finish(1000);
    EXPECT_EQ(firewall.Connections(), 0);
    EXPECT_EQ(host.Statuses().back().rfind("P10007 FTPS and SFTP cannot go through", 0), 0u);
}

INSTANTIATE_TEST_SUITE_P(Ftps, FtpsCycleTest, ::testing::Values(kSecurityFtpsExplicit));

}  // namespace
}  // namespace orvex::test
