#pragma once

#include <string>
#include <vector>

#include "ddns/UpdateAttempt.h"
#include "platform/TlsSession.h"

namespace orvex::ddns {

// How a dyndns2 answer code is taken.
enum class Dyndns2Verdict {
    kUpdated,  // good, nochg
    kRetry,    // a passing fault of the provider: try again later
    kStop,     // no more tries until the settings change
};

struct Dyndns2Code {
    const char* code;
    Dyndns2Verdict verdict;
    const char* meaning;
};

// The meaning of one answer line's code (the line's first word); an unknown code is a
// failure that is tried again later.
Dyndns2Code ClassifyDyndns2Answer(const std::string& line);

// The update request: `server` is a host name (with an optional ":port"), reached over HTTPS,
// or a base with its scheme, "http://..." / "https://..." (a path included). Hosts are sent
// comma-separated, the addresses as "myip=<ipv4>[,<ipv6>]" (whichever of the two is set).
std::string Dyndns2Url(const std::string& server, const std::vector<std::string>& hosts,
                       const std::string& ipv4, const std::string& ipv6);

// The update request to a provider's documented update address ("https://www.ovh.com/nic/
// update?system=dyndns"): the host names and addresses follow its own query.
std::string Dyndns2UrlAt(const std::string& address, const std::vector<std::string>& hosts,
                         const std::string& ipv4, const std::string& ipv6);

struct Dyndns2Request {
    std::string server;
    // A provider's update address, path included; when set, `server` is not used.
    std::string address;
    std::vector<std::string> hosts;
    std::string user;
    std::string password;
    std::string ipv4;
    std::string ipv6;
    long boundMs = 15000;
    TlsOptions tls;  // the system store, checked, unless told otherwise
};

// Sends the update and reads one answer line per host: ok when every host answered good or
// nochg; stop when any answer asks to stop retrying.
UpdateAttempt SendDyndns2Update(const Dyndns2Request& request);

}  // namespace orvex::ddns
