#include <gtest/gtest.h>

#include <string>

#include "FtpTestSupport.h"
#include "ScriptedPeer.h"
#include "ftp/FtpLink.h"

namespace orvex {
namespace {

using test::ScriptedPeer;

class FtpControlTest : public ::testing::Test {
protected:
    // Connects a fresh link to the peer, which must already be started.
    void Connect(ScriptedPeer& peer) {
        ASSERT_TRUE(link.ConnectControl("127.0.0.1", peer.Port())) << link.FailureDetail();
        EXPECT_EQ(link.ReplyText(), "");
    }

    CFtpLink link{15};
};

TEST_F(FtpControlTest, GreetingIsReadWithoutSendingAnything) {
    ScriptedPeer peer;
    peer.SendLine("220 ready").Pause(100).Close();
    peer.Start();
    Connect(peer);
    EXPECT_TRUE(link.Command(""));
    EXPECT_EQ(link.ReplyText(), "220 ready");
    EXPECT_EQ(link.ReplyClass(), 2);
    EXPECT_TRUE(peer.Finish()) << peer.Report();
    EXPECT_EQ(peer.Received(), "");
}

TEST_F(FtpControlTest, MultiLineReplyEndsOnlyAtSameCodeAndBlank) {
    ScriptedPeer peer;
    peer.Send("230-Welcome\r\n230-Rules\r\n230-x\r\n231 x\r\n230\r\n230 Logged in\r\n")
        .SendLine("200 next")
        .Hold();
    peer.Start();
    Connect(peer);
    EXPECT_TRUE(link.Command(""));
    EXPECT_EQ(link.ReplyText(), "230 Logged in");
    EXPECT_EQ(link.ReplyClass(), 2);
    // The following reply is still unread: the multi-line one ended where it should.
    EXPECT_TRUE(link.Command(""));
    EXPECT_EQ(link.ReplyText(), "200 next");
}

TEST_F(FtpControlTest, ShortLinesAndFourCharacterOpeners) {
    ScriptedPeer peer;
    // "220" is complete on its own; "220-" opens a multi-line reply.
    peer.SendLine("220").SendLine("220-").SendLine("220-more").SendLine("220 done").Hold();
    peer.Start();
    Connect(peer);
    EXPECT_TRUE(link.ReadReply());
    EXPECT_EQ(link.ReplyText(), "220");
    EXPECT_TRUE(link.ReadReply());
    EXPECT_EQ(link.ReplyText(), "220 done");
}

TEST_F(FtpControlTest, LineEndsAndClassOfEmptyLines) {
    ScriptedPeer peer;
    peer.Send("\r\n331 lone LF\n\r\nnot a reply\r\n");
    peer.Send("550 cut off").Close();
    peer.Start();
    Connect(peer);
    EXPECT_TRUE(link.ReadLine());
    EXPECT_EQ(link.ReplyText(), "");
    EXPECT_EQ(link.ReplyClass(), 0);  // an empty line leaves the class alone
    EXPECT_TRUE(link.ReadLine());
    EXPECT_EQ(link.ReplyText(), "331 lone LF");
    EXPECT_TRUE(link.ReadLine());
    EXPECT_EQ(link.ReplyClass(), 3);
    EXPECT_FALSE(link.Command(""));  // no digit first: a class outside 1 to 5
    EXPECT_EQ(link.ReplyText(), "not a reply");
    // A last line cut off by the close still counts; after it the stream has ended.
    EXPECT_FALSE(link.Command(""));
    EXPECT_EQ(link.ReplyText(), "550 cut off");
    EXPECT_EQ(link.LocalFailure(), FtpLocalFailure::kNone);
    EXPECT_FALSE(link.ReadLine());
    EXPECT_EQ(link.ReplyText(), "");
    EXPECT_EQ(link.LocalFailure(), FtpLocalFailure::kConnection);
}

TEST_F(FtpControlTest, ServerClosingBeforeReplyIsLocalFailure) {
    ScriptedPeer peer;
    peer.Expect("NOOP").Close();
    peer.Start();
    Connect(peer);
    EXPECT_FALSE(link.Command("NOOP"));
    EXPECT_EQ(link.ReplyText(), "");
    EXPECT_EQ(link.LocalFailure(), FtpLocalFailure::kConnection);
    EXPECT_TRUE(peer.Finish()) << peer.Report();
}

TEST_F(FtpControlTest, CommandLinesGoOutWholeAndLineBreaksAreRefused) {
    ScriptedPeer peer;
    peer.Expect("NOOP").SendLine("200 ok").ReadToEnd();
    peer.Start();
    Connect(peer);
    EXPECT_TRUE(link.Command("NOOP"));
    // A second command smuggled in by a line break would shift every reply that follows.
    EXPECT_FALSE(link.SendLine("CWD x\r\nDELE index.html"));
    EXPECT_EQ(link.ReplyText(), "");
    link.CloseControl();
    EXPECT_TRUE(peer.Finish()) << peer.Report();
    EXPECT_EQ(peer.Received(), "NOOP\r\n");
}

TEST_F(FtpControlTest, SilentServerFailsWithinTheIdleLimit) {
    ScriptedPeer peer;
    peer.SendLine("230-Welcome").Hold();
    peer.Start();
    link.SetIdleLimitMs(300);
    Connect(peer);
    const long long start = test::NowMs();
    EXPECT_FALSE(link.Command(""));
    EXPECT_LT(test::ElapsedMs(start), 3000);
    EXPECT_EQ(link.ReplyText(), "");
    EXPECT_EQ(link.LocalFailure(), FtpLocalFailure::kConnection);
}

// The whole reply is bounded, not each read: a greeting that comes a byte at a time ends like
// a silent one.
TEST_F(FtpControlTest, TrickledGreetingFailsWithinTheIdleLimit) {
    ScriptedPeer peer;
    peer.Trickle("220 " + std::string(60, 'x') + "\r\n", 100).Hold();
    peer.Start();
    link.SetIdleLimitMs(1000);
    Connect(peer);
    const long long start = test::NowMs();
    EXPECT_FALSE(link.Command(""));
    EXPECT_LT(test::ElapsedMs(start), 3000);
    EXPECT_EQ(link.ReplyText(), "");
    EXPECT_EQ(link.ServerFailure().kind, FailureClass::kNoReply);
    peer.Stop();
}

TEST_F(FtpControlTest, EndlessReplyLineIsCutShort) {
    ScriptedPeer peer;
    peer.Send("220-" + std::string(100 * 1024, 'x')).Hold();
    peer.Start();
    Connect(peer);
    EXPECT_FALSE(link.Command(""));
    EXPECT_EQ(link.ReplyText(), "");
    EXPECT_EQ(link.LocalFailure(), FtpLocalFailure::kConnection);
}

TEST_F(FtpControlTest, QuitSendsQuitAndCloses) {
    ScriptedPeer peer;
    peer.ReadToEnd();
    peer.Start();
    Connect(peer);
    link.Quit();
    EXPECT_FALSE(link.Connected());
    EXPECT_TRUE(peer.Finish()) << peer.Report();
    EXPECT_EQ(peer.Received(), "QUIT\r\n");
    link.CloseControl();  // harmless once closed
}

TEST(FtpConnectTest, FreshLinkAndCloseWithoutConnection) {
    CFtpLink link(15);
    EXPECT_EQ(link.ReplyText(), "");
    EXPECT_EQ(link.ReplyClass(), 0);
    EXPECT_EQ(link.IdleLimitMs(), 60000);
    EXPECT_EQ(CFtpLink(90).IdleLimitMs(), 90000);
    link.CloseControl();
    link.CloseControl();
    EXPECT_FALSE(link.Command("NOOP"));
    EXPECT_EQ(link.ReplyText(), "");
}

TEST(FtpConnectTest, ByNameRefusedAndUnresolvable) {
    ScriptedPeer peer;
    peer.SendLine("220 hi");
    peer.Start();
    CFtpLink byName(15);
    ASSERT_TRUE(byName.ConnectControl("localhost", peer.Port())) << byName.FailureDetail();
    EXPECT_TRUE(byName.Command(""));
    EXPECT_TRUE(peer.Finish()) << peer.Report();

    // Refused: fails at once, not at the deadline.
    uint16_t closedPort;
    {
        ScriptedPeer gone;
        closedPort = gone.Port();
    }
    CFtpLink refused(15);
    const long long start = test::NowMs();
    EXPECT_FALSE(refused.ConnectControl("127.0.0.1", closedPort));
    EXPECT_LT(test::ElapsedMs(start), 1000);
    EXPECT_EQ(refused.ReplyText(), "");
    EXPECT_EQ(refused.LocalFailure(), FtpLocalFailure::kConnect);
    // What the user is told names the machine called.
    EXPECT_EQ(refused.ServerFailure().kind, FailureClass::kRefused);
    EXPECT_EQ(refused.CalledHost(), "127.0.0.1");
    EXPECT_EQ(refused.CalledPort(), closedPort);

    CFtpLink unknown(15);
    EXPECT_FALSE(unknown.ConnectControl("no-such-host.invalid", 21));
    EXPECT_EQ(unknown.ReplyText(), "");
    EXPECT_EQ(unknown.LocalFailure(), FtpLocalFailure::kConnect);
    EXPECT_EQ(unknown.ServerFailure().kind, FailureClass::kNameNotFound);
    EXPECT_FALSE(unknown.ConnectControl("127.0.0.1", 70000));
}

TEST(FtpConnectTest, UnansweredConnectHonoursTheDeadline) {
    test::SilentListener silent;
    CFtpLink link(1);
    const long long start = test::NowMs();
    EXPECT_FALSE(link.ConnectControl("127.0.0.1", silent.Port()));
    const long long elapsed = test::ElapsedMs(start);
    EXPECT_GE(elapsed, 1000);
    EXPECT_LE(elapsed, 2000 + 300);  // time-out + 1 s of whole-second clock, + slack
    EXPECT_EQ(link.ReplyText(), "");
    EXPECT_EQ(link.LocalFailure(), FtpLocalFailure::kConnect);
    EXPECT_EQ(link.ServerFailure().kind, FailureClass::kNoAnswer);
    EXPECT_EQ(link.ServerFailure().seconds, 1);
}

TEST(FtpConnectTest, DeadlineIsPassedOnlyWhenTheClockIsStrictlyLater) {
    test::SilentListener silent;
    // Start at 100 with a 2 s time-out: 100, 101 and 102 keep waiting, 103 gives up.
    test::SequenceClock clock({100, 100, 101, 102, 102, 103, 104});
    CFtpLink link(2, {}, clock);
    EXPECT_FALSE(link.ConnectControl("127.0.0.1", silent.Port()));
    EXPECT_EQ(clock.Calls(), 6);
}

}  // namespace
}  // namespace orvex
