// The WAN address cut on arbitrary pages and delimiters.
//
// Checks, for any page and delimiters:
// - "N/A" exactly when the start delimiter is missing or no end delimiter follows it;
// - otherwise the result is the text between the first start delimiter and the first end
//   delimiter after it, with only blanks trimmed away at both ends;
// - an address planted between the delimiters of a page that holds the start delimiter
//   nowhere else comes back exactly.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "address/WanAddress.h"
#include "platform/TextUtil.h"

using orvex::fuzz::Shown;

namespace {

bool AllBlank(const std::string& text) {
    for (char c : text) {
        if (!orvex::IsBlank(c)) {
            return false;
        }
    }
    return true;
}

void CheckCut(const std::string& page, const std::string& start, const std::string& end) {
    const std::string got = orvex::CutAddress(page, start, end);
    const std::string context = "page " + Shown(page) + " start " + Shown(start) + " end " +
                                Shown(end) + " got " + Shown(got);
    const size_t at = page.find(start);
    const size_t from = at == std::string::npos ? at : at + start.size();
    const size_t stop = at == std::string::npos ? at : page.find(end, from);
    if (stop == std::string::npos) {
        FUZZ_CHECK(got == orvex::kNotAvailable, context);
        return;
    }
    const std::string between = page.substr(from, stop - from);
    // The result sits inside `between` with nothing but blanks around it.
    const size_t inner = between.find(got);
    FUZZ_CHECK(got.empty() ? AllBlank(between) : inner != std::string::npos, context);
    if (!got.empty()) {
        FUZZ_CHECK(!orvex::IsBlank(got.front()) && !orvex::IsBlank(got.back()), context);
        FUZZ_CHECK(AllBlank(between.substr(0, inner)), context);
        FUZZ_CHECK(AllBlank(between.substr(inner + got.size())), context);
        // Nothing blank-free was dropped: the trimmed result is as long as the text allows.
        FUZZ_CHECK(orvex::TrimBlanks(between) == got, context);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string start = in.ConsumeRandomLengthString(16);
    const std::string end = in.ConsumeRandomLengthString(16);
    const std::string address = in.ConsumeRandomLengthString(40);
    const std::string before = in.ConsumeRandomLengthString(200);
    const std::string page = in.ConsumeRemainingBytesAsString();

    // Arbitrary page.
    CheckCut(page, start, end);

    // Planted address: the page before it holds no start delimiter, the address (trimmed)
    // holds no end delimiter, so exactly the planted address must come back.
    if (start.empty() || before.find(start) != std::string::npos) {
        return 0;
    }
    const std::string combined = before + start;
    if (combined.find(start) != before.size()) {
        return 0;  // the start delimiter would be found earlier, straddling `before`
    }
    std::string planted = before + start + address + end + page;
    if (end.empty() || (start + address).find(end, start.size()) != std::string::npos ||
        (address + end).find(end) != address.size()) {
        return 0;
    }
    const std::string got = orvex::CutAddress(planted, start, end);
    FUZZ_CHECK(got == orvex::TrimBlanks(address),
               "planted " + Shown(address) + " in " + Shown(planted) + " got " + Shown(got));
    return 0;
}
