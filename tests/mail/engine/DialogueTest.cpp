// The SMTP dialogue and the message bytes against the scripted peer.

#include <sys/stat.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "mail/engine/codec/Base64.h"
#include "mail/engine/codec/CramMd5.h"

namespace orvex::test {
namespace {

// The server side of a whole message: envelope for `rcpts`, DATA, the dot, QUIT.
ScriptedPeer& Deliver(ScriptedPeer& peer, const std::vector<std::string>& rcpts,
                      const std::string& from = "<me@example.com>") {
    peer.Expect("MAIL FROM:" + from).SendLine("250 sender ok");
    for (const std::string& r : rcpts) {
        peer.Expect("RCPT TO:" + r).SendLine("250 recipient ok");
    }
    return peer.Expect("DATA")
        .SendLine("354 go ahead")
        .ReadUntil("\r\n.\r\n")
        .SendLine("250 queued")
        .Expect("QUIT")
        .SendLine("221 bye")
        .ReadToEnd();
}

using Dialogue = EngineTest;

TEST_F(Dialogue, PlainMessageGoesOutByteForByte) {
    ScriptedPeer peer;
    Deliver(Greet(peer), {"<you@example.org>"});
    peer.Start();
    ASSERT_EQ(Connect(peer.Port()), 0);
    std::string body = "Hello\r\n.dot\r\ncaf\xe9\tend\r\n" + std::string(100, 'x') + "\r\n";
    ASSERT_EQ(seeSendEmail(0, "<you@example.org>", nullptr, nullptr, "Test", body.c_str(), nullptr),
              0);
    EXPECT_EQ(seeClose(0), 0);
    ASSERT_TRUE(peer.Finish()) << peer.Report();
    EXPECT_EQ(DataOf(peer.Received()), kMailer + kDate +
                                           "To: <you@example.org>\r\n"
                                           "From: <me@example.com>\r\n"
                                           "Subject: Test\r\n"
                                           "\r\n"
                                           "Hello\r\n"
                                           "..dot\r\n"
                                           "caf~~end\r\n" +
                                           std::string(78, 'x') + "\r\n" + std::string(22, 'x') +
                                           "\r\n"
                                           "\r\n.\r\n");
}

TEST_F(Dialogue, HtmlMessageIsMultipartRelatedWithLinesUnbroken) {
    ScriptedPeer peer;
    Deliver(Greet(peer), {"<you@example.org>"});
    peer.Start();
    ASSERT_EQ(Connect(peer.Port()), 0);
    seeIntegerParam(0, kSeeContentMode, kSeeHtml);
    std::string line = "<html>" + std::string(300, 'h') + "</html>";
    ASSERT_EQ(seeSendEmail(0, "<you@example.org>", "", "", "Page", line.c_str(), ""), 0);
    seeClose(0);
    ASSERT_TRUE(peer.Finish()) << peer.Report();
    EXPECT_EQ(DataOf(peer.Received()), kMailer + kDate +
                                           "To: <you@example.org>\r\n"
                                           "From: <me@example.com>\r\n"
                                           "Subject: Page\r\n"
                                           "MIME-Version: 1.0\r\n"
                                           "Content-Type: multipart/related; boundary=\"" +
                                           kBoundary +
                                           "\"\r\n"
                                           "\r\n"
                                           "--" +
                                           kBoundary +
                                           "\r\n"
                                           "Content-Type: text/html\r\n"
                                           "\r\n" +
                                           line + "\r\n--" + kBoundary + "--\r\n\r\n\r\n.\r\n");
}

TEST_F(Dialogue, AttachmentGoesOutAsBase64LinesAfterAnEmptyTextPart) {
    std::string bytes;
    for (int i = 0; i < 100; ++i) {
        bytes += static_cast<char>(i * 37);
    }
    ::mkdir(dir_.File("C:").c_str(), 0700);
    ::mkdir(dir_.File("C:/out").c_str(), 0700);
    WriteFile(dir_.File("C:/out/a.bin"), bytes);
    ScriptedPeer peer;
    Deliver(Greet(peer), {"<you@example.org>"});
    peer.Start();
    ASSERT_EQ(Connect(peer.Port()), 0);
    ASSERT_EQ(seeSendEmail(0, "<you@example.org>", nullptr, nullptr, "Files", "",
                           "C:\\out\\a.bin|report.txt"),
              0);
    seeClose(0);
    ASSERT_TRUE(peer.Finish()) << peer.Report();
    EXPECT_EQ(DataOf(peer.Received()),
              kMailer + kDate +
                  "To: <you@example.org>\r\n"
                  "From: <me@example.com>\r\n"
                  "Subject: Files\r\n"
                  "MIME-Version: 1.0\r\n"
                  "Content-Type: multipart/mixed; boundary=\"" +
                  kBoundary + "\"\r\n\r\n--" + kBoundary +
                  "\r\n"
                  "Content-Type: text/plain\r\n"
                  "\r\n"
                  "\r\n\r\n--" +
                  kBoundary +
                  "\r\n"
                  "Content-Type: application/octet-stream; name=\"report.txt\"\r\n"
                  "Content-Transfer-Encoding: base64\r\n"
                  "Content-Disposition: attachment; filename=\"report.txt\"\r\n"
                  "\r\n" +
                  Base64Encode(bytes.substr(0, 57)) + "\r\n" + Base64Encode(bytes.substr(57)) +
                  "\r\n--" + kBoundary + "--\r\n\r\n\r\n.\r\n");
}

TEST_F(Dialogue, BodyAndAttachmentLargerThanOneWriteKeepEveryLine) {
    std::string bytes;
    for (int i = 0; i < 200000; ++i) {
        bytes += static_cast<char>((i * 7919) >> 3);
    }
    WriteFile(dir_.File("big.bin"), bytes);
    std::string body;
    std::string bodyOut;
    for (int i = 0; i < 3000; ++i) {
        std::string line = (i % 50 == 0 ? "." : "") + std::string(40, 'a' + i % 26);
        body += line + "\n";
        bodyOut += (line[0] == '.' ? "." : "") + line + "\r\n";
    }
    std::string base64;
    for (size_t at = 0; at < bytes.size(); at += 57) {
        base64 += Base64Encode(bytes.substr(at, 57)) + "\r\n";
    }
    ScriptedPeer peer;
    Deliver(Greet(peer), {"<you@example.org>"});
    peer.Start();
    ASSERT_EQ(Connect(peer.Port()), 0);
    ASSERT_EQ(
        seeSendEmail(0, "<you@example.org>", nullptr, nullptr, "Big", body.c_str(), "big.bin"), 0);
    seeClose(0);
    ASSERT_TRUE(peer.Finish()) << peer.Report();
    const std::string data = DataOf(peer.Received());
    const std::string textPart = "Content-Type: text/plain\r\n\r\n";
    size_t at = data.find(textPart);
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(data.substr(at + textPart.size(), bodyOut.size()), bodyOut);
    const std::string partEnd = "filename=\"big.bin\"\r\n\r\n";
    at = data.find(partEnd);
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(data.substr(at + partEnd.size()), base64 + "--" + kBoundary + "--\r\n\r\n\r\n.\r\n");
}

TEST_F(Dialogue, ImagesAreNumberedInlineAndAnEmptyFileHasNoBase64Line) {
    WriteFile(dir_.File("PHOTO.JPG"), "jpeg");
    WriteFile(dir_.File("logo.gif"), "gif");
    WriteFile(dir_.File("empty.bin"), "");
    WriteFile(dir_.File("body.txt"), "from a file\n");
    ScriptedPeer peer;
    Deliver(Greet(peer), {"<you@example.org>"});
    peer.Start();
    ASSERT_EQ(Connect(peer.Port()), 0);
    ASSERT_EQ(seeSendEmail(0, "<you@example.org>", nullptr, nullptr, nullptr, "@body.txt",
                           "PHOTO.JPG,logo.gif,empty.bin"),
              0);
    seeClose(0);
    ASSERT_TRUE(peer.Finish()) << peer.Report();
    std::string data = DataOf(peer.Received());
    EXPECT_EQ(data.find("Subject:"), std::string::npos);
    EXPECT_NE(data.find("Content-Type: text/plain\r\n\r\nfrom a file\r\n"), std::string::npos);
    EXPECT_NE(data.find("Content-Type: Image/JPEG; name=\"PHOTO.JPG\"\r\n"
                        "Content-ID: <message-root.1>\r\n"
                        "Content-Transfer-Encoding: base64\r\n"
                        "Content-Disposition: inline; filename=\"PHOTO.JPG\"\r\n\r\n" +
                        Base64Encode("jpeg") + "\r\n"),
              std::string::npos);
    EXPECT_NE(data.find("Content-Type: Image/GIF; name=\"logo.gif\"\r\n"
                        "Content-ID: <message-root.2>\r\n"),
              std::string::npos);
    EXPECT_NE(data.find("Content-Disposition: attachment; filename=\"empty.bin\"\r\n\r\n"
                        "--" +
                        kBoundary + "--\r\n\r\n\r\n.\r\n"),
              std::string::npos);
}

TEST_F(Dialogue, HeadersComeInOrderAndBlindCopiesStayOutOfTheMessage) {
    ScriptedPeer peer;
    Greet(peer);
    Deliver(peer, {"<a@x.org>", "<b@x.org>", "<c@x.org>", "<d@x.org>"});
    peer.Start();
    seeIntegerParam(0, kSeePort, peer.Port());
    ASSERT_EQ(seeSmtpConnect(0, "127.0.0.1", "<me@example.com>", "<back@example.com>"), 0);
    ASSERT_EQ(seeSendEmail(0, "<a@x.org>,<b@x.org>", "<c@x.org>", "<d@x.org>", "Hi", "x", ""), 0);
    seeClose(0);
    ASSERT_TRUE(peer.Finish()) << peer.Report();
    EXPECT_EQ(DataOf(peer.Received()), kMailer + kDate +
                                           "To: <a@x.org>,<b@x.org>\r\n"
                                           "From: <me@example.com>\r\n"
                                           "Reply-To: <back@example.com>\r\n"
                                           "Subject: Hi\r\n"
                                           "CC: <c@x.org>\r\n"
                                           "\r\n"
                                           "x\r\n"
                                           "\r\n.\r\n");
}

TEST_F(Dialogue, ThreeToAndOneBccGiveFourRecipientsInOrderAndToCanBeLeftOut) {
    ScriptedPeer peer;
    Greet(peer);
    peer.Expect("MAIL FROM:<me@example.com>").SendLine("250 ok");
    // A 4xx answer is not a refusal here: the dialogue goes on.
    peer.Expect("RCPT TO:<a@x.org>").SendLine("451 try later");
    for (const char* r : {"<b@x.org> (B)", "<c@x.org>", "<a@x.org>"}) {
        peer.Expect(std::string("RCPT TO:") + r).SendLine("250 ok");
    }
    peer.Expect("DATA").SendLine("354 go").ReadUntil("\r\n.\r\n").SendLine("250 ok");
    peer.Expect("QUIT").SendLine("221 bye").ReadToEnd();
    peer.Start();
    ASSERT_EQ(Connect(peer.Port()), 0);
    seeIntegerParam(0, kSeeOmitTo, 1);
    ASSERT_EQ(seeSendEmail(0, "<a@x.org>,<b@x.org> (B),<c@x.org>", nullptr, "<a@x.org>", "S", "x",
                           nullptr),
              0);
    seeClose(0);
    ASSERT_TRUE(peer.Finish()) << peer.Report();
    std::string data = DataOf(peer.Received());
    EXPECT_EQ(data.find("To:"), std::string::npos);
    EXPECT_EQ(data.find("a@x.org"), std::string::npos);
}

TEST_F(Dialogue, ArgumentChecksAnswerInTheirOrder) {
    EXPECT_EQ(seeAttach(1), kSeeAlreadyAttached);
    EXPECT_EQ(seeSmtpConnect(1, "h", "<a>", nullptr), kSeeChannelOutOfRange);
    EXPECT_EQ(seeSmtpConnect(0, nullptr, "<a>", nullptr), kSeeNoServer);
    EXPECT_EQ(seeSmtpConnect(0, "h", nullptr, nullptr), kSeeSenderNull);
    EXPECT_EQ(seeSmtpConnect(0, "mail@host", "<a>", nullptr), kSeeBadServerName);
    EXPECT_EQ(seeSmtpConnect(0, "bad\tname", "<a>", nullptr), kSeeBadServerName);
    EXPECT_EQ(seeSmtpConnect(0, "h", "", nullptr), kSeeEmptyAddress);
    EXPECT_EQ(seeSmtpConnect(0, "h", "a@b>", nullptr), kSeeMissingOpenBracket);
    EXPECT_EQ(seeSmtpConnect(0, "h", "a> <b@c", nullptr), kSeeMissingCloseBracket);
    EXPECT_EQ(seeSmtpConnect(0, "", "<a@b>", nullptr), kSeeServerNotFound);
    // Longer than the socket layer's names once cut to 128: not found, not refused as illegal.
    EXPECT_EQ(seeSmtpConnect(0, std::string(129, 'h').c_str(), "<a@b>", nullptr),
              kSeeServerNotFound);
    EXPECT_EQ(seeCommand(0, nullptr), kSeeNullPointer);
    EXPECT_EQ(seeStringParam(0, kSeePassword, nullptr), kSeeNullPointer);
    EXPECT_EQ(seeStringParam(0, kSeeUser, std::string(70, 'u').c_str()), 64);
    EXPECT_EQ(seeStringParam(0, 99, "x"), -1);  // unknown parameter
    EXPECT_EQ(seeIntegerParam(0, 99, 1), -1);
    EXPECT_EQ(seeSendEmail(0, "<a@b>", nullptr, nullptr, nullptr, nullptr, nullptr),
              kSeeNotConnected);
    EXPECT_EQ(seeClose(0), 0);  // never connected: nothing to do
    EXPECT_EQ(seeSendEmail(0, "<a@b>", nullptr, nullptr, nullptr, nullptr, nullptr), kSeeSmtpOnly);
    EXPECT_EQ(seeCommand(0, "NOOP"), kSeeBadServerName);  // its answer for "not connected"
    EXPECT_EQ(seeAttach(0), kSeeAlreadyAttached);

    seeDetach();
    EXPECT_EQ(seeSendEmail(0, "<a@b>", nullptr, nullptr, nullptr, nullptr, nullptr),
              kSeeNotAttached);
    EXPECT_EQ(seeErrorText(0, kSeeServerNotFound), "");
    EXPECT_EQ(seeAttach(129), kSeeChannelOutOfRange);
    EXPECT_EQ(seeAttach(0), kSeeChannelOutOfRange);
    EXPECT_EQ(seeDetach(), 1);
    ASSERT_EQ(seeAttach(1, clock_, dir_.Path()), 1);
}

TEST_F(Dialogue, ErrorTextsComeFromTheTable) {
    EXPECT_EQ(seeErrorText(0, kSeeServerNotFound), "Cannot find SMTP/POP3 server.");
    EXPECT_EQ(seeErrorText(0, -10061), "Connection refused by remote host.");
    EXPECT_EQ(seeErrorText(0, 0), "Cannot comply");
    EXPECT_EQ(seeErrorText(0, -1003), "");
    EXPECT_EQ(seeErrorText(0, kSeeConnectFailed), "Error attempting to connect. ");
    char small[8];
    EXPECT_EQ(seeErrorString(0, kSeeServerNotFound, small, sizeof small), 7);
    EXPECT_STREQ(small, "Cannot ");
    EXPECT_EQ(seeErrorString(0, -1003, small, sizeof small), 0);
    EXPECT_STREQ(small, "");
}

TEST_F(Dialogue, RecipientChecksOfSendEmail) {
    ScriptedPeer peer;
    Greet(peer).Hold();
    peer.Start();
    ASSERT_EQ(Connect(peer.Port()), 0);
    EXPECT_EQ(seeSendEmail(0, "", "<c@x>", "<d@x>", "s", "m", nullptr), kSeeNoRecipient);
    EXPECT_EQ(seeSendEmail(0, nullptr, nullptr, nullptr, "s", "m", nullptr), kSeeToNull);
    EXPECT_EQ(seeSendEmail(0, "<a@x", nullptr, nullptr, "s", "m", nullptr),
              kSeeMissingCloseBracket);
    // A missing "<" goes through the error path: the connection is gone afterwards.
    EXPECT_EQ(seeSendEmail(0, "<a@x>", "c@x", nullptr, "s", "m", nullptr), kSeeMissingOpenBracket);
    EXPECT_EQ(seeSendEmail(0, "<a@x>", nullptr, nullptr, "s", "m", nullptr), kSeeNotConnected);
    peer.Stop();
}

TEST_F(Dialogue, RefusedGreetingFailsWithTheGreetingInTheText) {
    ScriptedPeer peer;
    peer.SendLine("554 no service for you").ReadToEnd();
    peer.Start();
    EXPECT_EQ(Connect(peer.Port()), kSeeSmtpError);
    EXPECT_EQ(seeErrorText(0, kSeeSmtpError), "SMTP returned error. 554 no service for you\r\n");
    EXPECT_TRUE(peer.Finish()) << peer.Report();
    EXPECT_TRUE(peer.Received().empty());
    EXPECT_EQ(seeClose(0), 0);
}

TEST_F(Dialogue, RefusedEhloFailsWithoutFallingBackToHelo) {
    ScriptedPeer peer;
    peer.SendLine("220 hi").Expect("EHLO example.com").SendLine("502 not here").ReadToEnd();
    peer.Start();
    seeIntegerParam(0, kSeeEhloAuth, 1);
    EXPECT_EQ(Connect(peer.Port()), kSeeSmtpError);
    EXPECT_TRUE(peer.Finish()) << peer.Report();
    EXPECT_EQ(peer.ReceivedLines(), std::vector<std::string>{"EHLO example.com"});
}

TEST_F(Dialogue, GreetingNamesTheDefaultDomainWhenTheSenderHasNone) {
    ScriptedPeer peer;
    Greet(peer, "HELO quorvane.invalid").Expect("QUIT").SendLine("221 bye").ReadToEnd();
    peer.Start();
    EXPECT_EQ(Connect(peer.Port(), "<postmaster>"), 0);
    EXPECT_EQ(seeClose(0), 0);
    EXPECT_TRUE(peer.Finish()) << peer.Report();
}

struct AuthCase {
    const char* name;
    std::string ehloReply;
    std::vector<std::pair<std::string, std::string>> exchange;  // expected line, answer
};

class Authentication : public EngineTest, public ::testing::WithParamInterface<AuthCase> {};

TEST_P(Authentication, UsesTheMechanismPreferredAmongThoseOffered) {
    const AuthCase& c = GetParam();
    ScriptedPeer peer;
    peer.SendLine("220 hi").Expect("EHLO example.com").Send(c.ehloReply);
    for (const auto& [expected, answer] : c.exchange) {
        peer.Expect(expected).SendLine(answer);
    }
    peer.Expect("QUIT").SendLine("221 bye").ReadToEnd();
    peer.Start();
    seeIntegerParam(0, kSeeEhloAuth, 1);
    seeStringParam(0, kSeeUser, "joe");
    seeStringParam(0, kSeePassword, "secret");
    EXPECT_EQ(Connect(peer.Port()), 0);
    EXPECT_EQ(seeClose(0), 0);
    EXPECT_TRUE(peer.Finish()) << peer.Report();
}

const std::string kChallenge = "<1896.697170952@postoffice.reston.mci.net>";
const std::vector<std::pair<std::string, std::string>> kLogin = {
    {"AUTH LOGIN", "334 VXNlcm5hbWU6"},
    {Base64Encode("joe"), "334 UGFzc3dvcmQ6"},
    {Base64Encode("secret"), "235 welcome"}};

INSTANTIATE_TEST_SUITE_P(
    Mechanisms, Authentication,
    ::testing::Values(
        AuthCase{"LoginOverPlain", "250-hello\r\n250-AUTH LOGIN PLAIN\r\n250 OK\r\n", kLogin},
        AuthCase{"EqualsLogin", "250-hello\r\n250-AUTH=LOGIN\r\n250 OK\r\n", kLogin},
        AuthCase{"CramMd5OverPlain",
                 "250-hello\r\n250-auth plain cram-md5\r\n250 OK\r\n",
                 {{"AUTH CRAM-MD5", "334 " + Base64Encode(kChallenge)},
                  {Base64Encode(CramMd5Response("joe", "secret", kChallenge)), "235 ok"}}},
        AuthCase{"PlainAlone",
                 "250-hello\r\n250 AUTH PLAIN\r\n",
                 {{"AUTH PLAIN " + Base64Encode(std::string("joe\0joe\0secret", 14)), "235 ok"}}},
        AuthCase{"NoAuthLine", "250-hello\r\n250 SIZE 1000\r\n", {}}),
    [](const ::testing::TestParamInfo<AuthCase>& info) { return info.param.name; });

TEST_F(Dialogue, RefusedCredentialsFailTheConnection) {
    ScriptedPeer peer;
    peer.SendLine("220 hi").Expect("EHLO example.com").SendLine("250 AUTH PLAIN");
    peer.ExpectPrefix("AUTH PLAIN ").SendLine("535 5.7.8 credentials invalid").ReadToEnd();
    peer.Start();
    seeIntegerParam(0, kSeeEhloAuth, 1);
    seeStringParam(0, kSeeUser, "joe");
    seeStringParam(0, kSeePassword, "wrong");
    EXPECT_EQ(Connect(peer.Port()), kSeeSmtpError);
    EXPECT_EQ(seeErrorText(0, kSeeSmtpError),
              "SMTP returned error. 535 5.7.8 credentials invalid\r\n");
    EXPECT_TRUE(peer.Finish()) << peer.Report();
}

// A secret goes out only after the server's 334 prompt for it; any other reply ends the logon
// with the server's words, and the peer receives nothing after that reply.
struct PromptCase {
    const char* name;
    std::string mechanism;                                      // the one the server offers
    std::vector<std::pair<std::string, std::string>> exchange;  // expected line, answer
    std::string error;
};

class LogonPrompt : public EngineTest, public ::testing::WithParamInterface<PromptCase> {};

TEST_P(LogonPrompt, AnyReplyButAPromptEndsTheLogonAndSendsNothingMore) {
    const PromptCase& c = GetParam();
    ScriptedPeer peer;
    peer.SendLine("220 hi").Expect("EHLO example.com").SendLine("250 AUTH " + c.mechanism);
    std::vector<std::string> sent = {"EHLO example.com"};
    for (const auto& [expected, answer] : c.exchange) {
        peer.Expect(expected).SendLine(answer);
        sent.push_back(expected);
    }
    peer.ReadToEnd();
    peer.Start();
    seeIntegerParam(0, kSeeEhloAuth, 1);
    seeStringParam(0, kSeeUser, "joe");
    seeStringParam(0, kSeePassword, "secret");
    EXPECT_EQ(Connect(peer.Port()), kSeeSmtpError);
    EXPECT_EQ(seeErrorText(0, kSeeSmtpError), "SMTP returned error. " + c.error + "\r\n");
    EXPECT_TRUE(peer.Finish()) << peer.Report();
    EXPECT_EQ(peer.ReceivedLines(), sent);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, LogonPrompt,
    ::testing::Values(
        PromptCase{"TemporaryFailureInsteadOfTheUserPrompt",
                   "LOGIN",
                   {{"AUTH LOGIN", "454 4.7.0 try later"}},
                   "454 4.7.0 try later"},
        PromptCase{"SuccessInsteadOfTheUserPrompt", "LOGIN", {{"AUTH LOGIN", "235 ok"}}, "235 ok"},
        PromptCase{"TemporaryFailureInsteadOfThePasswordPrompt",
                   "LOGIN",
                   {{"AUTH LOGIN", "334 VXNlcm5hbWU6"}, {Base64Encode("joe"), "432 4.7.12 wait"}},
                   "432 4.7.12 wait"},
        PromptCase{"SuccessInsteadOfThePasswordPrompt",
                   "LOGIN",
                   {{"AUTH LOGIN", "334 VXNlcm5hbWU6"}, {Base64Encode("joe"), "250 fine"}},
                   "250 fine"},
        PromptCase{"TemporaryFailureInsteadOfTheChallenge",
                   "CRAM-MD5",
                   {{"AUTH CRAM-MD5", "454 4.7.0 try later"}},
                   "454 4.7.0 try later"}),
    [](const ::testing::TestParamInfo<PromptCase>& info) { return info.param.name; });

TEST_F(Dialogue, RefusedRawCommandLeavesNoConnectionForTheNextMessage) {
    ScriptedPeer peer;
    Greet(peer).Expect("NOOP").SendLine("500 what").ReadToEnd();
    peer.Start();
    ASSERT_EQ(Connect(peer.Port()), 0);
    EXPECT_EQ(seeCommand(0, "NOOP"), kSeeSmtpError);
    EXPECT_EQ(seeSendEmail(0, "<a@x>", nullptr, nullptr, "s", "m", nullptr), kSeeNotConnected);
    EXPECT_EQ(seeClose(0), 0);
    EXPECT_TRUE(peer.Finish()) << peer.Report();
}

TEST_F(Dialogue, SilentServerTimesOut) {
    seeIntegerParam(0, kSeeReplyTimeout, 300);  // process-wide reply time-out, put back by TearDown
    ScriptedPeer peer;
    Greet(peer).Expect("MAIL FROM:<me@example.com>").SendLine("250 ok");
    peer.Expect("RCPT TO:<a@x>").SendLine("250 ok").Expect("DATA").Hold();
    peer.Start();
    ASSERT_EQ(Connect(peer.Port()), 0);
    EXPECT_EQ(seeSendEmail(0, "<a@x>", nullptr, nullptr, "s", "m", nullptr), kSeeTimedOut);
    EXPECT_EQ(seeErrorText(0, kSeeTimedOut), "vSock timed out.");
    peer.Stop();
}

TEST_F(Dialogue, ReplyOverTheBufferOverflows) {
    std::string reply;
    for (int i = 0; i < 30; ++i) {
        reply += "250-" + std::string(40, 'x') + "\r\n";
    }
    ScriptedPeer peer;
    peer.SendLine("220 hi").Expect("HELO example.com").Send(reply + "250 end\r\n").ReadToEnd();
    peer.Start();
    EXPECT_EQ(Connect(peer.Port()), kSeeReplyOverflow);
    EXPECT_TRUE(peer.Finish()) << peer.Report();
}

TEST_F(Dialogue, LongReplyLinesAndRepliesInPiecesAreReadWhole) {
    ScriptedPeer peer;
    peer.SendLine("220 " + std::string(300, 'g')).Expect("HELO example.com");
    peer.Send("250-hel").Pause(30).Send("lo\r\n250").Pause(30).Send(" ok\r\n");
    peer.Expect("QUIT").SendLine("221 bye").ReadToEnd();
    peer.Start();
    ASSERT_EQ(Connect(peer.Port()), 0);
    EXPECT_EQ(seeErrorText(0, kSeeSmtpError), "SMTP returned error. 250-hello\r\n250 ok\r\n");
    EXPECT_EQ(seeClose(0), 0);
    EXPECT_TRUE(peer.Finish()) << peer.Report();
}

TEST_F(Dialogue, ServerThatClosesInsteadOfGreetingIsAFailure) {
    ScriptedPeer peer;
    peer.Close();
    peer.Start();
    EXPECT_EQ(Connect(peer.Port()), kSeeClosed);
    EXPECT_TRUE(peer.Finish()) << peer.Report();
}

TEST_F(Dialogue, MissingAttachmentFailsTheMessageAndClosesTheConnection) {
    ScriptedPeer peer;
    Greet(peer).Expect("MAIL FROM:<me@example.com>").SendLine("250 ok");
    peer.Expect("RCPT TO:<a@x>").SendLine("250 ok").Expect("DATA").SendLine("354 go");
    peer.ReadToEnd();
    peer.Start();
    ASSERT_EQ(Connect(peer.Port()), 0);
    EXPECT_EQ(seeSendEmail(0, "<a@x>", nullptr, nullptr, "s", "m", "missing.bin"),
              kSeeCannotOpenFile);
    EXPECT_EQ(seeClose(0), 0);
    EXPECT_TRUE(peer.Finish()) << peer.Report();
    EXPECT_EQ(peer.Received().find("\r\n.\r\n"), std::string::npos);
}

TEST_F(Dialogue, RefusedConnectionAndStepwiseDriving) {
    // A port nobody listens on: bind one, note it, close it.
    int port;
    {
        ScriptedPeer unused;
        port = unused.Port();
    }
    EXPECT_EQ(Connect(port), kSeeConnectFailed);
    EXPECT_EQ(seeErrorText(0, kSeeConnectFailed), "Error attempting to connect. ");

    ScriptedPeer peer;
    Greet(peer).Hold();
    peer.Start();
    seeIntegerParam(0, kSeeBlocking, 0);
    ASSERT_EQ(Connect(peer.Port()), 0);  // set up only
    int rc;
    int steps = 0;
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while ((rc = seeStep(0)) > 0 && std::chrono::steady_clock::now() < until) {
        ++steps;
        if (rc == 9999) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    EXPECT_EQ(rc, 0);
    EXPECT_GT(steps, 5);
    peer.Stop();
}

TEST_F(Dialogue, SkippedRefusalsSendToTheRestAndRsetWhenNoneIsLeft) {
    ScriptedPeer peer;
    Greet(peer).Expect("MAIL FROM:<me@example.com>").SendLine("250 ok");
    peer.Expect("RCPT TO:<a@x>").SendLine("550 no such user a");
    peer.Expect("RCPT TO:<b@x>").SendLine("250 ok");
    peer.Expect("DATA").SendLine("354 go").ReadUntil("\r\n.\r\n").SendLine("250 queued");
    peer.Expect("MAIL FROM:<me@example.com>").SendLine("250 ok");
    peer.Expect("RCPT TO:<a@x>").SendLine("550 no such user a");
    peer.Expect("RCPT TO:<c@x>").SendLine("553 no such user c");
    peer.Expect("RSET").SendLine("250 flushed");
    peer.Expect("QUIT").SendLine("221 bye").ReadToEnd();
    peer.Start();
    ASSERT_EQ(Connect(peer.Port()), 0);
    seeIntegerParam(0, kSeeSkipRefused, 1);
    EXPECT_EQ(seeSendEmail(0, "<a@x>,<b@x>", nullptr, nullptr, "s", "m", nullptr), 0);
    EXPECT_EQ(seeSendEmail(0, "<a@x>", nullptr, "<c@x>", "s", "m", nullptr), kSeeSmtpError);
    EXPECT_EQ(seeErrorText(0, kSeeSmtpError), "SMTP returned error. 553 no such user c\r\n");
    EXPECT_EQ(seeClose(0), 0);  // still connected: QUIT goes out
    EXPECT_TRUE(peer.Finish()) << peer.Report();
}

TEST_F(Dialogue, ErrorTextNeverCarriesAReplyOfAnEarlierConnection) {
    int port;
    {
        ScriptedPeer unused;
        port = unused.Port();
    }
    ScriptedPeer peer;
    Greet(peer).Expect("QUIT").SendLine("221 bye").ReadToEnd();
    peer.Start();
    ASSERT_EQ(Connect(peer.Port()), 0);
    EXPECT_EQ(seeClose(0), 0);
    EXPECT_TRUE(peer.Finish()) << peer.Report();
    EXPECT_EQ(Connect(port), kSeeConnectFailed);
    EXPECT_EQ(seeErrorText(0, kSeeConnectFailed), "Error attempting to connect. ");
}

TEST_F(Dialogue, TraceRecordsEveryStateChangeAndTheFailure) {
    const std::string trace = dir_.File("trace.txt");
    ASSERT_EQ(seeStringParam(0, kSeeTraceFile, trace.c_str()), 1);
    ScriptedPeer peer;
    Greet(peer).Expect("NOOP").SendLine("500 what").ReadToEnd();
    peer.Start();
    ASSERT_EQ(Connect(peer.Port()), 0);
    EXPECT_EQ(seeCommand(0, "NOOP"), kSeeSmtpError);
    ASSERT_EQ(seeStringParam(0, kSeeTraceFile, ""), 1);
    EXPECT_TRUE(peer.Finish()) << peer.Report();
    EXPECT_EQ(ReadFile(trace),
              "channel 0: -1 -> 200\n"
              "channel 0: 200 -> 101\n"
              "channel 0: 101 -> 104\n"
              "channel 0: 104 -> 105\n"
              "channel 0: 105 -> 106\n"
              "channel 0: 106 -> 201\n"
              "channel 0: 201 -> 202\n"
              "channel 0: 202 -> 203\n"
              "channel 0: 203 -> 0\n"
              "channel 0: -1 -> 298\n"
              "channel 0: 298 -> 299\n"
              "channel 0: 299 fails with -49\n"
              "channel 0: 299 -> 0\n");
    EXPECT_EQ(seeStringParam(0, kSeeTraceFile, dir_.File("no/such/dir/t").c_str()),
              kSeeCannotCreateFile);
}

TEST_F(Dialogue, TwoChannelsRunOnTwoThreadsAtOnce) {
    seeDetach();
    ASSERT_EQ(seeAttach(2, clock_, dir_.Path()), 1);
    ScriptedPeer peers[2];
    for (ScriptedPeer& peer : peers) {
        Deliver(Greet(peer), {"<you@example.org>"});
        peer.Start();
    }
    int results[2] = {-999, -999};
    auto run = [&](int channel) {
        seeIntegerParam(channel, kSeePort, peers[channel].Port());
        int rc = seeSmtpConnect(channel, "127.0.0.1", "<me@example.com>", nullptr);
        if (rc == 0) {
            rc = seeSendEmail(channel, "<you@example.org>", nullptr, nullptr, "s", "m", nullptr);
        }
        int closed = seeClose(channel);
        results[channel] = rc == 0 ? closed : rc;
    };
    std::thread first(run, 0);
    std::thread second(run, 1);
    first.join();
    second.join();
    EXPECT_EQ(results[0], 0);
    EXPECT_EQ(results[1], 0);
    for (ScriptedPeer& peer : peers) {
        EXPECT_TRUE(peer.Finish()) << peer.Report();
        EXPECT_NE(DataOf(peer.Received()).find("Subject: s\r\n"), std::string::npos);
    }
}

}  // namespace
}  // namespace orvex::test
