#include <string>

#include <gtest/gtest.h>

#include "LoopbackListener.h"
#include "ManualClock.h"
#include "ScriptedPeer.h"
#include "mail/engine/vsock/VSock.h"

namespace orvex::test {
namespace {

TEST(VSockNames, DottedAddressesNeedNoLookupAndLongNamesAreRefused) {
    uint32_t address = 0;
    EXPECT_TRUE(ParseDottedAddress("10.0.0.1", &address));
    EXPECT_EQ(address, 0x0A000001u);
    EXPECT_FALSE(ParseDottedAddress("10.0.0.256", &address));
    EXPECT_FALSE(ParseDottedAddress("10.0.0", &address));
    EXPECT_FALSE(ParseDottedAddress("10.0.0.1.", &address));
    EXPECT_FALSE(ParseDottedAddress("a.b.c.d", &address));

    ManualClock clock;
    VSock vs;
    vs.Start(128, 100, clock);
    EXPECT_EQ(vs.SlotCount(), VSock::kMaxSlots);
    EXPECT_EQ(vs.ResolveHost(0, "10.0.0.1"), kVsOk);
    EXPECT_EQ(vs.Address(0), 0x0A000001u);
    EXPECT_EQ(vs.ResolveHost(0, "localhost"), kVsOk);
    EXPECT_EQ(vs.Address(0), 0x7F000001u);
    EXPECT_EQ(vs.ResolveHost(0, std::string(127, 'a')), kVsUnresolved);
    EXPECT_EQ(vs.ResolveHost(0, std::string(128, 'a')), kVsNameTooLong);
    EXPECT_EQ(vs.ResolveHost(32, "10.0.0.1"), kVsBadSlot);
    EXPECT_EQ(vs.Poll(0, 4), kVsBadPollKind);
}

TEST(VSockNames, ServerOnIpv6LoopbackIsReachedByNameAndLiteral) {
    LoopbackListener server("::1");
    ASSERT_TRUE(server.Ready());
    ManualClock clock;
    VSock vs;
    vs.Start(4, 10, clock);
    uint32_t address = 1;
    EXPECT_EQ(ResolveHostName("[::1]", &address), kVsOk);
    EXPECT_EQ(address, 0u);
    // "localhost" tries 127.0.0.1 first, which refuses, then ::1.
    for (const std::string host : {"localhost", "::1", "[::1]"}) {
        const int slot = vs.CreateSocket();
        ASSERT_GE(slot, 0);
        EXPECT_EQ(vs.Connect(slot, host, server.Port()), kVsOk) << host;
        EXPECT_EQ(vs.WaitWritable(slot, 2000), 1) << host;
        EXPECT_EQ(server.AcceptOne(2000), "::1") << host;
        EXPECT_EQ(vs.Close(slot), kVsOk);
    }
    int freePort = 0;
    {
        LoopbackListener gone("::1");
        freePort = gone.Port();
    }
    // Refused on both: at once, or (the last address being awaited by the dialogue) when the
    // connect completes.
    const int slot = vs.CreateSocket();
    const int rc = vs.Connect(slot, "localhost", freePort);
    if (rc != -10061) {
        EXPECT_EQ(rc, kVsOk);
        EXPECT_EQ(vs.WaitWritable(slot, 2000), 0);
    }
}

TEST(VSockSlots, ThirtyTwoAtMostThenNoFreeSlot) {
    ManualClock clock;  // skips the pause after closing
    VSock vs;
    vs.Start(128, 100, clock);
    for (int i = 0; i < VSock::kMaxSlots; ++i) {
        ASSERT_EQ(vs.CreateSocket(), i);
    }
    EXPECT_EQ(vs.CreateSocket(), kVsNoFreeSlot);
    EXPECT_EQ(vs.Close(5), kVsOk);
    EXPECT_EQ(vs.CreateSocket(), 5);
    EXPECT_EQ(vs.End(), kVsOk);
    EXPECT_EQ(vs.CreateSocket(), kVsNoFreeSlot);  // no slots after the end
}

class VSockLines : public ::testing::Test {
protected:
    int Open(ScriptedPeer& peer) {
        peer.Start();
        vs_.Start(128, 10, clock_);
        int slot = vs_.CreateSocket();
        EXPECT_GE(slot, 0);
        EXPECT_EQ(vs_.Connect(slot, "127.0.0.1", peer.Port()), kVsOk);
        EXPECT_EQ(vs_.WaitWritable(slot, 2000), 1);
        return slot;
    }

    ManualClock clock_;
    VSock vs_;
};

TEST_F(VSockLines, LinesInPiecesAndLongerThanTheRingComeWhole) {
    ScriptedPeer peer;
    std::string longLine = std::string(298, 'y') + "\r\n";
    peer.Send("250 par").Pause(50).Send("t two\r\n" + longLine + "next\r\n").Hold();
    int slot = Open(peer);
    std::string line;
    EXPECT_EQ(vs_.ReadLine(slot, line, 1024, 2000, 1000), 14);
    EXPECT_EQ(line, "250 part two\r\n");
    EXPECT_EQ(vs_.WaitReadable(slot, 2000), 1);
    EXPECT_EQ(vs_.ReadLine(slot, line, 1024, 2000, 1000), 300);
    EXPECT_EQ(line, longLine);
    EXPECT_EQ(vs_.ReadLine(slot, line, 1024, 2000, 1000), 6);
    EXPECT_EQ(line, "next\r\n");
    // Nothing more: no line, no waiting beyond the first wait.
    EXPECT_EQ(vs_.ReadLine(slot, line, 1024, 0, 0), 0);
    peer.Stop();
}

TEST_F(VSockLines, PeerCloseIsSeenAndTheSlotStillCloses) {
    ScriptedPeer peer;
    peer.SendLine("bye").Close();
    int slot = Open(peer);
    std::string line;
    EXPECT_EQ(vs_.ReadLine(slot, line, 4, 2000, 1000), 3);
    EXPECT_EQ(line, "bye");
    EXPECT_EQ(vs_.ReadLine(slot, line, 1024, 2000, 1000), 2);
    EXPECT_EQ(line, "\r\n");
    EXPECT_EQ(vs_.ReadLine(slot, line, 1024, 2000, 1000), kVsClosed);
    EXPECT_EQ(vs_.Connected(slot), 0);
    EXPECT_EQ(vs_.Close(slot), kVsOk);
    EXPECT_EQ(vs_.Connected(slot), 0);
    EXPECT_TRUE(peer.Finish()) << peer.Report();
}

TEST_F(VSockLines, SendLineAddsCrLfToShortAndLongTexts) {
    ScriptedPeer peer;
    std::string longText(200, 'L');
    peer.Expect("short").Expect(longText).ReadToEnd();
    int slot = Open(peer);
    EXPECT_EQ(vs_.SendLine(slot, "short"), 7);
    EXPECT_EQ(vs_.SendLine(slot, longText), 202);
    EXPECT_EQ(vs_.Send(slot, "x", 0), kVsBadCount);
    EXPECT_EQ(vs_.Close(slot), kVsOk);
    EXPECT_TRUE(peer.Finish()) << peer.Report();
    EXPECT_EQ(peer.Received(), "short\r\n" + longText + "\r\n");
}

}  // namespace
}  // namespace orvex::test
