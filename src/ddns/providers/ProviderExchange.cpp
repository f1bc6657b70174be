#include "ddns/providers/ProviderExchange.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "ddns/ProviderText.h"
#include "platform/FailureSentence.h"

namespace orvex::ddns {

namespace {

using nlohmann::json;

// The provider's words are quoted after our sentence; a page of them helps nobody.
constexpr size_t kMessageLength = 160;

std::string Cut(const std::string& text) {
    std::string line = FirstLine(text);
    if (line.size() > kMessageLength) {
        line = line.substr(0, kMessageLength - 3) + "...";
    }
    return line;
}

// The first text among the members providers put their words in.
std::string MessageIn(const json& value, int depth = 0) {
    if (value.is_string()) {
        return value.get<std::string>();
    }
    if (depth > 3) {
        return "";
    }
    if (value.is_array()) {
        for (const json& item : value) {
            std::string text = MessageIn(item, depth + 1);
            if (!text.empty()) {
                return text;
            }
        }
        return "";
    }
    if (!value.is_object()) {
        return "";
    }
    for (const char* key :
         {"errors", "error", "message", "detail", "reason", "non_field_errors", "cause"}) {
        if (value.contains(key)) {
            std::string text = MessageIn(value[key], depth + 1);
            if (!text.empty()) {
                return text;
            }
        }
    }
    // A field's own complaint ({"ttl": ["Ensure this value is ..."]}).
    for (const auto& [key, member] : value.items()) {
        if (member.is_array()) {
            std::string text = MessageIn(member, depth + 1);
            if (!text.empty()) {
                return key + ": " + text;
            }
        }
    }
    return "";
}

}  // namespace

std::string JsonProviderMessage(const std::string& body) {
    const json parsed = json::parse(body, nullptr, false);
    if (parsed.is_discarded()) {
        return "";
    }
    return Cut(MessageIn(parsed));
}

int RetryAfterSeconds(const HttpResponse& response, std::time_t now) {
    const std::string header = response.Header("Retry-After");
    if (!header.empty()) {
        if (std::all_of(header.begin(), header.end(),
                        [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
            return header.size() > 9 ? 0 : std::atoi(header.c_str());
        }
        std::tm when{};
        if (strptime(header.c_str(), "%a, %d %b %Y %H:%M:%S GMT", &when) != nullptr) {
            const std::time_t at = timegm(&when);
            return at > now ? static_cast<int>(std::min<std::time_t>(at - now, 86400)) : 0;
        }
        return 0;
    }
    const json parsed = json::parse(response.body, nullptr, false);
    const json& seconds = MemberOf(parsed, "retryAfterSec");
    if (seconds.is_number_integer()) {
        return static_cast<int>(std::clamp<long long>(seconds.get<long long>(), 0, 86400));
    }
    return 0;
}

std::string IdText(const json& value) {
    if (value.is_string()) {
        return value.get<std::string>();
    }
    if (value.is_number_integer()) {
        return std::to_string(value.get<long long>());
    }
    return "";
}

const json& MemberOf(const json& object, const char* key) {
    static const json kNull;
    if (!object.is_object()) {
        return kNull;
    }
    const auto found = object.find(key);
    return found == object.end() ? kNull : *found;
}

std::string TextOf(const json& object, const char* key) {
    const json& member = MemberOf(object, key);
    return member.is_string() ? member.get<std::string>() : "";
}

ProviderExchange::ProviderExchange(const NativeUpdate& update, HttpHeaders headers)
    : messageOf(JsonProviderMessage), update_(update), headers_(std::move(headers)) {}

std::string ProviderExchange::Where(const HttpResponse& response) const {
    return ServerAndPort(response.host, response.port);
}

bool ProviderExchange::Send(HttpMethod method, const std::string& path, const std::string& body,
                            const std::string& action, HttpResponse* answer, bool missingIsAnswer) {
    HttpRequest request;
    request.method = method;
    request.url = update_.base + path;
    request.headers = headers_;
    request.body = body;
    request.timeoutSeconds = update_.timeoutSeconds;
    request.tls = update_.tls;
    if (sign) {
        sign(request);
    }
    *answer = SendHttp(request);
    lastHost_ = answer->host;
    lastPort_ = answer->port;
    if (answer->Ok() || (missingIsAnswer && answer->reached && answer->status == 404)) {
        return true;
    }
    failed_ = true;
    failure_ = UpdateAttempt{};
    failure_.why = HttpFailureSentence(*answer, action);
    if (answer->reached) {
        const std::string message = messageOf ? messageOf(answer->body) : "";
        if (!message.empty()) {
            failure_.why += "; the provider says: " + message;
        }
        failure_.answers.push_back("HTTP " + std::to_string(answer->status) +
                                   (message.empty() ? "" : ": " + message));
        failure_.stop = answer->status == 401 || answer->status == 403;
        if (answer->status == 429) {
            failure_.retryAfterSeconds = RetryAfterSeconds(*answer, std::time(nullptr));
        }
    }
    return false;
}

bool ProviderExchange::SendJson(HttpMethod method, const std::string& path, const json& body,
                                const std::string& action, json* answer, bool* missing) {
    const bool withBody = !body.is_null();
    HttpHeaders saved = headers_;
    headers_.emplace_back("Accept", "application/json");
    if (withBody) {
        headers_.emplace_back("Content-Type", "application/json");
    }
    HttpResponse response;
    const bool sent =
        Send(method, path, withBody ? body.dump() : "", action, &response, missing != nullptr);
    headers_ = std::move(saved);
    if (!sent) {
        return false;
    }
    *answer = json();
    if (missing != nullptr) {
        *missing = response.status == 404;
        if (*missing) {
            return true;
        }
    }
    if (response.body.find_first_not_of(" \t\r\n") == std::string::npos) {
        return true;
    }
    *answer = json::parse(response.body, nullptr, false);
    if (answer->is_discarded() || response.bodyCut) {
        *answer = json();
        return Unreadable(action, "JSON", response.body);
    }
    if (refusalIn) {
        const std::string refusal = refusalIn(*answer);
        if (!refusal.empty()) {
            return Refuse(action, Cut(refusal));
        }
    }
    return true;
}

const json* ProviderExchange::ListIn(const json& answer, const std::string& key,
                                     const std::string& action) {
    const json* list = key.empty() ? &answer : &MemberOf(answer, key.c_str());
    if (!list->is_array()) {
        Unreadable(
            action,
            "as documented: it has no list" + (key.empty() ? std::string() : " \"" + key + "\""),
            answer.dump());
        return nullptr;
    }
    return list;
}

bool ProviderExchange::Refuse(const std::string& action, const std::string& detail, bool stop) {
    ConnectionFailure failure;
    failure.kind = FailureClass::kServerRefused;
    failure.detail = detail;
    failed_ = true;
    failure_ = UpdateAttempt{};
    failure_.why = FailureSentence(lastHost_, lastPort_, failure, action);
    failure_.stop = stop;
    return false;
}

bool ProviderExchange::Unreadable(const std::string& action, const std::string& format,
                                  const std::string& body) {
    ConnectionFailure failure;
    failure.kind = FailureClass::kOther;
    failure.detail = "the answer to " + action + " is not valid " + format;
    const std::string start = Cut(body);
    if (!start.empty()) {
        failure.detail += " (" + start + ")";
    }
    failed_ = true;
    failure_ = UpdateAttempt{};
    failure_.why = FailureSentence(lastHost_, lastPort_, failure);
    return false;
}

bool ProviderExchange::Fail(const std::string& why) {
    failed_ = true;
    failure_ = UpdateAttempt{};
    failure_.why = why;
    return false;
}

}  // namespace orvex::ddns
