// The interfaces that list a zone's records as JSON objects with an id, a relative name and
// an address, take a bearer token, and change a record by its id: DigitalOcean
// (https://api.digitalocean.com/v2), Linode (https://api.linode.com/v4) and Vultr
// (https://api.vultr.com/v2). They differ only in names, which a shape says. A change sends
// the address alone, so the record keeps its TTL and everything else.

#include <string_view>

#include "ddns/ProviderText.h"
#include "ddns/providers/ProviderSenders.h"
#include "ddns/providers/RecordSync.h"

namespace orvex::ddns {

namespace {

using nlohmann::json;

struct ListedShape {
    const char* zones;     // the path that lists the zones
    const char* zonesKey;  // the list in its answer
    const char* zoneName;  // each zone's name
    const char* zoneId;    // what record addresses carry
    const char* pageSize;  // the records' page size parameter
    bool filterRecords;    // the records can be asked for by type and full name
    const char* recordsKey;
    const char* address;  // the member that holds a record's address
    const char* ttl;
    const char* apex;  // the relative name of the zone's own records
    HttpMethod change;
    bool changeNamesType;  // the change must repeat the record's type
};

constexpr ListedShape kDigitalOcean{
    "/domains?per_page=200", "domains", "name", "name", "per_page=200",     true,
    "domain_records",        "data",    "ttl",  "@",    HttpMethod::kPatch, true};
constexpr ListedShape kLinode{"/domains?page_size=500",
                              "data",
                              "domain",
                              "id",
                              "page_size=500",
                              false,
                              "data",
                              "target",
                              "ttl_sec",
                              "",
                              HttpMethod::kPut,
                              false};
constexpr ListedShape kVultr{"/domains?per_page=500",
                             "domains",
                             "domain",
                             "domain",
                             "per_page=500",
                             false,
                             "records",
                             "data",
                             "ttl",
                             "",
                             HttpMethod::kPatch,
                             false};

template <const ListedShape& Shape>
class ListedRecords : public RecordInterface {
public:
    using RecordInterface::RecordInterface;
    static HttpHeaders Headers(const NativeUpdate& update) {
        return {{"Authorization", "Bearer " + update.password}};
    }

    bool ZonesHaveIds() const override { return std::string_view(Shape.zoneId) != Shape.zoneName; }

    bool ListZones(const std::string&, std::vector<ProviderZone>* zones) override {
        return ZonesAt(Shape.zones, Shape.zonesKey, Shape.zoneName, Shape.zoneId, zones);
    }

    bool Read(const ProviderZone& zone, const std::string& host, const std::string& type,
              std::vector<ProviderRecord>* records) override {
        std::string query = std::string("?") + Shape.pageSize;
        if (Shape.filterRecords) {
            query += "&type=" + type + "&name=" + PercentEncode(host);
        }
        return RecordsAt(Records(zone) + query, Shape.recordsKey,
                         RelativeName(host, zone.name, Shape.apex), type, "name", Shape.address,
                         LookupAction(host, type), records);
    }

    bool Create(const ProviderZone& zone, const std::string& host, const std::string& type,
                const std::string& address, int ttl) override {
        const json body = {{"type", type},
                           {"name", RelativeName(host, zone.name, Shape.apex)},
                           {Shape.address, address},
                           {Shape.ttl, ttl}};
        return Write(HttpMethod::kPost, Records(zone), body, CreateAction(host, type));
    }

    bool Change(const ProviderZone& zone, const std::string& host, const std::string& type,
                const ProviderRecord& record, const std::string& address) override {
        json body = {{Shape.address, address}};
        if (Shape.changeNamesType) {
            body["type"] = type;
        }
        return Write(Shape.change, Records(zone) + "/" + PercentEncode(record.id), body,
                     ChangeAction(host, type));
    }

private:
    static std::string Records(const ProviderZone& zone) {
        return "/domains/" + PercentEncode(zone.id) + "/records";
    }
};

}  // namespace

UpdateAttempt UpdateAtDigitalOcean(const NativeUpdate& update) {
    return UpdateThrough<ListedRecords<kDigitalOcean>>(update);
}

UpdateAttempt UpdateAtLinode(const NativeUpdate& update) {
    return UpdateThrough<ListedRecords<kLinode>>(update);
}

UpdateAttempt UpdateAtVultr(const NativeUpdate& update) {
    return UpdateThrough<ListedRecords<kVultr>>(update);
}

}  // namespace orvex::ddns
