#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "address/AddressState.h"
#include "address/WanAddress.h"
#include "platform/Host.h"
#include "platform/NameResolver.h"
#include "platform/Profile.h"
#include "settings/AppSettings.h"

namespace orvex {

// The names of WANIPSources.
inline constexpr const char* kSourceWeb = "web";
inline constexpr const char* kSourceUpnp = "upnp";
inline constexpr const char* kSourceNatPmp = "natpmp";
inline constexpr const char* kSourceDns = "dns";

// The values of %NAT.
inline constexpr const char* kNatNone = "none";
inline constexpr const char* kNatPlain = "NAT";
inline constexpr const char* kNatCarrierGrade = "carrier-grade NAT";
inline constexpr const char* kNatUnknown = "unknown";

// How long SSDP discovery waits for routers to answer.
inline constexpr int kDiscoveryMs = 2000;

// The settings the WAN address sources use, copied when the cycle starts.
struct WanSourceSettings {
    std::string WANIPSources = kSourceWeb;
    std::string UPnPURL;
    std::string NATPMPGateway;
    std::string DNSLookups;
    int Timeout = 15;

    static WanSourceSettings From(const AppSettings& settings);
};

// The source names of WANIPSources in order (blanks separate them, case does not count,
// repeats are dropped); an empty list means "web". Unknown names are left out and named in
// `unknown`.
std::vector<std::string> SourceNames(const std::string& list,
                                     std::vector<std::string>* unknown = nullptr);

// What one source answered.
struct SourceAnswer {
    std::string address;  // the address it reported, whatever its scope; empty: none
    std::string failure;  // why there is none, in plain words
};

// One place that knows this machine's WAN address.
class WanAddressSource {
public:
    virtual ~WanAddressSource() = default;
    // Its name in WANIPSources.
    virtual std::string Name() const = 0;
    // True for the router's own report of its WAN address (upnp, natpmp): asked over IPv4
    // only, and the answer says whether the line is behind another NAT.
    virtual bool IsRouter() const { return false; }
    // Asks for the address of `family`, within `boundMs`.
    virtual SourceAnswer Ask(IpFamily family, long boundMs) = 0;
};

// The web lookup as a source: `ask` is today's lookup through the services (it reports its own
// messages) and gives the address or "N/A".
std::unique_ptr<WanAddressSource> MakeWebSource(std::function<std::string(IpFamily)> ask);
// The router's Internet Gateway Device through UPnP: `descriptionUrl` names its description
// document; empty means SSDP discovery bounded by kDiscoveryMs.
std::unique_ptr<WanAddressSource> MakeUpnpSource(const std::string& descriptionUrl);
// NAT-PMP's external address request, and PCP where the router speaks only that: `gateway`
// is "address" or "address:port" ("[v6]:port"); empty means the default gateway on port 5351.
std::unique_ptr<WanAddressSource> MakeNatPmpSource(const std::string& gateway);
// DNS questions that echo the asker: `lookups` as DNSLookups holds them; empty means the
// default questions.
std::unique_ptr<WanAddressSource> MakeDnsSource(const std::string& lookups);

// One question of DNSLookups: "myip.opendns.com/A/IN@208.67.222.222",
// "whoami.cloudflare/TXT/CH@[2606:4700:4700::1111]:53". Type A or AAAA asks for the address
// record; TXT for the address as text (the server's family is the family answered).
struct DnsLookup {
    std::string name;
    std::string type;   // "A", "AAAA" or "TXT"
    std::string klass;  // "IN" or "CH"
    SocketAddress server;
};
// The questions of a DNSLookups value; each one that cannot be read is left out and told in
// `problems` ("DNSLookups: \"x\" is not name/type/class@server[:port]").
std::vector<DnsLookup> ParseDnsLookups(const std::string& text, std::vector<std::string>* problems);

// The sources named by `settings`, in order; `web` asks the services through `webAsk`.
std::vector<std::unique_ptr<WanAddressSource>> MakeWanSources(
    const WanSourceSettings& settings, std::function<std::string(IpFamily)> webAsk);

// What the sources came to.
struct WanSourcesOutcome {
    std::string address;   // the public address published; empty when no source gave one
    std::string via;       // the source that gave it
    std::string nat;       // %NAT: none, NAT, carrier-grade NAT or unknown
    std::string sentence;  // what the user must know about reaching this line; empty: nothing
    // Every source asked, in order, with its answer.
    std::vector<std::pair<std::string, SourceAnswer>> asked;
};

// Asks `sources` in order for an address of `family`, each within `timeoutSeconds` (at least
// kMinLookupSeconds), until one reports a public address. Router sources are asked over IPv4
// only; a router source later in the list than the one that answered is still asked, for
// what it says of the line. The router's report decides %NAT: its public address is "none",
// a shared one "carrier-grade NAT", a private one or a public one that differs from the
// published address "NAT"; without a router's report "unknown". The last three come with the
// reachability sentence.
WanSourcesOutcome AskWanSources(const std::vector<std::unique_ptr<WanAddressSource>>& sources,
                                IpFamily family, int timeoutSeconds);

// The reachability sentence for a router reporting `routerAddress` while `publicAddress` (may
// be empty) is what the other sources see.
std::string ReachabilitySentence(const std::string& routerAddress,
                                 const std::string& publicAddress);

// The cycle's WAN lookup. With WANIPSources "web" (the default) this is GetWANIP (GetWANIP6)
// itself. Otherwise the same steps with the sources in their order: PreviousWANIP from the
// stored address, "P10009 Requesting WAN IP address..." (IPv4 only), the sources asked,
// "P10010 WAN IP address from <source>" when the one that answered was not the first, each
// source's failure ("P WAN address source <name>: <why>") when none answered, UpdateOnNAIP's
// rule, the result stored. Either way the reachability sentence (when there is one) goes to
// `host`, and %NAT, %NVIA and the sentence go into `state`. `answered`, when given, tells
// whether a source gave an address.
std::string LookUpWanAddress(AddressState& state, Profile& settingsFile,
                             const WanLookupSettings& lookup, const WanSourceSettings& sources,
                             Host& host, const std::string& workDir,
                             const std::vector<std::string>& defaults, IpFamily family,
                             bool* answered = nullptr);

// The Test button: every source of `sources` asked now over IPv4, whatever the others
// answered ("upnp: 100.64.1.2 (a shared address)", "dns: no answer from ..."), then the
// reachability sentence when there is one. The web source asks through `webAsk`.
std::vector<std::string> TestWanSources(const WanSourceSettings& sources,
                                        std::function<std::string(IpFamily)> webAsk);

}  // namespace orvex
