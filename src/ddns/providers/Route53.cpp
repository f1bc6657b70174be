// Amazon Route 53's interface (https://route53.amazonaws.com/2013-04-01): requests signed with
// Signature Version 4 (User the access key id, Password the secret; region us-east-1),
// answers in XML. Hosted zones by id ("Z1D633PJN98FT9"); a name's records of a type are one
// record set, written with UPSERT and its own TTL. Alias records and sets of a routing policy
// are left alone.

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstring>
#include <memory>

#include "ddns/ProviderText.h"
#include "ddns/providers/AwsSignature.h"
#include "ddns/providers/ProviderSenders.h"
#include "ddns/providers/RecordSync.h"

namespace orvex::ddns {

namespace {

using nlohmann::json;

using XmlDocument = std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)>;

// Never reaches the network and never expands external entities.
XmlDocument ParseXml(const std::string& text) {
    return XmlDocument(xmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, nullptr,
                                     XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING),
                       xmlFreeDoc);
}

bool Named(const xmlNode* node, const char* name) {
    return node->type == XML_ELEMENT_NODE &&
           std::strcmp(reinterpret_cast<const char*>(node->name), name) == 0;
}

std::vector<const xmlNode*> Children(const xmlNode* node, const char* name) {
    std::vector<const xmlNode*> out;
    for (const xmlNode* child = node == nullptr ? nullptr : node->children; child != nullptr;
         child = child->next) {
        if (Named(child, name)) {
            out.push_back(child);
        }
    }
    return out;
}

const xmlNode* Child(const xmlNode* node, const char* name) {
    const auto children = Children(node, name);
    return children.empty() ? nullptr : children.front();
}

std::string Text(const xmlNode* node) {
    if (node == nullptr) {
        return "";
    }
    xmlChar* content = xmlNodeGetContent(node);
    std::string out = content == nullptr ? "" : reinterpret_cast<const char*>(content);
    xmlFree(content);
    return out;
}

// The first element of that name anywhere under `node`.
const xmlNode* Find(const xmlNode* node, const char* name) {
    for (; node != nullptr; node = node->next) {
        if (Named(node, name)) {
            return node;
        }
        if (const xmlNode* found = Find(node->children, name)) {
            return found;
        }
    }
    return nullptr;
}

std::string XmlMessage(const std::string& body) {
    const XmlDocument document = ParseXml(body);
    return document ? FirstLine(Text(Find(xmlDocGetRootElement(document.get()), "Message"))) : "";
}

class Route53Records : public RecordInterface {
public:
    explicit Route53Records(ProviderExchange& exchange) : RecordInterface(exchange) {
        const NativeUpdate& update = exchange.Update();
        exchange.sign = [&update](HttpRequest& request) {
            SignHttpRequest(request, update.user, update.password, "us-east-1", "route53",
                            std::time(nullptr));
        };
        exchange.messageOf = XmlMessage;
    }
    static HttpHeaders Headers(const NativeUpdate&) {
        return {{"Content-Type", "application/xml"}};
    }

    bool ZonesHaveIds() const override { return true; }

    bool ListZones(const std::string&, std::vector<ProviderZone>* zones) override {
        XmlDocument document = Ask("/hostedzone?maxitems=100", kZoneListAction);
        if (!document) {
            return false;
        }
        const xmlNode* list = Child(Root(document, "ListHostedZonesResponse"), "HostedZones");
        for (const xmlNode* zone : Children(list, "HostedZone")) {
            std::string id = Text(Child(zone, "Id"));
            if (id.starts_with("/hostedzone/")) {
                id = id.substr(std::strlen("/hostedzone/"));
            }
            zones->push_back({Text(Child(zone, "Name")), id});
        }
        return true;
    }

    bool Read(const ProviderZone& zone, const std::string& host, const std::string& type,
              std::vector<ProviderRecord>* records) override {
        XmlDocument document = Ask(
            Sets(zone) + "?name=" + PercentEncode(host + ".") + "&type=" + type + "&maxitems=10",
            LookupAction(host, type));
        if (!document) {
            return false;
        }
        // The list starts at the name and type asked for and goes on past them.
        const xmlNode* list =
            Child(Root(document, "ListResourceRecordSetsResponse"), "ResourceRecordSets");
        for (const xmlNode* set : Children(list, "ResourceRecordSet")) {
            if (Text(Child(set, "Type")) != type || !SameName(Text(Child(set, "Name")), host)) {
                continue;
            }
            const json raw = {{"ttl", std::atoi(Text(Child(set, "TTL")).c_str())}};
            if (Child(set, "AliasTarget") != nullptr || Child(set, "SetIdentifier") != nullptr) {
                records->push_back({"", "", raw,
                                    "it is an alias or part of a routing policy, kept as the "
                                    "user set it up"});
                continue;
            }
            for (const xmlNode* value : Children(Child(set, "ResourceRecords"), "ResourceRecord")) {
                records->push_back({"", Text(Child(value, "Value")), raw, ""});
            }
        }
        return true;
    }

    bool Create(const ProviderZone& zone, const std::string& host, const std::string& type,
                const std::string& address, int ttl) override {
        return Upsert(zone, host, type, address, ttl, CreateAction(host, type));
    }

    bool Change(const ProviderZone& zone, const std::string& host, const std::string& type,
                const ProviderRecord& record, const std::string& address) override {
        const int ttl = MemberOf(record.raw, "ttl").get<int>();
        return Upsert(zone, host, type, address, ttl > 0 ? ttl : exchange_.Update().ttl,
                      ChangeAction(host, type));
    }

private:
    static std::string Sets(const ProviderZone& zone) {
        return "/hostedzone/" + PercentEncode(zone.id) + "/rrset";
    }

    const xmlNode* Root(const XmlDocument& document, const char* name) {
        const xmlNode* root = xmlDocGetRootElement(document.get());
        return root != nullptr && Named(root, name) ? root : nullptr;
    }

    XmlDocument Ask(const std::string& path, const std::string& action) {
        HttpResponse answer;
        if (!exchange_.Send(HttpMethod::kGet, path, "", action, &answer)) {
            return XmlDocument(nullptr, xmlFreeDoc);
        }
        XmlDocument document = ParseXml(answer.body);
        if (!document || answer.bodyCut) {
            exchange_.Unreadable(action, "XML", answer.body);
            return XmlDocument(nullptr, xmlFreeDoc);
        }
        return document;
    }

    bool Upsert(const ProviderZone& zone, const std::string& host, const std::string& type,
                const std::string& address, int ttl, const std::string& action) {
        const std::string body =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<ChangeResourceRecordSetsRequest "
            "xmlns=\"https://route53.amazonaws.com/doc/2013-04-01/\"><ChangeBatch><Changes>"
            "<Change><Action>UPSERT</Action><ResourceRecordSet><Name>" +
            MarkupEscaped(host) + ".</Name><Type>" + type + "</Type><TTL>" + std::to_string(ttl) +
            "</TTL><ResourceRecords><ResourceRecord><Value>" + MarkupEscaped(address) +
            "</Value></ResourceRecord></ResourceRecords></ResourceRecordSet></Change>"
            "</Changes></ChangeBatch></ChangeResourceRecordSetsRequest>";
        HttpResponse answer;
        return exchange_.Send(HttpMethod::kPost, Sets(zone) + "/", body, action, &answer);
    }
};

}  // namespace

UpdateAttempt UpdateAtRoute53(const NativeUpdate& update) {
    return UpdateThrough<Route53Records>(update);
}

}  // namespace orvex::ddns
