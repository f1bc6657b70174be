#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "platform/FailureSentence.h"
#include "platform/TlsSession.h"

namespace orvex {

enum class HttpMethod { kGet, kPost, kPut, kPatch, kDelete };

// Which addresses of the server's name may be used.
enum class HttpFamily { kAny, kIpv4, kIpv6 };

struct HttpRequest {
    HttpMethod method = HttpMethod::kGet;
    // http:// or https://; any other scheme is refused before anything is sent.
    std::string url;
    // "Name: value" pairs sent as they are (Content-Type, Authorization, X-Auth-Key, ...).
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    // Basic authentication when `user` is not empty; sent to the first host only.
    std::string user;
    std::string password;
    // The most of the answer's body that is kept; the rest is read and dropped.
    size_t maxBodyBytes = 64 * 1024;
    // The connection and the whole exchange are each bounded by this (the Timeout setting).
    int timeoutSeconds = 60;
    // When above 0, the bound in milliseconds instead of timeoutSeconds (what is left of a
    // caller's own deadline).
    long timeoutMs = 0;
    HttpFamily family = HttpFamily::kAny;
    // TLSVerify and TLSCAFile, as for mail and FTPS.
    TlsOptions tls;
};

struct HttpResponse {
    // An answer came, whatever its status; false means `failure` says why none came.
    bool reached = false;
    long status = 0;
    // The status line's words after the code ("Forbidden"), without control characters;
    // empty when the server gave none.
    std::string reason;
    // Header names in lower case, in the order they came (of the last answer after redirects).
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    bool bodyCut = false;  // the body was longer than maxBodyBytes
    // When the time bound ran out while the body was arriving, `failure` says so and `status`,
    // `headers` and the body so far are kept all the same.
    ConnectionFailure failure;
    // The server the failure concerns, for FailureSentence; empty when the address could not
    // be used at all (the detail then says why).
    std::string host;
    int port = 0;

    // The first header of that name (any case), empty when absent.
    std::string Header(const std::string& name) const;
    bool Ok() const { return reached && status >= 200 && status < 300; }
};

// Sends one request and waits, within the request's bounds, for its answer. Redirects are
// followed at most 5 times; an https request follows https redirects only. The agent is
// "Orvex/<version>". Proxies come from the environment (http_proxy, https_proxy, no_proxy).
// Safe to call from several threads at once.
HttpResponse SendHttp(const HttpRequest& request);

// The failure in the shared plain words: "host name not found: api.example.net", "no answer
// from api.example.net:443 within 15 s", "the certificate of ... was not accepted: ...", or
// for an answer with an error status "api.example.net:443 answered with an error: 403
// Forbidden" (`action` names what was refused, as FailureSentence does). Empty for a 2xx.
std::string HttpFailureSentence(const HttpResponse& response, const std::string& action = "");

// `url` as it is when it names a scheme ("...://"), else with `scheme` ("https") put in front.
std::string UrlWithScheme(const std::string& url, const std::string& scheme);

// The "Orvex/<version>" every request carries.
std::string HttpUserAgent();

}  // namespace orvex
