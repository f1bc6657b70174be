#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvex::ddns {

// What a name server's answer to a TSIG-signed update says.
struct DnsUpdateAnswer {
    bool readable = false;  // a DNS message at all; nothing below holds otherwise
    int rcode = 0;          // the header's response code
    int tsigError = 0;      // the error in its TSIG record (16 BADSIG, 17 BADKEY, ...); 0 if none
    bool signedByKey = false;  // its TSIG record verifies with the key and the request's MAC
    // Its TSIG record carries a MAC (a server that cannot check a request's key answers with
    // an error and none).
    bool carriesMac = false;
};

// TSIG error codes.
inline constexpr int kTsigBadSig = 16;
inline constexpr int kTsigBadKey = 17;
inline constexpr int kTsigBadTime = 18;

// Reads `wire`, the answer to a request signed with key `keyName` (secret `secret`, base64)
// whose own signature was `requestMac`.
DnsUpdateAnswer ReadDnsUpdateAnswer(const std::vector<uint8_t>& wire, const std::string& keyName,
                                    const std::string& secret,
                                    const std::vector<uint8_t>& requestMac);

}  // namespace orvex::ddns
