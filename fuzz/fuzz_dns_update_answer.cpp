// A name server's answer to a signed DNS UPDATE, read as the sender reads it.
//
// The input is the answer's bytes. Checks:
// - a message shorter than a DNS header is unreadable;
// - a readable one has the response code of its header's fourth byte;
// - nothing the input holds passes as signed: the key and the request's MAC are fixed and the
//   input cannot know their HMAC.
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "ddns/DnsUpdateAnswer.h"

using orvex::fuzz::Shown;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> wire(data, data + size);
    const std::vector<uint8_t> requestMac(32, 0x5a);
    const orvex::ddns::DnsUpdateAnswer answer = orvex::ddns::ReadDnsUpdateAnswer(
        wire, "orvex-update-key", "b3J2ZXgtdXBkYXRlLWtleS1mb3ItdGhlLXRlc3RzLTI1Ng==", requestMac);
    const std::string shown = Shown(std::string(data, data + size));
    if (size < 12) {
        FUZZ_CHECK(!answer.readable, shown);
    }
    if (answer.readable) {
        FUZZ_CHECK(answer.rcode == (data[3] & 0x0f),
                   "rcode " + std::to_string(answer.rcode) + " of " + shown);
    }
    FUZZ_CHECK(!answer.signedByKey, shown);
    FUZZ_CHECK(answer.tsigError >= 0 && answer.tsigError <= 0xffff, shown);
    return 0;
}
