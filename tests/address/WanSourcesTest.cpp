// The WAN address sources against their emulators on loopback: a UPnP gateway
// (tests/peers/upnp_gateway.py), a NAT-PMP / PCP router (natpmp_gateway.py), a name server
// answering the echo questions (dns_echo.py) and the echo page of the web lookup.
#include "address/WanSources.h"

#include <chrono>
#include <memory>
#include <thread>

#include <gtest/gtest.h>

#include "RecordingHost.h"
#include "ServerProcess.h"
#include "TempDir.h"

namespace orvex {
namespace {

using test::PeerScript;
using test::RecordingHost;
using test::ServerProcess;
using test::TempDir;

struct Emulator {
    Emulator(const std::string& script, std::vector<std::string> args) {
        args.insert(args.begin(), PeerScript(script));
        server = std::make_unique<ServerProcess>(test::kPython, args);
    }
    std::string Local() const { return "127.0.0.1:" + std::to_string(server->Port()); }
    // Whether the emulator logged `text`; its output reaches the log a moment after it is
    // printed.
    bool Logged(const std::string& text) const {
        for (int i = 0; i < 300; ++i) {
            if (server->Log().find(text) != std::string::npos) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    std::unique_ptr<ServerProcess> server;
};

// The web lookup's settings as a loaded file has them.
WanLookupSettings PlainLookup() {
    WanLookupSettings lookup;
    lookup.StartDelimiter = "REMOTE_ADDR:";
    lookup.EndDelimiter = "<br>";
    return lookup;
}

// The peers one case starts; empty arguments: that peer is not started.
struct Peers {
    std::vector<std::string> upnp;
    std::vector<std::string> natpmp;
    std::vector<std::string> dns;
    std::string webBody;
};

struct Case {
    const char* name;
    const char* sources;
    Peers peers;
    const char* dnsQuestion;  // the DNSLookups entry, "%s" standing for the server
    const char* address;      // the lookup's result
    const char* via;
    const char* nat;
    const char* sentence;  // "" when none; else the start of the sentence
    const char* message;   // a host message the lookup must send ("" none)
};

class WanSourcesTest : public ::testing::TestWithParam<Case> {
protected:
    static void SetUpTestSuite() {
        for (const char* name :
             {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
            ::unsetenv(name);
        }
    }
};

const std::string kSharedSentence =
    "The router's WAN address 100.64.1.2 is shared: this line is behind carrier-grade NAT, so "
    "203.0.113.7 cannot be reached from outside; IPv6 or a tunnel can.";

const Case kCases[] = {
    {"UpnpAlone",
     "upnp",
     {{"--address", "203.0.113.7"}, {}, {}, ""},
     "",
     "203.0.113.7",
     "upnp",
     "none",
     "",
     ""},
    {"UpnpPppService",
     "upnp",
     {{"--ppp", "--address", "198.51.100.4"}, {}, {}, ""},
     "",
     "198.51.100.4",
     "upnp",
     "none",
     "",
     ""},
    {"NatPmpAlone",
     "natpmp",
     {{}, {"--mode", "natpmp", "--address", "203.0.113.9"}, {}, ""},
     "",
     "203.0.113.9",
     "natpmp",
     "none",
     "",
     ""},
    {"PcpWhereTheRouterSpeaksOnlyThat",
     "natpmp",
     {{}, {"--mode", "pcp", "--address", "203.0.113.10"}, {}, ""},
     "",
     "203.0.113.10",
     "natpmp",
     "none",
     "",
     ""},
    {"DnsAddressRecord",
     "dns",
     {{}, {}, {"--address", "198.51.100.20"}, ""},
     "myip.opendns.com/A/IN@%s",
     "198.51.100.20",
     "dns",
     "unknown",
     "",
     ""},
    {"DnsTextInClassChaos",
     "dns",
     {{}, {}, {"--address", "198.51.100.21"}, ""},
     "whoami.cloudflare/TXT/CH@%s",
     "198.51.100.21",
     "dns",
     "unknown",
     "",
     ""},
    {"SharedRouterAddressPublishesTheNextSource",
     "upnp web",
     {{"--address", "100.64.1.2"}, {}, {}, "203.0.113.7"},
     "",
     "203.0.113.7",
     "web",
     "carrier-grade NAT",
     kSharedSentence.c_str(),
     "P10010 WAN IP address from web"},
    {"PrivateRouterAddressIsASecondNat",
     "natpmp dns",
     {{}, {"--address", "192.168.5.1"}, {"--address", "198.51.100.22"}, ""},
     "myip.opendns.com/A/IN@%s",
     "198.51.100.22",
     "dns",
     "NAT",
     "The router's WAN address 192.168.5.1 is private",
     "P10010 WAN IP address from dns"},
    {"RouterAskedAfterTheAnswerStillTellsTheLine",
     "dns upnp",
     {{"--address", "203.0.113.7"}, {}, {"--address", "198.51.100.23"}, ""},
     "myip.opendns.com/A/IN@%s",
     "198.51.100.23",
     "dns",
     "NAT",
     "The router's WAN address 203.0.113.7 differs from 198.51.100.23",
     ""},
    {"SilentRouterIsGivenUpAtTheBound",
     "upnp dns",
     {{"--silent"}, {}, {"--address", "198.51.100.24"}, ""},
     "myip.opendns.com/A/IN@%s",
     "198.51.100.24",
     "dns",
     "unknown",
     "",
     "P10010 WAN IP address from dns"},
    {"SilentNatPmpRouterEndsTheLookupBounded",
     "natpmp",
     {{}, {"--mode", "silent"}, {}, ""},
     "",
     "N/A",
     "",
     "unknown",
     "",
     "WAN address source natpmp: no answer from 127.0.0.1:"},
    {"DnsAnswerThatIsNoAddress",
     "dns",
     {{}, {}, {"--text", "hello there"}, ""},
     "whoami.cloudflare/TXT/CH@%s",
     "N/A",
     "",
     "unknown",
     "",
     "answered whoami.cloudflare TXT with \"hello there\", which is no IPv4 address"},
    {"PrivateWebAnswerFallsToTheRouter",
     "web upnp",
     {{"--address", "203.0.113.7"}, {}, {}, "10.1.2.3"},
     "",
     "203.0.113.7",
     "upnp",
     "none",
     "",
     "P10010 WAN IP address from upnp"},
    {"RouterErrorIsToldInItsWords",
     "upnp",
     {{"--fault", "501"}, {}, {}, ""},
     "",
     "N/A",
     "",
     "unknown",
     "",
     "WAN address source upnp: the router did not answer GetExternalIPAddress"},
};

TEST_P(WanSourcesTest, SourcesInOrderWithTheirFallbacks) {
    const Case& c = GetParam();
    std::unique_ptr<Emulator> upnp, natpmp, dns, web;
    if (!c.peers.upnp.empty()) {
        upnp = std::make_unique<Emulator>("upnp_gateway.py", c.peers.upnp);
    }
    if (!c.peers.natpmp.empty()) {
        natpmp = std::make_unique<Emulator>("natpmp_gateway.py", c.peers.natpmp);
    }
    if (!c.peers.dns.empty()) {
        dns = std::make_unique<Emulator>("dns_echo.py", c.peers.dns);
    }
    if (!c.peers.webBody.empty()) {
        web = std::make_unique<Emulator>("echo_page.py",
                                         std::vector<std::string>{"--body", c.peers.webBody});
    }
    for (const Emulator* peer : {upnp.get(), natpmp.get(), dns.get(), web.get()}) {
        ASSERT_TRUE(peer == nullptr || peer->server->Ready());
    }

    TempDir dir;
    Profile file(dir.File("Orvex.ini"));
    AddressState state;
    RecordingHost host;
    WanLookupSettings lookup = PlainLookup();
    lookup.UpdateOnNAIP = 1;
    lookup.Timeout = 2;
    WanSourceSettings settings;
    settings.WANIPSources = c.sources;
    settings.Timeout = 2;
    if (upnp) {
        settings.UPnPURL = "http://" + upnp->Local() + "/rootDesc.xml";
    }
    if (natpmp) {
        settings.NATPMPGateway = natpmp->Local();
    }
    if (dns) {
        std::string question = c.dnsQuestion;
        question.replace(question.find("%s"), 2, dns->Local());
        settings.DNSLookups = question;
    }
    if (web) {
        lookup.WANIPURL = "http://" + web->Local() + "/ip";
    }

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(
        LookUpWanAddress(state, file, lookup, settings, host, dir.Path(), {}, IpFamily::kIPv4),
        c.address);
    // Each source is bounded by Timeout (2 s here); a silent peer costs no more than that.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(6));

    const AddressState::Snapshot a = state.Get();
    EXPECT_EQ(a.CurrentWANIP, c.address);
    EXPECT_EQ(a.WanVia, c.via);
    EXPECT_EQ(a.WanNat, c.nat);
    EXPECT_EQ(a.WanReachability.rfind(c.sentence, 0), 0u) << a.WanReachability;
    EXPECT_EQ(a.WanReachability.empty(), std::string(c.sentence).empty());
    EXPECT_EQ(file.GetString("IPAddress", "LastWANIP", "", 100), c.address);

    const std::vector<std::string> statuses = host.Statuses();
    ASSERT_FALSE(statuses.empty());
    EXPECT_EQ(statuses.front(), "P10009 Requesting WAN IP address...");
    auto sent = [&](const std::string& text) {
        for (const std::string& status : statuses) {
            if (status.find(text) != std::string::npos) {
                return true;
            }
        }
        return false;
    };
    if (c.message[0] != '\0') {
        EXPECT_TRUE(sent(c.message)) << ::testing::PrintToString(statuses);
    }
    if (!a.WanReachability.empty()) {
        EXPECT_TRUE(sent("P " + a.WanReachability)) << ::testing::PrintToString(statuses);
    }
    if (natpmp && std::string(c.peers.natpmp[1]) == "pcp") {
        // The mapping asked for only to learn the address is deleted again.
        EXPECT_TRUE(natpmp->Logged("PCP MAP lifetime 30 ")) << natpmp->server->Log();
        EXPECT_TRUE(natpmp->Logged("PCP MAP lifetime 0 ")) << natpmp->server->Log();
    }
    if (upnp && c.peers.upnp[0] != "--silent") {
        EXPECT_TRUE(upnp->Logged("REQUEST GET /rootDesc.xml")) << upnp->server->Log();
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, WanSourcesTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             return std::string(info.param.name);
                         });

TEST(WanSourcesWebOnly, DefaultIsTodaysLookupAndLeavesTheLineUnknown) {
    Emulator web("echo_page.py", {"--body", "10.9.8.7"});
    ASSERT_TRUE(web.server->Ready());
    TempDir dir;
    Profile file(dir.File("Orvex.ini"));
    AddressState state;
    RecordingHost host;
    WanLookupSettings lookup = PlainLookup();
    lookup.WANIPURL = "http://" + web.Local() + "/ip";
    WanSourceSettings settings;  // WANIPSources "web"
    // Today's lookup takes any address a service gives, private ones included.
    EXPECT_EQ(
        LookUpWanAddress(state, file, lookup, settings, host, dir.Path(), {}, IpFamily::kIPv4),
        "10.9.8.7");
    EXPECT_EQ(host.Transcript(),
              std::vector<std::string>{"status: P10009 Requesting WAN IP address..."});
    EXPECT_EQ(state.Get().WanNat, "unknown");
    EXPECT_EQ(state.Get().WanVia, "web");
}

TEST(WanSourcesTestButton, EachSourceAnswersAndTheSentenceFollows) {
    Emulator upnp("upnp_gateway.py", {"--address", "100.64.1.2"});
    Emulator dns("dns_echo.py", {"--address", "203.0.113.7"});
    ASSERT_TRUE(upnp.server->Ready() && dns.server->Ready());
    WanSourceSettings settings;
    settings.WANIPSources = "upnp natpmp dns web";
    settings.UPnPURL = "http://" + upnp.Local() + "/rootDesc.xml";
    settings.NATPMPGateway = "127.0.0.1:1";
    settings.DNSLookups = "myip.opendns.com/A/IN@" + dns.Local();
    settings.Timeout = 1;
    const std::vector<std::string> lines =
        TestWanSources(settings, [](IpFamily) { return std::string("198.51.100.30"); });
    ASSERT_EQ(lines.size(), 5u) << ::testing::PrintToString(lines);
    EXPECT_EQ(lines[0], "upnp: 100.64.1.2 (a shared address)");
    EXPECT_EQ(lines[1].rfind("natpmp: ", 0), 0u);
    EXPECT_EQ(lines[2], "dns: 203.0.113.7");
    EXPECT_EQ(lines[3], "web: 198.51.100.30");
    EXPECT_EQ(lines[4], kSharedSentence);
}

}  // namespace
}  // namespace orvex
