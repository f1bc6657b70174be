// GoDaddy's interface (https://api.godaddy.com/v1): "sso-key <key>:<secret>" (User and
// Password); a name's records of a type are read and replaced together under
// /domains/<domain>/records/<type>/<name> ("@" for the apex). A change replaces the one
// record with the new address and its own TTL; a new record is added with PATCH, which
// touches no other. GoDaddy's least TTL is 600 seconds.

#include <algorithm>

#include "ddns/ProviderText.h"
#include "ddns/providers/ProviderSenders.h"
#include "ddns/providers/RecordSync.h"

namespace orvex::ddns {

namespace {

using nlohmann::json;

constexpr int kLeastTtl = 600;

class GoDaddyRecords : public RecordInterface {
public:
    using RecordInterface::RecordInterface;
    static HttpHeaders Headers(const NativeUpdate& update) {
        return {{"Authorization", "sso-key " + update.user + ":" + update.password}};
    }

    bool ListZones(const std::string&, std::vector<ProviderZone>* zones) override {
        return ZonesAt("/domains?statuses=ACTIVE&limit=1000", "", "domain", "domain", zones);
    }

    bool Read(const ProviderZone& zone, const std::string& host, const std::string& type,
              std::vector<ProviderRecord>* records) override {
        const std::string name = RelativeName(host, zone.name, "@");
        return RecordsAt(Set(zone, name, type), "", name, type, "name", "data",
                         LookupAction(host, type), records);
    }

    bool Create(const ProviderZone& zone, const std::string& host, const std::string& type,
                const std::string& address, int ttl) override {
        const json body = json::array({{{"type", type},
                                        {"name", RelativeName(host, zone.name, "@")},
                                        {"data", address},
                                        {"ttl", std::max(ttl, kLeastTtl)}}});
        return Write(HttpMethod::kPatch, "/domains/" + PercentEncode(zone.id) + "/records", body,
                     CreateAction(host, type));
    }

    bool Change(const ProviderZone& zone, const std::string& host, const std::string& type,
                const ProviderRecord& record, const std::string& address) override {
        json replacement = {{"data", address}};
        if (MemberOf(record.raw, "ttl").is_number_integer()) {
            replacement["ttl"] = record.raw["ttl"];
        }
        return Write(HttpMethod::kPut, Set(zone, RelativeName(host, zone.name, "@"), type),
                     json::array({replacement}), ChangeAction(host, type));
    }

private:
    static std::string Set(const ProviderZone& zone, const std::string& name,
                           const std::string& type) {
        return "/domains/" + PercentEncode(zone.id) + "/records/" + type + "/" +
               PercentEncode(name);
    }
};

}  // namespace

UpdateAttempt UpdateAtGoDaddy(const NativeUpdate& update) {
    return UpdateThrough<GoDaddyRecords>(update);
}

}  // namespace orvex::ddns
