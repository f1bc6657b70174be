#include "settings/DynamicDnsKinds.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <climits>

#include "platform/TextUtil.h"
#include "settings/DynamicDnsSettings.h"
#include "settings/ProviderCatalog.h"

namespace orvex {

namespace {

DdnsField Text(const char* key, const char* label, const char* noun, const char* hint,
               bool required, size_t maxLength = 0) {
    DdnsField f;
    f.key = key;
    f.label = label;
    f.noun = noun;
    f.hint = hint;
    f.required = required;
    f.maxLength = maxLength;
    return f;
}

DdnsField Expected(DdnsField f) {
    f.expected = true;
    return f;
}

DdnsField Ttl() {
    DdnsField f = Text("TTL", "&TTL (seconds):", "TTL", "How long resolvers may keep the address.",
                       false, 10);
    f.low = 1;
    f.high = INT_MAX;
    return f;
}

bool IsHostName(const std::string& name) {
    if (name.empty() || name.front() == '.' || name.front() == '-' ||
        name.find("..") != std::string::npos) {
        return false;
    }
    for (char c : name) {
        const bool letterOrDigit =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!letterOrDigit && c != '-' && c != '.' && c != '_') {
            return false;
        }
    }
    return true;
}

std::string LowerWithoutFinalDot(std::string name) {
    if (!name.empty() && name.back() == '.') {
        name.pop_back();
    }
    for (char& c : name) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return name;
}

bool InsideZone(const std::string& host, const std::string& zone) {
    const std::string h = LowerWithoutFinalDot(host);
    const std::string z = LowerWithoutFinalDot(zone);
    return h == z || (h.size() > z.size() && h.compare(h.size() - z.size(), z.size(), z) == 0 &&
                      h[h.size() - z.size() - 1] == '.');
}

bool IsBase64(const std::string& text) {
    if (text.empty() || text.size() % 4 != 0) {
        return false;
    }
    const size_t padding = text.find('=');
    if (padding != std::string::npos &&
        (padding + 2 < text.size() || text.find_first_not_of('=', padding) != std::string::npos)) {
        return false;
    }
    for (size_t i = 0; i < (padding == std::string::npos ? text.size() : padding); ++i) {
        const char c = text[i];
        const bool letterOrDigit =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!letterOrDigit && c != '+' && c != '/') {
            return false;
        }
    }
    return true;
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

// The value of field `key` of an entry.
std::string ValueOf(const DynamicDnsEntry& e, const std::string& key) {
    if (key == "Server")
        return e.Server;
    if (key == "Hosts")
        return e.Hosts;
    if (key == "User")
        return e.User;
    if (key == "Password")
        return e.Password;
    if (key == "URL")
        return e.URL;
    if (key == "Expect")
        return e.Expect;
    if (key == "Zone")
        return e.Zone;
    if (key == "TSIGName")
        return e.TSIGName;
    if (key == "TSIGSecret")
        return e.TSIGSecret;
    if (key == "TTL")
        return std::to_string(e.TTL);
    if (key == "Command")
        return e.Command;
    return {};
}

bool Empty(const std::string& key, const std::string& value) {
    return key == "Hosts" ? SplitDynamicDnsHosts(value).empty() : TrimBlanks(value).empty();
}

}  // namespace

bool SuffixInterfaceId(const std::string& text, std::array<uint8_t, 8>* id, std::string* problem) {
    const std::string suffix = TrimBlanks(text);
    in6_addr bytes{};
    if (suffix.find("::") != std::string::npos &&
        ::inet_pton(AF_INET6, suffix.c_str(), &bytes) == 1) {
        for (int i = 0; i < 8; ++i) {
            if (bytes.s6_addr[i] != 0) {
                *problem = "\"" + suffix + "\" sets more than the last 64 bits of an address";
                return false;
            }
        }
        std::memcpy(id->data(), bytes.s6_addr + 8, 8);
        return true;
    }
    // A MAC address: six pairs of hex digits joined by ":" or "-".
    uint8_t mac[6] = {};
    bool ok = suffix.size() == 17;
    for (size_t i = 0; ok && i < 6; ++i) {
        const char hi = suffix[3 * i];
        const char lo = suffix[3 * i + 1];
        ok = std::isxdigit(static_cast<unsigned char>(hi)) &&
             std::isxdigit(static_cast<unsigned char>(lo)) &&
             (i == 5 || suffix[3 * i + 2] == ':' || suffix[3 * i + 2] == '-');
        if (ok) {
            mac[i] = static_cast<uint8_t>(std::stoul(suffix.substr(3 * i, 2), nullptr, 16));
        }
    }
    if (!ok) {
        *problem = "\"" + suffix +
                   "\" is neither an interface identifier (\"::1234\") nor a MAC address "
                   "(\"00:11:22:aa:bb:cc\")";
        return false;
    }
    // Modified EUI-64: the universal/local bit flipped, ff:fe in the middle.
    *id = {static_cast<uint8_t>(mac[0] ^ 0x02), mac[1], mac[2], 0xFF, 0xFE, mac[3], mac[4], mac[5]};
    return true;
}

const DdnsField* DdnsKind::Field(const std::string& key) const {
    for (const DdnsField& f : fields) {
        if (f.key == key) {
            return &f;
        }
    }
    return nullptr;
}

std::vector<DdnsKind> GenericDynamicDnsKinds() {
    const DdnsField hosts =
        Text("Hosts", "&Host names:", "host names", "Separated by commas.", true);
    DdnsKind dyndns2;
    dyndns2.stored = kDdnsDyndns2;
    dyndns2.label = "dyndns2 (other provider)";
    dyndns2.sender = DdnsSender::kDyndns2;
    dyndns2.about =
        "The update protocol most providers speak. Server: the provider's update server "
        "(members.example.net; HTTPS unless you write http://).";
    dyndns2.fields = {
        Text("Server", "Update &server:", "update server",
             "The provider's update server: members.example.net", true),
        hosts,
        Expected(Text("User", "&User name:", "user name", "", false)),
        Expected(Text("Password", "Pass&word:", "password", "", false, kMaxDdnsPasswordLength)),
    };

    DdnsKind url;
    url.stored = kDdnsUrl;
    url.label = "URL (other provider)";
    url.sender = DdnsSender::kUrl;
    url.about =
        "A provider's own request. In the URL, %WI stands for the WAN address, %WI6 for the WAN "
        "IPv6 address, %H for the host names, %U and %P for the user name and password. "
        "Expected answer: a text the answer must contain (empty: a success status is enough).";
    url.fields = {
        Text("URL", "U&RL:", "URL", "https://update.example.net/?domains=%H&ip=%WI", true),
        Text("Expect", "E&xpected answer:", "expected answer", "", false),
        Text("Hosts", "&Host names:", "host names", "What %H stands for in the URL.", false),
        Text("User", "&User name:", "user name", "What %U stands for in the URL.", false),
        Text("Password", "Pass&word:", "password", "What %P stands for in the URL.", false,
             kMaxDdnsPasswordLength),
    };

    DdnsKind rfc2136;
    rfc2136.stored = kDdnsRfc2136;
    rfc2136.label = "DNS UPDATE (RFC 2136)";
    rfc2136.sender = DdnsSender::kRfc2136;
    rfc2136.about =
        "Your own name server: the A (and AAAA) records of the host names are replaced, signed "
        "with the TSIG key (HMAC-SHA256, the secret in base64). Without a key name and secret "
        "the update is sent unsigned.";
    rfc2136.fields = {
        Text("Server", "Name &server:", "name server", "ns1.example.net, or ns1.example.net:5353",
             true),
        Text("Zone", "&Zone:", "zone", "example.net", true),
        hosts,
        Text("TSIGName", "TSIG &key name:", "TSIG key name",
             "Empty, with the secret, for an "
             "unsigned update.",
             false),
        Text("TSIGSecret", "TSIG s&ecret:", "TSIG secret", "base64, as the key file gives it.",
             false, kMaxTsigSecretLength),
        Ttl(),
    };

    DdnsKind command;
    command.stored = kDdnsCommand;
    command.label = "Command";
    command.sender = DdnsSender::kCommand;
    command.about =
        "Run after every change of address. It finds the addresses in ORVEX_WAN_IP, "
        "ORVEX_WAN_IP6, ORVEX_LAN_IP, ORVEX_LAN_IP6, the host names in ORVEX_HOSTS and the user "
        "name and password in ORVEX_USER and ORVEX_PASSWORD; nothing is put into the command "
        "text.";
    command.fields = {
        Text("Hosts", "&Host names:", "host names", "Given to the command as ORVEX_HOSTS.", false),
        Text("User", "&User name:", "user name", "Given to the command as ORVEX_USER.", false),
        Text("Password", "Pass&word:", "password", "Given to the command as ORVEX_PASSWORD.", false,
             kMaxDdnsPasswordLength),
        Text("Command", "&Command:", "command", "", true),
    };

    std::vector<DdnsKind> kinds{dyndns2, url, rfc2136, command};
    for (DdnsKind& kind : kinds) {
        kind.generic = true;
        kind.help = "DynamicDns.htm#" + kind.stored;
    }
    return kinds;
}

const std::vector<DdnsKind>& DynamicDnsKinds() {
    // Read once; a static's first use is safe from several threads at once.
    static const std::vector<DdnsKind> kinds = [] {
        std::vector<DdnsKind> all = LoadedProviderCatalog().providers;
        for (DdnsKind& kind : GenericDynamicDnsKinds()) {
            all.push_back(std::move(kind));
        }
        return all;
    }();
    return kinds;
}

const DdnsKind* FindDynamicDnsKind(const std::string& stored) {
    for (const DdnsKind& kind : DynamicDnsKinds()) {
        if (kind.stored == stored) {
            return &kind;
        }
    }
    return nullptr;
}

std::vector<DynamicDnsProblem> CheckDynamicDnsEntry(const DynamicDnsEntry& e) {
    return CheckDynamicDnsEntry(e, DynamicDnsKinds());
}

std::vector<DynamicDnsProblem> CheckDynamicDnsEntry(const DynamicDnsEntry& e,
                                                    const std::vector<DdnsKind>& kinds) {
    std::vector<DynamicDnsProblem> problems;
    auto problem = [&](const std::string& field, std::string text, std::string prompt,
                       bool blocks) {
        problems.push_back({field, std::move(text), std::move(prompt), blocks});
    };
    const auto found = std::find_if(kinds.begin(), kinds.end(),
                                    [&](const DdnsKind& k) { return k.stored == e.Protocol; });
    if (found == kinds.end()) {
        problem("Protocol", "\"" + e.Protocol + "\" is not dyndns2, url, rfc2136 or command",
                "Please choose the provider of this entry.", true);
    } else {
        const DdnsKind& kind = *found;
        const bool url = kind.sender == DdnsSender::kUrl && kind.generic;
        for (const DdnsField& f : kind.fields) {
            const std::string value = ValueOf(e, f.key);
            bool asked = f.required || f.expected;
            std::string noun = f.noun;
            // A URL's tokens need what they stand for.
            if (url && !asked) {
                const char* token = f.key == "Hosts"      ? "%H"
                                    : f.key == "User"     ? "%U"
                                    : f.key == "Password" ? "%P"
                                                          : nullptr;
                if (token != nullptr && e.URL.find(token) != std::string::npos) {
                    asked = true;
                    noun += std::string(" the URL's ") + token + " stands for";
                }
            }
            if (asked && Empty(f.key, value)) {
                problem(f.key, "empty; a " + e.Protocol + " entry needs it",
                        "Please enter the " + noun + ".", f.required);
            }
        }
        // Without a scheme the URL means https; any scheme but the two is refused.
        if (url && e.URL.find("://") != std::string::npos && !StartsWithNoCase(e.URL, "https://") &&
            !StartsWithNoCase(e.URL, "http://")) {
            problem("URL", "neither https:// nor http://",
                    "The URL must begin with https:// or http://.", false);
        }
        // A signed update needs both halves of the key; neither is an unsigned update.
        if (kind.Field("TSIGName") != nullptr) {
            const bool name = !TrimBlanks(e.TSIGName).empty();
            const bool secret = !TrimBlanks(e.TSIGSecret).empty();
            if (name != secret) {
                const char* missing = name ? "TSIGSecret" : "TSIGName";
                const char* other = name ? "TSIGName" : "TSIGSecret";
                problem(missing,
                        std::string("empty while ") + other +
                            " is set; a signed update needs both (neither: unsigned)",
                        std::string("Please enter the ") +
                            (name ? "TSIG secret" : "TSIG key name") + ".",
                        true);
            }
        }
        // A provider's own request may take labels ("@", "www") rather than names.
        if (kind.Field("Hosts") != nullptr && !(kind.sender == DdnsSender::kUrl && !kind.generic)) {
            for (const std::string& name : SplitDynamicDnsHosts(e.Hosts)) {
                if (!IsHostName(name)) {
                    problem("Hosts", "\"" + name + "\" is not a host name",
                            "\"" + name +
                                "\" is not a host name. Host names are made of letters, digits, "
                                "hyphens and dots, and several are separated by commas.",
                            false);
                    break;
                }
                if (kind.sender == DdnsSender::kRfc2136 && !e.Zone.empty() &&
                    !InsideZone(name, e.Zone)) {
                    problem(
                        "Hosts", "the host name " + name + " is not inside zone " + e.Zone,
                        "The host name " + name + " does not lie inside the zone " + e.Zone + ".",
                        false);
                    break;
                }
            }
        }
        if (kind.Field("TSIGSecret") != nullptr && !TrimBlanks(e.TSIGSecret).empty() &&
            !IsBase64(TrimBlanks(e.TSIGSecret))) {
            problem("TSIGSecret", "not valid base64",
                    "The TSIG secret must be written in base64, as the name server's key file "
                    "gives it.",
                    false);
        }
        if (const DdnsField* ttl = kind.Field("TTL");
            ttl != nullptr && ttl->high > 0 && (e.TTL < ttl->low || e.TTL > ttl->high)) {
            const std::string range = std::to_string(ttl->low) + " to " + std::to_string(ttl->high);
            problem("TTL", std::to_string(e.TTL) + " is out of range (" + range + ")",
                    "Please enter a TTL from " + range + " seconds.", false);
        }
    }
    if (e.Family != kDdnsFamily4 && e.Family != kDdnsFamily6 && e.Family != kDdnsFamilyBoth) {
        problem("Family", "\"" + e.Family + "\" is not 4, 6 or both",
                "Please choose the addresses to publish: IPv4, IPv6 or both.", true);
    }
    std::array<uint8_t, 8> id{};
    std::string why;
    if (!TrimBlanks(e.Suffix).empty() && !SuffixInterfaceId(e.Suffix, &id, &why)) {
        problem("Suffix", why, "The IPv6 suffix " + why + ".", true);
    }
    return problems;
}

}  // namespace orvex
