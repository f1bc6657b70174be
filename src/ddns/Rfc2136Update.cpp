#include "ddns/Rfc2136Update.h"

#include <arpa/inet.h>
#include <sys/random.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <utility>

#include <ldns/ldns.h>

#include "ddns/DnsTransport.h"
#include "ddns/DnsUpdateAnswer.h"
#include "platform/FailureSentence.h"
#include "platform/NameResolver.h"

namespace orvex::ddns {

namespace {

constexpr const char* kTsigAlgorithm = "hmac-sha256.";
// Seconds the signature's time may differ from the server's clock.
constexpr uint16_t kTsigFudge = 300;
constexpr int kDefaultTimeoutMs = 15000;

// Index of the MAC among the TSIG record's fields in ldns.
constexpr size_t kTsigMacField = 3;

struct RdfFree {
    void operator()(ldns_rdf* rdf) const { ldns_rdf_deep_free(rdf); }
};
struct RrListFree {
    void operator()(ldns_rr_list* list) const { ldns_rr_list_deep_free(list); }
};
struct PktFree {
    void operator()(ldns_pkt* pkt) const { ldns_pkt_free(pkt); }
};
using RdfPtr = std::unique_ptr<ldns_rdf, RdfFree>;
using RrListPtr = std::unique_ptr<ldns_rr_list, RrListFree>;
using PktPtr = std::unique_ptr<ldns_pkt, PktFree>;

UpdateAttempt Fail(std::string why) {
    UpdateAttempt attempt;
    attempt.why = std::move(why);
    return attempt;
}

// The time-out in whole seconds, as the failure sentences give it.
int WholeSeconds(int ms) {
    return ms < 1000 ? 1 : (ms + 500) / 1000;
}

std::string Trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    const size_t last = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(first, last - first + 1));
}

// Strict: ldns would quietly sign with whatever part of a mistyped secret it could decode,
// and the server's refusal would then point at the key rather than at the typing.
bool IsBase64(const std::string& text) {
    if (text.empty() || text.size() % 4 != 0) {
        return false;
    }
    size_t padding = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '=') {
            ++padding;
            continue;
        }
        const bool inAlphabet = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                                (c >= '0' && c <= '9') || c == '+' || c == '/';
        if (!inAlphabet || padding > 0) {
            return false;
        }
    }
    return padding <= 2;
}

// Absolute, so "home.example.net" and "home.example.net." are the same name.
RdfPtr DomainName(const std::string& text) {
    if (text.empty() || text.find_first_of(" \t\r\n") != std::string::npos) {
        return nullptr;
    }
    return RdfPtr(ldns_dname_new_frm_str(text.c_str()));
}

// One update-section record: the whole RRset of `type` at `owner` deleted (class ANY, TTL 0,
// no data), or one record added (class IN).
ldns_rr* UpdateRecord(const ldns_rdf* owner, ldns_rr_type type, ldns_rr_class rrClass, uint32_t ttl,
                      const std::string& address) {
    ldns_rr* rr = ldns_rr_new();
    ldns_rr_set_owner(rr, ldns_rdf_clone(owner));
    ldns_rr_set_type(rr, type);
    ldns_rr_set_class(rr, rrClass);
    ldns_rr_set_ttl(rr, ttl);
    if (!address.empty()) {
        ldns_rr_push_rdf(
            rr, ldns_rdf_new_frm_str(type == LDNS_RR_TYPE_A ? LDNS_RDF_TYPE_A : LDNS_RDF_TYPE_AAAA,
                                     address.c_str()));
    }
    return rr;
}

uint16_t RandomId() {
    uint16_t id = 0;
    if (::getrandom(&id, sizeof id, 0) != static_cast<ssize_t>(sizeof id)) {
        id = static_cast<uint16_t>(std::rand());
    }
    return id;
}

std::string JoinedHosts(const std::vector<std::string>& hosts) {
    std::string text;
    for (const std::string& host : hosts) {
        text += (text.empty() ? "" : ", ") + host;
    }
    return text;
}

// The answer's code as the server gave it: "NOTAUTH", "NOTAUTH (BADSIG)", "REFUSED", ...
std::string CodeName(int rcode, int tsigError) {
    std::string name;
    switch (rcode) {
        case LDNS_RCODE_NOTAUTH:
            name = "NOTAUTH";
            break;
        case LDNS_RCODE_REFUSED:
            name = "REFUSED";
            break;
        case LDNS_RCODE_NOTZONE:
            name = "NOTZONE";
            break;
        case LDNS_RCODE_SERVFAIL:
            name = "SERVFAIL";
            break;
        case LDNS_RCODE_FORMERR:
            name = "FORMERR";
            break;
        case LDNS_RCODE_NOTIMPL:
            name = "NOTIMPL";
            break;
        case LDNS_RCODE_NXDOMAIN:
            name = "NXDOMAIN";
            break;
        case LDNS_RCODE_NOERROR:
            name = "NOERROR";
            break;
        default:
            name = "code " + std::to_string(rcode);
            break;
    }
    switch (tsigError) {
        case kTsigBadSig:
            return name + " (BADSIG)";
        case kTsigBadKey:
            return name + " (BADKEY)";
        case kTsigBadTime:
            return name + " (BADTIME)";
        default:
            return name;
    }
}

// Answers no retry can mend: the key, or what it may do, has to change first.
bool StopsTheEntry(int rcode, int tsigError) {
    return rcode == LDNS_RCODE_NOTAUTH || rcode == LDNS_RCODE_REFUSED || tsigError == kTsigBadSig ||
           tsigError == kTsigBadKey || tsigError == kTsigBadTime;
}

// The sentence for a server's answer other than success.
std::string RejectionText(int rcode, int tsigError, const std::string& keyName,
                          const std::string& zone) {
    const std::string keyRefused = "the name server did not accept the TSIG key " + keyName;
    switch (tsigError) {
        case kTsigBadSig:
            return "NOTAUTH (BADSIG): " + keyRefused + " (the secret does not match)";
        case kTsigBadKey:
            return "NOTAUTH (BADKEY): " + keyRefused + " (the server does not know the key)";
        case kTsigBadTime:
            return "NOTAUTH (BADTIME): " + keyRefused +
                   " (this computer's clock and the server's differ by more than " +
                   std::to_string(kTsigFudge / 60) + " minutes)";
        default:
            break;
    }
    switch (rcode) {
        case LDNS_RCODE_NOTAUTH:
            return "NOTAUTH: the name server is not authoritative for zone " + zone + ", or " +
                   keyRefused;
        case LDNS_RCODE_REFUSED:
            return "REFUSED: the name server refused the update of zone " + zone +
                   " (is the TSIG key " + keyName + " allowed to update it?)";
        case LDNS_RCODE_NOTZONE:
            return "NOTZONE: a host name is not inside zone " + zone;
        case LDNS_RCODE_SERVFAIL:
            return "SERVFAIL: the name server failed to apply the update";
        case LDNS_RCODE_FORMERR:
            return "FORMERR: the name server could not read the update";
        case LDNS_RCODE_NOTIMPL:
            return "NOTIMPL: the name server does not take dynamic updates";
        case LDNS_RCODE_NXDOMAIN:
            return "NXDOMAIN: the name server does not know zone " + zone;
        default:
            return "the name server rejected the update with code " + std::to_string(rcode);
    }
}

// Checks everything that can be checked without the network; the text of the first fault.
std::string CheckRequest(const Rfc2136Request& request, const std::vector<std::string>& hosts) {
    if (Trimmed(request.server).empty()) {
        return "no name server set";
    }
    if (request.port < 1 || request.port > 65535) {
        return std::to_string(request.port) + " is not a port number";
    }
    if (hosts.empty()) {
        return "no host names set";
    }
    if (request.ipv4.empty() && request.ipv6.empty()) {
        return "no address to publish";
    }
    in_addr v4{};
    if (!request.ipv4.empty() && ::inet_pton(AF_INET, request.ipv4.c_str(), &v4) != 1) {
        return "\"" + request.ipv4 + "\" is not an IPv4 address";
    }
    in6_addr v6{};
    if (!request.ipv6.empty() && ::inet_pton(AF_INET6, request.ipv6.c_str(), &v6) != 1) {
        return "\"" + request.ipv6 + "\" is not an IPv6 address";
    }
    if (request.ttl < 0) {
        return "TTL " + std::to_string(request.ttl) + " is negative";
    }
    const std::string keyName = Trimmed(request.tsigName);
    const std::string secret = Trimmed(request.tsigSecret);
    if (keyName.empty() && secret.empty()) {
        return {};  // unsigned
    }
    if (keyName.empty()) {
        return "no TSIG key name set";
    }
    if (!DomainName(keyName)) {
        return "\"" + keyName + "\" is not a valid TSIG key name";
    }
    if (secret.empty()) {
        return "no TSIG secret set for key " + keyName;
    }
    if (!IsBase64(secret)) {
        return "the TSIG secret for key " + keyName + " is not valid base64";
    }
    return {};
}

}  // namespace

UpdateAttempt SendRfc2136Update(const Rfc2136Request& request) {
    std::vector<std::string> hosts;
    for (const std::string& host : request.hosts) {
        if (std::string name = Trimmed(host); !name.empty()) {
            hosts.push_back(std::move(name));
        }
    }
    if (std::string fault = CheckRequest(request, hosts); !fault.empty()) {
        return Fail(fault);
    }
    const std::string zone = Trimmed(request.zone);
    if (zone.empty()) {
        return Fail("no zone set");
    }
    RdfPtr zoneName = DomainName(zone);
    if (!zoneName) {
        return Fail("\"" + zone + "\" is not a valid zone name");
    }
    const std::string keyName = Trimmed(request.tsigName);
    const std::string secret = Trimmed(request.tsigSecret);
    const int timeoutMs = request.timeoutMs > 0 ? request.timeoutMs : kDefaultTimeoutMs;

    // Every host: its A and AAAA sets each replaced by the one address.
    RrListPtr updates(ldns_rr_list_new());
    for (const std::string& host : hosts) {
        RdfPtr owner = DomainName(host);
        if (!owner) {
            return Fail("\"" + host + "\" is not a valid host name");
        }
        if (ldns_dname_compare(owner.get(), zoneName.get()) != 0 &&
            !ldns_dname_is_subdomain(owner.get(), zoneName.get())) {
            return Fail("host " + host + " is not inside zone " + zone);
        }
        const auto ttl = static_cast<uint32_t>(request.ttl);
        const std::pair<ldns_rr_type, const std::string*> families[] = {
            {LDNS_RR_TYPE_A, &request.ipv4}, {LDNS_RR_TYPE_AAAA, &request.ipv6}};
        for (const auto& [type, address] : families) {
            if (address->empty()) {
                continue;
            }
            ldns_rr_list_push_rr(updates.get(),
                                 UpdateRecord(owner.get(), type, LDNS_RR_CLASS_ANY, 0, ""));
            ldns_rr_list_push_rr(updates.get(),
                                 UpdateRecord(owner.get(), type, LDNS_RR_CLASS_IN, ttl, *address));
        }
    }

    // The packet takes the zone name; it copies the update list.
    PktPtr packet(ldns_update_pkt_new(ldns_rdf_clone(zoneName.get()), LDNS_RR_CLASS_IN, nullptr,
                                      updates.get(), nullptr));
    if (!packet) {
        return Fail("the update message could not be built");
    }
    ldns_pkt_set_rd(packet.get(), false);
    ldns_pkt_set_id(packet.get(), RandomId());
    const bool sign = !keyName.empty();
    if (sign && ldns_pkt_tsig_sign(packet.get(), keyName.c_str(), secret.c_str(), kTsigFudge,
                                   kTsigAlgorithm, nullptr) != LDNS_STATUS_OK) {
        return Fail("the update could not be signed with the TSIG key " + keyName);
    }
    uint8_t* wire = nullptr;
    size_t wireSize = 0;
    if (ldns_pkt2wire(&wire, packet.get(), &wireSize) != LDNS_STATUS_OK) {
        return Fail("the update message could not be built");
    }
    const std::vector<uint8_t> message(wire, wire + wireSize);
    std::free(wire);

    // The request's MAC without the two-byte length ldns keeps in front of it.
    std::vector<uint8_t> requestMac;
    if (sign) {
        const ldns_rdf* macField = ldns_rr_rdf(ldns_pkt_tsig(packet.get()), kTsigMacField);
        if (macField != nullptr && ldns_rdf_size(macField) >= 2) {
            requestMac.assign(ldns_rdf_data(macField) + 2,
                              ldns_rdf_data(macField) + ldns_rdf_size(macField));
        }
    }
    auto read = [&](const std::vector<uint8_t>& wireAnswer) {
        return ReadDnsUpdateAnswer(wireAnswer, keyName, secret, requestMac);
    };
    // Over UDP anyone on the path can answer first: for a signed update, a reply that carries
    // a signature which does not verify, or claims success unsigned, is ignored and the wait
    // goes on. A server that could not check the key answers unsigned with its error.
    DnsReplyFilter trusted;
    if (sign) {
        trusted = [&](const std::vector<uint8_t>& reply) -> bool {
            const DnsUpdateAnswer answer = read(reply);
            if (!answer.readable || answer.signedByKey) {
                return true;
            }
            return !answer.carriesMac &&
                   (answer.rcode != LDNS_RCODE_NOERROR || answer.tsigError != 0);
        };
    }

    const std::string server = StripBrackets(Trimmed(request.server));
    const int seconds = WholeSeconds(timeoutMs);
    std::string detail;
    const std::vector<SocketAddress> addresses =
        ResolveAll(Trimmed(request.server), static_cast<uint16_t>(request.port), &detail);
    if (addresses.empty()) {
        ConnectionFailure failure;
        failure.kind = FailureClass::kNameNotFound;
        return Fail(FailureSentence(server, request.port, failure));
    }
    // Each address gets its share of what is left, so one that stays silent leaves time for
    // the next.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    DnsExchange exchange;
    bool timedOut = false;
    int ignored = 0;
    for (size_t i = 0; i < addresses.size(); ++i) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            break;
        }
        const int share = static_cast<int>(left / static_cast<long>(addresses.size() - i));
        exchange = ExchangeDnsMessage(addresses[i], message, std::max(share, 1), trusted);
        if (exchange.outcome == DnsExchange::Outcome::kAnswer) {
            break;
        }
        ignored += exchange.ignored;
        timedOut = timedOut || exchange.outcome == DnsExchange::Outcome::kNoAnswer;
    }
    if (exchange.outcome != DnsExchange::Outcome::kAnswer) {
        ConnectionFailure failure;
        failure.seconds = seconds;
        if (timedOut || exchange.outcome == DnsExchange::Outcome::kNoAnswer) {
            failure.kind = FailureClass::kNoAnswer;
        } else if (exchange.outcome == DnsExchange::Outcome::kRefused) {
            failure.kind = FailureClass::kRefused;
        } else {
            failure.kind = FailureClass::kOther;
            failure.detail = exchange.detail;
        }
        if (ignored > 0 && failure.kind == FailureClass::kNoAnswer) {
            return Fail("no answer signed with the TSIG key " + keyName + " came from " +
                        ServerAndPort(server, request.port) + " within " + std::to_string(seconds) +
                        " s (" + std::to_string(ignored) + (ignored == 1 ? " answer" : " answers") +
                        " not signed with it ignored); the update may not have been made");
        }
        return Fail(FailureSentence(server, request.port, failure));
    }

    const DnsUpdateAnswer answer = read(exchange.answer);
    if (!answer.readable) {
        ConnectionFailure failure{FailureClass::kOther, 0, "the answer is not a DNS message"};
        return Fail(FailureSentence(server, request.port, failure));
    }
    if (answer.rcode != LDNS_RCODE_NOERROR || answer.tsigError != 0) {
        UpdateAttempt attempt;
        attempt.answers.push_back(RejectionText(answer.rcode, answer.tsigError, keyName, zone));
        ConnectionFailure failure{FailureClass::kServerRefused, 0,
                                  CodeName(answer.rcode, answer.tsigError)};
        attempt.why = FailureSentence(server, request.port, failure, "the update");
        attempt.stop = StopsTheEntry(answer.rcode, answer.tsigError);
        return attempt;
    }
    // A success nobody can vouch for is not taken: anyone on the path could have sent it.
    if (sign && !answer.signedByKey) {
        return Fail("the answer from " + ServerAndPort(server, request.port) +
                    " is not signed with the TSIG key " + keyName +
                    "; the update may not have been made");
    }
    UpdateAttempt done;
    done.ok = true;
    done.answers.push_back("NOERROR: updated " + JoinedHosts(hosts) +
                           (sign ? "" : ", sent unsigned (no TSIG key set)"));
    return done;
}

}  // namespace orvex::ddns
