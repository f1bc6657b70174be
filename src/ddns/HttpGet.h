#pragma once

#include <string>

namespace orvex::ddns {

// Most of an answer's body that is kept; a provider's answer is a few lines.
inline constexpr size_t kMaxAnswerBytes = 16 * 1024;

struct HttpGetRequest {
    std::string url;
    // Basic authentication when `user` is not empty.
    std::string user;
    std::string password;
    long boundMs = 15000;  // the whole request, connection included
};

struct HttpGetAnswer {
    bool reached = false;  // a response came, whatever its status
    long status = 0;
    std::string body;   // at most kMaxAnswerBytes
    std::string error;  // why nothing came, when `reached` is false
};

// "1 second", "5 seconds": a bound in whole seconds, for messages.
std::string SecondsText(long milliseconds);

// The agent name every update request carries: the program and its version.
std::string UserAgent();

// GET over HTTP or HTTPS (certificates checked against the system store), following redirects
// over those two only; credentials go to the first host alone. The usual proxy environment
// variables apply.
HttpGetAnswer HttpGet(const HttpGetRequest& request);

// `text` with every byte but the unreserved ones (letters, digits, "-._~") as %XX.
std::string PercentEncode(const std::string& text);

// The first line of `body`, without control characters and cut to a length fit for a status
// line; what a provider says must never add lines to the log.
std::string FirstLine(const std::string& body);

}  // namespace orvex::ddns
