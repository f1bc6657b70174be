#include "address/WanAddress.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <chrono>
#include <fstream>

#include "address/LanAddress.h"
#include "platform/HttpClient.h"
#include "platform/PathMap.h"
#include "platform/StatusTexts.h"
#include "platform/TextUtil.h"

namespace orvex {

namespace {

// The stored form of an address text. The value is stored whole but must stay one line: a
// line break in it (a hostile or misconfigured page) would add lines to the settings file.
std::string StoredForm(const std::string& text) {
    return text.substr(0, text.find_first_of("\r\n"));
}

// One round of service requests: the family asked, how answers are cut and checked, where the
// debug copies go and what names the service that answered.
struct ServiceRound {
    IpFamily family = IpFamily::kIPv4;
    std::string startDelimiter;
    std::string endDelimiter;
    int timeoutSeconds = 15;
    bool debugCopies = false;
    std::string workDir;
    std::string pageFile;
    const char* answeredStatus = "";
};

// One family's lookup: the same cut, bound and debug copies; its own page file and status.
ServiceRound RoundFor(const WanLookupSettings& settings, const std::string& workDir,
                      IpFamily family) {
    const bool v6 = family == IpFamily::kIPv6;
    ServiceRound round;
    round.family = family;
    round.startDelimiter = settings.StartDelimiter;
    round.endDelimiter = settings.EndDelimiter;
    round.timeoutSeconds = settings.Timeout;
    round.debugCopies = settings.DebugWANPage == "TRUE";
    round.workDir = workDir;
    round.pageFile = v6 ? "WANPage6" : "WANPage";
    round.answeredStatus = v6 ? status::kWan6AddressFromPrefix : status::kWanAddressFromPrefix;
    return round;
}

// Asks `services` in turn until one gives a checked address; "N/A" when none does.
std::string AskServices(const std::vector<std::string>& services, const ServiceRound& round,
                        Host& host);

}  // namespace

WanLookupSettings WanLookupSettings::From(const AppSettings& settings) {
    WanLookupSettings lookup;
    lookup.WANIPURL = settings.WANIPURL;
    lookup.WANIPFallback = settings.WANIPFallback;
    lookup.WANIPURL6 = settings.WANIPURL6;
    lookup.StartDelimiter = settings.StartDelimiter;
    lookup.EndDelimiter = settings.EndDelimiter;
    lookup.UpdateOnNAIP = settings.UpdateOnNAIP;
    lookup.DebugWANPage = settings.DebugWANPage;
    lookup.Timeout = settings.Timeout;
    return lookup;
}

const std::vector<std::string>& BuiltInWanServices() {
    static const std::vector<std::string> services = {
        "https://api.ipify.org",
        "https://ipv4.icanhazip.com",
        "https://checkip.amazonaws.com",
        "https://ifconfig.me/ip",
    };
    return services;
}

const std::vector<std::string>& BuiltInWanServices6() {
    static const std::vector<std::string> services = {
        "https://api6.ipify.org",
        "https://ipv6.icanhazip.com",
    };
    return services;
}

HttpPage FetchPage(const std::string& url, long boundMs, IpFamily family) {
    HttpPage page;
    if (boundMs <= 0) {
        page.failure = {FailureClass::kNoAnswer, 0, {}};
        return page;
    }
    HttpRequest request;
    // An address written without a scheme is asked over http, as it always was.
    request.url = UrlWithScheme(url, "http");
    request.timeoutMs = boundMs;
    request.maxBodyBytes = kMaxPageBytes;
    // The answer is the address of the family the request went over; an IPv6 answer is no
    // value for the IPv4 tokens, nor the other way round.
    request.family = family == IpFamily::kIPv6 ? HttpFamily::kIpv6 : HttpFamily::kIpv4;
    HttpResponse response = SendHttp(request);
    page.server = response.host;
    page.port = response.port;
    // A body still arriving at the bound is cut there and counts as read.
    const bool cutByTime = !response.reached && !response.body.empty() &&
                           response.failure.kind == FailureClass::kNoReply;
    if (response.reached || cutByTime) {
        page.ok = true;
        page.status = response.status;
        page.body = std::move(response.body);
    } else {
        page.failure = response.failure;
    }
    return page;
}

std::string CutAddress(const std::string& page, const std::string& startDelimiter,
                       const std::string& endDelimiter) {
    const size_t start = page.find(startDelimiter);
    if (start == std::string::npos) {
        return kNotAvailable;
    }
    const size_t from = start + startDelimiter.size();
    const size_t end = page.find(endDelimiter, from);
    if (end == std::string::npos) {
        return kNotAvailable;
    }
    return TrimBlanks(page.substr(from, end - from));
}

std::string CheckedAnswer(const std::string& page, const std::string& startDelimiter,
                          const std::string& endDelimiter, IpFamily family) {
    std::string text = CutAddress(page, startDelimiter, endDelimiter);
    if (text == kNotAvailable) {
        // A plain-text service answers with the address alone.
        text = TrimBlanks(page);
    }
    in6_addr bytes{};
    const int af = family == IpFamily::kIPv6 ? AF_INET6 : AF_INET;
    if (text.empty() || ::inet_pton(af, text.c_str(), &bytes) != 1) {
        return "";
    }
    return text;
}

std::string ServiceFailureWords(const HttpPage& page, const std::string& startDelimiter,
                                const std::string& endDelimiter, IpFamily family) {
    if (!page.ok && page.server.empty()) {
        return "not a usable address (" + page.failure.detail + ")";
    }
    if (!page.ok) {
        return FailureSentence(page.server, page.port, page.failure);
    }
    if (!CheckedAnswer(page.body, startDelimiter, endDelimiter, family).empty()) {
        return "";
    }
    std::string words = family == IpFamily::kIPv6 ? "answered, but not with an IPv6 address"
                                                  : "answered, but not with an IPv4 address";
    if (page.status >= 300) {
        words += " (HTTP " + std::to_string(page.status) + ")";
    }
    return words;
}

std::vector<std::string> LookupServices(const std::string& first, const std::string& fallback,
                                        const std::vector<std::string>& defaults) {
    std::vector<std::string> services;
    const std::string url = first.substr(0, kMaxValueLength);
    if (url.empty()) {
        services = defaults;
    } else {
        services.push_back(url);
    }
    size_t pos = 0;
    while (pos < fallback.size()) {
        while (pos < fallback.size() && IsBlank(fallback[pos])) {
            ++pos;
        }
        size_t end = pos;
        while (end < fallback.size() && !IsBlank(fallback[end])) {
            ++end;
        }
        if (end > pos) {
            services.push_back(fallback.substr(pos, end - pos));
        }
        pos = end;
    }
    return services;
}

namespace {

std::string AskServices(const std::vector<std::string>& services, const ServiceRound& round,
                        Host& host) {
    using Clock = std::chrono::steady_clock;
    const long perServiceMs = std::max<long>(round.timeoutSeconds, kMinLookupSeconds) * 1000L;
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(2 * perServiceMs);
    std::vector<HostMessage> failures;
    for (size_t i = 0; i < services.size(); ++i) {
        const long leftMs = static_cast<long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count());
        // A request given less than a second could hardly finish; the lookup ends instead.
        if (leftMs < 1000) {
            break;
        }
        const HttpPage page = FetchPage(services[i], std::min(perServiceMs, leftMs), round.family);
        if (page.ok && round.debugCopies) {
            const std::string name = i == 0
                                         ? round.pageFile + ".html"
                                         : round.pageFile + "-" + std::to_string(i + 1) + ".html";
            // A copy that cannot be written is skipped.
            std::ofstream copy(MapPath(round.workDir, name), std::ios::binary | std::ios::trunc);
            copy.write(page.body.data(), static_cast<std::streamsize>(page.body.size()));
        }
        const std::string address = page.ok ? CheckedAnswer(page.body, round.startDelimiter,
                                                            round.endDelimiter, round.family)
                                            : "";
        if (address.empty()) {
            failures.push_back(HostMessage::Sentence(
                "WAN address service " + services[i] + ": " +
                ServiceFailureWords(page, round.startDelimiter, round.endDelimiter, round.family)));
            continue;
        }
        if (i > 0) {
            host.Status(HostMessage::Coded(round.answeredStatus, services[i]));
        }
        return address;
    }
    // Told only when the lookup failed: a service that did not answer is no failure while
    // another one did.
    for (const HostMessage& failure : failures) {
        host.Status(failure);
    }
    return kNotAvailable;
}

}  // namespace

std::string AskWanServices(const WanLookupSettings& settings, Host& host,
                           const std::string& workDir, const std::vector<std::string>& defaults,
                           IpFamily family) {
    const ServiceRound round = RoundFor(settings, workDir, family);
    if (family == IpFamily::kIPv4) {
        return AskServices(LookupServices(settings.WANIPURL, settings.WANIPFallback, defaults),
                           round, host);
    }
    // Every URL of WANIPURL6 is a service of its own, split by the fallback rules.
    std::vector<std::string> services = LookupServices("", settings.WANIPURL6, {});
    if (services.empty()) {
        services = defaults;
    }
    return AskServices(services, round, host);
}

std::string GetWANIP(AddressState& state, Profile& settingsFile, const WanLookupSettings& settings,
                     Host& host, const std::string& workDir,
                     const std::vector<std::string>& defaults, bool* answered) {
    const std::string previous = ReadLastAddress(settingsFile, AddressKind::Wan);
    state.SetPreviousWANIP(previous);
    host.Status(HostMessage::Coded(status::kRequestingWanAddress));

    const std::string result = AskWanServices(settings, host, workDir, defaults, IpFamily::kIPv4);

    if (answered != nullptr) {
        *answered = result != kNotAvailable;
    }
    std::string current = result;
    if (result == kNotAvailable && settings.UpdateOnNAIP != 1) {
        current = previous;
    }
    state.SetCurrentWANIP(current);
    WriteLastAddress(settingsFile, AddressKind::Wan, StoredForm(current));
    return current;
}

std::string GetWANIP6(AddressState& state, Profile& settingsFile, const WanLookupSettings& settings,
                      Host& host, const std::string& workDir,
                      const std::vector<std::string>& defaults, bool* answered) {
    const std::string previous = ReadLastAddress(settingsFile, AddressKind::Wan6);
    state.SetPreviousWANIP6(previous);

    const std::string result = AskWanServices(settings, host, workDir, defaults, IpFamily::kIPv6);

    if (answered != nullptr) {
        *answered = result != kNotAvailable;
    }
    std::string current = result;
    if (result == kNotAvailable && settings.UpdateOnNAIP != 1) {
        current = previous;
    }
    state.SetCurrentWANIP6(current);
    WriteLastAddress(settingsFile, AddressKind::Wan6, StoredForm(current));
    return current;
}

}  // namespace orvex
