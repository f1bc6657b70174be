#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "FtpTestSupport.h"
#include "ScriptedPeer.h"
#include "ftp/FtpLink.h"

namespace orvex {
namespace {

using test::ScriptedPeer;

// The remote server sits behind the firewall (the scripted peer); it is never dialled itself.
FtpLogonParams ThroughFirewall(int type, uint16_t firewallPort) {
    FtpLogonParams p;
    p.Host = "ftp.example.net";
    p.Port = 21;
    p.User = "joe";
    p.Password = "pw";
    p.Account = "acct";
    p.FirewallHost = "127.0.0.1";
    p.FirewallUser = "fw";
    p.FirewallPassword = "fwpw";
    p.FirewallPort = firewallPort;
    p.LogonType = type;
    return p;
}

struct LogonCase {
    const char* name;
    int type;
    std::vector<std::pair<std::string, std::string>> dialogue;  // line expected, reply given
    bool loggedOn;
    bool emptyReply;  // ended in the sequence's error state
};

class LogonRowTest : public ::testing::TestWithParam<LogonCase> {};

TEST_P(LogonRowTest, SendsExactLinesAndEndsAsTheTableSays) {
    const LogonCase& c = GetParam();
    ScriptedPeer peer;
    peer.SendLine("220 firewall ready");
    for (const auto& [line, reply] : c.dialogue) {
        peer.Expect(line).SendLine(reply);
    }
    peer.ReadToEnd();
    peer.Start();

    FtpLogonParams params = ThroughFirewall(c.type, peer.Port());
    if (c.type == 0) {
        params.Host = "127.0.0.1";
        params.Port = peer.Port();
    }
    CFtpLink link(15);
    EXPECT_EQ(link.Logon(params), c.loggedOn);
    if (c.emptyReply) {
        EXPECT_EQ(link.ReplyText(), "");
        EXPECT_EQ(link.LocalFailure(), FtpLocalFailure::kLogonSequence);
    } else {
        EXPECT_EQ(link.ReplyText(), c.dialogue.back().second);
    }
    link.CloseControl();
    EXPECT_TRUE(peer.Finish()) << peer.Report();
    EXPECT_EQ(peer.ReceivedLines().size(), c.dialogue.size()) << peer.Report();
}

const char* kHost = "USER joe@ftp.example.net";

INSTANTIATE_TEST_SUITE_P(
    Rows, LogonRowTest,
    ::testing::Values(
        // Type 0 goes to the server itself; USER never carries the port.
        LogonCase{"T0_UserAccepted", 0, {{"USER joe", "230 in"}}, true, false},
        LogonCase{"T0_UserPassAcct",
                  0,
                  {{"USER joe", "331 pass"}, {"PASS pw", "332 acct"}, {"ACCT acct", "230 in"}},
                  true,
                  false},
        LogonCase{"T0_AcctAsksMore",
                  0,
                  {{"USER joe", "331 pass"}, {"PASS pw", "332 acct"}, {"ACCT acct", "331 ?"}},
                  false,
                  true},
        LogonCase{
            "T0_PassRefused", 0, {{"USER joe", "331 pass"}, {"PASS pw", "530 no"}}, false, false},
        LogonCase{"T1_FirewallPassThenSite",
                  1,
                  {{"USER fw", "331 pass"},
                   {"PASS fwpw", "230 fw ok"},
                   {"SITE ftp.example.net", "331 user"},
                   {"USER joe", "331 pass"},
                   {"PASS pw", "332 acct"},
                   {"ACCT acct", "230 in"}},
                  true,
                  false},
        LogonCase{"T1_SkipsFirewallPass",
                  1,
                  {{"USER fw", "230 fw ok"},
                   {"SITE ftp.example.net", "331 user"},
                   {"USER joe", "230 in"}},
                  true,
                  false},
        LogonCase{"T1_SiteAnswered2xxFails",
                  1,
                  {{"USER fw", "230 fw ok"}, {"SITE ftp.example.net", "200 ok"}},
                  false,
                  true},
        LogonCase{"T2_FullPath",
                  2,
                  {{"USER fw", "331 pass"},
                   {"PASS fwpw", "230 fw ok"},
                   {kHost, "331 pass"},
                   {"PASS pw", "332 acct"},
                   {"ACCT acct", "230 in"}},
                  true,
                  false},
        LogonCase{
            "T2_SkipsFirewallPass", 2, {{"USER fw", "230 fw ok"}, {kHost, "230 in"}}, true, false},
        LogonCase{"T3_Open2xx",
                  3,
                  {{"OPEN ftp.example.net", "220 open"}, {"USER joe", "230 in"}},
                  true,
                  false},
        LogonCase{"T3_Open3xx",
                  3,
                  {{"OPEN ftp.example.net", "331 open"},
                   {"USER joe", "331 pass"},
                   {"PASS pw", "332 acct"},
                   {"ACCT acct", "230 in"}},
                  true,
                  false},
        LogonCase{"T4_FullPath",
                  4,
                  {{"USER fw", "331 pass"},
                   {"PASS fwpw", "230 fw ok"},
                   {"USER joe", "331 pass"},
                   {"PASS pw", "230 in"}},
                  true,
                  false},
        LogonCase{"T4_SkipsFirewallPass",
                  4,
                  {{"USER fw", "230 fw ok"}, {"USER joe", "230 in"}},
                  true,
                  false},
        LogonCase{"T4_FirewallPassAsksMore",
                  4,
                  {{"USER fw", "331 pass"}, {"PASS fwpw", "332 acct"}},
                  false,
                  true},
        LogonCase{"T5_UserAtHost",
                  5,
                  {{kHost, "331 pass"}, {"PASS pw", "332 acct"}, {"ACCT acct", "230 in"}},
                  true,
                  false},
        LogonCase{"T6_FullPath",
                  6,
                  {{"USER fw@ftp.example.net", "331 pass"},
                   {"PASS fwpw", "230 fw ok"},
                   {"USER joe", "331 pass"},
                   {"PASS pw", "332 acct"},
                   {"ACCT acct", "230 in"}},
                  true,
                  false},
        LogonCase{"T6_SkipsFirewallPass",
                  6,
                  {{"USER fw@ftp.example.net", "230 fw ok"}, {"USER joe", "230 in"}},
                  true,
                  false},
        LogonCase{"T7_FullPath",
                  7,
                  {{"USER joe@ftp.example.net fw", "331 pass"},
                   {"PASS pw", "332 acct"},
                   {"ACCT acct", "230 in"}},
                  true,
                  false},
        LogonCase{"T7_FirstUserAnswered2xxFails",
                  7,
                  {{"USER joe@ftp.example.net fw", "230 in"}},
                  false,
                  true},
        LogonCase{"T8_FullPath",
                  8,
                  {{"USER joe@fw@ftp.example.net", "331 pass"},
                   {"PASS pw@fwpw", "332 acct"},
                   {"ACCT acct", "230 in"}},
                  true,
                  false},
        LogonCase{"T8_UserAccepted", 8, {{"USER joe@fw@ftp.example.net", "230 in"}}, true, false}),
    [](const ::testing::TestParamInfo<LogonCase>& info) { return std::string(info.param.name); });

TEST(FtpLogonTest, HostCarriesThePortOnlyWhenItIsNot21) {
    ScriptedPeer peer;
    peer.SendLine("220 fw").Expect("USER joe@ftp.example.net:2121").SendLine("230 in").ReadToEnd();
    peer.Start();
    FtpLogonParams params = ThroughFirewall(5, peer.Port());
    params.Port = 2121;
    CFtpLink link(15);
    EXPECT_TRUE(link.Logon(params));
    link.CloseControl();
    EXPECT_TRUE(peer.Finish()) << peer.Report();
}

TEST(FtpLogonTest, EmptyFieldsAreSentEmpty) {
    ScriptedPeer peer;
    peer.SendLine("220 hi").Expect("USER ").SendLine("331 p").Expect("PASS ").SendLine("230 in");
    peer.ReadToEnd();
    peer.Start();
    FtpLogonParams params;
    params.Host = "127.0.0.1";
    params.Port = peer.Port();
    CFtpLink link(15);
    EXPECT_TRUE(link.Logon(params));
    link.CloseControl();
    EXPECT_TRUE(peer.Finish()) << peer.Report();
}

TEST(FtpLogonTest, MultiLineReplyToPassIsOneReply) {
    ScriptedPeer peer;
    peer.SendLine("220 hi").Expect("USER joe").SendLine("331 p").Expect("PASS pw");
    peer.Send("230-Welcome\r\n230-Be nice\r\n230 Logged in\r\n").Expect("NOOP").SendLine("200 ok");
    peer.ReadToEnd();
    peer.Start();
    FtpLogonParams params = ThroughFirewall(0, 0);
    params.Host = "127.0.0.1";
    params.Port = peer.Port();
    CFtpLink link(15);
    EXPECT_TRUE(link.Logon(params));
    EXPECT_EQ(link.ReplyText(), "230 Logged in");
    EXPECT_TRUE(link.Command("NOOP"));
    link.CloseControl();
    EXPECT_TRUE(peer.Finish()) << peer.Report();
}

TEST(FtpLogonTest, GreetingMustBeClass2) {
    ScriptedPeer peer;
    peer.SendLine("421 too many users").ReadToEnd();
    peer.Start();
    CFtpLink link(15);
    EXPECT_FALSE(link.Logon(ThroughFirewall(4, peer.Port())));
    EXPECT_EQ(link.ReplyText(), "421 too many users");
    link.CloseControl();
    EXPECT_TRUE(peer.Finish()) << peer.Report();
    EXPECT_EQ(peer.Received(), "");
}

TEST(FtpLogonTest, LogonTypeOutOfRangeOpensNothing) {
    ScriptedPeer peer;
    peer.Start();
    for (int type : {9, -1}) {
        CFtpLink link(15);
        EXPECT_FALSE(link.Logon(ThroughFirewall(type, peer.Port())));
        EXPECT_FALSE(link.Connected());
    }
    peer.Stop();
    EXPECT_EQ(peer.Connections(), 0);
}

TEST(FtpLogonTest, UnreachableFirewallIsLocalFailure) {
    CFtpLink link(15);
    FtpLogonParams params = ThroughFirewall(1, 21);
    params.FirewallHost = "no-such-firewall.invalid";
    EXPECT_FALSE(link.Logon(params));
    EXPECT_EQ(link.ReplyText(), "");
    EXPECT_EQ(link.LocalFailure(), FtpLocalFailure::kConnect);
}

// The server hangs up after 0, 1, 2 or 3 of the lines of a full type 0 logon.
class LogonHangUpTest : public ::testing::TestWithParam<int> {};

TEST_P(LogonHangUpTest, EndsAsLocalFailure) {
    const int answered = GetParam();
    const std::vector<std::pair<std::string, std::string>> dialogue = {
        {"USER joe", "331 pass"}, {"PASS pw", "332 acct"}, {"ACCT acct", "230 in"}};
    ScriptedPeer peer;
    if (answered > 0) {
        peer.SendLine("220 hi");
    }
    for (int i = 0; i + 1 < answered; ++i) {
        peer.Expect(dialogue[static_cast<size_t>(i)].first)
            .SendLine(dialogue[static_cast<size_t>(i)].second);
    }
    if (answered > 0) {
        peer.ReadLine();
    }
    peer.Close();
    peer.Start();
    FtpLogonParams params = ThroughFirewall(0, 0);
    params.Host = "127.0.0.1";
    params.Port = peer.Port();
    CFtpLink link(15);
    EXPECT_FALSE(link.Logon(params));
    EXPECT_EQ(link.ReplyText(), "");
    EXPECT_EQ(link.LocalFailure(), FtpLocalFailure::kConnection);
    EXPECT_TRUE(peer.Finish()) << peer.Report();
}

INSTANTIATE_TEST_SUITE_P(Steps, LogonHangUpTest, ::testing::Values(0, 1, 2, 3));

TEST(FtpLogonTest, SilentFirewallFailsWithinTheIdleLimit) {
    ScriptedPeer peer;
    peer.SendLine("220 fw").Expect("USER fw").Hold();
    peer.Start();
    CFtpLink link(15);
    link.SetIdleLimitMs(300);
    const long long start = test::NowMs();
    EXPECT_FALSE(link.Logon(ThroughFirewall(1, peer.Port())));
    EXPECT_LT(test::ElapsedMs(start), 3000);
    EXPECT_EQ(link.ReplyText(), "");
}

}  // namespace
}  // namespace orvex
