// Whole sessions against aiosmtpd: the saved message must parse and its attachment decode
// byte for byte.

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "ServerProcess.h"

namespace orvex::test {
namespace {

std::multimap<std::string, std::string> ReadEnvelope(const std::string& path) {
    std::multimap<std::string, std::string> out;
    std::istringstream in(ReadFile(path));
    std::string line;
    while (std::getline(in, line)) {
        size_t colon = line.find(": ");
        if (colon != std::string::npos) {
            out.emplace(line.substr(0, colon), line.substr(colon + 2));
        } else if (!line.empty() && line.back() == ':') {
            out.emplace(line.substr(0, line.size() - 1), "");
        }
    }
    return out;
}

std::string BinaryFile(size_t size) {
    std::string bytes(size, '\0');
    uint32_t x = 12345;
    for (char& c : bytes) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 16);
    }
    return bytes;
}

class RealServer : public EngineTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(RealServer, DeliversAParsableMessageWithItsAttachment) {
    const std::string mechanism = GetParam();
    TempDir mailDir;
    std::vector<std::string> args = {PeerScript("smtp_server.py"), mailDir.Path()};
    if (!mechanism.empty()) {
        args.push_back("--mechanisms");
        args.push_back(mechanism);
    }
    ServerProcess server(kPython, args);
    ASSERT_TRUE(server.Ready()) << server.Log();

    const std::string attachment = BinaryFile(10000);
    WriteFile(dir_.File("data.bin"), attachment);
    if (!mechanism.empty()) {
        seeIntegerParam(0, kSeeEhloAuth, 1);
        seeStringParam(0, kSeeUser, "joe");
        seeStringParam(0, kSeePassword, "secret");
    }
    ASSERT_EQ(Connect(server.Port()), 0) << seeErrorText(0, kSeeSmtpError);
    EXPECT_EQ(seeCommand(0, "NOOP"), 0);
    seeIntegerParam(0, kSeeContentMode, kSeeHtml);
    ASSERT_EQ(seeSendEmail(0, "<you@example.org>,<two@example.org>", nullptr, "<bcc@example.org>",
                           "Where am I", "<html><body>\n.at 10.0.0.1\n</body></html>",
                           "data.bin|report.bin"),
              0)
        << seeErrorText(0, kSeeSmtpError) << server.Log();
    EXPECT_EQ(seeClose(0), 0);

    auto env = ReadEnvelope(mailDir.File("1.env"));
    EXPECT_EQ(env.find("greeting")->second, mechanism.empty() ? "HELO" : "EHLO");
    EXPECT_EQ(env.find("helo")->second, "example.com");
    EXPECT_EQ(env.find("mechanism")->second, mechanism);
    EXPECT_EQ(env.find("login")->second, mechanism.empty() ? "" : "joe");
    EXPECT_EQ(env.find("mail_from")->second, "me@example.com");
    std::vector<std::string> rcpts;
    for (auto [it, end] = env.equal_range("rcpt"); it != end; ++it) {
        rcpts.push_back(it->second);
    }
    EXPECT_EQ(rcpts,
              (std::vector<std::string>{"you@example.org", "two@example.org", "bcc@example.org"}));

    std::string parts = ReadFile(mailDir.File("1.parts"));
    EXPECT_NE(parts.find("header\tSubject\tWhere am I\n"), std::string::npos) << parts;
    EXPECT_EQ(parts.find("bcc@"), std::string::npos);
    EXPECT_NE(parts.find("part\tmultipart/related\t"), std::string::npos) << parts;
    EXPECT_NE(parts.find("part\ttext/html\t"), std::string::npos) << parts;
    EXPECT_NE(parts.find("part\tapplication/octet-stream\treport.bin\tattachment\t10000\n"),
              std::string::npos)
        << parts;
    EXPECT_EQ(ReadFile(mailDir.File("1.att1")), attachment);
    EXPECT_NE(ReadFile(mailDir.File("1.eml")).find("\r\n.at 10.0.0.1"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Mechanisms, RealServer,
                         ::testing::Values("", "CRAM-MD5", "LOGIN", "PLAIN"),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             return info.param.empty()         ? std::string("Helo")
                                    : info.param == "CRAM-MD5" ? std::string("CramMd5")
                                                               : info.param;
                         });

// aiosmtpd on ::1 only: "localhost" (whose IPv4 address refuses) and the bare and bracketed
// literals all reach it.
TEST_F(EngineTest, RealServerOnIpv6LoopbackGetsTheMessage) {
    TempDir mailDir;
    ServerProcess server(kPython, {PeerScript("smtp_server.py"), mailDir.Path(), "--bind", "::1"});
    ASSERT_TRUE(server.Ready()) << server.Log();
    int sent = 0;
    for (const char* host : {"localhost", "::1", "[::1]"}) {
        seeIntegerParam(0, kSeePort, server.Port());
        ASSERT_EQ(seeSmtpConnect(0, host, "<me@example.com>", nullptr), 0)
            << host << ": " << seeErrorText(0, kSeeSmtpError);
        ASSERT_EQ(seeSendEmail(0, "<you@example.org>", nullptr, nullptr, "s", "m", nullptr), 0)
            << host << ": " << seeErrorText(0, kSeeSmtpError);
        EXPECT_EQ(seeClose(0), 0);
        ++sent;
        const auto env = ReadEnvelope(mailDir.File(std::to_string(sent) + ".env"));
        EXPECT_EQ(env.find("rcpt")->second, "you@example.org") << host;
    }
}

TEST_F(EngineTest, RealServerRefusesWrongCredentials) {
    TempDir mailDir;
    ServerProcess server(kPython, {PeerScript("smtp_server.py"), mailDir.Path()});
    ASSERT_TRUE(server.Ready()) << server.Log();
    seeIntegerParam(0, kSeeEhloAuth, 1);
    seeStringParam(0, kSeeUser, "joe");
    seeStringParam(0, kSeePassword, "wrong");
    EXPECT_EQ(Connect(server.Port()), kSeeSmtpError);
    EXPECT_NE(seeErrorText(0, kSeeSmtpError).find("535"), std::string::npos);
}

TEST_F(EngineTest, RealServerRefusingOneRecipientGetsTheMessageForTheOthers) {
    TempDir mailDir;
    ServerProcess server(
        kPython, {PeerScript("smtp_server.py"), mailDir.Path(), "--refuse", "gone@example.org"});
    ASSERT_TRUE(server.Ready()) << server.Log();
    ASSERT_EQ(Connect(server.Port()), 0);
    seeIntegerParam(0, kSeeSkipRefused, 1);
    ASSERT_EQ(seeSendEmail(0, "<you@example.org>,<gone@example.org>", nullptr, "<bcc@example.org>",
                           "s", "m", nullptr),
              0)
        << seeErrorText(0, kSeeSmtpError) << server.Log();
    EXPECT_EQ(seeClose(0), 0);
    auto env = ReadEnvelope(mailDir.File("1.env"));
    std::vector<std::string> rcpts;
    for (auto [it, end] = env.equal_range("rcpt"); it != end; ++it) {
        rcpts.push_back(it->second);
    }
    EXPECT_EQ(rcpts, (std::vector<std::string>{"you@example.org", "bcc@example.org"}));

    // Without the parameter the refusal ends the message.
    seeIntegerParam(0, kSeeSkipRefused, 0);
    ASSERT_EQ(Connect(server.Port()), 0);
    EXPECT_EQ(seeSendEmail(0, "<gone@example.org>", nullptr, nullptr, "s", "m", nullptr),
              kSeeSmtpError);
    EXPECT_NE(seeErrorText(0, kSeeSmtpError).find("550 5.1.1"), std::string::npos);
}

}  // namespace
}  // namespace orvex::test
