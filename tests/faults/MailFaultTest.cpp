// Whole online cycles whose notification mail meets an SMTP server that fails at every step
// of the dialogue: it closes, falls silent, talks garbage, sends a line without end or a reply
// larger than the engine keeps. The mail is reported as not sent within the engine's reply
// time-out, the page is still published, and the next cycle's mail reaches a real server.
//
// The composer always calls port 25, so the misbehaving peer listens on 127.0.0.2:25 and the
// real server on 127.0.0.1:25.

#include <filesystem>
#include <memory>

#include <gtest/gtest.h>

#include "FaultSupport.h"
#include "ScriptedPeer.h"
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

class MailPeerFaults : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        servers = std::make_unique<HealthyServers>();
        mailDir = std::make_unique<TempDir>();
        smtp = std::make_unique<ServerProcess>(
            kPython, std::vector<std::string>{PeerScript("smtp_server.py"), mailDir->Path(),
                                              "--port", "25"});
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
        smtp.reset();
        mailDir.reset();
        servers.reset();
    }
    void SetUp() override {
        ASSERT_TRUE(servers->Ready()) << servers->ftp.Log() << servers->echo.Log();
        if (!smtp->Ready()) {
            GTEST_SKIP() << "port 25 of 127.0.0.1 cannot be bound here (run as root)";
        }
    }

    static int MailsDelivered() {
        int n = 0;
        for (const auto& entry : std::filesystem::directory_iterator(mailDir->Path())) {
            n += entry.path().extension() == ".eml" ? 1 : 0;
        }
        return n;
    }

    void RunAll(const std::vector<MailFault>& faults) {
        for (size_t i = 0; i < faults.size(); ++i) {
            const MailFault& fault = faults[i];
            SCOPED_TRACE(fault.name);
            CycleRig rig(*servers, "mail" + std::to_string(i) + ".html");
            WriteFile(rig.Work().File("mail.htm"), "Now at %WI" + Padding(fault.padding));
            rig.Edit([&](AppSettings& s) {
                s.EnableMail = 1;
                s.EmailServer = "127.0.0.2";
                s.EmailFrom = "me@home.test";
                s.EmailTo = "you@away.test";
                s.EmailSubject = "Where";
                s.EmailInput = "mail.htm";
                s.EnableSMTPAuth = fault.auth ? 1 : 0;
                s.EmailAccount = "joe";
                s.EmailPassword = "secret";
            });
            CycleOutcome failed;
            {
                ScriptedPeer peer("127.0.0.2", 25);
                if (peer.Port() == 0) {
                    GTEST_SKIP() << "port 25 of 127.0.0.2 cannot be bound here";
                }
                fault.script(peer);
                peer.Start();
                failed = rig.RunOnline();
                peer.Stop();
            }
            const std::string prefix =
                "P Email not sent: SEE Error " + std::to_string(fault.code) + ": ";
            EXPECT_TRUE(failed.HasStatusStarting(prefix)) << failed.Describe();
            EXPECT_FALSE(failed.HasStatus("P10008 Successfully sent email."));
            EXPECT_LT(failed.seconds, kMailBound) << failed.Describe();
            // The mail's failure does not hold the page back.
            EXPECT_EQ(failed.result, 1) << failed.Describe();
            EXPECT_EQ(rig.Published(), "<p>Home is Online at 127.0.0.1 (LAN 10.1.2.3)</p>");
            EXPECT_FALSE(FileExists(rig.Work().File("mail.htm$"))) << "temporary file left";

            const int before = MailsDelivered();
            WriteFile(rig.Work().File("mail.htm"), "Now at %WI");
            rig.Edit([](AppSettings& s) {
                s.EmailServer = "127.0.0.1";
                s.EnableSMTPAuth = 0;
            });
            const CycleOutcome next = rig.RunOnline();
            EXPECT_TRUE(next.HasStatus("P10008 Successfully sent email.")) << next.Describe();
            EXPECT_EQ(MailsDelivered(), before + 1);
            const std::string mail = mailDir->File(std::to_string(before + 1) + ".eml");
            EXPECT_NE(ReadFile(mail).find("Now at 127.0.0.1"), std::string::npos);
        }
    }

    static std::unique_ptr<HealthyServers> servers;
    static std::unique_ptr<TempDir> mailDir;
    static std::unique_ptr<ServerProcess> smtp;
};
std::unique_ptr<HealthyServers> MailPeerFaults::servers;
std::unique_ptr<TempDir> MailPeerFaults::mailDir;
std::unique_ptr<ServerProcess> MailPeerFaults::smtp;

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
         false, 32u << 20},
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

}  // namespace
}  // namespace orvex::test
