#pragma once

#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "ddns/UpdateAttempt.h"
#include "ddns/providers/NativeProvider.h"
#include "ddns/providers/ProviderExchange.h"

namespace orvex::ddns {

// A zone as the provider's interface names it; `id` is what its addresses carry (the name
// itself where the interface has no ids).
struct ProviderZone {
    std::string name;
    std::string id;
};

// One record of a name and type, as the provider lists it.
struct ProviderRecord {
    std::string id;
    std::string address;
    // The record as read, so a change can keep what the user set on it (TTL, comments, ...).
    nlohmann::json raw;
    // Why the record must not be written (an alias, a weighted set, ...); empty when it may.
    std::string untouchable;
};

// What a provider's interface does for the shared flow. Each call returns false once the
// failure is recorded on the exchange.
class RecordInterface {
public:
    explicit RecordInterface(ProviderExchange& exchange) : exchange_(exchange) {}
    virtual ~RecordInterface() = default;

    // Whether the interface addresses zones by an id other than their name; then a Zone
    // setting is looked up among the zones, else it is used as it is.
    virtual bool ZonesHaveIds() const { return false; }
    // The zones the credentials reach, at least those that may hold `name` (a host, or the
    // Zone setting).
    virtual bool ListZones(const std::string& name, std::vector<ProviderZone>* zones) = 0;
    // The records of `type` ("A", "AAAA") at `host` in `zone`.
    virtual bool Read(const ProviderZone& zone, const std::string& host, const std::string& type,
                      std::vector<ProviderRecord>* records) = 0;
    virtual bool Create(const ProviderZone& zone, const std::string& host, const std::string& type,
                        const std::string& address, int ttl) = 0;
    // Points `record` at `address`, keeping everything else the user set on it.
    virtual bool Change(const ProviderZone& zone, const std::string& host, const std::string& type,
                        const ProviderRecord& record, const std::string& address) = 0;

protected:
    // The zones listed under `listKey` of the answer to `method` `path` (the answer itself
    // for an empty key): each zone's name under `nameKey`, its id under `idKey`.
    bool ZonesAt(const std::string& path, const std::string& listKey, const char* nameKey,
                 const char* idKey, std::vector<ProviderZone>* zones,
                 HttpMethod method = HttpMethod::kGet, const nlohmann::json& body = nullptr);
    // The one zone under `key` of the answer to GET `path` (a zone asked for by its id).
    bool ZoneAt(const std::string& path, const std::string& key, std::vector<ProviderZone>* zones);
    // The zones named `name` or its nearest parent that has one, asking `query` followed by
    // each candidate ("/zones?name=") and reading ZonesAt's `listKey`.
    bool NearestZone(const std::string& name, const std::string& query, const std::string& listKey,
                     std::vector<ProviderZone>* zones);
    // The records of `type` named `name` (as MatchingRecords reads it) among those listed
    // under `listKey` of the answer to `method` `path`.
    bool RecordsAt(const std::string& path, const std::string& listKey, const std::string& name,
                   const std::string& type, const char* nameKey, const char* addressKey,
                   const std::string& action, std::vector<ProviderRecord>* records,
                   HttpMethod method = HttpMethod::kGet, const nlohmann::json& body = nullptr);
    // The record set at GET `path`, one record per value listed under `valuesKey`; a 404 is
    // no set.
    bool RecordSetAt(const std::string& path, const char* valuesKey, const std::string& action,
                     std::vector<ProviderRecord>* records);
    // Sends a write and ignores what its answer holds beyond success.
    bool Write(HttpMethod method, const std::string& path, const nlohmann::json& body,
               const std::string& action);

    ProviderExchange& exchange_;
};

// For each host and each address to publish (A from the WAN address, AAAA from the IPv6 one):
// reads the records, leaves a current one alone, changes a differing one, creates a missing
// one with the entry's TTL and leaves a name with several records of the type untouched,
// saying why. Never deletes, never writes an empty or invalid address.
UpdateAttempt SyncRecords(ProviderExchange& exchange, RecordInterface& api);

// The longest of `zones` that is `host` or a parent of it, or null.
const ProviderZone* ZoneHolding(const std::string& host, const std::vector<ProviderZone>& zones);
// `host` relative to `zone` (which holds it): "home" for home.example.net in example.net,
// `apex` for the apex.
std::string RelativeName(const std::string& host, const std::string& zone, const char* apex = "");
// Whether two texts name the same DNS name (any case, a final dot ignored).
bool SameName(const std::string& a, const std::string& b);
// `name` and its parents with two labels at least, longest first.
std::vector<std::string> NameAndParents(const std::string& name);
// Whether two texts are the same address of `type` (2001:db8::1 is 2001:0db8:0::1).
bool SameAddress(const std::string& type, const std::string& a, const std::string& b);

// The records of `type` whose `nameKey` is `name` (any case, a final dot ignored, "@" and ""
// both the apex) among the objects of `list`; the id under "id", the address under
// `addressKey`.
std::vector<ProviderRecord> MatchingRecords(const nlohmann::json& list, const std::string& name,
                                            const std::string& type, const char* nameKey,
                                            const char* addressKey);

// One record per value of a record set (`set[valuesKey]`), each carrying the whole set.
std::vector<ProviderRecord> RecordsOfSet(const nlohmann::json& set, const char* valuesKey);

// What the requests do, for messages.
inline constexpr const char* kZoneListAction = "the list of zones";
std::string LookupAction(const std::string& host, const std::string& type);
std::string ChangeAction(const std::string& host, const std::string& type);
std::string CreateAction(const std::string& host, const std::string& type);

// The sender of a provider whose interface is `Api`: Api(exchange) and Api::Headers(update),
// the headers that carry its credentials.
template <class Api>
UpdateAttempt UpdateThrough(const NativeUpdate& update) {
    ProviderExchange exchange(update, Api::Headers(update));
    Api api(exchange);
    return SyncRecords(exchange, api);
}

}  // namespace orvex::ddns
