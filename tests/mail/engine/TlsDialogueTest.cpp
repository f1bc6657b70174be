// STARTTLS and TLS from the first byte against aiosmtpd with certificates made here, and the
// ways a secure connection fails: no STARTTLS on offer, certificates that do not verify, a
// handshake that stalls or is cut off. After each failure the next connection works.

#include <unistd.h>

#include <chrono>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "ServerProcess.h"
#include "TestCertificates.h"

namespace orvex::test {
namespace {

std::string EnvelopeValue(const std::string& path, const std::string& key) {
    std::istringstream in(ReadFile(path));
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(key + ":", 0) == 0) {
            return line.size() > key.size() + 2 ? line.substr(key.size() + 2) : "";
        }
    }
    return "<none>";
}

class SecureMail : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        ASSERT_TRUE(certs_.Ok()) << certs_.Error();
    }

    // An aiosmtpd with `leaf`'s certificate: "--starttls" or "--tls".
    std::unique_ptr<ServerProcess> Server(const std::string& mode, const std::string& leaf,
                                          const std::string& mechanisms = "") {
        std::vector<std::string> args = {PeerScript("smtp_server.py"), mailDir_.Path()};
        if (!mode.empty()) {
            args.insert(args.end(), {mode, certs_.CertFile(leaf), certs_.KeyFile(leaf)});
        }
        if (!mechanisms.empty()) {
            args.insert(args.end(), {"--mechanisms", mechanisms});
        }
        auto server = std::make_unique<ServerProcess>(kPython, args);
        EXPECT_TRUE(server->Ready()) << server->Log();
        return server;
    }

    // Settings of a secure connection that trusts the test CA.
    void Secure(int security, bool verify = true) {
        seeIntegerParam(0, kSeeSecurity, security);
        seeIntegerParam(0, kSeeTlsVerify, verify ? 1 : 0);
        seeStringParam(0, kSeeTlsCaFile, certs_.CaFile().c_str());
    }

    void Authenticate() {
        seeIntegerParam(0, kSeeEhloAuth, 1);
        seeStringParam(0, kSeeUser, "joe");
        seeStringParam(0, kSeePassword, "secret");
    }

    // One whole message to a server that saved none yet; it must have come through
    // `mechanism` (every server here saves its first message as 1.env).
    void SendOne(int port, const std::string& mechanism) {
        const std::string env = mailDir_.File("1.env");
        ::unlink(env.c_str());
        ASSERT_EQ(Connect(port), 0)
            << seeErrorText(0, kSeeSmtpError) << seeErrorText(0, kSeeTlsFailed);
        ASSERT_EQ(
            seeSendEmail(0, "<you@example.org>", nullptr, nullptr, "Secure", "hello", nullptr), 0)
            << seeErrorText(0, kSeeSmtpError);
        EXPECT_EQ(seeClose(0), 0);
        EXPECT_EQ(EnvelopeValue(env, "greeting"), "EHLO");
        EXPECT_EQ(EnvelopeValue(env, "mechanism"), mechanism);
        EXPECT_EQ(EnvelopeValue(env, "rcpt"), "you@example.org");
    }

    TempDir certDir_;
    TestCertificates certs_{certDir_.Path()};
    TempDir mailDir_;
};

TEST_F(SecureMail, StartTlsWithEachMechanism) {
    auto server = Server("--starttls", "server");
    Secure(kSeeStartTls);
    const std::string trace = dir_.File("trace.txt");
    seeStringParam(0, kSeeTraceFile, trace.c_str());
    SendOne(server->Port(), "");
    seeStringParam(0, kSeeTraceFile, "");
    EXPECT_NE(ReadFile(trace).find("channel 0: TLSv1."), std::string::npos) << ReadFile(trace);
    Authenticate();
    for (const char* mechanism : {"CRAM-MD5", "LOGIN", "PLAIN"}) {
        auto only = Server("--starttls", "server", mechanism);
        SendOne(only->Port(), mechanism);
    }
}

TEST_F(SecureMail, TlsFromTheFirstByteWithEachMechanism) {
    Secure(kSeeImplicitTls);
    Authenticate();
    for (const char* mechanism : {"CRAM-MD5", "LOGIN", "PLAIN"}) {
        auto server = Server("--tls", "server", mechanism);
        SendOne(server->Port(), mechanism);
    }
}

TEST_F(SecureMail, RequiredStartTlsNotOfferedFailsBeforeAnyCredentials) {
    ScriptedPeer peer;
    peer.SendLine("220 hi").Expect("EHLO example.com").Send("250-hello\r\n250 AUTH PLAIN\r\n");
    peer.ReadToEnd();
    peer.Start();
    Secure(kSeeStartTls);
    Authenticate();
    EXPECT_EQ(Connect(peer.Port()), kSeeNoStartTlsOffered);
    EXPECT_EQ(seeErrorText(0, kSeeNoStartTlsOffered), "Server does not offer STARTTLS.");
    EXPECT_TRUE(peer.Finish()) << peer.Report();
    EXPECT_EQ(peer.ReceivedLines(), std::vector<std::string>{"EHLO example.com"});
}

TEST_F(SecureMail, RefusedStartTlsCarriesTheServersWords) {
    ScriptedPeer peer;
    peer.SendLine("220 hi").Expect("EHLO example.com").Send("250-hello\r\n250 STARTTLS\r\n");
    peer.Expect("STARTTLS").SendLine("454 TLS not available").ReadToEnd();
    peer.Start();
    Secure(kSeeStartTls);
    EXPECT_EQ(Connect(peer.Port()), kSeeSmtpError);
    EXPECT_EQ(seeErrorText(0, kSeeSmtpError), "SMTP returned error. 454 TLS not available\r\n");
    EXPECT_TRUE(peer.Finish()) << peer.Report();
}

struct Rejection {
    const char* leaf;
    const char* reason;  // part of the verification's own words
};

class CertificateRejected : public SecureMail, public ::testing::WithParamInterface<Rejection> {};

TEST_P(CertificateRejected, FailsWithTheReasonAndTheNextConnectionWorks) {
    auto bad = Server("--starttls", GetParam().leaf);
    Secure(kSeeStartTls);
    Authenticate();
    EXPECT_EQ(Connect(bad->Port()), kSeeCertificateRejected);
    const std::string text = seeErrorText(0, kSeeCertificateRejected);
    EXPECT_EQ(text.rfind("Server certificate not accepted: ", 0), 0u) << text;
    EXPECT_NE(text.find(GetParam().reason), std::string::npos) << text;
    EXPECT_EQ(seeClose(0), 0);

    auto good = Server("--starttls", "server");
    SendOne(good->Port(), "CRAM-MD5");
}

INSTANTIATE_TEST_SUITE_P(Certificates, CertificateRejected,
                         ::testing::Values(Rejection{"other", "mismatch"},
                                           Rejection{"expired", "expired"},
                                           Rejection{"stranger", "local issuer"}),
                         [](const ::testing::TestParamInfo<Rejection>& info) {
                             return std::string(info.param.leaf);
                         });

TEST_F(SecureMail, UntrustedCertificateIsAcceptedWhenVerificationIsOff) {
    auto server = Server("--tls", "stranger");
    Secure(kSeeImplicitTls, false);
    SendOne(server->Port(), "");
}

TEST_F(SecureMail, StalledOrCutHandshakeFailsWithinTheReplyTimeOut) {
    seeIntegerParam(0, kSeeReplyTimeout, 500);  // put back by TearDown
    ScriptedPeer stalled;
    stalled.Hold();
    stalled.Start();
    Secure(kSeeImplicitTls);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Connect(stalled.Port()), kSeeTlsFailed);
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::seconds(3));
    EXPECT_NE(seeErrorText(0, kSeeTlsFailed).find("TLS handshake failed: "), std::string::npos);
    stalled.Stop();

    ScriptedPeer cut;
    cut.SendLine("220 hi").Expect("EHLO example.com").Send("250-hello\r\n250 STARTTLS\r\n");
    cut.Expect("STARTTLS").SendLine("220 go ahead").Close();
    cut.Start();
    Secure(kSeeStartTls);
    EXPECT_EQ(Connect(cut.Port()), kSeeTlsFailed);
    EXPECT_NE(seeErrorText(0, kSeeTlsFailed).find("closed"), std::string::npos)
        << seeErrorText(0, kSeeTlsFailed);
    EXPECT_TRUE(cut.Finish()) << cut.Report();

    auto good = Server("--tls", "server");
    Secure(kSeeImplicitTls);
    SendOne(good->Port(), "");
}

}  // namespace
}  // namespace orvex::test
