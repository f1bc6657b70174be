#include "address/WanAddress.h"

#include <algorithm>
#include <fstream>
#include <mutex>

#include <curl/curl.h>

#include "address/LanAddress.h"
#include "platform/PathMap.h"
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

}  // namespace

WanLookupSettings WanLookupSettings::From(const AppSettings& settings) {
    WanLookupSettings lookup;
    lookup.WANIPURL = settings.WANIPURL;
    lookup.StartDelimiter = settings.StartDelimiter;
    lookup.EndDelimiter = settings.EndDelimiter;
    lookup.UpdateOnNAIP = settings.UpdateOnNAIP;
    lookup.DebugWANPage = settings.DebugWANPage;
    lookup.Timeout = settings.Timeout;
    return lookup;
}

HttpPage FetchPage(const std::string& url, int timeoutSeconds) {
    InitCurlOnce();
    HttpPage page;
    CURL* curl = curl_easy_init();
    if (curl == nullptr) {
        return page;
    }
    const long boundMs = std::max<long>(timeoutSeconds, kMinLookupSeconds) * 1000L;
    BodySink sink;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "Orvex");
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
    // The answer is the address of the family the request went over; an IPv6 answer is no
    // value for the IPv4 tokens.
    curl_easy_setopt(curl, CURLOPT_IPRESOLVE, CURL_IPRESOLVE_V4);
    // Worker threads must not get signals from name resolution time-outs.
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, boundMs);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, boundMs);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, CollectBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    const CURLcode code = curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    if (code == CURLE_OK || (code == CURLE_WRITE_ERROR && sink.full) ||
        (code == CURLE_OPERATION_TIMEDOUT && !sink.body.empty())) {
        page.ok = true;
        page.body = std::move(sink.body);
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

std::string GetWANIP(AddressState& state, Profile& settingsFile, const WanLookupSettings& settings,
                     Host& host, const std::string& workDir, const std::string& defaultUrlBase) {
    const std::string previous =
        settingsFile.GetString(kSectionAddress, kLastWanKey, "", kStoredAddressBuffer);
    state.SetPreviousWANIP(previous);
    host.Status(kRequestingWanStatus);

    std::string url = settings.WANIPURL.substr(0, kMaxValueLength);
    if (url.empty()) {
        url = defaultUrlBase + ProgramVersion();
    }

    std::string result = kNotAvailable;
    const HttpPage page = FetchPage(url, settings.Timeout);
    if (page.ok) {
        if (settings.DebugWANPage == "TRUE") {
            // A copy that cannot be written is skipped.
            std::ofstream copy(MapPath(workDir, kWanPageFile), std::ios::binary | std::ios::trunc);
            copy.write(page.body.data(), static_cast<std::streamsize>(page.body.size()));
        }
        result = CutAddress(page.body, settings.StartDelimiter, settings.EndDelimiter);
    }

    std::string current = result;
    if (result == kNotAvailable && settings.UpdateOnNAIP != 1) {
        current = previous;
    }
    state.SetCurrentWANIP(current);
    settingsFile.WriteString(kSectionAddress, kLastWanKey, StoredForm(current));
    return current;
}

}  // namespace orvex
