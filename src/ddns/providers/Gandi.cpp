// Gandi's LiveDNS interface (https://api.gandi.net/v5/livedns): a personal access token as
// bearer; a name's records of a type are one record set ({"rrset_ttl", "rrset_values"}), 404
// when there is none. A change replaces the set's values and sends back its TTL. Gandi's
// least TTL is 300 seconds.

#include <algorithm>

#include "ddns/ProviderText.h"
#include "ddns/providers/ProviderSenders.h"
#include "ddns/providers/RecordSync.h"

namespace orvex::ddns {

namespace {

using nlohmann::json;

constexpr int kLeastTtl = 300;

class GandiRecords : public RecordInterface {
public:
    using RecordInterface::RecordInterface;
    static HttpHeaders Headers(const NativeUpdate& update) {
        return {{"Authorization", "Bearer " + update.password}};
    }

    bool ListZones(const std::string&, std::vector<ProviderZone>* zones) override {
        return ZonesAt("/domains", "", "fqdn", "fqdn", zones);
    }

    bool Read(const ProviderZone& zone, const std::string& host, const std::string& type,
              std::vector<ProviderRecord>* records) override {
        return RecordSetAt(Set(zone, host, type), "rrset_values", LookupAction(host, type),
                           records);
    }

    bool Create(const ProviderZone& zone, const std::string& host, const std::string& type,
                const std::string& address, int ttl) override {
        const json body = {{"rrset_values", {address}}, {"rrset_ttl", std::max(ttl, kLeastTtl)}};
        return Write(HttpMethod::kPost, Set(zone, host, type), body, CreateAction(host, type));
    }

    bool Change(const ProviderZone& zone, const std::string& host, const std::string& type,
                const ProviderRecord& record, const std::string& address) override {
        json body = {{"rrset_values", {address}}};
        if (MemberOf(record.raw, "rrset_ttl").is_number_integer()) {
            body["rrset_ttl"] = record.raw["rrset_ttl"];
        }
        return Write(HttpMethod::kPut, Set(zone, host, type), body, ChangeAction(host, type));
    }

private:
    static std::string Set(const ProviderZone& zone, const std::string& host,
                           const std::string& type) {
        return "/domains/" + PercentEncode(zone.id) + "/records/" +
               PercentEncode(RelativeName(host, zone.name, "@")) + "/" + type;
    }
};

}  // namespace

UpdateAttempt UpdateAtGandi(const NativeUpdate& update) {
    return UpdateThrough<GandiRecords>(update);
}

}  // namespace orvex::ddns
