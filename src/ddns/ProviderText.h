#pragma once

#include <ctime>
#include <string>

#include "platform/TextUtil.h"
#include "ddns/UpdateAttempt.h"
#include "platform/HttpClient.h"

namespace orvex::ddns {

// Most of an answer's body that is kept; a provider's answer is a few lines.
inline constexpr size_t kMaxAnswerBytes = 16 * 1024;

// "1 second", "5 seconds": a bound in whole seconds, for messages.
std::string SecondsText(long milliseconds);

// The first line of `body`, without control characters and cut to a length fit for a status
// line; what a provider says must never add lines to the log.
std::string FirstLine(const std::string& body);

// The seconds a Retry-After value asks for: a number of seconds, or an HTTP date (taken against
// `now`); 0 when it is missing, unreadable or already past.
int RetryAfterSeconds(const std::string& value, std::time_t now);

// What an error status means for the next try: 401 and 403 (a refused logon) stop the entry
// until its settings change; 429 waits for the provider's Retry-After.
void NoteRefusalOrWait(const HttpResponse& answer, UpdateAttempt& attempt);

}  // namespace orvex::ddns
