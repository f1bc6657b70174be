#pragma once

#include <string>

struct ssl_ctx_st;

namespace orvex {

// Makes a client set-up trust the system store and, besides it, the PEM file `caFile` (none
// when empty). The system folder (SSL_CERT_DIR, else the library's default) is asked by
// certificate name as a check needs an issuer; the system bundle (SSL_CERT_FILE, else the
// default) is read only when a check asks for an issuer the folder does not hold. Reading
// the whole bundle costs more than a mail on the local network, and most checks never need
// it. False, with the reason in *error, when `caFile` cannot be read.
bool TrustSystemStore(ssl_ctx_st* context, const std::string& caFile, std::string* error);

}  // namespace orvex
