// Template expansion of an arbitrary template file with arbitrary values and programs.
//
// Checks, with the template in a scratch directory and a host that records nothing:
// - the expansion reads the template (1) and writes the page, the local copy and the address
//   file without any message;
// - the page equals an independent expansion: the template cut at 32000 bytes and at its first
//   NUL, each token ("%NAT" and "%NVIA" first) replaced everywhere in the fixed order, "%P<n>" from
//   the highest index down, with the running / stopped word of the program's window;
// - the local copy equals the page and the address file holds the WAN address alone;
// - a missing template gives -1 and the "P10007 " status, and writes nothing.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "page/TemplateExpansion.h"

using orvex::fuzz::Shown;

namespace {

class QuietHost : public orvex::Host {
public:
    void Status(const orvex::HostMessage& message) override {
        statuses.push_back(message.Recorded());
    }
    void Cycle(orvex::CycleCode) override {}
    void ExitRequest() override {}
    orvex::MsgAnswer MessageBox(const orvex::MessageBoxRequest& request) override {
        boxes.push_back(request.text);
        return orvex::MsgAnswer::Ok;
    }
    void ActivatePage(orvex::Page) override {}

    std::vector<std::string> statuses;
    std::vector<std::string> boxes;
};

std::string Replaced(const std::string& text, const std::string& token, const std::string& value) {
    std::string out;
    size_t start = 0;
    for (;;) {
        size_t at = text.find(token, start);
        if (at == std::string::npos) {
            break;
        }
        out += text.substr(start, at - start) + value;
        start = at + token.size();
    }
    return out + text.substr(start);
}

std::string Format(const char* format, int a, int b, int c) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, a, b, c);
    return buffer;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    orvex::PageValues values;
    values.currentWanIp = in.ConsumeRandomLengthString(24);
    values.currentLanIp = in.ConsumeRandomLengthString(24);
    values.natState = in.ConsumeRandomLengthString(18);
    values.wanVia = in.ConsumeRandomLengthString(8);
    values.siteName = in.ConsumeRandomLengthString(24);
    values.connectionState = in.ConsumeRandomLengthString(10);
    values.statusIndicators = in.ConsumeRandomLengthString(16);
    const int programCount = in.ConsumeIntegralInRange<int>(0, 14);
    for (int i = 0; i < programCount; ++i) {
        orvex::MonitoredProgram program;
        program.index = in.ConsumeIntegralInRange<int>(0, 30);
        program.tag = in.ConsumeBool() ? "%P" + std::to_string(program.index)
                                       : in.ConsumeRandomLengthString(6);
        program.windowTitle = in.ConsumeRandomLengthString(8);
        values.programs.push_back(program);
    }
    const std::time_t now = in.ConsumeIntegralInRange<std::time_t>(0, 4102444799);
    const bool bigTemplate = in.ConsumeBool();
    std::string templateText = in.ConsumeRemainingBytesAsString();
    if (bigTemplate) {
        // Reach the read limit: repeat the template past 32000 bytes.
        std::string grown = templateText.empty() ? "%P1 " : templateText;
        while (grown.size() < 33000) {
            grown += grown;
        }
        templateText = grown;
    }

    orvex::fuzz::ClearScratchDir();
    const std::string dir = orvex::fuzz::ScratchDir();
    values.workDir = dir;
    values.saveFileHtml = "copy.html";
    values.saveFileAscii = "address.txt";
    orvex::fuzz::FastClock clock;
    clock.SetNow(now);
    QuietHost host;
    // A window "exists" when its title is odd in length: no display is needed.
    auto finder = [](const std::string& title) { return title.size() % 2 == 1; };

    // A missing template: -1, one status, nothing written.
    FUZZ_CHECK(orvex::ExpandTemplate("missing.tpl", "page.html", values, host, clock, finder) == -1,
               "missing template");
    FUZZ_CHECK(host.statuses.size() == 1 && host.statuses[0].rfind("P10007 ", 0) == 0,
               host.statuses.empty() ? "no status" : Shown(host.statuses[0]));
    bool exists = true;
    orvex::fuzz::ReadWholeFile(dir + "/page.html", &exists);
    FUZZ_CHECK(!exists, "page written from a missing template");
    host.statuses.clear();

    orvex::fuzz::WriteWholeFile(dir + "/page.tpl", templateText);
    const int rc = orvex::ExpandTemplate("page.tpl", "page.html", values, host, clock, finder);
    FUZZ_CHECK(rc == 1, "rc " + std::to_string(rc));
    FUZZ_CHECK(host.statuses.empty() && host.boxes.empty(),
               "unexpected report " +
                   Shown(host.boxes.empty() ? host.statuses.front() : host.boxes.front()));

    // The independent expansion.
    std::string expected = templateText.substr(0, std::min<size_t>(templateText.size(), 32000));
    expected = expected.substr(0, expected.find('\0'));
    const std::tm t = clock.LocalTime(now);
    static const char* const kDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                        "Thursday", "Friday", "Saturday"};
    const int hour12 = t.tm_hour % 12 == 0 ? 12 : t.tm_hour % 12;
    expected = Replaced(expected, "%NAT", values.natState);
    expected = Replaced(expected, "%NVIA", values.wanVia);
    expected = Replaced(expected, "%WI", values.currentWanIp);
    expected = Replaced(expected, "%I", values.currentLanIp);
    expected = Replaced(expected, "%D",
                        Format("%02d/%02d/%04d", t.tm_mon + 1, t.tm_mday, t.tm_year + 1900));
    expected = Replaced(
        expected, "%T",
        Format("%d:%02d:%02d", hour12, t.tm_min, t.tm_sec) + (t.tm_hour >= 12 ? " PM" : " AM"));
    expected = Replaced(expected, "%24T", Format("%02d:%02d:%02d", t.tm_hour, t.tm_min, t.tm_sec));
    expected = Replaced(expected, "%W", kDays[t.tm_wday]);
    expected = Replaced(expected, "%H", values.siteName);
    expected = Replaced(expected, "%S", values.connectionState);
    const size_t slash = values.statusIndicators.find('/');
    const std::string running =
        slash == std::string::npos ? "" : values.statusIndicators.substr(0, slash);
    const std::string stopped = slash == std::string::npos
                                    ? values.statusIndicators
                                    : values.statusIndicators.substr(slash + 1);
    int highest = -1;
    for (const auto& program : values.programs) {
        highest = std::max(highest, program.index);
    }
    for (int n = highest; n >= 0; --n) {
        const std::string token = "%P" + std::to_string(n);
        std::string word = stopped;
        for (const auto& program : values.programs) {
            if (program.tag == token) {
                word = finder(program.windowTitle) ? running : stopped;
                break;
            }
        }
        expected = Replaced(expected, token, word);
    }

    const std::string page = orvex::fuzz::ReadWholeFile(dir + "/page.html");
    FUZZ_CHECK(page == expected, "page " + Shown(page, 400) + " expected " + Shown(expected, 400) +
                                     " template " + Shown(templateText, 400));
    FUZZ_CHECK(orvex::fuzz::ReadWholeFile(dir + "/copy.html") == page, "local copy differs");
    FUZZ_CHECK(orvex::fuzz::ReadWholeFile(dir + "/address.txt") == values.currentWanIp,
               "address file differs");
    return 0;
}
