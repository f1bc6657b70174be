// Cloudflare's interface (https://api.cloudflare.com/client/v4): an API token as bearer; every
// answer is {"success", "errors", "messages", "result"}. A change patches the content alone,
// so the proxied flag, TTL and comment stay as the user set them; a new record gets the
// automatic TTL and is not proxied.

#include "ddns/ProviderText.h"
#include "ddns/providers/ProviderSenders.h"
#include "ddns/providers/RecordSync.h"

namespace orvex::ddns {

namespace {

using nlohmann::json;

class CloudflareRecords : public RecordInterface {
public:
    explicit CloudflareRecords(ProviderExchange& exchange) : RecordInterface(exchange) {
        exchange.refusalIn = [](const json& answer) {
            if (MemberOf(answer, "success") != false) {
                return std::string();
            }
            const std::string message = JsonProviderMessage(answer.dump());
            return message.empty() ? std::string("it reported no success") : message;
        };
    }
    static HttpHeaders Headers(const NativeUpdate& update) {
        return {{"Authorization", "Bearer " + update.password}};
    }

    bool ZonesHaveIds() const override { return true; }

    bool ListZones(const std::string& name, std::vector<ProviderZone>* zones) override {
        if (name.find('.') == std::string::npos) {  // a zone's id
            return ZoneAt("/zones/" + PercentEncode(name), "result", zones);
        }
        // The zone is the name or its nearest parent the token reaches.
        return NearestZone(name, "/zones?name=", "result", zones);
    }

    bool Read(const ProviderZone& zone, const std::string& host, const std::string& type,
              std::vector<ProviderRecord>* records) override {
        return RecordsAt(
            Records(zone) + "?type=" + type + "&name=" + PercentEncode(host) + "&per_page=100",
            "result", host, type, "name", "content", LookupAction(host, type), records);
    }

    bool Create(const ProviderZone& zone, const std::string& host, const std::string& type,
                const std::string& address, int) override {
        const json body = {
            {"type", type}, {"name", host}, {"content", address}, {"ttl", 1}, {"proxied", false}};
        return Write(HttpMethod::kPost, Records(zone), body, CreateAction(host, type));
    }

    bool Change(const ProviderZone& zone, const std::string& host, const std::string& type,
                const ProviderRecord& record, const std::string& address) override {
        const json body = {{"type", type}, {"name", host}, {"content", address}};
        return Write(HttpMethod::kPatch, Records(zone) + "/" + PercentEncode(record.id), body,
                     ChangeAction(host, type));
    }

private:
    static std::string Records(const ProviderZone& zone) {
        return "/zones/" + PercentEncode(zone.id) + "/dns_records";
    }
};

}  // namespace

UpdateAttempt UpdateAtCloudflare(const NativeUpdate& update) {
    return UpdateThrough<CloudflareRecords>(update);
}

}  // namespace orvex::ddns
