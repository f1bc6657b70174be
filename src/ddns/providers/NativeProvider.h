#pragma once

#include <string>
#include <vector>

#include "ddns/UpdateAttempt.h"
#include "platform/TlsSession.h"

namespace orvex::ddns {

// One update through a provider's own HTTP interface (a REST API with a token), as the
// dynamic DNS updater hands it over.
struct NativeUpdate {
    // Server<n> when set, else the provider's documented base address
    // ("https://api.cloudflare.com/client/v4"), without a trailing "/".
    std::string base;
    std::string user;      // account, key id or API key, where the provider has one
    std::string password;  // the token or secret
    std::string zone;      // Zone<n>; empty: found from the name where the provider allows
    std::vector<std::string> hosts;
    int ttl = 300;  // for records that have to be created
    // The addresses to publish; an empty one leaves that record type alone.
    UpdateAddresses addresses;
    int timeoutSeconds = 60;
    TlsOptions tls;
};

// Reads each name's records first and writes only those that differ ("already current"
// writes nothing); a missing record is created, a name with several records of a type is
// left alone, nothing is ever deleted.
using NativeSender = UpdateAttempt (*)(const NativeUpdate& update);

// The sender of a provider's stored name ("cloudflare"), or nullptr when it has none.
NativeSender FindNativeSender(const std::string& storedName);

}  // namespace orvex::ddns
