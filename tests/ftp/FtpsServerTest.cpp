#include <gtest/gtest.h>

#include <sys/stat.h>

#include <memory>
#include <string>
#include <tuple>

#include "FtpTestSupport.h"
#include "ScriptedPeer.h"
#include "ServerProcess.h"
#include "TempDir.h"
#include "TestCertificates.h"
#include "ftp/FtpLink.h"

namespace orvex {
namespace {

using test::ServerProcess;

// Two pyftpdlib TLS servers (explicit and implicit) for the whole suite, both requiring TLS on
// every data connection and refusing a data connection that does not resume the control
// connection's TLS session; a third one presents a certificate for another name.
class FtpsServerTest : public ::testing::TestWithParam<std::tuple<FtpSecurity, int>> {
protected:
    static std::unique_ptr<ServerProcess> Start(bool implicit, const std::string& leaf) {
        std::vector<std::string> args{test::PeerScript("ftps_server.py"),
                                      "--root",
                                      root_->Path(),
                                      "--user",
                                      "tester",
                                      "--password",
                                      "secret",
                                      "--cert",
                                      certs_->CertFile(leaf),
                                      "--key",
                                      certs_->KeyFile(leaf),
                                      "--require-reuse"};
        if (implicit) {
            args.push_back("--implicit");
        }
        return std::make_unique<ServerProcess>(test::kPython, args);
    }
    static void SetUpTestSuite() {
        root_ = std::make_unique<test::TempDir>();
        ::mkdir((root_->Path() + "/site").c_str(), 0755);
        ::mkdir((root_->Path() + "/certs").c_str(), 0755);
        certs_ = std::make_unique<test::TestCertificates>(root_->Path() + "/certs");
        if (!certs_->Ok()) {
            return;
        }
        explicit_ = Start(false, "server");
        implicit_ = Start(true, "server");
        otherName_ = Start(false, "other");
    }
    static void TearDownTestSuite() {
        explicit_.reset();
        implicit_.reset();
        otherName_.reset();
        certs_.reset();
        root_.reset();
    }

    static ServerProcess& ServerFor(FtpSecurity security) {
        return security == FtpSecurity::kImplicit ? *implicit_ : *explicit_;
    }
    static FtpLogonParams Params(const ServerProcess& server) {
        FtpLogonParams p;
        p.Host = "127.0.0.1";
        p.Port = server.Port();
        p.User = "tester";
        p.Password = "secret";
        return p;
    }
    static TlsOptions Trusting() { return TlsOptions{true, certs_->CaFile()}; }

    void SetUp() override {
        ASSERT_TRUE(certs_->Ok()) << certs_->Error();
        ASSERT_TRUE(explicit_->Ready() && implicit_->Ready() && otherName_->Ready());
    }

    static std::unique_ptr<test::TempDir> root_;
    static std::unique_ptr<test::TestCertificates> certs_;
    static std::unique_ptr<ServerProcess> explicit_;
    static std::unique_ptr<ServerProcess> implicit_;
    static std::unique_ptr<ServerProcess> otherName_;
    test::TempDir work;
};

std::unique_ptr<test::TempDir> FtpsServerTest::root_;
std::unique_ptr<test::TestCertificates> FtpsServerTest::certs_;
std::unique_ptr<ServerProcess> FtpsServerTest::explicit_;
std::unique_ptr<ServerProcess> FtpsServerTest::implicit_;
std::unique_ptr<ServerProcess> FtpsServerTest::otherName_;

TEST_P(FtpsServerTest, UploadAndDownloadOverTlsResumingTheControlSession) {
    const auto [security, passive] = GetParam();
    ServerProcess& server = ServerFor(security);
    const std::string name = std::string(security == FtpSecurity::kImplicit ? "imp" : "exp") +
                             (passive ? "-passive.bin" : "-active.bin");
    const std::string content = test::PatternBytes(1024 * 1024 + 33);
    test::WriteFile(work.File("page.bin"), content);

    CFtpLink link(15, work.Path());
    link.SetSecurity(security, Trusting());
    ASSERT_TRUE(link.Logon(Params(server))) << link.ReplyText() << link.FailureDetail();
    EXPECT_EQ(link.ReplyText().substr(0, 3), "230");  // the logon's reply, not PROT's
    ASSERT_TRUE(link.Command("CWD site")) << link.ReplyText();
    ASSERT_TRUE(link.Transfer(name, "page.bin", passive, 0))
        << link.ReplyText() << link.FailureDetail();
    EXPECT_EQ(link.ReplyText().substr(0, 3), "226");
    EXPECT_TRUE(test::ReadFile(root_->Path() + "/site/" + name) == content);
    // A second transfer on the same control connection resumes the session again.
    ASSERT_TRUE(link.Transfer(name, "back.bin", passive, 1))
        << link.ReplyText() << link.FailureDetail();
    EXPECT_TRUE(test::ReadFile(work.File("back.bin")) == content);
    link.Quit();

    const std::string log = server.Log();
    EXPECT_NE(log.find("<- PBSZ 0"), std::string::npos);
    EXPECT_NE(log.find("<- PROT P"), std::string::npos);
    EXPECT_NE(log.find("data connection TLS session resumed"), std::string::npos);
    EXPECT_EQ(log.find("NOT resumed"), std::string::npos) << log;
}

INSTANTIATE_TEST_SUITE_P(Modes, FtpsServerTest,
                         ::testing::Combine(::testing::Values(FtpSecurity::kExplicit,
                                                              FtpSecurity::kImplicit),
                                            ::testing::Values(1, 0)),
                         [](const ::testing::TestParamInfo<std::tuple<FtpSecurity, int>>& info) {
                             return std::string(std::get<0>(info.param) == FtpSecurity::kImplicit
                                                    ? "Implicit"
                                                    : "Explicit") +
                                    (std::get<1>(info.param) ? "Passive" : "Active");
                         });

class FtpsRefusalTest : public FtpsServerTest {};

TEST_F(FtpsRefusalTest, WrongPasswordShowsTheServersReplyInBothModes) {
    for (FtpSecurity security : {FtpSecurity::kExplicit, FtpSecurity::kImplicit}) {
        CFtpLink link(15, work.Path());
        link.SetSecurity(security, Trusting());
        FtpLogonParams p = Params(ServerFor(security));
        p.Password = "wrong";
        EXPECT_FALSE(link.Logon(p));
        EXPECT_EQ(link.ReplyText().substr(0, 3), "530");
    }
}

// The certificate check refuses a server whose certificate names another host, says why and
// sends no password; without the check the same server is used.
TEST_F(FtpsRefusalTest, CertificateForAnotherNameIsRefusedUnlessVerificationIsOff) {
    CFtpLink link(15, work.Path());
    link.SetSecurity(FtpSecurity::kExplicit, Trusting());
    EXPECT_FALSE(link.Logon(Params(*otherName_)));
    EXPECT_EQ(link.LocalFailure(), FtpLocalFailure::kTls);
    EXPECT_EQ(link.FailureDetail(), "server certificate refused: IP address mismatch");
    EXPECT_EQ(link.ReplyText(), "");
    EXPECT_EQ(otherName_->Log().find("<- PASS"), std::string::npos);

    CFtpLink lenient(15, work.Path());
    lenient.SetSecurity(FtpSecurity::kExplicit, TlsOptions{false, ""});
    EXPECT_TRUE(lenient.Logon(Params(*otherName_))) << lenient.FailureDetail();
    lenient.Quit();
}

// A server that takes AUTH TLS and then says nothing, or one that refuses AUTH TLS.
TEST(FtpsHandshake, StallAndRefusalEndTheLogonWithoutSendingTheUser) {
    test::ScriptedPeer stalling;
    stalling.SendLine("220 ready").Expect("AUTH TLS").SendLine("234 go ahead").Hold();
    stalling.Start();
    CFtpLink link(15);
    link.SetIdleLimitMs(500);
    link.SetSecurity(FtpSecurity::kExplicit, TlsOptions{});
    FtpLogonParams p;
    p.Host = "127.0.0.1";
    p.Port = stalling.Port();
    p.User = "joe";
    const long long start = test::NowMs();
    EXPECT_FALSE(link.Logon(p));
    EXPECT_LT(test::ElapsedMs(start), 3000);
    EXPECT_EQ(link.LocalFailure(), FtpLocalFailure::kTls);
    EXPECT_EQ(link.FailureDetail(), "TLS handshake: no answer within 1 s");
    link.CloseControl();
    stalling.Stop();

    test::ScriptedPeer plain;
    plain.SendLine("220 ready").Expect("AUTH TLS").SendLine("500 AUTH not understood").Hold();
    plain.Start();
    CFtpLink refused(15);
    refused.SetIdleLimitMs(500);
    refused.SetSecurity(FtpSecurity::kExplicit, TlsOptions{});
    p.Port = plain.Port();
    EXPECT_FALSE(refused.Logon(p));
    EXPECT_EQ(refused.ReplyText(), "500 AUTH not understood");
    refused.CloseControl();
    plain.Stop();
    EXPECT_EQ(plain.ReceivedLines(), (std::vector<std::string>{"AUTH TLS"}));
}

TEST(FtpsHandshake, ProxyLogonTypesAreRefusedBeforeConnecting) {
    CFtpLink link(15);
    link.SetSecurity(FtpSecurity::kImplicit, TlsOptions{});
    FtpLogonParams p;
    p.LogonType = 1;
    p.FirewallHost = "127.0.0.1";
    p.FirewallPort = 1;
    EXPECT_FALSE(link.Logon(p));
    EXPECT_EQ(link.LocalFailure(), FtpLocalFailure::kTls);
    EXPECT_FALSE(link.Connected());
}

}  // namespace
}  // namespace orvex
