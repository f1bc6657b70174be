// Linode's interface (https://api.linode.com/v4): a personal access token as bearer; domains
// by numeric id, records with relative names ("" for the apex) and their address under
// "target". A change sends the address alone.

#include "ddns/ProviderText.h"
#include "ddns/providers/ProviderSenders.h"
#include "ddns/providers/RecordSync.h"

namespace orvex::ddns {

namespace {

using nlohmann::json;

class LinodeRecords : public RecordInterface {
public:
    using RecordInterface::RecordInterface;
    static HttpHeaders Headers(const NativeUpdate& update) {
        return {{"Authorization", "Bearer " + update.password}};
    }

    bool ZonesHaveIds() const override { return true; }

    bool ListZones(const std::string&, std::vector<ProviderZone>* zones) override {
        return ZonesAt("/domains?page_size=500", "data", "domain", "id", zones);
    }

    bool Read(const ProviderZone& zone, const std::string& host, const std::string& type,
              std::vector<ProviderRecord>* records) override {
        return RecordsAt(Records(zone) + "?page_size=500", "data", RelativeName(host, zone.name),
                         type, "name", "target", LookupAction(host, type), records);
    }

    bool Create(const ProviderZone& zone, const std::string& host, const std::string& type,
                const std::string& address, int ttl) override {
        const json body = {{"type", type},
                           {"name", RelativeName(host, zone.name)},
                           {"target", address},
                           {"ttl_sec", ttl}};
        return Write(HttpMethod::kPost, Records(zone), body, CreateAction(host, type));
    }

    bool Change(const ProviderZone& zone, const std::string& host, const std::string& type,
                const ProviderRecord& record, const std::string& address) override {
        return Write(HttpMethod::kPut, Records(zone) + "/" + PercentEncode(record.id),
                     {{"target", address}}, ChangeAction(host, type));
    }

private:
    static std::string Records(const ProviderZone& zone) {
        return "/domains/" + PercentEncode(zone.id) + "/records";
    }
};

}  // namespace

UpdateAttempt UpdateAtLinode(const NativeUpdate& update) {
    return UpdateThrough<LinodeRecords>(update);
}

}  // namespace orvex::ddns
