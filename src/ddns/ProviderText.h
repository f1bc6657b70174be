#pragma once

#include <string>

namespace orvex::ddns {

// Most of an answer's body that is kept; a provider's answer is a few lines.
inline constexpr size_t kMaxAnswerBytes = 16 * 1024;

// "1 second", "5 seconds": a bound in whole seconds, for messages.
std::string SecondsText(long milliseconds);

// `text` with every byte but the unreserved ones (letters, digits, "-._~") as %XX.
std::string PercentEncode(const std::string& text);

// The first line of `body`, without control characters and cut to a length fit for a status
// line; what a provider says must never add lines to the log.
std::string FirstLine(const std::string& body);

}  // namespace orvex::ddns
