#include "address/WanAddress.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstdlib>
#include <chrono>
#include <fstream>
#include <mutex>

#include <curl/curl.h>

#include "address/LanAddress.h"
#include "platform/PathMap.h"
#include "platform/StatusTexts.h"
#include "platform/TextUtil.h"
#include "version/VersionInfo.h"

namespace orvex {

namespace {

struct BodySink {
    std::string body;
    bool full = false;
};

size_t CollectBody(char* data, size_t size, size_t count, void* user) {
    auto* sink = static_cast<BodySink*>(user);
    const size_t bytes = size * count;
    const size_t room = kMaxPageBytes - sink->body.size();
    if (bytes > room) {
        sink->body.append(data, room);
        sink->full = true;
        // Ends the transfer; the page read so far is kept.
        return 0;
    }
    sink->body.append(data, bytes);
    return bytes;
}

void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

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
    std::string answeredStatus;
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

// The host and port a URL names (the scheme's port when it names none).
void UrlServer(const std::string& url, std::string* server, int* port) {
    CURLU* parsed = curl_url();
    if (parsed == nullptr) {
        return;
    }
    if (curl_url_set(parsed, CURLUPART_URL, url.c_str(), CURLU_GUESS_SCHEME) == CURLUE_OK) {
        char* host = nullptr;
        if (curl_url_get(parsed, CURLUPART_HOST, &host, 0) == CURLUE_OK) {
            *server = host;
            curl_free(host);
        }
        char* number = nullptr;
        if (curl_url_get(parsed, CURLUPART_PORT, &number, CURLU_DEFAULT_PORT) == CURLUE_OK) {
            *port = std::atoi(number);
            curl_free(number);
        }
    }
    curl_url_cleanup(parsed);
}

// Why a request got no response, in the classes told to the user.
ConnectionFailure RequestFailure(CURL* curl, CURLcode code, const char* errorText, long boundMs) {
    const std::string words = errorText[0] != '\0' ? errorText : curl_easy_strerror(code);
    switch (code) {
        case CURLE_COULDNT_RESOLVE_HOST:
            return {FailureClass::kNameNotFound, 0, {}};
        case CURLE_COULDNT_CONNECT: {
            long error = 0;
            curl_easy_getinfo(curl, CURLINFO_OS_ERRNO, &error);
            if (error == 0) {
                return {FailureClass::kOther, 0, words};
            }
            return FailureOfErrno(static_cast<int>(error));
        }
        case CURLE_OPERATION_TIMEDOUT: {
            curl_off_t connectedAfter = 0;
            curl_easy_getinfo(curl, CURLINFO_CONNECT_TIME_T, &connectedAfter);
            return {connectedAfter > 0 ? FailureClass::kNoReply : FailureClass::kNoAnswer,
                    static_cast<int>((boundMs + 999) / 1000),
                    {}};
        }
        case CURLE_GOT_NOTHING:
        case CURLE_RECV_ERROR:
        case CURLE_PARTIAL_FILE:
            return {FailureClass::kClosed, 0, {}};
        case CURLE_SEND_ERROR:
            return {FailureClass::kSendFailed, 0, words};
        case CURLE_PEER_FAILED_VERIFICATION:
            return {FailureClass::kCertificate, 0, words};
        case CURLE_SSL_CONNECT_ERROR:
            return {FailureClass::kTls, 0, words};
        default:
            return {FailureClass::kOther, 0, words};
    }
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
    InitCurlOnce();
    HttpPage page;
    UrlServer(url, &page.server, &page.port);
    if (boundMs <= 0) {
        page.failure = {FailureClass::kNoAnswer, 0, {}};
        return page;
    }
    CURL* curl = curl_easy_init();
    if (curl == nullptr) {
        page.failure = {FailureClass::kOther, 0, "cannot start libcurl"};
        return page;
    }
    char errorText[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
    BodySink sink;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "Orvex");
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
    // The answer is the address of the family the request went over; an IPv6 answer is no
    // value for the IPv4 tokens, nor the other way round.
    curl_easy_setopt(curl, CURLOPT_IPRESOLVE,
                     family == IpFamily::kIPv6 ? CURL_IPRESOLVE_V6 : CURL_IPRESOLVE_V4);
    // Worker threads must not get signals from name resolution time-outs.
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, boundMs);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, boundMs);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, CollectBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    const CURLcode code = curl_easy_perform(curl);
    if (code == CURLE_OK || (code == CURLE_WRITE_ERROR && sink.full) ||
        (code == CURLE_OPERATION_TIMEDOUT && !sink.body.empty())) {
        page.ok = true;
        page.body = std::move(sink.body);
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &page.status);
    } else {
        page.failure = RequestFailure(curl, code, errorText, boundMs);
    }
    curl_easy_cleanup(curl);
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
    std::vector<std::string> failures;
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
            failures.push_back(PlainWordsStatus(
                "WAN address service " + services[i] + ": " +
                ServiceFailureWords(page, round.startDelimiter, round.endDelimiter, round.family)));
            continue;
        }
        if (i > 0) {
            host.Status(round.answeredStatus + services[i]);
        }
        return address;
    }
    // Told only when the lookup failed: a service that did not answer is no failure while
    // another one did.
    for (const std::string& failure : failures) {
        host.Status(failure);
    }
    return kNotAvailable;
}

}  // namespace

std::string GetWANIP(AddressState& state, Profile& settingsFile, const WanLookupSettings& settings,
                     Host& host, const std::string& workDir,
                     const std::vector<std::string>& defaults) {
    const std::string previous = ReadLastAddress(settingsFile, AddressKind::Wan);
    state.SetPreviousWANIP(previous);
    host.Status(status::kRequestingWanAddress);

    const ServiceRound round = RoundFor(settings, workDir, IpFamily::kIPv4);
    const std::string result = AskServices(
        LookupServices(settings.WANIPURL, settings.WANIPFallback, defaults), round, host);

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
                      const std::vector<std::string>& defaults) {
    const std::string previous = ReadLastAddress(settingsFile, AddressKind::Wan6);
    state.SetPreviousWANIP6(previous);

    const ServiceRound round = RoundFor(settings, workDir, IpFamily::kIPv6);
    // Every URL of WANIPURL6 is a service of its own, split by the fallback rules.
    std::vector<std::string> services = LookupServices("", settings.WANIPURL6, {});
    if (services.empty()) {
        services = defaults;
    }
    const std::string result = AskServices(services, round, host);

    std::string current = result;
    if (result == kNotAvailable && settings.UpdateOnNAIP != 1) {
        current = previous;
    }
    state.SetCurrentWANIP6(current);
    WriteLastAddress(settingsFile, AddressKind::Wan6, StoredForm(current));
    return current;
}

}  // namespace orvex
