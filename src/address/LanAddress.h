#pragma once

#include <string>

#include "address/AddressState.h"
#include "platform/HostResolver.h"
#include "platform/Profile.h"

namespace orvex {

// Key of section "IPAddress" holding the address found by the latest LAN lookup.
inline constexpr const char* kLastLanKey = "LastLANIP";
// Stored addresses are read back through a 21-byte buffer: at most 20 characters.
inline constexpr size_t kStoredAddressBuffer = 21;

// Finds the machine's LAN address: the last of the own name's addresses, as dotted decimal.
// In order: PreviousLANIP := the stored "LastLANIP" (at most 20 characters, "" when absent);
// CurrentLANIP := the address found, or "" when the name cannot be read or resolved; the new
// CurrentLANIP is stored as "LastLANIP" (also when empty). Returns the new CurrentLANIP.
// Reports nothing and never fails otherwise.
std::string GetLANIP(AddressState& state, Profile& settingsFile, HostResolver& resolver);

}  // namespace orvex
