#include "platform/HttpClient.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <memory>

#include <openssl/ssl.h>
#include <openssl/x509.h>

#include "platform/CurlLibrary.h"
#include "platform/TextUtil.h"
#include "platform/TrustStore.h"

namespace orvex {

namespace {

constexpr long kMaxRedirects = 5;
// Longest status reason kept; anything longer is no reason phrase.
constexpr size_t kMaxReasonLength = 100;

std::string LowerCase(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

// A peer's text without control characters, cut to `limit` bytes.
std::string Printable(const std::string& text, size_t limit) {
    std::string out;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (out.size() == limit) {
            break;
        }
        out += (byte < 0x20 || byte == 0x7F) ? ' ' : c;
    }
    return TrimBlanks(out);
}

// What one exchange collects while libcurl runs it.
struct Exchange {
    const CurlFunctions* lib = nullptr;
    CURL* curl = nullptr;
    HttpResponse* response = nullptr;
    // The address whose answer came last: the server that redirected, when a redirect is
    // refused.
    std::string answeredUrl;
    size_t maxBodyBytes = 0;
    // Why the TLS set-up refused to go on, when it did.
    std::string tlsSetupFailure;
    const TlsOptions* tls = nullptr;
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto* exchange = static_cast<Exchange*>(user);
    HttpResponse& response = *exchange->response;
    const size_t bytes = size * count;
    const size_t room =
        exchange->maxBodyBytes - std::min(exchange->maxBodyBytes, response.body.size());
    if (bytes > room) {
        response.bodyCut = true;
    }
    response.body.append(data, std::min(bytes, room));
    // The rest is taken and dropped, so a long answer still ends as a whole answer.
    return bytes;
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    auto* exchange = static_cast<Exchange*>(user);
    HttpResponse& response = *exchange->response;
    const size_t bytes = size * count;
    std::string line(data, bytes);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.pop_back();
    }
    if (line.rfind("HTTP/", 0) == 0) {
        // A new answer (after a redirect, a proxy's CONNECT or a 100 Continue): only the last
        // one counts.
        response.headers.clear();
        response.body.clear();
        const char* url = nullptr;
        if (exchange->lib->easy_getinfo(exchange->curl, CURLINFO_EFFECTIVE_URL, &url) == CURLE_OK &&
            url != nullptr) {
            exchange->answeredUrl = url;
        }
        response.bodyCut = false;
        const size_t code = line.find(' ');
        const size_t words = code == std::string::npos ? code : line.find(' ', code + 1);
        response.reason =
            words == std::string::npos ? "" : Printable(line.substr(words + 1), kMaxReasonLength);
        return bytes;
    }
    const size_t colon = line.find(':');
    if (colon != std::string::npos && colon > 0) {
        response.headers.emplace_back(LowerCase(TrimBlanks(line.substr(0, colon))),
                                      TrimBlanks(line.substr(colon + 1)));
    }
    return bytes;
}

// Trusts what TlsSession trusts: the system store (SSL_CERT_FILE and SSL_CERT_DIR honoured)
// and the TLSCAFile besides it.
CURLcode OnSslContext(CURL*, void* context, void* user) {
    auto* exchange = static_cast<Exchange*>(user);
    auto* ssl = static_cast<SSL_CTX*>(context);
    if (!TrustSystemStore(ssl, exchange->tls->caFile, &exchange->tlsSetupFailure)) {
        return CURLE_SSL_CACERT_BADFILE;
    }
    return CURLE_OK;
}

struct UrlParts {
    bool ok = false;
    std::string scheme;
    std::string host;
    int port = 0;
    std::string error;
};

UrlParts ReadUrl(const CurlFunctions& lib, const std::string& url) {
    UrlParts parts;
    std::unique_ptr<CURLU, decltype(lib.url_cleanup)> parsed(lib.url(), lib.url_cleanup);
    if (!parsed) {
        parts.error = "out of memory";
        return parts;
    }
    const CURLUcode set = lib.url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0);
    if (set != CURLUE_OK) {
        parts.error = lib.url_strerror(set);
        return parts;
    }
    auto get = [&](CURLUPart part, unsigned flags) {
        char* text = nullptr;
        std::string value;
        if (lib.url_get(parsed.get(), part, &text, flags) == CURLUE_OK) {
            value = text;
            lib.free(text);
        }
        return value;
    };
    parts.scheme = LowerCase(get(CURLUPART_SCHEME, 0));
    parts.host = get(CURLUPART_HOST, 0);
    parts.port = std::atoi(get(CURLUPART_PORT, CURLU_DEFAULT_PORT).c_str());
    parts.ok = true;
    return parts;
}

// Why an exchange got no answer, in the classes told to the user.
ConnectionFailure RequestFailure(const CurlFunctions& lib, CURL* curl, CURLcode code,
                                 const std::string& words, long boundMs, const Exchange& exchange) {
    switch (code) {
        case CURLE_COULDNT_RESOLVE_HOST:
            return {FailureClass::kNameNotFound, 0, {}};
        case CURLE_COULDNT_CONNECT: {
            long error = 0;
            lib.easy_getinfo(curl, CURLINFO_OS_ERRNO, &error);
            if (error == 0) {
                return {FailureClass::kOther, 0, words};
            }
            return FailureOfErrno(static_cast<int>(error));
        }
        case CURLE_OPERATION_TIMEDOUT: {
            curl_off_t connectedAfter = 0;
            lib.easy_getinfo(curl, CURLINFO_CONNECT_TIME_T, &connectedAfter);
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
        case CURLE_PEER_FAILED_VERIFICATION: {
            // The certificate check's own words, as TlsSession gives them.
            long verified = X509_V_OK;
            lib.easy_getinfo(curl, CURLINFO_SSL_VERIFYRESULT, &verified);
            if (verified != X509_V_OK) {
                return {FailureClass::kCertificate, 0, X509_verify_cert_error_string(verified)};
            }
            return {FailureClass::kCertificate, 0, words};
        }
        case CURLE_SSL_CACERT_BADFILE:
            return {FailureClass::kTls, 0,
                    exchange.tlsSetupFailure.empty() ? words : exchange.tlsSetupFailure};
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_ENGINE_INITFAILED:
            return {FailureClass::kTls, 0, words};
        case CURLE_TOO_MANY_REDIRECTS:
            return {FailureClass::kOther, 0,
                    "more than " + std::to_string(kMaxRedirects) + " redirects"};
        case CURLE_UNSUPPORTED_PROTOCOL: {
            // The scheme asked for was checked before; only a redirect can lead elsewhere.
            const char* target = nullptr;
            lib.easy_getinfo(curl, CURLINFO_EFFECTIVE_URL, &target);
            const UrlParts to = ReadUrl(lib, target != nullptr ? target : "");
            if (exchange.answeredUrl.empty() || !to.ok) {
                return {FailureClass::kOther, 0, words};
            }
            // Only where it led: the path and query may carry a secret.
            return {FailureClass::kOther, 0,
                    "it redirected to " + to.scheme + "://" + ServerAndPort(to.host, to.port) +
                        ", which a request over https does not follow"};
        }
        default:
            return {FailureClass::kOther, 0, words};
    }
}

struct CurlDeleter {
    const CurlFunctions* lib;
    void operator()(CURL* curl) const { lib->easy_cleanup(curl); }
};
struct ListDeleter {
    const CurlFunctions* lib;
    void operator()(curl_slist* list) const { lib->slist_free_all(list); }
};

const char* MethodName(HttpMethod method) {
    switch (method) {
        case HttpMethod::kGet:
            return "GET";
        case HttpMethod::kPost:
            return "POST";
        case HttpMethod::kPut:
            return "PUT";
        case HttpMethod::kPatch:
            return "PATCH";
        case HttpMethod::kDelete:
            return "DELETE";
    }
    return "GET";
}

bool HasLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

}  // namespace

std::string HttpResponse::Header(const std::string& name) const {
    const std::string wanted = LowerCase(name);
    for (const auto& [key, value] : headers) {
        if (key == wanted) {
            return value;
        }
    }
    return "";
}

std::string HttpUserAgent() {
    return std::string("Orvex/") + ORVEX_VERSION_TEXT;
}

std::string UrlWithScheme(const std::string& url, const std::string& scheme) {
    // A scheme is letters first, then letters, digits, "+", "-" or "."; a "://" after
    // anything else (a query's own address) does not count.
    const size_t end = url.find("://");
    bool named = end != std::string::npos && end > 0 &&
                 std::isalpha(static_cast<unsigned char>(url[0])) != 0;
    for (size_t i = 0; named && i < end; ++i) {
        const auto c = static_cast<unsigned char>(url[i]);
        named = std::isalnum(c) != 0 || c == '+' || c == '-' || c == '.';
    }
    return named ? url : scheme + "://" + url;
}

HttpResponse SendHttp(const HttpRequest& request) {
    HttpResponse response;
    CurlLease lease;
    if (!lease.Loaded()) {
        response.failure = {FailureClass::kOther, 0, lease.Failure()};
        return response;
    }
    const CurlFunctions& lib = *lease.operator->();
    const UrlParts parts = ReadUrl(lib, request.url);
    if (!parts.ok) {
        // libcurl's own words for an address it cannot read.
        response.failure = {FailureClass::kOther, 0, lib.easy_strerror(CURLE_URL_MALFORMAT)};
        return response;
    }
    if (parts.scheme != "http" && parts.scheme != "https") {
        response.failure = {FailureClass::kOther, 0, "only http and https are spoken"};
        return response;
    }
    response.host = parts.host;
    response.port = parts.port;
    for (const auto& [name, value] : request.headers) {
        // A line break would let a value add headers of its own.
        if (name.empty() || HasLineBreak(name) || HasLineBreak(value) ||
            name.find(':') != std::string::npos) {
            response.failure = {FailureClass::kOther, 0,
                                "not a usable header: " + Printable(name, 100)};
            return response;
        }
    }
    const long boundMs = request.timeoutMs > 0 ? request.timeoutMs : request.timeoutSeconds * 1000L;
    if (boundMs <= 0) {
        response.failure = {FailureClass::kNoAnswer, 0, {}};
        return response;
    }
    std::unique_ptr<CURL, CurlDeleter> handle(lib.easy_init(), CurlDeleter{&lib});
    if (!handle) {
        response.failure = {FailureClass::kOther, 0, "cannot start libcurl"};
        return response;
    }
    CURL* curl = handle.get();
    Exchange exchange;
    exchange.lib = &lib;
    exchange.curl = curl;
    exchange.response = &response;
    exchange.maxBodyBytes = request.maxBodyBytes;
    exchange.tls = &request.tls;
    char errorText[CURL_ERROR_SIZE] = {};
    const std::string agent = HttpUserAgent();

    lib.easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
    lib.easy_setopt(curl, CURLOPT_URL, request.url.c_str());
    lib.easy_setopt(curl, CURLOPT_USERAGENT, agent.c_str());
    lib.easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    // No quiet downgrade: what was asked over https stays on https.
    lib.easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR,
                    parts.scheme == "https" ? "https" : "http,https");
    lib.easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    lib.easy_setopt(curl, CURLOPT_MAXREDIRS, kMaxRedirects);
    // Worker threads must not get signals from name resolution time-outs.
    lib.easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    lib.easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, boundMs);
    lib.easy_setopt(curl, CURLOPT_TIMEOUT_MS, boundMs);
    lib.easy_setopt(curl, CURLOPT_IPRESOLVE,
                    request.family == HttpFamily::kIpv4   ? CURL_IPRESOLVE_V4
                    : request.family == HttpFamily::kIpv6 ? CURL_IPRESOLVE_V6
                                                          : CURL_IPRESOLVE_WHATEVER);
    lib.easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnBody);
    lib.easy_setopt(curl, CURLOPT_WRITEDATA, &exchange);
    lib.easy_setopt(curl, CURLOPT_HEADERFUNCTION, OnHeader);
    lib.easy_setopt(curl, CURLOPT_HEADERDATA, &exchange);

    if (request.tls.verify) {
        lib.easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
        lib.easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
        // The trusted set is made for each request, never shared with another one.
        lib.easy_setopt(curl, CURLOPT_CA_CACHE_TIMEOUT, 0L);
        if (lib.easy_setopt(curl, CURLOPT_SSL_CTX_FUNCTION, OnSslContext) == CURLE_OK) {
            lib.easy_setopt(curl, CURLOPT_SSL_CTX_DATA, &exchange);
            // The hook trusts what is needed; libcurl's own default would read the whole
            // system bundle first.
            lib.easy_setopt(curl, CURLOPT_CAINFO, nullptr);
            lib.easy_setopt(curl, CURLOPT_CAPATH, nullptr);
        } else if (!request.tls.caFile.empty()) {
            // A TLS library without that hook: the file then stands for the system store.
            lib.easy_setopt(curl, CURLOPT_CAINFO, request.tls.caFile.c_str());
        }
    } else {
        lib.easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
        lib.easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
    }

    switch (request.method) {
        case HttpMethod::kGet:
            lib.easy_setopt(curl, CURLOPT_HTTPGET, 1L);
            break;
        case HttpMethod::kPost:
            lib.easy_setopt(curl, CURLOPT_POST, 1L);
            break;
        default:
            lib.easy_setopt(curl, CURLOPT_CUSTOMREQUEST, MethodName(request.method));
            break;
    }
    if (request.method != HttpMethod::kGet &&
        (request.method != HttpMethod::kDelete || !request.body.empty())) {
        lib.easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE,
                        static_cast<curl_off_t>(request.body.size()));
        lib.easy_setopt(curl, CURLOPT_POSTFIELDS, request.body.c_str());
    }

    curl_slist* list = nullptr;
    for (const auto& [name, value] : request.headers) {
        // "Name;" is how libcurl is told to send a header with an empty value.
        const std::string line = value.empty() ? name + ";" : name + ": " + value;
        list = lib.slist_append(list, line.c_str());
    }
    // The body goes at once; no waiting for a "100 Continue" first.
    list = lib.slist_append(list, "Expect:");
    std::unique_ptr<curl_slist, ListDeleter> headerList(list, ListDeleter{&lib});
    lib.easy_setopt(curl, CURLOPT_HTTPHEADER, headerList.get());

    if (!request.user.empty()) {
        lib.easy_setopt(curl, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
        lib.easy_setopt(curl, CURLOPT_USERNAME, request.user.c_str());
        lib.easy_setopt(curl, CURLOPT_PASSWORD, request.password.c_str());
        // Credentials never follow a redirect to another host.
        lib.easy_setopt(curl, CURLOPT_UNRESTRICTED_AUTH, 0L);
    }

    const CURLcode code = lib.easy_perform(curl);
    lib.easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &response.status);
    // The failure concerns the server last asked, after any redirects; a refused redirect,
    // the server that gave it.
    const char* last = nullptr;
    if (lib.easy_getinfo(curl, CURLINFO_EFFECTIVE_URL, &last) == CURLE_OK && last != nullptr) {
        const bool redirectRefused =
            code == CURLE_UNSUPPORTED_PROTOCOL && !exchange.answeredUrl.empty();
        const UrlParts lastParts = ReadUrl(lib, redirectRefused ? exchange.answeredUrl : last);
        if (lastParts.ok && !lastParts.host.empty()) {
            response.host = lastParts.host;
            response.port = lastParts.port;
        }
    }
    if (code == CURLE_OK) {
        response.reached = true;
        return response;
    }
    KeepCurlIfLookupLeftRunning(lease, curl, code);
    std::string words = errorText[0] != '\0' ? errorText : lib.easy_strerror(code);
    words = Printable(words, 300);
    response.failure = RequestFailure(lib, curl, code, words, boundMs, exchange);
    return response;
}

std::string HttpFailureSentence(const HttpResponse& response, const std::string& action) {
    if (!response.reached) {
        if (response.host.empty()) {
            return "not a usable address (" + response.failure.detail + ")";
        }
        return FailureSentence(response.host, response.port, response.failure, action);
    }
    if (response.Ok()) {
        return "";
    }
    ConnectionFailure refused;
    refused.kind = FailureClass::kServerRefused;
    refused.detail = std::to_string(response.status);
    if (!response.reason.empty()) {
        refused.detail += " " + response.reason;
    }
    return FailureSentence(response.host, response.port, refused, action);
}

}  // namespace orvex
