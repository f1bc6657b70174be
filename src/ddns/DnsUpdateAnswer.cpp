#include "ddns/DnsUpdateAnswer.h"

#include <memory>

#include <ldns/ldns.h>

namespace orvex::ddns {

namespace {

// The TSIG record's fields in ldns: algorithm, time, fudge, MAC, original ID, error, other.
constexpr size_t kTsigAlgorithmField = 0;
constexpr size_t kTsigMacField = 3;
constexpr size_t kTsigErrorField = 5;
constexpr size_t kTsigFields = 7;
constexpr const char* kTsigAlgorithm = "hmac-sha256.";

struct PktFree {
    void operator()(ldns_pkt* pkt) const { ldns_pkt_free(pkt); }
};
struct RdfFree {
    void operator()(ldns_rdf* rdf) const { ldns_rdf_deep_free(rdf); }
};

}  // namespace

DnsUpdateAnswer ReadDnsUpdateAnswer(const std::vector<uint8_t>& wire, const std::string& keyName,
                                    const std::string& secret,
                                    const std::vector<uint8_t>& requestMac) {
    DnsUpdateAnswer answer;
    ldns_pkt* parsed = nullptr;
    if (wire.empty() || ldns_wire2pkt(&parsed, wire.data(), wire.size()) != LDNS_STATUS_OK) {
        return answer;
    }
    const std::unique_ptr<ldns_pkt, PktFree> packet(parsed);
    answer.readable = true;
    answer.rcode = ldns_pkt_get_rcode(packet.get());
    const ldns_rr* tsig = ldns_pkt_tsig(packet.get());
    if (tsig == nullptr) {
        return answer;
    }
    // A signature record cut short carries no error code, and cannot verify.
    if (ldns_rr_rd_count(tsig) > kTsigErrorField) {
        answer.tsigError = ldns_rdf2native_int16(ldns_rr_rdf(tsig, kTsigErrorField));
    }
    // ldns holds the MAC with its two-byte length in front.
    answer.carriesMac = ldns_rr_rd_count(tsig) > kTsigMacField &&
                        ldns_rdf_size(ldns_rr_rdf(tsig, kTsigMacField)) > 2;
    // Only a whole record of the algorithm we signed with is checked: ldns leaves a record of
    // another algorithm unfreed when it fails to verify it.
    const std::unique_ptr<ldns_rdf, RdfFree> algorithm(ldns_dname_new_frm_str(kTsigAlgorithm));
    if (ldns_rr_rd_count(tsig) != kTsigFields || !algorithm ||
        ldns_dname_compare(ldns_rr_rdf(tsig, kTsigAlgorithmField), algorithm.get()) != 0) {
        return answer;
    }
    // ldns holds a MAC with its two-byte length in front.
    std::vector<uint8_t> mac{static_cast<uint8_t>(requestMac.size() >> 8),
                             static_cast<uint8_t>(requestMac.size() & 0xff)};
    mac.insert(mac.end(), requestMac.begin(), requestMac.end());
    const std::unique_ptr<ldns_rdf, RdfFree> macRdf(
        ldns_rdf_new_frm_data(LDNS_RDF_TYPE_INT16_DATA, mac.size(), mac.data()));
    ldns_rr* const record = ldns_pkt_tsig(packet.get());
    answer.signedByKey =
        macRdf && ldns_pkt_tsig_verify(packet.get(), wire.data(), wire.size(), keyName.c_str(),
                                       secret.c_str(), macRdf.get());
    // Verifying takes the record off the packet; some failures leave it off, so it is put
    // back to go with the packet.
    if (ldns_pkt_tsig(packet.get()) == nullptr) {
        ldns_pkt_set_tsig(packet.get(), record);
    }
    return answer;
}

}  // namespace orvex::ddns
