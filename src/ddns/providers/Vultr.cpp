// Vultr's interface (https://api.vultr.com/v2): an API key as bearer; domains by name,
// records with relative names ("" for the apex) and their address under "data". A change
// patches the address alone.

#include "ddns/ProviderText.h"
#include "ddns/providers/ProviderSenders.h"
#include "ddns/providers/RecordSync.h"

namespace orvex::ddns {

namespace {

using nlohmann::json;

class VultrRecords : public RecordInterface {
public:
    using RecordInterface::RecordInterface;
    static HttpHeaders Headers(const NativeUpdate& update) {
        return {{"Authorization", "Bearer " + update.password}};
    }

    bool ListZones(const std::string&, std::vector<ProviderZone>* zones) override {
        return ZonesAt("/domains?per_page=500", "domains", "domain", "domain", zones);
    }

    bool Read(const ProviderZone& zone, const std::string& host, const std::string& type,
              std::vector<ProviderRecord>* records) override {
        return RecordsAt(Records(zone) + "?per_page=500", "records", RelativeName(host, zone.name),
                         type, "name", "data", LookupAction(host, type), records);
    }

    bool Create(const ProviderZone& zone, const std::string& host, const std::string& type,
                const std::string& address, int ttl) override {
        const json body = {{"name", RelativeName(host, zone.name)},
                           {"type", type},
                           {"data", address},
                           {"ttl", ttl}};
        return Write(HttpMethod::kPost, Records(zone), body, CreateAction(host, type));
    }

    bool Change(const ProviderZone& zone, const std::string& host, const std::string& type,
                const ProviderRecord& record, const std::string& address) override {
        return Write(HttpMethod::kPatch, Records(zone) + "/" + PercentEncode(record.id),
                     {{"data", address}}, ChangeAction(host, type));
    }

private:
    static std::string Records(const ProviderZone& zone) {
        return "/domains/" + PercentEncode(zone.id) + "/records";
    }
};

}  // namespace

UpdateAttempt UpdateAtVultr(const NativeUpdate& update) {
    return UpdateThrough<VultrRecords>(update);
}

}  // namespace orvex::ddns
