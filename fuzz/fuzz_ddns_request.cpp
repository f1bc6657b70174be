// Dynamic DNS requests and answers on arbitrary text: the URL template, the dyndns2 request
// and the answer lines a provider sends.
//
// Checks, for any template, values and answer:
// - a value never changes a request's shape: every byte of the expanded URL that is neither
//   unreserved nor "%" comes from the template, as often as the template (tokens taken out)
//   holds it; with every value empty the URL is the template with its tokens taken out;
// - the dyndns2 request is the base, "/nic/update?hostname=", the names and "&myip=" with the
//   addresses, each value encoded the same way;
// - a line shown from a peer holds no control byte and stays short;
// - an answer counts as an update only when its first word is "good" or "nochg".
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "ddns/Dyndns2Update.h"
#include "ddns/ProviderText.h"
#include "ddns/UrlUpdate.h"

using orvex::fuzz::Shown;

namespace {

bool Unreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

// The template with its tokens taken out, by the expansion's rule (longest token first).
std::string WithoutTokens(const std::string& url) {
    static const char* const kTokens[] = {"%WI6", "%WI", "%I6", "%I", "%H", "%U", "%P"};
    std::string out;
    size_t pos = 0;
    while (pos < url.size()) {
        bool token = false;
        for (const char* t : kTokens) {
            const std::string name(t);
            if (url.compare(pos, name.size(), name) == 0) {
                pos += name.size();
                token = true;
                break;
            }
        }
        if (!token) {
            out += url[pos++];
        }
    }
    return out;
}

std::array<size_t, 256> ShapeCounts(const std::string& text) {
    std::array<size_t, 256> counts{};
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (!Unreserved(byte) && byte != '%') {
            ++counts[byte];
        }
    }
    return counts;
}

void CheckShown(const std::string& line, const std::string& from) {
    for (const char c : line) {
        const auto byte = static_cast<unsigned char>(c);
        FUZZ_CHECK(byte >= 0x20 && byte != 0x7F, "from " + Shown(from) + " got " + Shown(line));
    }
    FUZZ_CHECK(line.size() <= 203, "from " + Shown(from) + " got " + Shown(line));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string url = in.ConsumeRandomLengthString(512);
    orvex::ddns::UrlTokenValues values;
    values.addresses.wan = in.ConsumeRandomLengthString(64);
    values.addresses.wan6 = in.ConsumeRandomLengthString(64);
    values.addresses.lan = in.ConsumeRandomLengthString(64);
    values.addresses.lan6 = in.ConsumeRandomLengthString(64);
    values.hosts = in.ConsumeRandomLengthString(128);
    values.user = in.ConsumeRandomLengthString(64);
    values.password = in.ConsumeRandomLengthString(64);
    const std::string answer = in.ConsumeRemainingBytesAsString();

    const std::string expanded = orvex::ddns::ExpandUrlTemplate(url, values);
    const std::string bare = WithoutTokens(url);
    const std::string context = "template " + Shown(url) + " got " + Shown(expanded);
    FUZZ_CHECK(ShapeCounts(expanded) == ShapeCounts(bare), context);
    FUZZ_CHECK(orvex::ddns::ExpandUrlTemplate(url, {}) == bare, context);

    const std::string encodedName = orvex::PercentEncode(values.hosts);
    for (const char c : encodedName) {
        FUZZ_CHECK(Unreserved(static_cast<unsigned char>(c)) || c == '%', Shown(encodedName));
    }
    const std::string request =
        orvex::ddns::Dyndns2Url("http://127.0.0.1:1", {values.hosts}, values.addresses.wan, "");
    FUZZ_CHECK(request == "http://127.0.0.1:1/nic/update?hostname=" + encodedName +
                              "&myip=" + orvex::PercentEncode(values.addresses.wan),
               Shown(request));

    CheckShown(orvex::ddns::FirstLine(answer), answer);
    const orvex::ddns::Dyndns2Code code = orvex::ddns::ClassifyDyndns2Answer(answer);
    if (code.verdict == orvex::ddns::Dyndns2Verdict::kUpdated) {
        const size_t start = answer.find_first_not_of(' ');
        FUZZ_CHECK(answer.compare(start, 4, "good") == 0 || answer.compare(start, 5, "nochg") == 0,
                   Shown(answer));
    }
    return 0;
}
