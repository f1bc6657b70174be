#pragma once

#include <string>
#include <vector>

#include "address/AddressState.h"
#include "platform/FailureSentence.h"
#include "platform/Host.h"
#include "platform/Profile.h"
#include "settings/AppSettings.h"
#include "settings/SettingsFile.h"

namespace orvex {

// The failure value of a lookup.
inline constexpr const char* kNotAvailable = "N/A";
// The copy of the first service's page written when DebugWANPage is "TRUE"; the n-th service's
// copy is "WANPage-n.html".
inline constexpr const char* kWanPageFile = "WANPage.html";
// Most of a response body that is read; the rest is left unread.
inline constexpr size_t kMaxPageBytes = 64 * 1024;
// Shortest bound on a whole lookup request, whatever Timeout says.
inline constexpr int kMinLookupSeconds = 5;

// Built-in lookup services, asked when WANIPURL is empty: public pages over HTTPS whose whole
// answer is the caller's address as plain text (listed in the README).
const std::vector<std::string>& BuiltInWanServices();
// The same for IPv6, asked when WANIPURL6 is empty.
const std::vector<std::string>& BuiltInWanServices6();
// Host message naming the service that answered, sent only when it was not the first asked.

// The settings a WAN lookup uses, copied when the cycle starts.
struct WanLookupSettings {
    std::string WANIPURL;
    // Further services, blank-separated, asked in turn after WANIPURL (or the built-in list).
    std::string WANIPFallback;
    // Services asked over IPv6, blank-separated; empty: the built-in list.
    std::string WANIPURL6;
    std::string StartDelimiter;
    std::string EndDelimiter;
    int UpdateOnNAIP = 1;
    std::string DebugWANPage;
    int Timeout = 15;

    static WanLookupSettings From(const AppSettings& settings);
};

// The result of one HTTP GET: `ok` when a response came (whatever its status code); `body` holds
// at most kMaxPageBytes of it, `status` is the response's status code. Without a response,
// `failure` says why and `server` / `port` name the machine asked.
struct HttpPage {
    bool ok = false;
    std::string body;
    long status = 0;
    ConnectionFailure failure;
    std::string server;
    int port = 0;
};

// Which family a request goes over; the answer is the address of that family.
enum class IpFamily { kIPv4, kIPv6 };

// GET `url` (http:// when it names no scheme) over `family` only, through SendHttp: redirects
// followed at most 5 times, an https request to https addresses only. The whole request is
// bounded by `boundMs`; a body still arriving at the bound is cut there and counts as read, a
// request with no body by then has failed. The program's proxy settings do not apply; the usual
// proxy environment variables do.
HttpPage FetchPage(const std::string& url, long boundMs, IpFamily family = IpFamily::kIPv4);

// The address in `page`: the text after the first `startDelimiter` up to the first
// `endDelimiter` after it, blanks trimmed at both ends (case-sensitive; nothing else checked).
// "N/A" when either delimiter is missing.
std::string CutAddress(const std::string& page, const std::string& startDelimiter,
                       const std::string& endDelimiter);

// The address a service answered: cut by the delimiters when both occur in `page` (in that
// order), else the whole page trimmed; "" unless the text is an address of `family` in the
// numeric form (dotted IPv4, or IPv6 text).
std::string CheckedAnswer(const std::string& page, const std::string& startDelimiter,
                          const std::string& endDelimiter, IpFamily family);

// The services in the order they are asked: `first` (or `defaults` when `first` is empty),
// then the blank-separated URLs of `fallback`.
std::vector<std::string> LookupServices(const std::string& first, const std::string& fallback,
                                        const std::vector<std::string>& defaults);

// What a service's `page` came to, in plain words, when it gave no address of `family`:
// "127.0.0.1:8421 refused the connection", "answered, but not with an IPv4 address (HTTP 404)";
// empty when it gave one.
std::string ServiceFailureWords(const HttpPage& page, const std::string& startDelimiter,
                                const std::string& endDelimiter, IpFamily family);

// Finds the machine's public address by asking lookup services in turn. In order:
// PreviousWANIP := the stored last WAN address (at most 20 characters); the status message
// "P10009 Requesting WAN IP address..." goes to `host`; the services (LookupServices of
// WANIPURL, WANIPFallback and `defaults`) are asked one after another over IPv4, each within
// Timeout (at least kMinLookupSeconds) and all within twice that, until one gives a checked
// address; with DebugWANPage exactly "TRUE" each page received is written to "WANPage.html"
// (first service), "WANPage-2.html" (second) and so on in `workDir`. When the address came from
// a service other than the first, "P10010 WAN IP address from <url>" goes to `host`. No address
// gives "N/A"; CurrentWANIP is then "N/A" when UpdateOnNAIP is 1 and PreviousWANIP otherwise.
// CurrentWANIP is stored as the last WAN address and returned. When no service gave an address,
// each one asked is then reported as "P WAN address service <url>: " and its
// ServiceFailureWords. Reports nothing else and never fails otherwise. `answered`, when given,
// tells whether a service gave an address.
std::string GetWANIP(AddressState& state, Profile& settingsFile, const WanLookupSettings& settings,
                     Host& host, const std::string& workDir,
                     const std::vector<std::string>& defaults = BuiltInWanServices(),
                     bool* answered = nullptr);

// The services GetWANIP (IPv4) or GetWANIP6 (IPv6) asks, asked by the same rules and with the
// same messages, but nothing read or stored: the checked address, or "N/A".
std::string AskWanServices(const WanLookupSettings& settings, Host& host,
                           const std::string& workDir, const std::vector<std::string>& defaults,
                           IpFamily family);

// The IPv6 twin of GetWANIP, without a status message of its own (a failed lookup tells its
// services' failures the same way): PreviousWANIP6 := the stored
// "LastWANIP6"; the services of WANIPURL6 (or `defaults` when it is empty) are asked over IPv6
// by the same rules, their debug copies named "WANPage6.html", "WANPage6-2.html", ...; the
// answer must be IPv6 text. The result (with UpdateOnNAIP's rule) is stored as "LastWANIP6".
std::string GetWANIP6(AddressState& state, Profile& settingsFile, const WanLookupSettings& settings,
                      Host& host, const std::string& workDir,
                      const std::vector<std::string>& defaults = BuiltInWanServices6(),
                      bool* answered = nullptr);

}  // namespace orvex
