// Hetzner DNS's interface (https://dns.hetzner.com/api/v1): the token in Auth-API-Token;
// zones by id, records with relative names ("@" for the apex) and their address under
// "value". A change replaces the whole record, so it sends back the record's own TTL.

#include "ddns/ProviderText.h"
#include "ddns/providers/ProviderSenders.h"
#include "ddns/providers/RecordSync.h"

namespace orvex::ddns {

namespace {

using nlohmann::json;

class HetznerRecords : public RecordInterface {
public:
    using RecordInterface::RecordInterface;
    static HttpHeaders Headers(const NativeUpdate& update) {
        return {{"Auth-API-Token", update.password}};
    }

    bool ZonesHaveIds() const override { return true; }

    bool ListZones(const std::string& name, std::vector<ProviderZone>* zones) override {
        if (name.find('.') == std::string::npos) {  // a zone's id
            return ZoneAt("/zones/" + PercentEncode(name), "zone", zones);
        }
        return NearestZone(name, "/zones?name=", "zones", zones);
    }

    bool Read(const ProviderZone& zone, const std::string& host, const std::string& type,
              std::vector<ProviderRecord>* records) override {
        return RecordsAt("/records?zone_id=" + PercentEncode(zone.id), "records",
                         RelativeName(host, zone.name, "@"), type, "name", "value",
                         LookupAction(host, type), records);
    }

    bool Create(const ProviderZone& zone, const std::string& host, const std::string& type,
                const std::string& address, int ttl) override {
        const json body = {{"zone_id", zone.id},
                           {"type", type},
                           {"name", RelativeName(host, zone.name, "@")},
                           {"value", address},
                           {"ttl", ttl}};
        return Write(HttpMethod::kPost, "/records", body, CreateAction(host, type));
    }

    bool Change(const ProviderZone& zone, const std::string& host, const std::string& type,
                const ProviderRecord& record, const std::string& address) override {
        json body = {{"zone_id", zone.id},
                     {"type", type},
                     {"name", TextOf(record.raw, "name")},
                     {"value", address}};
        // Without a TTL of its own the record follows the zone's; it keeps doing so.
        if (MemberOf(record.raw, "ttl").is_number_integer()) {
            body["ttl"] = record.raw["ttl"];
        }
        return Write(HttpMethod::kPut, "/records/" + PercentEncode(record.id), body,
                     ChangeAction(host, type));
    }
};

}  // namespace

UpdateAttempt UpdateAtHetzner(const NativeUpdate& update) {
    return UpdateThrough<HetznerRecords>(update);
}

}  // namespace orvex::ddns
