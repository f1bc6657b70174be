// Amazon Route 53's interface (https://route53.amazonaws.com/2013-04-01): requests signed with
// Signature Version 4 (User the access key id, Password the secret; region us-east-1),
// answers in XML. Hosted zones by id ("Z1D633PJN98FT9"); a name's records of a type are one
// record set, written with UPSERT and its own TTL. Alias records and sets of a routing policy
// are left alone.

#include <dlfcn.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstring>
#include <memory>

#include "ddns/ProviderText.h"
#include "ddns/providers/AwsSignature.h"
#include "ddns/providers/ProviderSenders.h"
#include "ddns/providers/RecordSync.h"
#include "platform/SharedLibrary.h"

namespace orvex::ddns {

namespace {

using nlohmann::json;

// libxml2 is loaded when a Route 53 answer is first read: it and the Unicode library it brings
// would otherwise stay resident in every program, though only this provider speaks XML. It
// stays loaded once it is.
struct XmlFunctions {
    decltype(&::xmlReadMemory) readMemory = nullptr;
    decltype(&::xmlFreeDoc) freeDoc = nullptr;
    decltype(&::xmlDocGetRootElement) root = nullptr;
    decltype(&::xmlNodeGetContent) content = nullptr;
    xmlFreeFunc* free = nullptr;
};

const XmlFunctions* Xml() {
    static const XmlFunctions* loaded = []() -> const XmlFunctions* {
        static XmlFunctions f;
        SharedLibrary xml("libxml2.so.2");
        xml.Find("xmlReadMemory", f.readMemory)
            .Find("xmlFreeDoc", f.freeDoc)
            .Find("xmlDocGetRootElement", f.root)
            .Find("xmlNodeGetContent", f.content)
            .Find("xmlFree", f.free);  // a variable holding the function
        void* handle = xml.Finish();
        if (handle != nullptr && *f.free == nullptr) {
            ::dlclose(handle);
            handle = nullptr;
        }
        return handle != nullptr ? &f : nullptr;
    }();
    return loaded;
}

struct FreeDocument {
    void operator()(xmlDoc* document) const { Xml()->freeDoc(document); }
};
using XmlDocument = std::unique_ptr<xmlDoc, FreeDocument>;

// Never reaches the network and never expands external entities. Null when the text is no
// XML (or libxml2 cannot be loaded).
XmlDocument ParseXml(const std::string& text) {
    const XmlFunctions* xml = Xml();
    if (xml == nullptr) {
        return XmlDocument();
    }
    return XmlDocument(xml->readMemory(text.data(), static_cast<int>(text.size()), nullptr, nullptr,
                                       XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
}

// The root element of a parsed document.
const xmlNode* RootOf(const XmlDocument& document) {
    return document ? Xml()->root(document.get()) : nullptr;
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
    // A node exists only in a parsed document, so libxml2 is loaded.
    xmlChar* content = Xml()->content(node);
    std::string out = content == nullptr ? "" : reinterpret_cast<const char*>(content);
    (*Xml()->free)(content);
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
    return document ? FirstLine(Text(Find(RootOf(document), "Message"))) : "";
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
        const xmlNode* root = RootOf(document);
        return root != nullptr && Named(root, name) ? root : nullptr;
    }

    XmlDocument Ask(const std::string& path, const std::string& action) {
        HttpResponse answer;
        if (!exchange_.Send(HttpMethod::kGet, path, "", action, &answer)) {
            return XmlDocument();
        }
        XmlDocument document = ParseXml(answer.body);
        if (!document || answer.bodyCut) {
            exchange_.Unreadable(action, "XML", answer.body);
            return XmlDocument();
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
