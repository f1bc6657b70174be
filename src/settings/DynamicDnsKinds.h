#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "settings/DynamicDnsEntry.h"

namespace orvex {

// How an entry of a kind is sent.
enum class DdnsSender {
    kDyndns2,  // GET <address>?hostname=...&myip=... with basic authentication
    kUrl,      // GET of a URL template, its tokens replaced
    kRfc2136,  // DNS UPDATE to a name server
    kCommand,  // a command of the user's
    kNative,   // a provider's own HTTP interface (ddns/providers/)
};

// One field an entry of a kind uses, as the entry dialog shows it.
struct DdnsField {
    std::string key;    // the stored key without its number: "Server", "Hosts", "Password", ...
    std::string label;  // "Update &server:"
    std::string noun;   // what the dialog asks for when it is missing: "update server"
    std::string hint;   // shown as the field's tool tip (and placeholder, where it is an example)
    // Without it nothing can be sent: the updater skips the entry, --check names it and the
    // dialog refuses it.
    bool required = false;
    // The dialog and --check ask for it, but the updater still sends the entry (a provider of
    // the user's may do without it and will say so if not).
    bool expected = false;
    size_t maxLength = 0;  // 0: the length of every stored value
    // A number field's range (TTL); both 0 for a text.
    long long low = 0;
    long long high = 0;
};

// One kind of dynamic DNS entry: a row of the rule table. The four generic kinds are built in;
// each provider of the catalog (settings/ProviderCatalog.h) adds one.
struct DdnsKind {
    std::string stored;  // Protocol<n>: "dyndns2", "cloudflare", ...
    std::string label;   // as the entry dialog's Provider list shows it
    DdnsSender sender = DdnsSender::kDyndns2;
    std::string about;  // shown under the choice
    std::string help;   // the help page and anchor: "DynamicDns.htm#dyndns2"
    std::vector<DdnsField> fields;
    // Catalog rows only: the documented address (dyndns2: the update address with its path;
    // url: the request with its tokens; native: the interface's base), the text a URL answer
    // must hold, and the provider's page where the user finds the credentials.
    std::string address;
    std::string expect;
    std::string docs;
    // url rows: the provider takes User and Password by basic authentication.
    bool basicAuth = false;
    // One of the four generic kinds, listed after the providers.
    bool generic = false;

    // The field of that key, or nullptr when the kind does not use it.
    const DdnsField* Field(const std::string& key) const;
};

// Every kind: the providers of the catalog by their shown name, then "dyndns2 (other
// provider)", "URL (other provider)", "DNS UPDATE (RFC 2136)" and "Command". The catalog is
// read once, at the first call.
const std::vector<DdnsKind>& DynamicDnsKinds();
// The kind an entry's Protocol names, or nullptr.
const DdnsKind* FindDynamicDnsKind(const std::string& stored);

// The four generic kinds alone.
std::vector<DdnsKind> GenericDynamicDnsKinds();

// The 64-bit interface identifier an entry's Suffix names: an IPv6 text whose upper 64 bits are
// zero ("::1234", "::a:b:c:d"), or a MAC address ("00:11:22:aa:bb:cc", dashes allowed) in its
// modified EUI-64 form (the universal/local bit flipped, ff:fe in the middle). False, with
// `problem` saying why, when it names none.
bool SuffixInterfaceId(const std::string& suffix, std::array<uint8_t, 8>* id, std::string* problem);

// Longest dynamic DNS password kept (a provider's API token), scrambled like every password.
inline constexpr size_t kMaxDdnsPasswordLength = 256;

// One reason an entry cannot be used as it stands.
struct DynamicDnsProblem {
    std::string field;   // the key without its number ("Hosts", "TTL", ...)
    std::string text;    // for --check and the status line: "empty; a dyndns2 entry needs it"
    std::string prompt;  // for the dialog: "Please enter the host names."
    // The updater does not send the entry (a required field, an unknown kind, ...).
    bool blocks = false;
};

// Every check of an entry, in the order the dialog tells them: the entry dialog refuses an
// entry with any problem, `orvexd --check` names every one, and the updater skips an entry
// with a blocking one. Uses the rule table, so it knows every provider of the catalog.
std::vector<DynamicDnsProblem> CheckDynamicDnsEntry(const DynamicDnsEntry& e);
// The same against a given table (tests).
std::vector<DynamicDnsProblem> CheckDynamicDnsEntry(const DynamicDnsEntry& e,
                                                    const std::vector<DdnsKind>& kinds);

}  // namespace orvex
