#include "mail/NotificationMail.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include <gtest/gtest.h>

#include "LoopbackListener.h"
#include "RecordingHost.h"
#include "ScriptedPeer.h"
#include "ServerProcess.h"
#include "TempDir.h"
#include "TestCertificates.h"

namespace orvex::test {
namespace {

std::vector<std::string> LastTwo(const std::vector<std::string>& statuses) {
    return statuses.size() < 2 ? statuses
                               : std::vector<std::string>(statuses.end() - 2, statuses.end());
}

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

// The composer against a real SMTP server on a free port of 127.0.0.1 (EmailPort).
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
            std::vector<std::string>{PeerScript("smtp_server.py"), mailDir.Path(), "--port", "0"});
        if (!server->Ready()) {
            return false;
        }
        settings.EmailPort = server->Port();
        return true;
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
    ASSERT_TRUE(StartServer()) << server->Log();
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
    ASSERT_TRUE(StartServer()) << server->Log();
    WriteFile(work.File("email.htm"), "<html><body>%WI</body></html>");
    Send();
    WriteFile(work.File("email.htm"), "<Html><body>%WI</body></Html>");
    Send();
    EXPECT_NE(Message(1).parts.find("text/html"), std::string::npos) << Message(1).parts;
    EXPECT_EQ(Message(2).parts.find("text/html"), std::string::npos) << Message(2).parts;
}

TEST_F(NotificationMailTest, AttachmentCarriesTheTemporaryFileName) {
    ASSERT_TRUE(StartServer()) << server->Log();
    WriteFile(work.File("email.htm"), "<html>%WI</html>");
    settings.IsMsgAttachment = 1;
    Send();
    const Saved m = Message(1);
    EXPECT_NE(m.parts.find("email$.htm"), std::string::npos) << m.parts;
    EXPECT_EQ(ReadFile(mailDir.File("1.att1")), "<html>203.0.113.7</html>");
    EXPECT_FALSE(FileExists(work.File("email$.htm")));
}

TEST_F(NotificationMailTest, BlindCopyLeavesToOutAndAddsTheFirstAddressAgain) {
    ASSERT_TRUE(StartServer()) << server->Log();
    settings.IsMailTo = 1;
    Send();
    const Saved m = Message(1);
    EXPECT_NE(m.envelope.find("rcpt: a@x.test\nrcpt: b@y.test\nrcpt: a@x.test\n"),
              std::string::npos)
        << m.envelope;
    EXPECT_EQ(m.parts.find("header\tTo\t"), std::string::npos) << m.parts;
}

TEST_F(NotificationMailTest, EmptyRecipientsOrSenderFailWithTheEngineCodes) {
    ASSERT_TRUE(StartServer()) << server->Log();
    settings.EmailTo = "";
    Send();
    EXPECT_EQ(LastTwo(host.Statuses()),
              (std::vector<std::string>{
                  "P Email not sent: SEE Error -45: Must have at least one recipient.",
                  "P no mail was sent to 127.0.0.1:" + std::to_string(server->Port()) +
                      ": the To address is empty"}));
    EXPECT_FALSE(FileExists(work.File("email$.htm")));

    settings.EmailTo = "a@x.test";
    settings.EmailFrom = "";
    Send();
    EXPECT_EQ(LastTwo(host.Statuses()),
              (std::vector<std::string>{
                  "P Email not sent: SEE Error -37: EMPTY email address.",
                  "P no mail was sent to 127.0.0.1:" + std::to_string(server->Port()) +
                      ": the From address is empty or not valid"}));
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
    EXPECT_EQ(LastTwo(host.Statuses()),
              (std::vector<std::string>{
                  "P Email not sent: SEE Error -74: Server does not offer STARTTLS.",
                  "P 127.0.0.1:" + std::to_string(plain.Port()) + " does not offer TLS"}));
    EXPECT_FALSE(FileExists(saved.File("1.env")));
}

// The engine's codes in plain words: what each says about the server, the port and the stage.
TEST(MailFailureWords, EngineCodesBecomeSentencesAboutTheServer) {
    SeeFailureFacts connecting;
    connecting.beforeConnection = true;
    connecting.systemError = ECONNREFUSED;
    connecting.limitMs = 60000;
    SeeFailureFacts talking;
    talking.limitMs = 25000;
    const auto words = [](int code, const SeeFailureFacts& facts, const std::string& text,
                          bool sending = false) {
        return MailFailureSentence("smtp.example.net", 587, code, facts, text, sending);
    };
    EXPECT_EQ(words(-36, connecting, "Error attempting to connect. "),
              "smtp.example.net:587 refused the connection");
    EXPECT_EQ(words(-8, connecting, "vSock timed out."),
              "no answer from smtp.example.net:587 within 60 s");
    EXPECT_EQ(words(-8, talking, "vSock timed out."),
              "smtp.example.net:587 took the connection but sent no reply within 25 s");
    EXPECT_EQ(words(-46, connecting, "Cannot find SMTP/POP3 server."),
              "host name not found: smtp.example.net");
    EXPECT_EQ(words(-1, talking, "vSock has been closed."),
              "smtp.example.net:587 closed the connection");
    EXPECT_EQ(words(-49, talking, "SMTP returned error. 535 5.7.8 Authentication failed\r\n"),
              "smtp.example.net:587 answered with an error: 535 5.7.8 Authentication failed");
    EXPECT_EQ(words(-49, talking, "SMTP returned error. 550 relay denied\r\n", true),
              "smtp.example.net:587 refused the message: 550 relay denied");
    EXPECT_EQ(words(-75, talking, "Server certificate not accepted: certificate has expired"),
              "the certificate of smtp.example.net was not accepted: certificate has expired");
    EXPECT_EQ(words(-76, talking, "TLS handshake failed: wrong version number"),
              "the TLS handshake with smtp.example.net:587 failed: wrong version number");
    EXPECT_EQ(words(-74, talking, "Server does not offer STARTTLS."),
              "smtp.example.net:587 does not offer TLS");
    EXPECT_EQ(words(-35, talking, "Cannot open file.", true),
              "no mail was sent to smtp.example.net:587: Cannot open file.");
}

// Whole sends against loopback peers that fail: the failure's own line stays as it was, and
// the plain words follow it.
TEST_F(NotificationMailTest, FailuresAreToldInPlainWordsAfterTheirCodes) {
    // A loopback port nothing listens on.
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    settings.EmailPort = ntohs(address.sin_port);
    Send();
    EXPECT_EQ(host.Statuses(), (std::vector<std::string>{
                                   "P10007 Attempting to send email...",
                                   "P Email not sent: SEE Error -36: Error attempting to connect. ",
                                   "P 127.0.0.1:" + std::to_string(settings.EmailPort) +
                                       " refused the connection"}));

    ScriptedPeer closing;
    closing.Accept().Close();
    closing.Start();
    RecordingHost cut;
    settings.EmailPort = closing.Port();
    SendNotificationMail(settings, addresses, manual, values, cut, clock,
                         [](const std::string&) { return false; });
    closing.Stop();
    EXPECT_EQ(LastTwo(cut.Statuses()),
              (std::vector<std::string>{
                  "P Email not sent: SEE Error -1: vSock has been closed.",
                  "P 127.0.0.1:" + std::to_string(settings.EmailPort) + " closed the connection"}));

    RecordingHost unknown;
    settings.EmailServer = "smtp.example.invalid";
    SendNotificationMail(settings, addresses, manual, values, unknown, clock,
                         [](const std::string&) { return false; });
    EXPECT_EQ(
        LastTwo(unknown.Statuses()),
        (std::vector<std::string>{"P Email not sent: SEE Error -46: Cannot find SMTP/POP3 server.",
                                  "P host name not found: smtp.example.invalid"}));
}

TEST_F(NotificationMailTest, SilentServerIsToldAsNoReplyWithinTheReplyTimeOut) {
    ScriptedPeer silent;
    silent.Accept().Hold();
    silent.Start();
    settings.EmailPort = silent.Port();
    seeAttach(1);
    seeIntegerParam(0, kSeeReplyTimeout, 600);
    seeDetach();
    Send();
    seeAttach(1);
    seeIntegerParam(0, kSeeReplyTimeout, 25000);  // process-wide: put back for the other tests
    seeDetach();
    silent.Stop();
    EXPECT_EQ(LastTwo(host.Statuses()),
              (std::vector<std::string>{"P Email not sent: SEE Error -8: vSock timed out.",
                                        "P 127.0.0.1:" + std::to_string(settings.EmailPort) +
                                            " took the connection but sent no reply within 1 s"}));
}

}  // namespace
}  // namespace orvex::test
