#include "address/LanAddress.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include "settings/SettingsFile.h"

namespace orvex {

std::string GetLANIP(AddressState& state, Profile& settingsFile, HostResolver& resolver) {
    state.SetPreviousLANIP(ReadLastAddress(settingsFile, AddressKind::Lan));
    std::string result;
    for (const Ipv4Address& address : resolver.OwnAddresses()) {
        // The last address of the list wins.
        result = DottedDecimal(address);
    }
    state.SetCurrentLANIP(result);
    WriteLastAddress(settingsFile, AddressKind::Lan, result);
    return result;
}

std::string ChooseIpv6Address(const std::vector<Ipv6InterfaceAddress>& addresses) {
    std::string best = "N/A";
    int bestRank = 1000;
    for (const Ipv6InterfaceAddress& address : addresses) {
        in6_addr bytes{};
        if (::inet_pton(AF_INET6, address.text.c_str(), &bytes) != 1) {
            continue;
        }
        const bool isPublic = (bytes.s6_addr[0] & 0xE0) == 0x20;
        const bool isUniqueLocal = (bytes.s6_addr[0] & 0xFE) == 0xFC;
        if (!isPublic && !isUniqueLocal) {
            continue;
        }
        const int rank =
            (isPublic ? 0 : 4) + (address.temporary ? 2 : 0) + (address.deprecated ? 1 : 0);
        if (rank < bestRank) {
            bestRank = rank;
            best = address.text;
        }
    }
    return best;
}

std::string GetLANIP6(AddressState& state, Profile& settingsFile, HostResolver& resolver) {
    state.SetPreviousLANIP6(ReadLastAddress(settingsFile, AddressKind::Lan6));
    const std::string result = ChooseIpv6Address(resolver.Ipv6Addresses());
    state.SetCurrentLANIP6(result);
    WriteLastAddress(settingsFile, AddressKind::Lan6, result);
    return result;
}

}  // namespace orvex
