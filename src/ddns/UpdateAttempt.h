#pragma once

#include <string>
#include <vector>

namespace orvex::ddns {

// The addresses an update may use: checked texts, empty when unknown (or, for IPv6, when
// IPv6 is off).
struct UpdateAddresses {
    std::string wan;
    std::string wan6;
    std::string lan;
    std::string lan6;
};

// What one attempt to update an entry came to.
struct UpdateAttempt {
    bool ok = false;
    // Refused in a way another try cannot mend (wrong password, unknown name, blocked for
    // abuse, ...): no more tries until the entry's settings change.
    bool stop = false;
    // The peer's own words, one host message each (what it answered, or the command's exit
    // status and first line of output).
    std::vector<std::string> answers;
    // Why it failed, in words fit for a status line.
    std::string why;
    // With ok: the names already held the addresses, so nothing was written.
    bool current = false;
    // With ok: a name had no record of the type, and one was created.
    bool created = false;
    // The provider asked for this many seconds before the next try (HTTP 429 Retry-After);
    // 0 when it did not say.
    int retryAfterSeconds = 0;
};

}  // namespace orvex::ddns
