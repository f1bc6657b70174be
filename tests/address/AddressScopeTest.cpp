#include "address/AddressScope.h"

#include <gtest/gtest.h>

#include "address/WanSources.h"

namespace orvex {
namespace {

TEST(AddressScopeTest, RangesAtTheirEdges) {
    const struct {
        const char* text;
        AddressScope scope;
    } cases[] = {
        {"203.0.113.7", AddressScope::kPublic},  // documentation ranges count as public
        {"198.51.100.255", AddressScope::kPublic},
        {"192.0.2.1", AddressScope::kPublic},
        {"8.8.8.8", AddressScope::kPublic},
        {"9.255.255.255", AddressScope::kPublic},
        {"10.0.0.0", AddressScope::kPrivate},
        {"172.15.255.255", AddressScope::kPublic},
        {"172.16.0.1", AddressScope::kPrivate},
        {"172.31.255.255", AddressScope::kPrivate},
        {"172.32.0.0", AddressScope::kPublic},
        {"192.168.1.1", AddressScope::kPrivate},
        {"100.63.255.255", AddressScope::kPublic},
        {"100.64.0.0", AddressScope::kShared},
        {"100.127.255.255", AddressScope::kShared},
        {"100.128.0.0", AddressScope::kPublic},
        {"127.0.0.1", AddressScope::kLoopback},
        {"169.254.3.4", AddressScope::kLinkLocal},
        {"224.0.0.251", AddressScope::kMulticast},
        {"0.0.0.0", AddressScope::kUnspecified},
        {"255.255.255.255", AddressScope::kReserved},
        {"2001:db8::7", AddressScope::kPublic},
        {"2a00:1450::1", AddressScope::kPublic},
        {"fd00::1", AddressScope::kPrivate},
        {"fe80::1", AddressScope::kLinkLocal},
        {"ff02::1", AddressScope::kMulticast},
        {"::1", AddressScope::kLoopback},
        {"::", AddressScope::kUnspecified},
        {"::ffff:100.64.1.2", AddressScope::kShared},
        {"4000::1", AddressScope::kReserved},
        {"203.0.113.7 ", AddressScope::kNotAnAddress},
        {"hello", AddressScope::kNotAnAddress},
        {"", AddressScope::kNotAnAddress},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ScopeOf(c.text), c.scope) << c.text;
    }
}

TEST(AddressScopeTest, SuffixJoinsTheInterfaceIdToTheSlash64) {
    const struct {
        const char* address;
        const char* suffix;
        const char* joined;  // "" when refused
    } cases[] = {
        {"2001:db8:1:2:aaaa:bbbb:cccc:dddd", "::1234", "2001:db8:1:2::1234"},
        {"2001:db8:1:2::5", " ::a:b:c:d ", "2001:db8:1:2:a:b:c:d"},
        // A MAC address in its modified EUI-64 form: the U/L bit flipped, ff:fe inserted.
        {"2001:db8:1:2::5", "00:11:22:aa:bb:cc", "2001:db8:1:2:211:22ff:feaa:bbcc"},
        {"2001:db8:1:2::5", "02-11-22-AA-BB-CC", "2001:db8:1:2:11:22ff:feaa:bbcc"},
        {"2001:db8:1:2::5", "2001:db8::1234", ""},  // more than the interface id
        {"2001:db8:1:2::5", "00:11:22:aa:bb", ""},
        {"2001:db8:1:2::5", "1234", ""},
        {"N/A", "::1234", ""},
        {"203.0.113.7", "::1234", ""},
    };
    for (const auto& c : cases) {
        std::string problem;
        EXPECT_EQ(JoinIpv6Suffix(c.address, c.suffix, &problem), c.joined) << c.suffix;
        EXPECT_EQ(problem.empty(), std::string(c.joined) != "") << c.suffix;
    }
}

TEST(AddressScopeTest, SourceListAndDnsQuestionsAreReadWithEachProblemNamed) {
    std::vector<std::string> unknown;
    EXPECT_EQ(SourceNames(" UPnP  web\tupnp  router dns ", &unknown),
              (std::vector<std::string>{"upnp", "web", "dns"}));
    EXPECT_EQ(unknown, std::vector<std::string>{"router"});
    EXPECT_EQ(SourceNames(""), std::vector<std::string>{"web"});
    EXPECT_EQ(SourceNames("nothing"), std::vector<std::string>{"web"});

    std::vector<std::string> problems;
    const std::vector<DnsLookup> lookups = ParseDnsLookups(
        "myip.opendns.com/A/IN@127.0.0.1:5353 whoami.cloudflare/txt/ch@[::1]:53 "
        "x/MX/IN@127.0.0.1 x/A/HS@127.0.0.1 x/A/IN@name.example x/A/IN@127.0.0.1:0 plain "
        "v6/AAAA/IN@2001:db8::1",
        &problems);
    ASSERT_EQ(lookups.size(), 3u);
    EXPECT_EQ(lookups[0].server.Port(), 5353);
    EXPECT_EQ(lookups[1].type, "TXT");
    EXPECT_EQ(lookups[1].klass, "CH");
    EXPECT_EQ(lookups[1].server.Family(), AF_INET6);
    EXPECT_EQ(lookups[2].server.Port(), 53);
    ASSERT_EQ(problems.size(), 5u);
    for (const std::string& problem : problems) {
        EXPECT_EQ(problem.rfind("DNSLookups: \"", 0), 0u) << problem;
    }
}

}  // namespace
}  // namespace orvex
