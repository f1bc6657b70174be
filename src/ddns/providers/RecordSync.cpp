#include "ddns/providers/RecordSync.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace orvex::ddns {

namespace {

using nlohmann::json;

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Lower case without a final dot: how names are compared.
std::string Canonical(const std::string& name) {
    std::string out = Lower(name);
    while (!out.empty() && out.back() == '.') {
        out.pop_back();
    }
    return out == "@" ? "" : out;
}

bool ParseAddress(const std::string& type, const std::string& text, unsigned char* bytes) {
    return inet_pton(type == "AAAA" ? AF_INET6 : AF_INET, text.c_str(), bytes) == 1;
}

// One update's walk over its names; the zones are listed once.
class Sync {
public:
    Sync(ProviderExchange& exchange, RecordInterface& api) : exchange_(exchange), api_(api) {}

    UpdateAttempt Run() {
        const NativeUpdate& update = exchange_.Update();
        const std::pair<const char*, std::string> wanted[] = {{"A", update.addresses.wan},
                                                              {"AAAA", update.addresses.wan6}};
        for (const auto& [type, address] : wanted) {
            unsigned char bytes[16];
            if (!address.empty() && !ParseAddress(type, address, bytes)) {
                return Failed("the address to publish, \"" + address + "\", is not an " +
                              (std::strcmp(type, "A") == 0 ? "IPv4" : "IPv6") +
                              " address; nothing was sent");
            }
        }
        for (const std::string& rawHost : update.hosts) {
            const std::string host = Canonical(rawHost);
            if (host.empty()) {
                continue;
            }
            const ProviderZone* zone = ZoneOf(host);
            if (zone == nullptr) {
                return exchange_.Failure();
            }
            for (const auto& [type, address] : wanted) {
                if (!address.empty() && !Publish(*zone, host, type, address)) {
                    return exchange_.Failure();
                }
            }
        }
        attempt_.ok = why_.empty();
        attempt_.why = why_;
        attempt_.current = attempt_.ok && !wrote_;
        attempt_.created = attempt_.ok && created_;
        return attempt_;
    }

private:
    UpdateAttempt Failed(const std::string& why) {
        exchange_.Fail(why);
        return exchange_.Failure();
    }

    const ProviderZone* ZoneOf(const std::string& host) {
        const std::string& setting = exchange_.Update().zone;
        if (!setting.empty() && !api_.ZonesHaveIds()) {
            zones_ = {{Canonical(setting), setting}};
        } else if (!listed_) {
            listed_ = true;
            if (!api_.ListZones(setting.empty() ? host : setting, &zones_)) {
                return nullptr;
            }
            if (!setting.empty()) {
                std::erase_if(zones_, [&](const ProviderZone& z) {
                    return Canonical(z.name) != Canonical(setting) && z.id != setting;
                });
                if (zones_.empty()) {
                    exchange_.Fail("the zone " + setting + " is not among those the " +
                                   "credentials reach");
                    return nullptr;
                }
            }
        }
        if (!setting.empty()) {
            const ProviderZone& zone = zones_.front();
            const std::string name = Canonical(zone.name);
            if (host != name && !host.ends_with("." + name)) {
                exchange_.Fail(host + " is not inside the zone " + zone.name);
                return nullptr;
            }
            return &zone;
        }
        const ProviderZone* zone = ZoneHolding(host, zones_);
        if (zone == nullptr) {
            exchange_.Fail("no zone the credentials reach holds " + host +
                           "; the Zone setting can name it");
        }
        return zone;
    }

    bool Publish(const ProviderZone& zone, const std::string& host, const std::string& type,
                 const std::string& address) {
        std::vector<ProviderRecord> records;
        if (!api_.Read(zone, host, type, &records)) {
            return false;
        }
        const std::string label = host + " " + type;
        if (records.empty()) {
            const int ttl = exchange_.Update().ttl > 0 ? exchange_.Update().ttl : 300;
            if (!api_.Create(zone, host, type, address, ttl)) {
                return false;
            }
            wrote_ = created_ = true;
            attempt_.answers.push_back(label + ": created with " + address);
            return true;
        }
        if (records.size() > 1 || !records[0].untouchable.empty()) {
            const std::string why =
                records.size() > 1
                    ? host + " has " + std::to_string(records.size()) + " " + type +
                          " records; none was changed, as it is not clear which one to change"
                    : host + " " + type + " was not changed: " + records[0].untouchable;
            attempt_.answers.push_back(label + ": left alone");
            if (why_.empty()) {
                why_ = why;
            }
            return true;
        }
        const ProviderRecord& record = records[0];
        if (SameAddress(type, record.address, address)) {
            attempt_.answers.push_back(label + ": already " + address);
            return true;
        }
        if (!api_.Change(zone, host, type, record, address)) {
            return false;
        }
        wrote_ = true;
        attempt_.answers.push_back(label + ": changed from " +
                                   (record.address.empty() ? "nothing" : record.address) + " to " +
                                   address);
        return true;
    }

    ProviderExchange& exchange_;
    RecordInterface& api_;
    std::vector<ProviderZone> zones_;
    bool listed_ = false;
    UpdateAttempt attempt_;
    std::string why_;
    bool wrote_ = false;
    bool created_ = false;
};

}  // namespace

bool RecordInterface::ZonesAt(const std::string& path, const std::string& listKey,
                              const char* nameKey, const char* idKey,
                              std::vector<ProviderZone>* zones, HttpMethod method,
                              const json& body) {
    json answer;
    if (!exchange_.SendJson(method, path, body, kZoneListAction, &answer)) {
        return false;
    }
    const json* list = exchange_.ListIn(answer, listKey, kZoneListAction);
    if (list == nullptr) {
        return false;
    }
    for (const json& zone : *list) {
        const std::string name = TextOf(zone, nameKey);
        if (!name.empty()) {
            zones->push_back({name, IdText(MemberOf(zone, idKey))});
        }
    }
    return true;
}

bool RecordInterface::ZoneAt(const std::string& path, const std::string& key,
                             std::vector<ProviderZone>* zones) {
    json answer;
    if (!exchange_.SendJson(HttpMethod::kGet, path, nullptr, kZoneListAction, &answer)) {
        return false;
    }
    const json& zone = MemberOf(answer, key.c_str());
    zones->push_back({TextOf(zone, "name"), IdText(MemberOf(zone, "id"))});
    return true;
}

bool RecordInterface::NearestZone(const std::string& name, const std::string& query,
                                  const std::string& listKey, std::vector<ProviderZone>* zones) {
    for (const std::string& candidate : NameAndParents(name)) {
        if (!ZonesAt(query + candidate, listKey, "name", "id", zones)) {
            return false;
        }
        if (!zones->empty()) {
            break;
        }
    }
    return true;
}

bool RecordInterface::RecordsAt(const std::string& path, const std::string& listKey,
                                const std::string& name, const std::string& type,
                                const char* nameKey, const char* addressKey,
                                const std::string& action, std::vector<ProviderRecord>* records,
                                HttpMethod method, const json& body) {
    json answer;
    if (!exchange_.SendJson(method, path, body, action, &answer)) {
        return false;
    }
    const json* list = exchange_.ListIn(answer, listKey, action);
    if (list == nullptr) {
        return false;
    }
    *records = MatchingRecords(*list, name, type, nameKey, addressKey);
    return true;
}

bool RecordInterface::RecordSetAt(const std::string& path, const char* valuesKey,
                                  const std::string& action, std::vector<ProviderRecord>* records) {
    json answer;
    bool missing = false;
    if (!exchange_.SendJson(HttpMethod::kGet, path, nullptr, action, &answer, &missing)) {
        return false;
    }
    if (!missing && exchange_.ListIn(answer, valuesKey, action) == nullptr) {
        return false;
    }
    *records = RecordsOfSet(answer, valuesKey);
    return true;
}

bool RecordInterface::Write(HttpMethod method, const std::string& path, const json& body,
                            const std::string& action) {
    json answer;
    return exchange_.SendJson(method, path, body, action, &answer);
}

UpdateAttempt SyncRecords(ProviderExchange& exchange, RecordInterface& api) {
    return Sync(exchange, api).Run();
}

const ProviderZone* ZoneHolding(const std::string& host, const std::vector<ProviderZone>& zones) {
    const std::string name = Canonical(host);
    const ProviderZone* best = nullptr;
    size_t bestLength = 0;
    for (const ProviderZone& zone : zones) {
        const std::string z = Canonical(zone.name);
        if (z.empty() || (name != z && !name.ends_with("." + z))) {
            continue;
        }
        if (best == nullptr || z.size() > bestLength) {
            best = &zone;
            bestLength = z.size();
        }
    }
    return best;
}

std::string RelativeName(const std::string& host, const std::string& zone, const char* apex) {
    const std::string h = Canonical(host);
    const std::string z = Canonical(zone);
    if (h == z || h.size() <= z.size()) {
        return apex;
    }
    return h.substr(0, h.size() - z.size() - 1);
}

bool SameName(const std::string& a, const std::string& b) {
    return Canonical(a) == Canonical(b);
}

std::vector<std::string> NameAndParents(const std::string& name) {
    std::vector<std::string> out;
    std::string rest = Canonical(name);
    while (rest.find('.') != std::string::npos) {
        out.push_back(rest);
        rest = rest.substr(rest.find('.') + 1);
    }
    return out;
}

bool SameAddress(const std::string& type, const std::string& a, const std::string& b) {
    unsigned char x[16] = {};
    unsigned char y[16] = {};
    if (!ParseAddress(type, a, x) || !ParseAddress(type, b, y)) {
        return a == b;
    }
    return std::memcmp(x, y, sizeof x) == 0;
}

std::vector<ProviderRecord> RecordsOfSet(const json& set, const char* valuesKey) {
    std::vector<ProviderRecord> out;
    const json& values = MemberOf(set, valuesKey);
    if (values.is_array()) {
        for (const json& value : values) {
            out.push_back(
                {"", value.is_string() ? value.get<std::string>() : value.dump(), set, ""});
        }
    }
    return out;
}

std::string LookupAction(const std::string& host, const std::string& type) {
    return "the lookup of the " + type + " records of " + host;
}

std::string ChangeAction(const std::string& host, const std::string& type) {
    return "the change of the " + type + " record of " + host;
}

std::string CreateAction(const std::string& host, const std::string& type) {
    // "A" and "AAAA" both start with a vowel sound.
    return "the creation of an " + type + " record for " + host;
}

std::vector<ProviderRecord> MatchingRecords(const json& list, const std::string& name,
                                            const std::string& type, const char* nameKey,
                                            const char* addressKey) {
    std::vector<ProviderRecord> out;
    const std::string wanted = Canonical(name);
    for (const json& item : list) {
        if (!item.is_object() || TextOf(item, "type") != type ||
            Canonical(TextOf(item, nameKey)) != wanted) {
            continue;
        }
        out.push_back({IdText(MemberOf(item, "id")), TextOf(item, addressKey), item, ""});
    }
    return out;
}

}  // namespace orvex::ddns
