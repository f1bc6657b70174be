#pragma once

#include <string>

namespace orvex {

// Where an address can be reached from, as far as publishing it goes.
enum class AddressScope {
    kPublic,       // reachable from the Internet (the documentation ranges included)
    kPrivate,      // 10/8, 172.16/12, 192.168/16, fc00::/7
    kShared,       // 100.64/10: the carrier's side of carrier-grade NAT
    kLoopback,     // 127/8, ::1
    kLinkLocal,    // 169.254/16, fe80::/10
    kMulticast,    // 224/4, ff00::/8
    kUnspecified,  // 0/8, ::
    kReserved,     // 240/4 and the broadcast address, IPv6 outside 2000::/3 and the above
    kNotAnAddress,
};

// The scope of an address text: dotted IPv4, or IPv6 (an IPv4-mapped one counts as its IPv4
// address).
AddressScope ScopeOf(const std::string& text);

inline bool IsPublicAddress(const std::string& text) {
    return ScopeOf(text) == AddressScope::kPublic;
}

// The scope in words, for a sentence: "a private address", "a shared address", ...
std::string ScopeWords(AddressScope scope);

// The address of a machine of the same network: the interface identifier a dynamic DNS
// entry's Suffix names (SuffixInterfaceId, settings/DynamicDnsKinds.h) joined to the /64 prefix
// of `address` (an IPv6 address of this machine). Empty, with `problem` set when given, when
// either is unusable.
std::string JoinIpv6Suffix(const std::string& address, const std::string& suffix,
                           std::string* problem = nullptr);

}  // namespace orvex
