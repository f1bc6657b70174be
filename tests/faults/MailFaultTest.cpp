// Whole online cycles whose notification mail meets an SMTP server that fails at every step
// of the dialogue: it closes, falls silent, talks garbage, sends a line without end or a reply
// larger than the engine keeps. The mail is reported as not sent within the engine's reply
// time-out, the page is still published, and the next cycle's mail reaches a real server.
// With STARTTLS or TLS from the first byte chosen the peer fails around the move to TLS, and
// it must never see the account or the mail in clear.
//
// The misbehaving peer and the real servers listen on free ports of 127.0.0.1 (EmailPort).

#include <poll.h>
#include <sys/socket.h>

#include <filesystem>
#include <memory>

#include <gtest/gtest.h>

#include "FaultSupport.h"
#include "ScriptedPeer.h"
#include "TestCertificates.h"
#include "mail/engine/See.h"

namespace orvex::test {
namespace {

constexpr long kReplyTimeoutMs = 400;
constexpr long kConnectTimeoutMs = 1000;
constexpr long kDefaultReplyTimeoutMs = 25000;
constexpr long kDefaultConnectTimeoutMs = 60000;
// A stalled reply costs one reply time-out; everything else must be far quicker.
constexpr double kMailBound = 3.0 * kConnectTimeoutMs / 1000 + 2;

struct MailFault {
    std::string name;
    std::function<void(ScriptedPeer& peer)> script;
    int code;  // the engine's error code the status names
    bool auth = false;
    // Extra message text, so that a peer closing mid-message is met while the engine still
    // sends: a small message fits the socket buffers in one write and only the missing final
    // reply would show the close.
    size_t padding = 0;
    // Another code the status may name: a peer that resets the connection mid-message is met
    // by a write (-52) or, when the reset overtakes the engine's next read, by that read (-1);
    // which one depends on the scheduler. Either way the sentence says the server closed it.
    int orCode = 0;
};

ScriptedPeer& Greeted(ScriptedPeer& p) {
    return p.SendLine("220 fault peer ESMTP").ExpectPrefix("HELO ");
}
ScriptedPeer& Ready(ScriptedPeer& p) {
    return Greeted(p).SendLine("250 hello").Expect("NOOP").SendLine("250 ok");
}
ScriptedPeer& MailSent(ScriptedPeer& p) {
    return Ready(p).Expect("MAIL FROM:<me@home.test>");
}
ScriptedPeer& RcptSent(ScriptedPeer& p) {
    return MailSent(p).SendLine("250 sender ok").Expect("RCPT TO:<you@away.test>");
}
ScriptedPeer& DataSent(ScriptedPeer& p) {
    return RcptSent(p).SendLine("250 recipient ok").Expect("DATA");
}
ScriptedPeer& AuthAsked(ScriptedPeer& p) {
    return p.SendLine("220 fault peer ESMTP")
        .ExpectPrefix("EHLO ")
        .Send("250-hello\r\n250 AUTH LOGIN\r\n")
        .Expect("AUTH LOGIN");
}
void Endless(ScriptedPeer& p) {
    p.Do([](int fd) { SendEndlessLine(fd, 3000); }).Hold();
}
// Lines of text, far more than loopback's socket buffers hold.
std::string Padding(size_t bytes) {
    std::string text;
    while (text.size() < bytes) {
        text += "\r\n" + std::string(70, 'x');
    }
    return text;
}
std::string Oversized(const std::string& code) {
    return OversizedMultiLineReply(code, 4096);
}

// The dialogue up to the move to TLS.
ScriptedPeer& EhloSent(ScriptedPeer& p) {
    return p.SendLine("220 fault peer ESMTP").ExpectPrefix("EHLO ");
}
ScriptedPeer& StartTlsSent(ScriptedPeer& p) {
    return EhloSent(p)
        .Send("250-hello\r\n250-AUTH CRAM-MD5 LOGIN PLAIN\r\n250 STARTTLS\r\n")
        .Expect("STARTTLS");
}
// The client's first handshake bytes, so that what the peer does next meets the handshake
// itself rather than bytes the client drops as said in clear before it.
void TakeClientHello(int fd) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 3000) > 0) {
        char hello[4096];
        ::recv(fd, hello, sizeof hello, 0);
    }
}
ScriptedPeer& HandshakeBegun(ScriptedPeer& p) {
    return StartTlsSent(p).SendLine("220 ready to start TLS").Do(TakeClientHello);
}
// A handshake record header announcing far more than any record may hold.
const std::string kOversizedRecord =
    std::string("\x16\x03\x03\xff\xff", 5) + std::string(8192, 'z');

// What must never cross the wire in clear once a security mode is chosen: any logon (the
// account and password appear base64-encoded, "am9l" and "c2VjcmV0"), the envelope, the text.
void ExpectNothingSecretInClear(const std::string& clear) {
    for (const char* secret :
         {"AUTH", "am9l", "c2VjcmV0", "secret", "MAIL FROM", "RCPT TO", "DATA", "Now at"}) {
        EXPECT_EQ(clear.find(secret), std::string::npos) << secret << " in clear:\n" << clear;
    }
}

class MailPeerFaults : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        servers = std::make_unique<HealthyServers>();
        mailDir = std::make_unique<TempDir>();
        smtp = std::make_unique<ServerProcess>(
            kPython,
            std::vector<std::string>{PeerScript("smtp_server.py"), mailDir->Path(), "--port", "0"});
        certDir = std::make_unique<TempDir>();
        certs = std::make_unique<TestCertificates>(certDir->Path());
        for (const char* mode : {"--starttls", "--tls"}) {
            auto& secure = std::string(mode) == "--tls" ? tls : startTls;
            secure.mailDir = std::make_unique<TempDir>();
            secure.server = std::make_unique<ServerProcess>(
                kPython,
                std::vector<std::string>{PeerScript("smtp_server.py"), secure.mailDir->Path(), mode,
                                         certs->CertFile("server"), certs->KeyFile("server")});
        }
        // The engine's process-wide waits, shortened for the faults.
        seeAttach(1);
        seeIntegerParam(0, kSeeReplyTimeout, kReplyTimeoutMs);
        seeIntegerParam(0, kSeeConnectTimeout, kConnectTimeoutMs);
        seeDetach();
    }
    static void TearDownTestSuite() {
        seeAttach(1);
        seeIntegerParam(0, kSeeReplyTimeout, kDefaultReplyTimeoutMs);
        seeIntegerParam(0, kSeeConnectTimeout, kDefaultConnectTimeoutMs);
        seeDetach();
        for (SecureServer* secure : {&startTls, &tls}) {
            secure->server.reset();
            secure->mailDir.reset();
        }
        certs.reset();
        certDir.reset();
        smtp.reset();
        mailDir.reset();
        servers.reset();
    }
    void SetUp() override {
        ASSERT_TRUE(servers->Ready()) << servers->ftp.Log() << servers->echo.Log();
    }

    static int MailsDelivered(const TempDir& dir) {
        int n = 0;
        for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
            n += entry.path().extension() == ".eml" ? 1 : 0;
        }
        return n;
    }

    // Each fault ends its cycle; the next cycle, with the same security, mails through a real
    // server. With a security mode every fault runs with a logon configured. The peer and the
    // real servers listen on free ports (EmailPort).
    void RunAll(const std::vector<MailFault>& faults, int security = kEmailSecurityNone) {
        const bool secure = security != kEmailSecurityNone;
        if (!secure) {
            ASSERT_TRUE(smtp->Ready()) << smtp->Log();
        }
        if (secure) {
            ASSERT_TRUE(certs->Ok()) << certs->Error();
        }
        const SecureServer* real = security == kEmailSecurityTls ? &tls : &startTls;
        if (secure) {
            ASSERT_TRUE(real->server->Ready()) << real->server->Log();
        }
        const TempDir& realMail = secure ? *real->mailDir : *mailDir;
        for (size_t i = 0; i < faults.size(); ++i) {
            const MailFault& fault = faults[i];
            SCOPED_TRACE(fault.name);
            CycleRig rig(*servers, "mail" + std::to_string(i) + ".html");
            WriteFile(rig.Work().File("mail.htm"), "Now at %WI" + Padding(fault.padding));
            rig.Edit([&](AppSettings& s) {
                s.EnableMail = 1;
                s.EmailServer = "127.0.0.1";
                s.EmailFrom = "me@home.test";
                s.EmailTo = "you@away.test";
                s.EmailSubject = "Where";
                s.EmailInput = "mail.htm";
                s.EnableSMTPAuth = fault.auth || secure ? 1 : 0;
                s.EmailAccount = "joe";
                s.EmailPassword = "secret";
                s.EmailSecurity = security;
                s.TLSCAFile = secure ? certs->CaFile() : "";
            });
            CycleOutcome failed;
            {
                ScriptedPeer peer;
                rig.Edit([&](AppSettings& s) { s.EmailPort = peer.Port(); });
                fault.script(peer);
                peer.Start();
                failed = rig.RunOnline();
                peer.Stop();
                if (secure) {
                    ExpectNothingSecretInClear(peer.Received());
                }
            }
            auto named = [&](int code) {
                return failed.HasStatusStarting("P Email not sent: SEE Error " +
                                                std::to_string(code) + ": ");
            };
            EXPECT_TRUE(named(fault.code) || (fault.orCode != 0 && named(fault.orCode)))
                << failed.Describe();
            EXPECT_FALSE(failed.HasStatus("P10008 Successfully sent email."));
            EXPECT_LT(failed.seconds, kMailBound) << failed.Describe();
            // The mail's failure does not hold the page back.
            EXPECT_EQ(failed.result, 1) << failed.Describe();
            EXPECT_EQ(rig.Published(), "<p>Home is Online at 127.0.0.1 (LAN 10.1.2.3)</p>");
            EXPECT_FALSE(FileExists(rig.Work().File("mail.htm$"))) << "temporary file left";

            const int before = MailsDelivered(realMail);
            WriteFile(rig.Work().File("mail.htm"), "Now at %WI");
            rig.Edit([&](AppSettings& s) {
                s.EmailServer = "127.0.0.1";
                s.EmailPort = secure ? real->server->Port() : smtp->Port();
                s.EnableSMTPAuth = secure ? 1 : 0;
            });
            const CycleOutcome next = rig.RunOnline();
            EXPECT_TRUE(next.HasStatus("P10008 Successfully sent email.")) << next.Describe();
            EXPECT_EQ(MailsDelivered(realMail), before + 1);
            const std::string mail = realMail.File(std::to_string(before + 1) + ".eml");
            EXPECT_NE(ReadFile(mail).find("Now at 127.0.0.1"), std::string::npos);
        }
    }

    // A real server that takes only secure mail, and the mail it received.
    struct SecureServer {
        std::unique_ptr<TempDir> mailDir;
        std::unique_ptr<ServerProcess> server;
    };

    static std::unique_ptr<HealthyServers> servers;
    static std::unique_ptr<TempDir> mailDir;
    static std::unique_ptr<ServerProcess> smtp;
    static std::unique_ptr<TempDir> certDir;
    static std::unique_ptr<TestCertificates> certs;
    static SecureServer startTls;
    static SecureServer tls;
};
std::unique_ptr<HealthyServers> MailPeerFaults::servers;
std::unique_ptr<TempDir> MailPeerFaults::mailDir;
std::unique_ptr<ServerProcess> MailPeerFaults::smtp;
std::unique_ptr<TempDir> MailPeerFaults::certDir;
std::unique_ptr<TestCertificates> MailPeerFaults::certs;
MailPeerFaults::SecureServer MailPeerFaults::startTls;
MailPeerFaults::SecureServer MailPeerFaults::tls;

TEST_F(MailPeerFaults, AtTheGreeting) {
    RunAll({
        {"closes", [](ScriptedPeer& p) { p.Accept().Close(); }, -1},
        {"silent", [](ScriptedPeer& p) { p.Hold(); }, -8},
        {"garbage", [](ScriptedPeer& p) { p.SendLine("hello? this is no SMTP").Hold(); }, -8},
        {"endless line", [](ScriptedPeer& p) { Endless(p.Accept()); }, -31},
        {"oversized reply", [](ScriptedPeer& p) { p.Send(Oversized("220")).Hold(); }, -31},
    });
}

TEST_F(MailPeerFaults, AtTheGreetingAndTheLogon) {
    RunAll({
        {"closes after HELO", [](ScriptedPeer& p) { Greeted(p).Close(); }, -1},
        {"silent after HELO", [](ScriptedPeer& p) { Greeted(p).Hold(); }, -8},
        {"garbage after HELO", [](ScriptedPeer& p) { Greeted(p).SendLine("what?").Hold(); }, -44},
        {"endless line after HELO", [](ScriptedPeer& p) { Endless(Greeted(p)); }, -31},
        {"oversized reply to HELO",
         [](ScriptedPeer& p) { Greeted(p).Send(Oversized("250")).Hold(); }, -31},
        {"closes after AUTH", [](ScriptedPeer& p) { AuthAsked(p).Close(); }, -1, true},
        {"silent after AUTH", [](ScriptedPeer& p) { AuthAsked(p).Hold(); }, -8, true},
        {"garbage challenge",
         [](ScriptedPeer& p) { AuthAsked(p).SendLine("334 !!!not base64").Hold(); }, -8, true},
        {"endless challenge", [](ScriptedPeer& p) { Endless(AuthAsked(p)); }, -31, true},
    });
}

TEST_F(MailPeerFaults, DuringTheEnvelopeAndTheMessage) {
    RunAll({
        {"closes after MAIL FROM", [](ScriptedPeer& p) { MailSent(p).Close(); }, -1},
        {"garbage after MAIL FROM", [](ScriptedPeer& p) { MailSent(p).SendLine("ok?").Hold(); },
         -8},
        {"silent after RCPT TO", [](ScriptedPeer& p) { RcptSent(p).Hold(); }, -8},
        {"oversized reply to RCPT TO",
         [](ScriptedPeer& p) { RcptSent(p).Send(Oversized("250")).Hold(); }, -31},
        {"closes after DATA", [](ScriptedPeer& p) { DataSent(p).Close(); }, -1},
        {"closes during the message",
         [](ScriptedPeer& p) { DataSent(p).SendLine("354 go ahead").ReadLine().Close(); }, -52,
         false, 32u << 20, -1},
        {"silent after the message",
         [](ScriptedPeer& p) {
             DataSent(p).SendLine("354 go ahead").ReadUntil("\r\n.\r\n").Hold();
         },
         -8},
        {"endless reply to the message",
         [](ScriptedPeer& p) {
             Endless(DataSent(p).SendLine("354 go ahead").ReadUntil("\r\n.\r\n"));
         },
         -31},
    });
}

// STARTTLS required: the server must offer it in its EHLO reply, accept it, and then
// shake hands; a failure at any of these leaves the connection before anything is said in
// clear beyond EHLO and STARTTLS.
TEST_F(MailPeerFaults, StartTlsAtTheEhlo) {
    RunAll(
        {
            {"STARTTLS not offered",
             [](ScriptedPeer& p) {
                 EhloSent(p).Send("250-hello\r\n250 AUTH CRAM-MD5 LOGIN PLAIN\r\n").Hold();
             },
             kSeeNoStartTlsOffered},
            {"closes after EHLO", [](ScriptedPeer& p) { EhloSent(p).Close(); }, kSeeClosed},
            {"silent after EHLO", [](ScriptedPeer& p) { EhloSent(p).Hold(); }, kSeeTimedOut},
            // Words that are no reply offer no STARTTLS either.
            {"garbage after EHLO", [](ScriptedPeer& p) { EhloSent(p).SendLine("what?").Hold(); },
             kSeeNoStartTlsOffered},
            {"endless line after EHLO", [](ScriptedPeer& p) { Endless(EhloSent(p)); },
             kSeeReplyOverflow},
            {"oversized reply to EHLO",
             [](ScriptedPeer& p) { EhloSent(p).Send(Oversized("250")).Hold(); }, kSeeReplyOverflow},
        },
        kEmailSecurityStartTls);
}

TEST_F(MailPeerFaults, StartTlsAtItsReply) {
    RunAll(
        {
            {"refused",
             [](ScriptedPeer& p) {
                 StartTlsSent(p)
                     .SendLine("454 4.7.0 TLS not available due to local problem")
                     .Hold();
             },
             kSeeSmtpError},
            {"garbage", [](ScriptedPeer& p) { StartTlsSent(p).SendLine("go on, then").Hold(); },
             kSeeSmtpError},
            {"silent", [](ScriptedPeer& p) { StartTlsSent(p).Hold(); }, kSeeTimedOut},
            {"closes", [](ScriptedPeer& p) { StartTlsSent(p).Close(); }, kSeeClosed},
            {"endless line", [](ScriptedPeer& p) { Endless(StartTlsSent(p)); }, kSeeReplyOverflow},
            {"oversized reply",
             [](ScriptedPeer& p) { StartTlsSent(p).Send(Oversized("220")).Hold(); },
             kSeeReplyOverflow},
        },
        kEmailSecurityStartTls);
}

TEST_F(MailPeerFaults, StartTlsDuringTheHandshake) {
    RunAll(
        {
            {"garbage instead of a server hello",
             [](ScriptedPeer& p) { HandshakeBegun(p).SendLine("250 AUTH PLAIN").Hold(); },
             kSeeTlsFailed},
            {"closes", [](ScriptedPeer& p) { HandshakeBegun(p).Close(); }, kSeeTlsFailed},
            {"silent", [](ScriptedPeer& p) { HandshakeBegun(p).Hold(); }, kSeeTlsFailed},
            {"endless bytes", [](ScriptedPeer& p) { Endless(HandshakeBegun(p)); }, kSeeTlsFailed},
            {"oversized record",
             [](ScriptedPeer& p) { HandshakeBegun(p).Send(kOversizedRecord).Hold(); },
             kSeeTlsFailed},
            // Plain words pushed right behind the go-ahead, before the client's hello: no reply
            // to act on, and no logon in clear because of them.
            {"clear text behind the go-ahead",
             [](ScriptedPeer& p) {
                 StartTlsSent(p)
                     .Send("220 ready to start TLS\r\n250-hello\r\n250 AUTH PLAIN\r\n")
                     .Hold();
             },
             kSeeTlsFailed},
        },
        kEmailSecurityStartTls);
}

TEST_F(MailPeerFaults, TlsFromTheFirstByte) {
    RunAll(
        {
            {"closes", [](ScriptedPeer& p) { p.Accept().Close(); }, kSeeTlsFailed},
            {"closes after the client hello",
             [](ScriptedPeer& p) { p.Accept().Do(TakeClientHello).Close(); }, kSeeTlsFailed},
            {"silent", [](ScriptedPeer& p) { p.Hold(); }, kSeeTlsFailed},
            {"plain greeting", [](ScriptedPeer& p) { p.SendLine("220 fault peer ESMTP").Hold(); },
             kSeeTlsFailed},
            {"endless bytes", [](ScriptedPeer& p) { Endless(p.Accept()); }, kSeeTlsFailed},
            {"oversized record",
             [](ScriptedPeer& p) { p.Accept().Do(TakeClientHello).Send(kOversizedRecord).Hold(); },
             kSeeTlsFailed},
        },
        kEmailSecurityTls);
}

}  // namespace
}  // namespace orvex::test
