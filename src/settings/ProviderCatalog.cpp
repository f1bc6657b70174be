#include "settings/ProviderCatalog.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>

#include <nlohmann/json.hpp>

#include "platform/FileIo.h"

namespace orvex {

namespace {

// A catalog is a few hundred rows at most.
constexpr size_t kMaxCatalogBytes = 1024 * 1024;

// The keys a provider's row may use, with what the updater makes of them.
constexpr const char* kProviderKeys[] = {"Hosts", "User", "Password", "Zone", "TTL"};

std::string ProgramDir() {
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) {
        return std::string();
    }
    const std::string path(buffer, static_cast<size_t>(n));
    return path.substr(0, path.rfind('/'));
}

std::string Text(const nlohmann::json& row, const char* name) {
    const auto it = row.find(name);
    return it != row.end() && it->is_string() ? it->get<std::string>() : std::string();
}

// One row; false with `why` when it cannot be taken.
bool ReadRow(const nlohmann::json& row, DdnsKind& kind, std::string& why) {
    if (!row.is_object()) {
        why = "a row is not an object";
        return false;
    }
    kind.label = Text(row, "name");
    kind.stored = Text(row, "id");
    kind.address = Text(row, "address");
    kind.expect = Text(row, "expect");
    kind.docs = Text(row, "docs");
    kind.about = Text(row, "credentials");
    const std::string sends = Text(row, "kind");
    kind.basicAuth = Text(row, "auth") == "basic";
    if (kind.label.empty() || kind.stored.empty() || kind.address.empty()) {
        why = "a row lacks its name, id or address";
        return false;
    }
    if (sends == "dyndns2") {
        kind.sender = DdnsSender::kDyndns2;
    } else if (sends == "url") {
        kind.sender = DdnsSender::kUrl;
    } else if (sends == "native") {
        kind.sender = DdnsSender::kNative;
    } else {
        why = kind.stored + ": unknown kind \"" + sends + "\"";
        return false;
    }
    if (kind.address.rfind("https://", 0) != 0 && kind.address.rfind("http://", 0) != 0) {
        why = kind.stored + ": the address does not begin with https:// or http://";
        return false;
    }
    kind.help = "DynamicDns.htm#" + kind.stored;
    const auto fields = row.find("fields");
    if (fields == row.end() || !fields->is_array()) {
        why = kind.stored + ": no fields";
        return false;
    }
    for (const nlohmann::json& field : *fields) {
        DdnsField f;
        f.key = field.is_object() ? Text(field, "key") : std::string();
        if (std::find(std::begin(kProviderKeys), std::end(kProviderKeys), f.key) ==
            std::end(kProviderKeys)) {
            why = kind.stored + ": unknown field \"" + f.key + "\"";
            return false;
        }
        f.label = Text(field, "label");
        f.hint = Text(field, "hint");
        f.noun = f.label;
        std::transform(f.noun.begin(), f.noun.end(), f.noun.begin(),
                       [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; });
        if (!f.label.empty() && f.label.back() != ':') {
            f.label += ":";
        }
        const auto optional = field.find("optional");
        f.required = !(optional != field.end() && optional->is_boolean() && optional->get<bool>());
        if (f.key == "Password") {
            f.maxLength = kMaxDdnsPasswordLength;
        } else if (f.key == "TTL") {
            f.maxLength = 10;
            f.low = 1;
            f.high = INT_MAX;
            f.required = false;
        }
        kind.fields.push_back(f);
    }
    return true;
}

}  // namespace

ProviderCatalog ParseProviderCatalog(const std::string& json) {
    ProviderCatalog catalog;
    const nlohmann::json doc = nlohmann::json::parse(json, nullptr, false);
    if (doc.is_discarded() || !doc.is_object() || !doc.contains("providers") ||
        !doc["providers"].is_array()) {
        catalog.problem = "not a catalog of providers (JSON with a \"providers\" list)";
        return catalog;
    }
    std::vector<std::string> taken;
    for (const DdnsKind& generic : GenericDynamicDnsKinds()) {
        taken.push_back(generic.stored);
    }
    for (const nlohmann::json& row : doc["providers"]) {
        DdnsKind kind;
        std::string why;
        if (ReadRow(row, kind, why) &&
            std::find(taken.begin(), taken.end(), kind.stored) != taken.end()) {
            why = kind.stored + ": named twice";
        } else if (why.empty()) {
            taken.push_back(kind.stored);
            catalog.providers.push_back(std::move(kind));
            continue;
        }
        catalog.problem += (catalog.problem.empty() ? "" : "; ") + why;
    }
    std::stable_sort(catalog.providers.begin(), catalog.providers.end(),
                     [](const DdnsKind& a, const DdnsKind& b) {
                         auto lower = [](std::string s) {
                             for (char& c : s) {
                                 c = c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
                             }
                             return s;
                         };
                         return lower(a.label) < lower(b.label);
                     });
    return catalog;
}

std::vector<std::string> ProviderCatalogDirs() {
    std::vector<std::string> dirs;
    const std::string programDir = ProgramDir();
    if (!programDir.empty()) {
        dirs.push_back(programDir);
        dirs.push_back(programDir + "/../share/orvex");
    }
#ifdef ORVEX_RESOURCES_SOURCE_DIR
    dirs.push_back(ORVEX_RESOURCES_SOURCE_DIR);
#endif
    return dirs;
}

ProviderCatalog LoadProviderCatalog() {
    std::vector<std::string> candidates;
    if (const char* named = std::getenv("ORVEX_PROVIDERS"); named != nullptr && *named != '\0') {
        candidates.push_back(named);
    } else {
        for (const std::string& dir : ProviderCatalogDirs()) {
            candidates.push_back(dir + "/" + kProviderCatalogFile);
        }
    }
    for (const std::string& path : candidates) {
        if (::access(path.c_str(), R_OK) != 0) {
            continue;
        }
        std::string text;
        ProviderCatalog catalog;
        if (!ReadFileBounded(path, kMaxCatalogBytes, &text)) {
            catalog.problem = "cannot be read";
        } else {
            catalog = ParseProviderCatalog(text);
        }
        catalog.path = path;
        return catalog;
    }
    ProviderCatalog none;
    none.problem = std::string(kProviderCatalogFile) +
                   " was not found: only the generic kinds of entry can be used";
    return none;
}

const ProviderCatalog& LoadedProviderCatalog() {
    static const ProviderCatalog catalog = LoadProviderCatalog();
    return catalog;
}

}  // namespace orvex
