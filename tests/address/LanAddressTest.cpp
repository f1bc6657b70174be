#include "address/LanAddress.h"

#include <gtest/gtest.h>

#include "TempDir.h"
#include "platform/HostResolver.h"

namespace orvex {
namespace {

using test::ReadFile;
using test::TempDir;

class FixedResolver : public HostResolver {
public:
    std::vector<Ipv4Address> addresses;
    std::vector<Ipv4Address> OwnAddresses() override { return addresses; }
};

class LanAddressTest : public ::testing::Test {
protected:
    TempDir dir;
    Profile file{dir.File("Orvex.ini")};
    AddressState state;
    FixedResolver resolver;
};

TEST_F(LanAddressTest, SingleAddressIsStoredAndBecomesPreviousOnNextCall) {
    resolver.addresses = {{10, 0, 0, 5}};
    EXPECT_EQ(GetLANIP(state, file, resolver), "10.0.0.5");
    EXPECT_EQ(state.CurrentLANIP(), "10.0.0.5");
    // No settings file before: the previous address is empty and the key is created.
    EXPECT_EQ(state.PreviousLANIP(), "");
    EXPECT_EQ(ReadFile(file.Path()), "[IPAddress]\r\nLastLANIP=10.0.0.5\r\n");

    resolver.addresses = {{10, 0, 0, 6}};
    EXPECT_EQ(GetLANIP(state, file, resolver), "10.0.0.6");
    EXPECT_EQ(state.PreviousLANIP(), "10.0.0.5");
}

TEST_F(LanAddressTest, LastOfSeveralAddressesWinsAndBytesAreUnpadded) {
    resolver.addresses = {{192, 168, 0, 17}, {172, 16, 1, 2}, {10, 0, 0, 255}};
    EXPECT_EQ(GetLANIP(state, file, resolver), "10.0.0.255");
    resolver.addresses = {{0, 0, 0, 0}, {1, 2, 3, 4}, {255, 255, 255, 0}};
    EXPECT_EQ(GetLANIP(state, file, resolver), "255.255.255.0");
}

TEST_F(LanAddressTest, FailedLookupStoresEmptyAndNextCallStartsEmpty) {
    resolver.addresses = {{10, 0, 0, 5}};
    GetLANIP(state, file, resolver);
    resolver.addresses.clear();
    EXPECT_EQ(GetLANIP(state, file, resolver), "");
    EXPECT_EQ(state.CurrentLANIP(), "");
    EXPECT_EQ(state.PreviousLANIP(), "10.0.0.5");
    EXPECT_EQ(file.GetString("IPAddress", "LastLANIP", "absent"), "");
    GetLANIP(state, file, resolver);
    EXPECT_EQ(state.PreviousLANIP(), "");
}

TEST_F(LanAddressTest, StoredValueIsReadBackWithAtMostTwentyCharacters) {
    test::WriteFile(file.Path(), "[IPAddress]\nLastLANIP=123456789012345678901234\n");
    resolver.addresses = {{10, 0, 0, 5}};
    GetLANIP(state, file, resolver);
    EXPECT_EQ(state.PreviousLANIP(), "12345678901234567890");
}

// The own-name resolution with the system services replaced.
NameServices Services(bool nameOk, bool resolveOk, std::vector<Ipv4Address> resolved,
                      std::vector<Ipv4Address> interfaces, int* interfaceCalls = nullptr) {
    NameServices services;
    services.hostName = [nameOk](std::string& name) {
        name = "box";
        return nameOk;
    };
    services.resolve = [resolveOk, resolved](const std::string& name,
                                             std::vector<Ipv4Address>& out) {
        EXPECT_EQ(name, "box");
        out = resolved;
        return resolveOk;
    };
    services.interfaceAddresses = [interfaces, interfaceCalls] {
        if (interfaceCalls != nullptr) {
            ++*interfaceCalls;
        }
        return interfaces;
    };
    return services;
}

TEST(SystemHostResolverTest, LoopbackOnlyNameIsReplacedByInterfaceAddressesInOrder) {
    SystemHostResolver resolver(
        Services(true, true, {{127, 0, 1, 1}}, {{192, 0, 2, 2}, {10, 1, 2, 3}}));
    std::vector<Ipv4Address> expected = {{192, 0, 2, 2}, {10, 1, 2, 3}};
    EXPECT_EQ(resolver.OwnAddresses(), expected);
}

TEST(SystemHostResolverTest, NameWithARealAddressIsTakenAsResolved) {
    int interfaceCalls = 0;
    std::vector<Ipv4Address> resolved = {{127, 0, 1, 1}, {192, 168, 5, 9}};
    SystemHostResolver resolver(Services(true, true, resolved, {{10, 1, 2, 3}}, &interfaceCalls));
    EXPECT_EQ(resolver.OwnAddresses(), resolved);
    EXPECT_EQ(interfaceCalls, 0);
}

TEST(SystemHostResolverTest, LoopbackStaysWhenNoOtherInterfaceIsUp) {
    SystemHostResolver resolver(Services(true, true, {{127, 0, 1, 1}}, {}));
    std::vector<Ipv4Address> expected = {{127, 0, 1, 1}};
    EXPECT_EQ(resolver.OwnAddresses(), expected);
}

TEST(SystemHostResolverTest, UnreadableOrUnresolvableNameGivesNothing) {
    int interfaceCalls = 0;
    SystemHostResolver noName(Services(false, true, {{10, 0, 0, 1}}, {{10, 1, 2, 3}}));
    EXPECT_TRUE(noName.OwnAddresses().empty());
    SystemHostResolver noAddress(Services(true, false, {}, {{10, 1, 2, 3}}, &interfaceCalls));
    EXPECT_TRUE(noAddress.OwnAddresses().empty());
    EXPECT_EQ(interfaceCalls, 0);
}

TEST(SystemHostResolverTest, ThisMachinePublishesARealAddressWhenItHasOne) {
    TempDir dir;
    Profile file(dir.File("Orvex.ini"));
    AddressState state;
    SystemHostResolver resolver;
    const std::string lan = GetLANIP(state, file, resolver);
    ASSERT_FALSE(lan.empty());
    if (!SystemNameServices().interfaceAddresses().empty()) {
        EXPECT_NE(lan.rfind("127.", 0), 0u) << lan;
    }
}

TEST(Ipv6LanAddress, KernelTableGivesGlobalAddressesWithTheirFlags) {
    const std::string table =
        "00000000000000000000000000000001 01 80 10 80       lo\n"
        "fe8000000000000000fc00fffe000001 04 40 20 80     eth0\n"
        "20010db8000000000000000000000099 04 40 00 01     eth0\n"
        "20010db8000000000000000000000005 04 40 00 80     eth0\n"
        "20010db8000000000000000000000006 04 40 00 40     eth0\n"
        "fd000000000000000000000000000002 04 40 00 a0     eth0\n"
        "garbage line\n"
        "zz010db8000000000000000000000005 04 40 00 80     eth0\n";
    const std::vector<Ipv6InterfaceAddress> found = ParseIpv6InterfaceTable(table);
    ASSERT_EQ(found.size(), 3u);  // no loopback, link-local, tentative or unreadable entries
    EXPECT_EQ(found[0].text, "2001:db8::99");
    EXPECT_TRUE(found[0].temporary);
    EXPECT_EQ(found[1].text, "2001:db8::5");
    EXPECT_FALSE(found[1].temporary);
    EXPECT_EQ(found[2].text, "fd00::2");
    EXPECT_TRUE(found[2].deprecated);
}

TEST(Ipv6LanAddress, StableBeforeTemporaryAndPublicBeforeUniqueLocal) {
    using A = Ipv6InterfaceAddress;
    EXPECT_EQ(ChooseIpv6Address({}), "N/A");
    EXPECT_EQ(ChooseIpv6Address({A{"fe80::1", false, false}, A{"::1", false, false}}), "N/A");
    EXPECT_EQ(ChooseIpv6Address({A{"2001:db8::99", true, false}, A{"2001:db8::5", false, false}}),
              "2001:db8::5");
    EXPECT_EQ(ChooseIpv6Address({A{"2001:db8::99", true, false}}), "2001:db8::99");
    EXPECT_EQ(ChooseIpv6Address({A{"fd00::2", false, false}, A{"2001:db8::99", true, false}}),
              "2001:db8::99");
    EXPECT_EQ(ChooseIpv6Address({A{"2001:db8::4", false, true}, A{"2001:db8::5", false, false}}),
              "2001:db8::5");
    EXPECT_EQ(ChooseIpv6Address({A{"fd00::2", false, false}}), "fd00::2");

    // Stored and read back whole, with the previous value kept.
    TempDir dir;
    Profile file(dir.File("Orvex.ini"));
    file.WriteString("IPAddress", "LastLANIP6", "2001:db8:1234:5678:9abc:def0:1234:5678");
    struct Fixed : HostResolver {
        std::vector<Ipv4Address> OwnAddresses() override { return {}; }
        std::vector<Ipv6InterfaceAddress> Ipv6Addresses() override {
            return {{"2001:db8::5", false, false}};
        }
    } resolver;
    AddressState state;
    EXPECT_EQ(GetLANIP6(state, file, resolver), "2001:db8::5");
    EXPECT_EQ(state.Get().PreviousLANIP6, "2001:db8:1234:5678:9abc:def0:1234:5678");
    EXPECT_EQ(file.GetString("IPAddress", "LastLANIP6", ""), "2001:db8::5");
}

}  // namespace
}  // namespace orvex
