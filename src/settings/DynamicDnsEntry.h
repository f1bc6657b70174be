#pragma once

#include <cstddef>
#include <string>

namespace orvex {

// The protocols an entry can speak, as stored in "Protocol<n>".
inline constexpr const char* kDdnsDyndns2 = "dyndns2";
inline constexpr const char* kDdnsUrl = "url";
inline constexpr const char* kDdnsRfc2136 = "rfc2136";
inline constexpr const char* kDdnsCommand = "command";

// Which addresses an entry publishes, as stored in "Family<n>".
inline constexpr const char* kDdnsFamily4 = "4";
inline constexpr const char* kDdnsFamily6 = "6";
inline constexpr const char* kDdnsFamilyBoth = "both";

// Longest TSIG secret kept (base64 of an HMAC key; 88 characters hold a 512-bit one).
inline constexpr size_t kMaxTsigSecretLength = 128;
inline constexpr int kDefaultDdnsTtl = 300;

// One name (or set of names) kept pointing at this machine. Passwords are held in plain text
// here; only the file holds them scrambled.
struct DynamicDnsEntry {
    std::string Protocol = kDdnsDyndns2;
    std::string Server;  // dyndns2: host[:port] or URL base; rfc2136: the name server
    std::string Hosts;   // comma-separated names
    std::string User;
    std::string Password;  // at most 24 characters, like every stored password
    std::string URL;       // url: the request, with address tokens
    std::string Expect;    // url: text the answer must contain (empty: the status alone)
    std::string Zone;      // rfc2136
    std::string TSIGName;
    std::string TSIGSecret;  // base64, at most kMaxTsigSecretLength characters
    int TTL = kDefaultDdnsTtl;
    std::string Command;
    std::string Family = kDdnsFamily4;
    // Publishes another machine of this network over IPv6: its interface identifier ("::1234")
    // or MAC address, joined to the /64 prefix of this machine's global address. Empty: this
    // machine's own address.
    std::string Suffix;
    // Files whose first line is the password or the TSIG secret, used instead of the stored
    // ones (a credential "Password<n>" / "TSIGSecret<n>" first). Written only when set.
    std::string PasswordFile;
    std::string TSIGSecretFile;
    // The last successful update: the addresses sent (IPv4 first, blank-separated) and when,
    // as UTC "YYYY-MM-DDTHH:MM:SSZ". Empty: never updated.
    std::string LastAddress;
    std::string LastUpdate;
};

}  // namespace orvex
