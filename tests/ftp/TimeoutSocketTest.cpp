#include "ftp/TimeoutSocket.h"

#include <gtest/gtest.h>

#include "LoopbackListener.h"

namespace orvex {
namespace {

using test::LoopbackListener;

TEST(TimeoutSocketAddresses, ServerOnIpv6LoopbackIsReachedByNameAndLiteral) {
    LoopbackListener server("::1");
    ASSERT_TRUE(server.Ready());
    const auto port = static_cast<uint16_t>(server.Port());
    // "localhost" tries 127.0.0.1 first, which refuses, then ::1.
    for (const std::string host : {"localhost", "::1", "[::1]"}) {
        CTimeoutSocket socket(5);
        ASSERT_TRUE(socket.Create());
        EXPECT_TRUE(socket.Connect(host, port)) << host << ": " << socket.FailureDetail();
        EXPECT_EQ(server.AcceptOne(2000), "::1") << host;
        std::string address;
        uint16_t localPort = 0;
        EXPECT_TRUE(socket.LocalAddress(&address, &localPort));
        EXPECT_EQ(address, "::1");
    }
}

TEST(TimeoutSocketAddresses, Ipv4IsTriedFirstAndARefusalOfEveryAddressFails) {
    LoopbackListener server("127.0.0.1");
    ASSERT_TRUE(server.Ready());
    CTimeoutSocket socket(5);
    ASSERT_TRUE(socket.Create());
    ASSERT_TRUE(socket.Connect("localhost", static_cast<uint16_t>(server.Port())));
    EXPECT_EQ(server.AcceptOne(2000), "127.0.0.1");

    int freePort = 0;
    {
        LoopbackListener gone("::1");
        freePort = gone.Port();
    }
    CTimeoutSocket refused(5);
    ASSERT_TRUE(refused.Create());
    EXPECT_FALSE(refused.Connect("localhost", static_cast<uint16_t>(freePort)));
    EXPECT_NE(refused.FailureDetail().find("refused"), std::string::npos)
        << refused.FailureDetail();
}

TEST(TimeoutSocketAddresses, ListenerFollowsTheFamilyOfItsAddress) {
    CTimeoutSocket listener(5);
    ASSERT_TRUE(listener.Create());
    ASSERT_TRUE(listener.Listen("::1", 1)) << listener.FailureDetail();
    std::string address;
    uint16_t port = 0;
    ASSERT_TRUE(listener.LocalAddress(&address, &port));
    EXPECT_EQ(address, "::1");
    EXPECT_GT(port, 0);
    CTimeoutSocket client(5);
    ASSERT_TRUE(client.Create());
    EXPECT_TRUE(client.Connect("[::1]", port));
    bool timedOut = false;
    EXPECT_TRUE(listener.Accept(Deadline(2000), &timedOut).Valid());
}

}  // namespace
}  // namespace orvex
