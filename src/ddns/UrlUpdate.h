#pragma once

#include <string>

#include "ddns/UpdateAttempt.h"
#include "platform/TlsSession.h"

namespace orvex::ddns {

// The values of a URL template's tokens, as plain text (they are encoded when put in).
struct UrlTokenValues {
    UpdateAddresses addresses;
    std::string hosts;  // comma-separated
    std::string user;
    std::string password;
    // A provider's documented request (from the catalog): %Z stands for the zone too, and a
    // query parameter that is one address token whose address is unknown is left out, so a
    // provider never reads "ipv6=" as "take the address the request came from".
    bool documented = false;
    std::string zone;
};

// `url` with its tokens replaced in one pass, each value percent-encoded so it can never
// change the request's shape: %WI6 the WAN IPv6 address, %WI the WAN IPv4 address, %I6 the
// LAN IPv6 address, %I the LAN IPv4 address, %H the host names, %U the user, %P the password.
// Any other "%" is left as it is (percent-encodings in the template stay intact).
std::string ExpandUrlTemplate(const std::string& url, const UrlTokenValues& values);

struct UrlRequest {
    std::string url;  // the template
    UrlTokenValues values;
    std::string expect;  // text the answer must contain; empty: the status alone decides
    long boundMs = 15000;
    TlsOptions tls;  // the system store, checked, unless told otherwise
    // Basic authentication, for providers that take the logon that way.
    std::string authUser;
    std::string authPassword;
};

// GETs the expanded URL (https:// when it names no scheme): ok on a 2xx status whose body holds
// `expect`.
UpdateAttempt SendUrlUpdate(const UrlRequest& request);

// The scheme and host of a URL, for messages: the path and query may carry a secret.
std::string UrlOrigin(const std::string& url);

}  // namespace orvex::ddns
