#include "address/LanAddress.h"

#include "settings/SettingsFile.h"

namespace orvex {

std::string GetLANIP(AddressState& state, Profile& settingsFile, HostResolver& resolver) {
    state.SetPreviousLANIP(
        settingsFile.GetString(kSectionAddress, kLastLanKey, "", kStoredAddressBuffer));
    std::string result;
    for (const Ipv4Address& address : resolver.OwnAddresses()) {
        // The last address of the list wins.
        result = DottedDecimal(address);
    }
    state.SetCurrentLANIP(result);
    settingsFile.WriteString(kSectionAddress, kLastLanKey, result);
    return result;
}

}  // namespace orvex
