#pragma once

#include <string>

#include "address/AddressState.h"
#include "platform/HostResolver.h"
#include "platform/Profile.h"

namespace orvex {

// Finds the machine's LAN address: the last of the own name's addresses, as dotted decimal.
// In order: PreviousLANIP := the stored last LAN address (at most 20 characters, "" when absent);
// CurrentLANIP := the address found, or "" when the name cannot be read or resolved; the new
// CurrentLANIP is stored as the last LAN address (also when empty). Returns the new CurrentLANIP.
// Reports nothing and never fails otherwise.
std::string GetLANIP(AddressState& state, Profile& settingsFile, HostResolver& resolver);

// The machine's global IPv6 address among `addresses`: a public (2000::/3) one before a unique
// local one, a stable one before a temporary one, a preferred one before a deprecated one; the
// first of equals. "N/A" when there is none.
std::string ChooseIpv6Address(const std::vector<Ipv6InterfaceAddress>& addresses);

// The IPv6 twin of GetLANIP: PreviousLANIP6 := the stored "LastLANIP6"; CurrentLANIP6 := the
// address ChooseIpv6Address picks from the interfaces; stored as "LastLANIP6" and returned.
std::string GetLANIP6(AddressState& state, Profile& settingsFile, HostResolver& resolver);

}  // namespace orvex
