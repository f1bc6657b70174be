#include "address/AddressScope.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <array>
#include <cctype>
#include <cstdint>
#include <cstring>

#include "platform/TextUtil.h"
#include "settings/DynamicDnsKinds.h"

namespace orvex {

namespace {

AddressScope ScopeOf4(const uint8_t* a) {
    if (a[0] == 0) {
        return AddressScope::kUnspecified;
    }
    if (a[0] == 10 || (a[0] == 172 && (a[1] & 0xF0) == 16) || (a[0] == 192 && a[1] == 168)) {
        return AddressScope::kPrivate;
    }
    if (a[0] == 100 && (a[1] & 0xC0) == 64) {
        return AddressScope::kShared;
    }
    if (a[0] == 127) {
        return AddressScope::kLoopback;
    }
    if (a[0] == 169 && a[1] == 254) {
        return AddressScope::kLinkLocal;
    }
    if ((a[0] & 0xF0) == 224) {
        return AddressScope::kMulticast;
    }
    if ((a[0] & 0xF0) == 240) {
        return AddressScope::kReserved;
    }
    return AddressScope::kPublic;
}

AddressScope ScopeOf6(const uint8_t* a) {
    static const uint8_t kMappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    if (std::memcmp(a, kMappedPrefix, sizeof kMappedPrefix) == 0) {
        return ScopeOf4(a + 12);
    }
    bool zeroUpTo15 = true;
    for (int i = 0; i < 15; ++i) {
        zeroUpTo15 = zeroUpTo15 && a[i] == 0;
    }
    if (zeroUpTo15 && a[15] == 0) {
        return AddressScope::kUnspecified;
    }
    if (zeroUpTo15 && a[15] == 1) {
        return AddressScope::kLoopback;
    }
    if (a[0] == 0xFE && (a[1] & 0xC0) == 0x80) {
        return AddressScope::kLinkLocal;
    }
    if (a[0] == 0xFF) {
        return AddressScope::kMulticast;
    }
    if ((a[0] & 0xFE) == 0xFC) {
        return AddressScope::kPrivate;
    }
    if ((a[0] & 0xE0) == 0x20) {
        return AddressScope::kPublic;
    }
    return AddressScope::kReserved;
}

}  // namespace

AddressScope ScopeOf(const std::string& text) {
    in6_addr bytes{};
    if (::inet_pton(AF_INET, text.c_str(), &bytes) == 1) {
        return ScopeOf4(reinterpret_cast<const uint8_t*>(&bytes));
    }
    if (::inet_pton(AF_INET6, text.c_str(), &bytes) == 1) {
        return ScopeOf6(bytes.s6_addr);
    }
    return AddressScope::kNotAnAddress;
}

std::string ScopeWords(AddressScope scope) {
    switch (scope) {
        case AddressScope::kPublic:
            return "a public address";
        case AddressScope::kPrivate:
            return "a private address";
        case AddressScope::kShared:
            return "a shared address";
        case AddressScope::kLoopback:
            return "a loopback address";
        case AddressScope::kLinkLocal:
            return "a link-local address";
        case AddressScope::kMulticast:
            return "a multicast address";
        case AddressScope::kUnspecified:
            return "the unspecified address";
        case AddressScope::kReserved:
            return "a reserved address";
        case AddressScope::kNotAnAddress:
            break;
    }
    return "no address";
}

std::string JoinIpv6Suffix(const std::string& address, const std::string& suffix,
                           std::string* problem) {
    std::string why;
    std::array<uint8_t, 8> id{};
    in6_addr bytes{};
    if (::inet_pton(AF_INET6, address.c_str(), &bytes) != 1) {
        why = "\"" + address + "\" is no IPv6 address";
    } else if (SuffixInterfaceId(suffix, &id, &why)) {
        std::memcpy(bytes.s6_addr + 8, id.data(), 8);
        char text[INET6_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET6, &bytes, text, sizeof text);
        return text;
    }
    if (problem != nullptr) {
        *problem = why;
    }
    return "";
}

}  // namespace orvex
