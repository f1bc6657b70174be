#pragma once

#include <ctime>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "ddns/UpdateAttempt.h"
#include "ddns/providers/NativeProvider.h"
#include "platform/HttpClient.h"

namespace orvex::ddns {

using HttpHeaders = std::vector<std::pair<std::string, std::string>>;

// The HTTP conversation of one update with a provider's interface. Every request goes out
// with the entry's bounds, TLS checks and the provider's credentials; every way a request can
// go wrong becomes the attempt's failure in one place: the plain-words sentence, the
// provider's own message after it, a stop for an authentication refusal (401, 403), the wait
// a 429 asks for.
class ProviderExchange {
public:
    ProviderExchange(const NativeUpdate& update, HttpHeaders headers);

    const NativeUpdate& Update() const { return update_; }

    // Sends `method` to the base address followed by `path`. True for a 2xx answer, and for a
    // 404 when `missingIsAnswer`; otherwise the failure is recorded and false returned.
    // `action` names the request for messages ("the lookup of the A records of home.example").
    bool Send(HttpMethod method, const std::string& path, const std::string& body,
              const std::string& action, HttpResponse* answer, bool missingIsAnswer = false);

    // Send with JSON: a non-null `body` goes out as application/json, and the answer of a 2xx
    // must be JSON (an empty one reads as null). With `missing`, a 404 is an answer: *missing
    // is set and *answer is null.
    bool SendJson(HttpMethod method, const std::string& path, const nlohmann::json& body,
                  const std::string& action, nlohmann::json* answer, bool* missing = nullptr);

    // The array under `key` of a JSON answer (the answer itself for an empty key); null, with
    // the failure recorded, when the answer has none: an answer of another shape must never
    // read as "no records".
    const nlohmann::json* ListIn(const nlohmann::json& answer, const std::string& key,
                                 const std::string& action);

    // Records that the provider refused `action` in an answer that came with a success
    // status, or that its answer made no sense; `detail` says how. Returns false.
    bool Refuse(const std::string& action, const std::string& detail, bool stop = false);
    // Records that the answer to `action` is not valid `format` ("JSON"). Returns false.
    bool Unreadable(const std::string& action, const std::string& format, const std::string& body);
    // Records a failure found before anything was sent. Returns false.
    bool Fail(const std::string& why);

    bool Failed() const { return failed_; }
    const UpdateAttempt& Failure() const { return failure_; }

    // Signs a request just before it goes (Route 53); nothing by default.
    std::function<void(HttpRequest&)> sign;
    // The provider's own words in an error answer's body; JSON shapes by default.
    std::function<std::string(const std::string&)> messageOf;
    // A refusal hidden in a 2xx JSON answer ({"success": false}); empty when there is none.
    std::function<std::string(const nlohmann::json&)> refusalIn;

private:
    std::string Where(const HttpResponse& response) const;

    const NativeUpdate& update_;
    HttpHeaders headers_;
    std::string lastHost_;
    int lastPort_ = 0;
    bool failed_ = false;
    UpdateAttempt failure_;
};

// The provider's message in a JSON error answer (Cloudflare's errors[0].message, DigitalOcean's
// message, Vultr's error, deSEC's detail, ...), as one line cut to a status line's length;
// empty when the body is not JSON or says nothing.
std::string JsonProviderMessage(const std::string& body);

// The seconds a 429 answer asks to wait: Retry-After as seconds or as an HTTP date (against
// `now`), else a retryAfterSec field of its JSON body; 0 when it says nothing.
int RetryAfterSeconds(const HttpResponse& response, std::time_t now);

// `text` or a number as text: ids come as either.
std::string IdText(const nlohmann::json& value);
// A member of an object; null when absent or when `object` is no object.
const nlohmann::json& MemberOf(const nlohmann::json& object, const char* key);
// A string member of an object, empty when absent or of another type.
std::string TextOf(const nlohmann::json& object, const char* key);

}  // namespace orvex::ddns
