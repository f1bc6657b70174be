// Porkbun's interface (https://api.porkbun.com/api/json/v3): every call is a POST whose JSON
// body carries the API key (User) and the secret API key (Password); answers say
// {"status": "SUCCESS"} or {"status": "ERROR", "message"}. Record names are full names; an
// edit names the record by id and sends back its TTL, priority and notes. Porkbun's least TTL
// is 600 seconds.

#include <algorithm>

#include "ddns/ProviderText.h"
#include "ddns/providers/ProviderSenders.h"
#include "ddns/providers/RecordSync.h"

namespace orvex::ddns {

namespace {

using nlohmann::json;

constexpr int kLeastTtl = 600;

class PorkbunRecords : public RecordInterface {
public:
    explicit PorkbunRecords(ProviderExchange& exchange) : RecordInterface(exchange) {
        exchange.refusalIn = [](const json& answer) {
            if (TextOf(answer, "status") == "SUCCESS") {
                return std::string();
            }
            const std::string message = TextOf(answer, "message");
            return message.empty() ? std::string("its status is not SUCCESS") : message;
        };
    }
    static HttpHeaders Headers(const NativeUpdate&) { return {}; }

    bool ListZones(const std::string&, std::vector<ProviderZone>* zones) override {
        return ZonesAt("/domain/listAll", "domains", "domain", "domain", zones, HttpMethod::kPost,
                       Keys());
    }

    bool Read(const ProviderZone& zone, const std::string& host, const std::string& type,
              std::vector<ProviderRecord>* records) override {
        const std::string sub = RelativeName(host, zone.name);
        return RecordsAt("/dns/retrieveByNameType/" + PercentEncode(zone.id) + "/" + type +
                             (sub.empty() ? "" : "/" + PercentEncode(sub)),
                         "records", host, type, "name", "content", LookupAction(host, type),
                         records, HttpMethod::kPost, Keys());
    }

    bool Create(const ProviderZone& zone, const std::string& host, const std::string& type,
                const std::string& address, int ttl) override {
        json body = Keys();
        body["name"] = RelativeName(host, zone.name);
        body["type"] = type;
        body["content"] = address;
        body["ttl"] = std::to_string(std::max(ttl, kLeastTtl));
        return Write(HttpMethod::kPost, "/dns/create/" + PercentEncode(zone.id), body,
                     CreateAction(host, type));
    }

    bool Change(const ProviderZone& zone, const std::string& host, const std::string& type,
                const ProviderRecord& record, const std::string& address) override {
        json body = Keys();
        body["name"] = RelativeName(host, zone.name);
        body["type"] = type;
        body["content"] = address;
        for (const char* kept : {"ttl", "prio", "notes"}) {
            if (!MemberOf(record.raw, kept).is_null()) {
                body[kept] = record.raw[kept];
            }
        }
        return Write(HttpMethod::kPost,
                     "/dns/edit/" + PercentEncode(zone.id) + "/" + PercentEncode(record.id), body,
                     ChangeAction(host, type));
    }

private:
    json Keys() const {
        const NativeUpdate& update = exchange_.Update();
        return {{"apikey", update.user}, {"secretapikey", update.password}};
    }
};

}  // namespace

UpdateAttempt UpdateAtPorkbun(const NativeUpdate& update) {
    return UpdateThrough<PorkbunRecords>(update);
}

}  // namespace orvex::ddns
