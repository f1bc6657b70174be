#pragma once

#include <string>
#include <vector>

namespace orvex::ddns {

// A DNS UPDATE (RFC 2136) signed with TSIG (HMAC-SHA256): for every host, the A record (when
// `ipv4` is set) and the AAAA record (when `ipv6` is set) are replaced by the one address with
// `ttl`.
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

struct Rfc2136Result {
    bool ok = false;
    // What the server answered ("NOERROR", "NOTAUTH", ...) or what went wrong locally, in a
    // sentence fit for a status line.
    std::string message;
};

Rfc2136Result SendRfc2136Update(const Rfc2136Request& request);

}  // namespace orvex::ddns
