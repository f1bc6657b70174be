// The WAN address through DNS questions that echo the asker's address: an A (AAAA) record made
// for whoever asks, or a TXT record holding the address.
#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstdlib>
#include <random>

#include <ldns/ldns.h>

#include "address/DatagramLink.h"
#include "address/WanSources.h"
#include "platform/FailureSentence.h"
#include "platform/NameResolver.h"
#include "platform/TextUtil.h"

namespace orvex {

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int kFirstRetryMs = 1000;

const char* const kDefaultLookups =
    "myip.opendns.com/A/IN@208.67.222.222 myip.opendns.com/A/IN@208.67.220.220 "
    "whoami.cloudflare/TXT/CH@1.1.1.1 "
    "myip.opendns.com/AAAA/IN@[2620:119:35::35] myip.opendns.com/AAAA/IN@[2620:119:53::53] "
    "whoami.cloudflare/TXT/CH@[2606:4700:4700::1111]";

// The question's ID and the answer's flags.
bool IsAnswerTo(const Bytes& in, const Bytes& question) {
    return in.size() >= 12 && in[0] == question[0] && in[1] == question[1] && (in[2] & 0x80) != 0;
}

std::string TypeName(ldns_rr_type type) {
    char* text = ldns_rr_type2str(type);
    std::string name = text != nullptr ? text : "?";
    std::free(text);
    return name;
}

class DnsSource : public WanAddressSource {
public:
    explicit DnsSource(std::string lookups)
        : lookups_(TrimBlanks(lookups).empty() ? kDefaultLookups : std::move(lookups)) {}
    std::string Name() const override { return kSourceDns; }

    SourceAnswer Ask(IpFamily family, long boundMs) override {
        std::vector<std::string> problems;
        const std::vector<DnsLookup> lookups = ParseDnsLookups(lookups_, &problems);
        if (!problems.empty()) {
            return {"", problems.front()};
        }
        const Deadline deadline(boundMs);
        std::string failures;
        for (const DnsLookup& lookup : lookups) {
            if (!ForFamily(lookup, family)) {
                continue;
            }
            if (deadline.Passed()) {
                break;
            }
            const SourceAnswer answer = AskOne(lookup, family, deadline, boundMs);
            if (!answer.address.empty()) {
                return answer;
            }
            failures += (failures.empty() ? "" : "; ") + answer.failure;
        }
        if (failures.empty()) {
            failures = std::string("DNSLookups holds no question for an ") +
                       (family == IpFamily::kIPv6 ? "IPv6" : "IPv4") + " address";
        }
        return {"", failures};
    }

private:
    static bool ForFamily(const DnsLookup& lookup, IpFamily family) {
        if (lookup.type == "A") {
            return family == IpFamily::kIPv4;
        }
        if (lookup.type == "AAAA") {
            return family == IpFamily::kIPv6;
        }
        // A TXT answer is the address the question came from: the server's family.
        return (lookup.server.Family() == AF_INET6) == (family == IpFamily::kIPv6);
    }

    static SourceAnswer AskOne(const DnsLookup& lookup, IpFamily family, const Deadline& deadline,
                               long boundMs) {
        const std::string where = ServerAndPort(AddressText(lookup.server), lookup.server.Port());
        const ldns_rr_type type = ldns_get_rr_type_by_name(lookup.type.c_str());
        const ldns_rr_class klass = ldns_get_rr_class_by_name(lookup.klass.c_str());
        ldns_rdf* owner = ldns_dname_new_frm_str(lookup.name.c_str());
        if (owner == nullptr) {
            return {"", "\"" + lookup.name + "\" is no DNS name"};
        }
        ldns_pkt* query = ldns_pkt_query_new(owner, type, klass, LDNS_RD);
        std::random_device random;
        ldns_pkt_set_id(query, static_cast<uint16_t>(random()));
        uint8_t* wire = nullptr;
        size_t size = 0;
        const ldns_status built = ldns_pkt2wire(&wire, query, &size);
        ldns_pkt_free(query);
        if (built != LDNS_STATUS_OK) {
            return {"",
                    std::string("cannot build the question: ") + ldns_get_errorstr_by_id(built)};
        }
        const Bytes question(wire, wire + size);
        std::free(wire);

        DatagramLink link;
        std::string problem;
        if (!link.Open(lookup.server, &problem)) {
            return {"", "cannot reach " + where + ": " + problem};
        }
        const DatagramLink::Result result = link.Exchange(
            question, [&](const Bytes& in) { return IsAnswerTo(in, question); }, deadline,
            kFirstRetryMs);
        if (result.outcome != DatagramLink::Outcome::kAnswer) {
            return {"",
                    DatagramFailureWords(result, where, static_cast<int>((boundMs + 999) / 1000))};
        }
        ldns_pkt* answer = nullptr;
        if (ldns_wire2pkt(&answer, result.answer.data(), result.answer.size()) != LDNS_STATUS_OK) {
            return {"", where + " answered with a message that is no DNS answer"};
        }
        const std::string asked = lookup.name + " " + lookup.type;
        SourceAnswer out;
        if (ldns_pkt_get_rcode(answer) != LDNS_RCODE_NOERROR) {
            out.failure = where + " answered " + asked + " with error " +
                          std::to_string(ldns_pkt_get_rcode(answer));
        } else {
            out = ReadAnswer(ldns_pkt_answer(answer), type, family, where, asked);
        }
        ldns_pkt_free(answer);
        return out;
    }

    static SourceAnswer ReadAnswer(const ldns_rr_list* records, ldns_rr_type type, IpFamily family,
                                   const std::string& where, const std::string& asked) {
        for (size_t i = 0; records != nullptr && i < ldns_rr_list_rr_count(records); ++i) {
            const ldns_rr* record = ldns_rr_list_rr(records, i);
            if (ldns_rr_get_type(record) != type || ldns_rr_rd_count(record) == 0) {
                continue;
            }
            const ldns_rdf* data = ldns_rr_rdf(record, 0);
            std::string text;
            if (type == LDNS_RR_TYPE_TXT) {
                // A character string: its length, then its bytes.
                const uint8_t* bytes = ldns_rdf_data(data);
                const size_t size = ldns_rdf_size(data);
                if (size > 0) {
                    text.assign(reinterpret_cast<const char*>(bytes) + 1,
                                std::min<size_t>(bytes[0], size - 1));
                }
                text = TrimBlanks(text);
            } else {
                char* shown = ldns_rdf2str(data);
                text = shown != nullptr ? shown : "";
                std::free(shown);
            }
            in6_addr bytes{};
            const int af = family == IpFamily::kIPv6 ? AF_INET6 : AF_INET;
            if (::inet_pton(af, text.c_str(), &bytes) != 1) {
                std::string shown = WithoutControls(text.substr(0, 60));
                return {"", where + " answered " + asked + " with \"" + shown + "\", which is no " +
                                (family == IpFamily::kIPv6 ? "IPv6" : "IPv4") + " address"};
            }
            return {text, ""};
        }
        return {"", where + " gave no " + TypeName(type) + " record for " + asked};
    }

    static std::string WithoutControls(std::string text) {
        for (char& c : text) {
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                c = ' ';
            }
        }
        return text;
    }

    std::string lookups_;
};

}  // namespace

std::vector<DnsLookup> ParseDnsLookups(const std::string& text,
                                       std::vector<std::string>* problems) {
    std::vector<DnsLookup> lookups;
    for (const std::string& word : LookupServices("", text, {})) {
        auto bad = [&](const std::string& why) {
            if (problems != nullptr) {
                problems->push_back("DNSLookups: \"" + word + "\" " + why);
            }
        };
        const size_t at = word.find('@');
        const size_t slash1 = word.find('/');
        const size_t slash2 = slash1 == std::string::npos ? slash1 : word.find('/', slash1 + 1);
        if (at == std::string::npos || slash2 == std::string::npos || slash2 > at) {
            bad("is not name/type/class@server[:port]");
            continue;
        }
        DnsLookup lookup;
        lookup.name = word.substr(0, slash1);
        lookup.type = ToUpperAscii(word.substr(slash1 + 1, slash2 - slash1 - 1));
        lookup.klass = ToUpperAscii(word.substr(slash2 + 1, at - slash2 - 1));
        if (lookup.name.empty()) {
            bad("names no question");
            continue;
        }
        if (lookup.type != "A" && lookup.type != "AAAA" && lookup.type != "TXT") {
            bad("asks for type " + lookup.type + " (A, AAAA or TXT)");
            continue;
        }
        if (lookup.klass != "IN" && lookup.klass != "CH") {
            bad("asks in class " + lookup.klass + " (IN or CH)");
            continue;
        }
        std::string server = word.substr(at + 1);
        int port = 53;
        const size_t colon = server.rfind(':');
        const bool bracketed = !server.empty() && server[0] == '[';
        if (colon != std::string::npos &&
            (bracketed ? server[colon - 1] == ']' : server.find(':') == colon)) {
            port = AsciiToInt(server.substr(colon + 1));
            server = server.substr(0, colon);
        }
        if (port <= 0 || port > 65535 ||
            !ParseNumericAddress(server, static_cast<uint16_t>(port), &lookup.server)) {
            bad("names no server address with a usable port (\"192.0.2.1\", "
                "\"[2001:db8::1]:5353\")");
            continue;
        }
        lookups.push_back(lookup);
    }
    return lookups;
}

std::unique_ptr<WanAddressSource> MakeDnsSource(const std::string& lookups) {
    return std::make_unique<DnsSource>(lookups);
}

}  // namespace orvex
