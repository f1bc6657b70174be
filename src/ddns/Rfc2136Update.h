#pragma once

#include <string>
#include <vector>

#include "ddns/UpdateAttempt.h"

namespace orvex::ddns {

// A DNS UPDATE (RFC 2136), signed with TSIG (HMAC-SHA256) when a key is given: for every
// host, the A record (when `ipv4` is set) and the AAAA record (when `ipv6` is set) are replaced
// by the one address with `ttl`. Without a key name and secret it goes unsigned (servers that
// allow updates by address take it).
struct Rfc2136Request {
    std::string server;  // the name server: a name, an IPv4 or an IPv6 address
    int port = 53;
    std::string zone;
    std::vector<std::string> hosts;  // fully qualified names inside `zone`
    std::string tsigName;
    std::string tsigSecret;  // base64
    int ttl = 300;
    std::string ipv4;
    std::string ipv6;
    int timeoutMs = 15000;  // bounds the whole exchange
};

// ok with the server's NOERROR in `answers` ("NOERROR: updated home.example.net."), or why
// not in the shared failure sentences ("no answer from ns1.example.net:53 within 15 s",
// "ns1.example.net:53 refused the update: NOTAUTH (BADSIG)"), the server's answer in words in
// `answers`. NOTAUTH, REFUSED and the key errors BADKEY, BADSIG and BADTIME stop the entry.
UpdateAttempt SendRfc2136Update(const Rfc2136Request& request);

}  // namespace orvex::ddns
