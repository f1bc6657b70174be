// deSEC's interface (https://desec.io/api/v1): "Token <token>"; a name's records of a type
// are one record set ({"subname", "type", "ttl", "records"}) under
// /domains/<domain>/rrsets/<subname>/<type>/ ("@" for the apex), 404 when there is none. A
// change patches the records alone, so the set keeps its TTL. A domain's least TTL is 3600
// seconds unless deSEC agreed to less.

#include <algorithm>

#include "ddns/ProviderText.h"
#include "ddns/providers/ProviderSenders.h"
#include "ddns/providers/RecordSync.h"

namespace orvex::ddns {

namespace {

using nlohmann::json;

constexpr int kLeastTtl = 3600;

class DesecRecords : public RecordInterface {
public:
    using RecordInterface::RecordInterface;
    static HttpHeaders Headers(const NativeUpdate& update) {
        return {{"Authorization", "Token " + update.password}};
    }

    bool ListZones(const std::string&, std::vector<ProviderZone>* zones) override {
        return ZonesAt("/domains/", "", "name", "name", zones);
    }

    bool Read(const ProviderZone& zone, const std::string& host, const std::string& type,
              std::vector<ProviderRecord>* records) override {
        return RecordSetAt(Set(zone, host, type), "records", LookupAction(host, type), records);
    }

    bool Create(const ProviderZone& zone, const std::string& host, const std::string& type,
                const std::string& address, int ttl) override {
        const json body = {{"subname", RelativeName(host, zone.name)},
                           {"type", type},
                           {"ttl", std::max(ttl, kLeastTtl)},
                           {"records", {address}}};
        return Write(HttpMethod::kPost, "/domains/" + PercentEncode(zone.id) + "/rrsets/", body,
                     CreateAction(host, type));
    }

    bool Change(const ProviderZone& zone, const std::string& host, const std::string& type,
                const ProviderRecord&, const std::string& address) override {
        return Write(HttpMethod::kPatch, Set(zone, host, type), {{"records", {address}}},
                     ChangeAction(host, type));
    }

private:
    static std::string Set(const ProviderZone& zone, const std::string& host,
                           const std::string& type) {
        return "/domains/" + PercentEncode(zone.id) + "/rrsets/" +
               PercentEncode(RelativeName(host, zone.name, "@")) + "/" + type + "/";
    }
};

}  // namespace

UpdateAttempt UpdateAtDesec(const NativeUpdate& update) {
    return UpdateThrough<DesecRecords>(update);
}

}  // namespace orvex::ddns
