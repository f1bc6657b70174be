#include "mail/NotificationMail.h"

#include <gtest/gtest.h>

#include "LoopbackListener.h"
#include "RecordingHost.h"
#include "ServerProcess.h"
#include "TempDir.h"
#include "TestCertificates.h"

namespace orvex::test {
namespace {

TEST(MailAddresses, ListsAndTemporaryPath) {
    EXPECT_EQ(AddressList("a@x.org;b@y.org"), "<a@x.org>,<b@y.org>");
    EXPECT_EQ(AddressList("a@x.org, b@y.org"), "<a@x.org>,< b@y.org>");
    EXPECT_EQ(AddressList(""), "");
    EXPECT_EQ(TemporaryMailPath(".\\samples\\email.htm"), ".\\samples\\email$.htm");
    EXPECT_EQ(TemporaryMailPath("C:\\mail\\note"), "C:\\mail\\note$");
    EXPECT_EQ(TemporaryMailPath("./samples/email.htm"), "./samples/email$.htm");
    EXPECT_EQ(TemporaryMailPath("email.htm"), "email.htm$");
    EXPECT_EQ(TemporaryMailPath("..\\mail.d\\note"), "..\\mail.d\\note$");
}

// Parts of a message the test server saved: headers and MIME parts.
struct Saved {
    std::string envelope;
    std::string parts;
    std::string raw;
};

// The composer against a real SMTP server. The composer always mails to port 25, so the
// server listens on 127.0.0.1:25; where that port cannot be bound the tests are skipped.
class NotificationMailTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile(work.File("email.htm"), "Reach me at %WI (LAN %I).");
        settings.EmailServer = "127.0.0.1";
        settings.EmailFrom = "orvex@home.test";
        settings.EmailTo = "a@x.test;b@y.test";
        settings.EmailSubject = "Where I am";
        settings.EmailInput = ".\\email.htm";
        settings.SuppressError = 1;
        addresses.CurrentWANIP = "203.0.113.7";
        addresses.CurrentLANIP = "10.0.0.2";
        values.currentWanIp = "203.0.113.7";
        values.currentLanIp = "10.0.0.2";
        values.workDir = work.Path();
    }

    bool StartServer() {
        server = std::make_unique<ServerProcess>(
            kPython,
            std::vector<std::string>{PeerScript("smtp_server.py"), mailDir.Path(), "--port", "25"});
        return server->Ready();
    }

    Saved Message(int n) {
        Saved s;
        s.envelope = ReadFile(mailDir.File(std::to_string(n) + ".env"));
        s.parts = ReadFile(mailDir.File(std::to_string(n) + ".parts"));
        s.raw = ReadFile(mailDir.File(std::to_string(n) + ".eml"));
        return s;
    }

    void Send() {
        SendNotificationMail(settings, addresses, manual, values, host, clock,
                             [](const std::string&) { return false; });
    }

    TempDir work;
    TempDir mailDir;
    std::unique_ptr<ServerProcess> server;
    // The engine times its dialogue by the tick count, so the clock must be a real one.
    SystemClock clock;
    AppSettings settings;
    AddressState::Snapshot addresses;
    PageValues values;
    bool manual = false;
    RecordingHost host;
};

#define REQUIRE_PORT_25()                                                               \
    if (!StartServer()) {                                                               \
        GTEST_SKIP() << "port 25 of 127.0.0.1 cannot be bound here (run as root); the " \
                        "composer always mails to port 25";                             \
    }

TEST_F(NotificationMailTest, UnchangedAddressesInChangeOnlyModeSendNothingAtAll) {
    settings.EmailOnIPChangeOnly = 1;
    addresses.PreviousWANIP = addresses.CurrentWANIP;
    addresses.PreviousLANIP = addresses.CurrentLANIP;
    Send();
    EXPECT_TRUE(host.Events().empty());
    EXPECT_FALSE(FileExists(work.File("email$.htm")));
}

TEST_F(NotificationMailTest, MissingMessageFileReportsAndShowsTheMailPage) {
    settings.EmailInput = "none.htm";
    settings.SuppressError = 0;
    Send();
    const std::string expected = std::string("P Email not sent: ") + kMailInputErrorText;
    const auto statuses = host.Statuses();
    ASSERT_EQ(statuses.size(), 3u);
    EXPECT_EQ(statuses[0], "P10007 Attempting to send email...");
    EXPECT_EQ(statuses[1].rfind("P10007 ", 0), 0u);  // the expansion's own report
    EXPECT_EQ(statuses[2], expected);
    EXPECT_EQ(host.MessageBoxTexts().back(), expected.substr(2));
    EXPECT_EQ(host.Events().back().kind, RecordingHost::Event::kPage);
    EXPECT_EQ(host.Events().back().code, 5);
}

TEST_F(NotificationMailTest, UnknownSecurityChoiceSendsNothingInClear) {
    LoopbackListener server("127.0.0.1");
    ASSERT_TRUE(server.Ready());
    settings.EmailPort = server.Port();
    settings.EnableSMTPAuth = 1;
    settings.EmailAccount = "joe";
    settings.EmailPassword = "secret";
    settings.SuppressError = 0;
    for (int security : {3, -1}) {
        settings.EmailSecurity = security;
        Send();
        const std::string expected = std::string("P Email not sent: ") + kUnknownSecurityText;
        EXPECT_EQ(host.Statuses().back(), expected);
        EXPECT_EQ(host.MessageBoxTexts().back(), expected.substr(2));
        EXPECT_EQ(host.Events().back().kind, RecordingHost::Event::kPage);
        EXPECT_EQ(server.AcceptOne(200), "") << "the server was called with security " << security;
        EXPECT_FALSE(FileExists(work.File("email$.htm")));
    }
}

TEST_F(NotificationMailTest, UnresolvableServerGivesTheEngineTextAndCleansUp) {
    settings.EmailServer = "no-such-host.invalid";
    settings.SuppressError = 0;
    Send();
    EXPECT_EQ(
        host.MessageBoxTexts(),
        (std::vector<std::string>{"Email not sent: SEE Error -46: Cannot find SMTP/POP3 server."}));
    EXPECT_FALSE(FileExists(work.File("email$.htm")));
    EXPECT_NE(host.Statuses().back(), "P10008 Successfully sent email.");
}

TEST_F(NotificationMailTest, PlainMessageReachesEveryRecipient) {
    REQUIRE_PORT_25();
    manual = true;
    settings.EmailOnIPChangeOnly = 1;  // a manual refresh mails anyway
    Send();
    EXPECT_EQ(host.Statuses(), (std::vector<std::string>{"P10007 Attempting to send email...",
                                                         "P10008 Successfully sent email."}));
    const Saved m = Message(1);
    EXPECT_NE(m.envelope.find("rcpt: a@x.test\nrcpt: b@y.test\n"), std::string::npos) << m.envelope;
    EXPECT_NE(m.envelope.find("mail_from: orvex@home.test"), std::string::npos);
    EXPECT_NE(m.raw.find("Reach me at 203.0.113.7 (LAN 10.0.0.2)."), std::string::npos) << m.raw;
    EXPECT_NE(m.parts.find("header\tSubject\tWhere I am"), std::string::npos);
    EXPECT_FALSE(FileExists(work.File("email$.htm")));
}

TEST_F(NotificationMailTest, LowerCaseHtmlTagMakesAnHtmlBodyMixedCaseDoesNot) {
    REQUIRE_PORT_25();
    WriteFile(work.File("email.htm"), "<html><body>%WI</body></html>");
    Send();
    WriteFile(work.File("email.htm"), "<Html><body>%WI</body></Html>");
    Send();
    EXPECT_NE(Message(1).parts.find("text/html"), std::string::npos) << Message(1).parts;
    EXPECT_EQ(Message(2).parts.find("text/html"), std::string::npos) << Message(2).parts;
}

TEST_F(NotificationMailTest, AttachmentCarriesTheTemporaryFileName) {
    REQUIRE_PORT_25();
    WriteFile(work.File("email.htm"), "<html>%WI</html>");
    settings.IsMsgAttachment = 1;
    Send();
    const Saved m = Message(1);
    EXPECT_NE(m.parts.find("email$.htm"), std::string::npos) << m.parts;
    EXPECT_EQ(ReadFile(mailDir.File("1.att1")), "<html>203.0.113.7</html>");
    EXPECT_FALSE(FileExists(work.File("email$.htm")));
}

TEST_F(NotificationMailTest, BlindCopyLeavesToOutAndAddsTheFirstAddressAgain) {
    REQUIRE_PORT_25();
    settings.IsMailTo = 1;
    Send();
    const Saved m = Message(1);
    EXPECT_NE(m.envelope.find("rcpt: a@x.test\nrcpt: b@y.test\nrcpt: a@x.test\n"),
              std::string::npos)
        << m.envelope;
    EXPECT_EQ(m.parts.find("header\tTo\t"), std::string::npos) << m.parts;
}

TEST_F(NotificationMailTest, EmptyRecipientsOrSenderFailWithTheEngineCodes) {
    REQUIRE_PORT_25();
    settings.EmailTo = "";
    Send();
    EXPECT_EQ(host.Statuses().back(),
              "P Email not sent: SEE Error -45: Must have at least one recipient.");
    EXPECT_FALSE(FileExists(work.File("email$.htm")));

    settings.EmailTo = "a@x.test";
    settings.EmailFrom = "";
    Send();
    EXPECT_EQ(host.Statuses().back(), "P Email not sent: SEE Error -37: EMPTY email address.");
    EXPECT_FALSE(FileExists(work.File("email$.htm")));
}

// Secure mail on a port of the test's choosing: the plain path's statuses, nothing added.
TEST_F(NotificationMailTest, StartTlsAndTlsOnTheirOwnPortsWithAuthentication) {
    TempDir certDir;
    TestCertificates certs(certDir.Path());
    ASSERT_TRUE(certs.Ok()) << certs.Error();
    settings.EnableSMTPAuth = 1;
    settings.EmailAccount = "joe";
    settings.EmailPassword = "secret";
    settings.TLSCAFile = certs.CaFile();
    int n = 0;
    for (const char* mode : {"--starttls", "--tls"}) {
        TempDir saved;
        ServerProcess secure(kPython, {PeerScript("smtp_server.py"), saved.Path(), mode,
                                       certs.CertFile("server"), certs.KeyFile("server")});
        ASSERT_TRUE(secure.Ready()) << secure.Log();
        settings.EmailPort = secure.Port();
        settings.EmailSecurity = n++ == 0 ? kEmailSecurityStartTls : kEmailSecurityTls;
        manual = true;
        Send();
        const std::vector<std::string> statuses = host.Statuses();
        ASSERT_GE(statuses.size(), 2u);
        EXPECT_EQ(std::vector<std::string>(statuses.end() - 2, statuses.end()),
                  (std::vector<std::string>{"P10007 Attempting to send email...",
                                            "P10008 Successfully sent email."}))
            << mode;
        EXPECT_NE(ReadFile(saved.File("1.env")).find("mechanism: CRAM-MD5"), std::string::npos);
    }

    // Required STARTTLS from a server that does not offer it: the reason, and no mail.
    TempDir saved;
    ServerProcess plain(kPython, {PeerScript("smtp_server.py"), saved.Path()});
    ASSERT_TRUE(plain.Ready()) << plain.Log();
    settings.EmailPort = plain.Port();
    settings.EmailSecurity = kEmailSecurityStartTls;
    Send();
    EXPECT_EQ(host.Statuses().back(),
              "P Email not sent: SEE Error -74: Server does not offer STARTTLS.");
    EXPECT_FALSE(FileExists(saved.File("1.env")));
}

}  // namespace
}  // namespace orvex::test
