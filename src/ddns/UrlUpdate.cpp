#include "ddns/UrlUpdate.h"

#include <utility>

#include "ddns/ProviderText.h"
#include "platform/HttpClient.h"

namespace orvex::ddns {

namespace {

// `url` without the query parameters "name=<address token>" whose address is unknown.
std::string WithoutUnknownAddresses(const std::string& url, const UrlTokenValues& values) {
    const size_t query = url.find('?');
    if (query == std::string::npos) {
        return url;
    }
    const std::pair<const char*, const std::string*> addresses[] = {
        {"%WI6", &values.addresses.wan6},
        {"%WI", &values.addresses.wan},
        {"%I6", &values.addresses.lan6},
        {"%I", &values.addresses.lan},
    };
    std::string kept;
    size_t pos = query + 1;
    while (pos <= url.size()) {
        size_t end = url.find('&', pos);
        if (end == std::string::npos) {
            end = url.size();
        }
        const std::string parameter = url.substr(pos, end - pos);
        const size_t equals = parameter.find('=');
        bool unknown = false;
        for (const auto& [token, value] : addresses) {
            if (equals != std::string::npos && parameter.substr(equals + 1) == token) {
                unknown = value->empty();
                break;
            }
        }
        if (!unknown && !parameter.empty()) {
            kept += (kept.empty() ? "" : "&") + parameter;
        }
        pos = end + 1;
    }
    return url.substr(0, query) + (kept.empty() ? "" : "?" + kept);
}

}  // namespace

std::string ExpandUrlTemplate(const std::string& rawUrl, const UrlTokenValues& values) {
    const std::string url = values.documented ? WithoutUnknownAddresses(rawUrl, values) : rawUrl;
    // Longer tokens first, so "%WI6" is never read as "%WI" followed by "6".
    const std::pair<const char*, const std::string*> tokens[] = {
        {"%WI6", &values.addresses.wan6},
        {"%WI", &values.addresses.wan},
        {"%I6", &values.addresses.lan6},
        {"%I", &values.addresses.lan},
        {"%H", &values.hosts},
        {"%U", &values.user},
        {"%P", &values.password},
        {values.documented ? "%Z" : "", &values.zone},
    };
    std::string out;
    size_t pos = 0;
    while (pos < url.size()) {
        bool replaced = false;
        if (url[pos] == '%') {
            for (const auto& [token, value] : tokens) {
                if (*token != '\0' &&
                    url.compare(pos, std::char_traits<char>::length(token), token) == 0) {
                    out += PercentEncode(*value);
                    pos += std::char_traits<char>::length(token);
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced) {
            out += url[pos++];
        }
    }
    return out;
}

std::string UrlOrigin(const std::string& url) {
    const size_t scheme = url.find("://");
    const size_t from = scheme == std::string::npos ? 0 : scheme + 3;
    size_t end = url.find_first_of("/?#", from);
    std::string origin = url.substr(0, end);
    // Credentials written into the address stay out of messages.
    const size_t at = origin.rfind('@');
    if (at != std::string::npos && at >= from) {
        origin = origin.substr(0, from) + origin.substr(at + 1);
    }
    return origin;
}

UpdateAttempt SendUrlUpdate(const UrlRequest& request) {
    UpdateAttempt attempt;
    HttpRequest get;
    // No scheme written means https: a secret in the address never goes out in clear by
    // default.
    get.url = UrlWithScheme(ExpandUrlTemplate(request.url, request.values), "https");
    get.timeoutMs = request.boundMs;
    get.maxBodyBytes = kMaxAnswerBytes;
    get.tls = request.tls;
    get.user = request.authUser;
    get.password = request.authPassword;
    const HttpResponse answer = SendHttp(get);
    if (!answer.reached) {
        attempt.why = HttpFailureSentence(answer);
        return attempt;
    }
    const std::string line = FirstLine(answer.body);
    attempt.answers.push_back("HTTP " + std::to_string(answer.status) +
                              (line.empty() ? "" : ": " + line));
    if (!answer.Ok()) {
        attempt.why = HttpFailureSentence(answer);
        NoteRefusalOrWait(answer, attempt);
        return attempt;
    }
    if (!request.expect.empty() && answer.body.find(request.expect) == std::string::npos) {
        attempt.why = "the answer does not contain \"" + FirstLine(request.expect) + "\"";
        return attempt;
    }
    attempt.ok = true;
    return attempt;
}

}  // namespace orvex::ddns
