#include "platform/NameResolver.h"

#include <netinet/in.h>

#include <algorithm>

#include <gtest/gtest.h>

namespace orvex {
namespace {

std::vector<std::string> Texts(const std::vector<SocketAddress>& addresses) {
    std::vector<std::string> texts;
    for (const SocketAddress& address : addresses) {
        texts.push_back(AddressText(address) + " " + std::to_string(address.Port()));
    }
    return texts;
}

TEST(NameResolver, NumericAddressesOfBothFamiliesNeedNoLookup) {
    EXPECT_EQ(Texts(ResolveAll("192.0.2.7", 21)), std::vector<std::string>{"192.0.2.7 21"});
    EXPECT_EQ(Texts(ResolveAll("::1", 25)), std::vector<std::string>{"::1 25"});
    EXPECT_EQ(Texts(ResolveAll("[2001:db8::5]", 2121)),
              std::vector<std::string>{"2001:db8::5 2121"});
    SocketAddress address;
    EXPECT_TRUE(ParseNumericAddress("[::1]", 7, &address));
    EXPECT_EQ(address.Family(), AF_INET6);
    EXPECT_EQ(address.length, sizeof(sockaddr_in6));
    // Brackets belong to IPv6 only; a port inside them is no address.
    EXPECT_FALSE(ParseNumericAddress("[192.0.2.7]", 7, &address));
    EXPECT_FALSE(ParseNumericAddress("[::1]:21", 7, &address));
    EXPECT_FALSE(ParseNumericAddress("192.0.2", 7, &address));
    EXPECT_FALSE(ParseNumericAddress("example.org", 7, &address));
}

TEST(NameResolver, LocalhostGivesBothLoopbackAddressesIpv4First) {
    const std::vector<std::string> texts = Texts(ResolveAll("LocalHost", 21));
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts.front(), "127.0.0.1 21");
    EXPECT_EQ(texts.back(), "::1 21");
    // Each address once, whatever the system's table lists.
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "127.0.0.1 21"), 1);
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "::1 21"), 1);
}

TEST(NameResolver, UnknownAndEmptyNamesSayWhy) {
    std::string detail;
    EXPECT_TRUE(ResolveAll("no-such-host.invalid", 21, &detail).empty());
    EXPECT_NE(detail.find("no-such-host.invalid"), std::string::npos) << detail;
    EXPECT_TRUE(ResolveAll("", 21, &detail).empty());
    EXPECT_EQ(detail, "no host name");
}

}  // namespace
}  // namespace orvex
