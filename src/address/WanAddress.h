#pragma once

#include <string>

#include "address/AddressState.h"
#include "platform/Host.h"
#include "platform/Profile.h"
#include "settings/AppSettings.h"
#include "settings/SettingsFile.h"

namespace orvex {

// Key of section "IPAddress" holding the address found by the latest WAN lookup.
inline constexpr const char* kLastWanKey = "LastWANIP";
// The failure value of a lookup.
inline constexpr const char* kNotAvailable = "N/A";
inline constexpr const char* kRequestingWanStatus = "P10009 Requesting WAN IP address...";
// The copy of the returned page written when DebugWANPage is "TRUE".
inline constexpr const char* kWanPageFile = "WANPage.html";
// Most of a response body that is read; the rest is left unread.
inline constexpr size_t kMaxPageBytes = 64 * 1024;
// Shortest bound on a whole lookup request, whatever Timeout says.
inline constexpr int kMinLookupSeconds = 5;

// The settings a WAN lookup uses, copied when the cycle starts.
struct WanLookupSettings {
    std::string WANIPURL;
    std::string StartDelimiter;
    std::string EndDelimiter;
    int UpdateOnNAIP = 1;
    std::string DebugWANPage;
    int Timeout = 15;

    static WanLookupSettings From(const AppSettings& settings);
};

// The result of one HTTP GET: `ok` when a response came (whatever its status code); `body` holds
// at most kMaxPageBytes of it.
struct HttpPage {
    bool ok = false;
    std::string body;
};

// GET `url` over IPv4 with the agent name "Orvex", following redirects over HTTP and HTTPS only.
// The whole request is bounded by `timeoutSeconds` (at least kMinLookupSeconds); a body still
// arriving at the bound is cut there and counts as read, a request with no body by then has
// failed. The program's proxy settings do not apply; the usual proxy environment variables do.
HttpPage FetchPage(const std::string& url, int timeoutSeconds);

// The address in `page`: the text after the first `startDelimiter` up to the first
// `endDelimiter` after it, blanks trimmed at both ends (case-sensitive; nothing else checked).
// "N/A" when either delimiter is missing.
std::string CutAddress(const std::string& page, const std::string& startDelimiter,
                       const std::string& endDelimiter);

// Finds the machine's public address by asking an echo page. In order: PreviousWANIP := the
// stored "LastWANIP" (at most 20 characters); the status message "P10009 Requesting WAN IP
// address..." goes to `host`; the page is fetched (WANIPURL as given, or `defaultUrlBase` plus
// the program's version when WANIPURL is empty); with DebugWANPage exactly "TRUE" the body is
// written to "WANPage.html" in `workDir`; the address is cut out. A failed lookup gives "N/A";
// CurrentWANIP is then "N/A" when UpdateOnNAIP is 1 and PreviousWANIP otherwise. CurrentWANIP
// is stored as "LastWANIP" and returned. Reports nothing else and never fails otherwise.
std::string GetWANIP(AddressState& state, Profile& settingsFile, const WanLookupSettings& settings,
                     Host& host, const std::string& workDir,
                     const std::string& defaultUrlBase = kDefaultLookupUrl);

}  // namespace orvex
