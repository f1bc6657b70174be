#include "settings/DynamicDnsSettings.h"

#include <tuple>

#include "platform/TextUtil.h"
#include "settings/DynamicDnsKinds.h"
#include "settings/SettingsFile.h"

namespace orvex {

namespace {

constexpr const char* kCountKey = "Count";
// Longest value read back (the same buffer as every other key).
constexpr size_t kValueBuffer = kMaxValueLength + 1;

std::string NumberedKey(const char* name, size_t index) {
    return name + std::to_string(index + 1);
}

auto Target(const DynamicDnsEntry& e) {
    return std::tie(e.Protocol, e.Server, e.Hosts, e.User, e.Password, e.URL, e.Expect, e.Zone,
                    e.TSIGName, e.TSIGSecret, e.TTL, e.Command, e.Family, e.Suffix, e.PasswordFile,
                    e.TSIGSecretFile);
}

DynamicDnsEntry ReadEntry(const Profile& file, const std::string& key, size_t i) {
    auto text = [&](const char* name, const std::string& fallback = {}) {
        return file.GetString(kSectionDynamicDns, NumberedKey(name, i), fallback, kValueBuffer);
    };
    DynamicDnsEntry e;
    e.Protocol = text("Protocol", kDdnsDyndns2);
    e.Server = text("Server");
    e.Hosts = text("Hosts");
    e.User = text("User");
    e.Password = file.GetString(kSectionDynamicDns, NumberedKey("Password", i), "",
                                kMaxDdnsPasswordLength + 1);
    DecodeSecret(e.Password, key, kMaxDdnsPasswordLength);
    e.URL = text("URL");
    e.Expect = text("Expect");
    e.Zone = text("Zone");
    e.TSIGName = text("TSIGName");
    e.TSIGSecret = text("TSIGSecret");
    DecodeSecret(e.TSIGSecret, key, kMaxTsigSecretLength);
    e.TTL = AsciiToInt(text("TTL", std::to_string(kDefaultDdnsTtl)));
    e.Command = text("Command");
    e.Family = text("Family", kDdnsFamily4);
    e.LastAddress = text("LastAddress");
    e.LastUpdate = text("LastUpdate");
    e.Suffix = text("Suffix");
    e.PasswordFile = text("PasswordFile");
    e.TSIGSecretFile = text("TSIGSecretFile");
    return e;
}

// The stored keys of an entry without their number, in the file's order, values in plain text.
std::vector<std::pair<const char*, std::string>> EntryValues(const DynamicDnsEntry& e) {
    return {{"Protocol", e.Protocol},
            {"Server", e.Server},
            {"Hosts", e.Hosts},
            {"User", e.User},
            {"Password", e.Password},
            {"URL", e.URL},
            {"Expect", e.Expect},
            {"Zone", e.Zone},
            {"TSIGName", e.TSIGName},
            {"TSIGSecret", e.TSIGSecret},
            {"TTL", std::to_string(e.TTL)},
            {"Command", e.Command},
            {"Family", e.Family},
            {"LastAddress", e.LastAddress},
            {"LastUpdate", e.LastUpdate},
            {"Suffix", e.Suffix},
            {"PasswordFile", e.PasswordFile},
            {"TSIGSecretFile", e.TSIGSecretFile}};
}

// Keys added since the section was first written: an entry without them gets no line.
bool WrittenWhenSet(const std::string& name) {
    return name == "Suffix" || name == "PasswordFile" || name == "TSIGSecretFile";
}

bool IsSecret(const std::string& name) {
    return name == "Password" || name == "TSIGSecret";
}

void AddEntryLines(std::vector<std::string>& lines, const std::string& key, size_t i,
                   const DynamicDnsEntry& e) {
    for (auto& [name, value] : EntryValues(e)) {
        if (WrittenWhenSet(name) && value.empty()) {
            continue;
        }
        if (std::string(name) == "Password") {
            EncodeSecret(value, key, kMaxDdnsPasswordLength);
        } else if (std::string(name) == "TSIGSecret") {
            EncodeSecret(value, key, kMaxTsigSecretLength);
        }
        lines.push_back(NumberedKey(name, i) + "=" + value);
    }
}

}  // namespace

bool SameDynamicDnsTarget(const DynamicDnsEntry& a, const DynamicDnsEntry& b) {
    return Target(a) == Target(b);
}

std::vector<DynamicDnsEntry> ReadDynamicDnsEntries(const Profile& file, const std::string& key) {
    int count = file.GetInt(kSectionDynamicDns, kCountKey, 0);
    count = count < 0 ? 0 : (count > kDynamicDnsEntryLimit ? kDynamicDnsEntryLimit : count);
    std::vector<DynamicDnsEntry> entries;
    for (int i = 0; i < count; ++i) {
        entries.push_back(ReadEntry(file, key, static_cast<size_t>(i)));
    }
    return entries;
}

bool WriteDynamicDnsEntries(Profile& file, const std::string& key,
                            const std::vector<DynamicDnsEntry>& entries) {
    const std::vector<DynamicDnsEntry> stored = ReadDynamicDnsEntries(file, key);
    if (entries.empty()) {
        return stored.empty() && file.GetSection(kSectionDynamicDns, 2).empty()
                   ? true
                   : file.EraseSection(kSectionDynamicDns);
    }
    std::vector<std::string> lines{std::string(kCountKey) + "=" + std::to_string(entries.size())};
    for (size_t i = 0; i < entries.size(); ++i) {
        DynamicDnsEntry entry = entries[i];
        entry.LastAddress.clear();
        entry.LastUpdate.clear();
        for (const DynamicDnsEntry& old : stored) {
            if (SameDynamicDnsTarget(old, entry)) {
                entry.LastAddress = old.LastAddress;
                entry.LastUpdate = old.LastUpdate;
                break;
            }
        }
        AddEntryLines(lines, key, i, entry);
    }
    return file.WriteSection(kSectionDynamicDns, lines);
}

bool WriteDynamicDnsResult(Profile& file, const std::string& key, size_t index,
                           const DynamicDnsEntry& entry, const std::string& lastAddress,
                           const std::string& lastUpdate) {
    const std::vector<DynamicDnsEntry> stored = ReadDynamicDnsEntries(file, key);
    if (index >= stored.size() || !SameDynamicDnsTarget(stored[index], entry)) {
        return false;
    }
    return file.WriteString(kSectionDynamicDns, NumberedKey("LastAddress", index), lastAddress) &&
           file.WriteString(kSectionDynamicDns, NumberedKey("LastUpdate", index), lastUpdate);
}

std::vector<std::pair<std::string, std::string>> DynamicDnsEntryProblems(const DynamicDnsEntry& e,
                                                                         size_t index,
                                                                         bool blockingOnly) {
    std::vector<std::pair<std::string, std::string>> problems;
    for (const DynamicDnsProblem& p : CheckDynamicDnsEntry(e)) {
        if (p.blocks || !blockingOnly) {
            problems.emplace_back(NumberedKey(p.field.c_str(), index), p.text);
        }
    }
    return problems;
}

std::vector<std::string> SplitDynamicDnsHosts(const std::string& hosts) {
    std::vector<std::string> names;
    size_t pos = 0;
    while (pos <= hosts.size()) {
        size_t end = hosts.find(',', pos);
        if (end == std::string::npos) {
            end = hosts.size();
        }
        const std::string name = TrimBlanks(hosts.substr(pos, end - pos));
        if (!name.empty()) {
            names.push_back(name);
        }
        pos = end + 1;
    }
    return names;
}

std::string MaskUrlSecrets(const std::string& text, bool queryValues) {
    std::string out = text;
    // The part between "://" and the next "@" before any "/", "?" or "#".
    for (size_t scheme = out.find("://"); scheme != std::string::npos;
         scheme = out.find("://", scheme + 3)) {
        const size_t from = scheme + 3;
        const size_t end = out.find_first_of("/?# ", from);
        const size_t at = out.rfind('@', end == std::string::npos ? out.size() : end);
        if (at != std::string::npos && at >= from) {
            out.replace(from, at - from, "***");
        }
    }
    if (!queryValues) {
        return out;
    }
    const size_t query = out.find('?');
    if (query == std::string::npos) {
        return out;
    }
    std::string masked = out.substr(0, query + 1);
    size_t pos = query + 1;
    while (pos <= out.size()) {
        size_t end = out.find_first_of("&#", pos);
        if (end == std::string::npos) {
            end = out.size();
        }
        const std::string parameter = out.substr(pos, end - pos);
        const size_t equals = parameter.find('=');
        masked += equals == std::string::npos ? parameter : parameter.substr(0, equals) + "=***";
        if (end < out.size()) {
            masked += out[end];
            if (out[end] == '#') {
                masked += "***";
                break;
            }
        }
        pos = end + 1;
    }
    return masked;
}

std::vector<std::string> DynamicDnsListing(const std::vector<DynamicDnsEntry>& entries) {
    std::vector<std::string> lines{std::string(kCountKey) + "=" + std::to_string(entries.size())};
    for (size_t i = 0; i < entries.size(); ++i) {
        for (const auto& [name, value] : EntryValues(entries[i])) {
            if (WrittenWhenSet(name) && value.empty()) {
                continue;
            }
            const std::string key(name);
            std::string shown = value;
            if ((IsSecret(key) || key == "Command") && !value.empty()) {
                shown = "***";
            } else if (key == "URL" || key == "Server") {
                shown = MaskUrlSecrets(value, key == "URL");
            }
            lines.push_back(NumberedKey(name, i) + "=" + shown);
        }
    }
    return lines;
}

std::vector<std::string> DynamicDnsKeyNames() {
    return {kCountKey,    "Protocol", "Server",       "Hosts",         "User",
            "Password",   "URL",      "Expect",       "Zone",          "TSIGName",
            "TSIGSecret", "TTL",      "Command",      "Family",        "LastAddress",
            "LastUpdate", "Suffix",   "PasswordFile", "TSIGSecretFile"};
}

}  // namespace orvex
