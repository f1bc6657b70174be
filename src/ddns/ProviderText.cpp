#include "ddns/ProviderText.h"

#include <time.h>

#include <algorithm>
#include <cstdlib>

namespace orvex::ddns {

namespace {

// Longest piece of a peer's text shown in one host message.
constexpr size_t kMaxShownLength = 200;

}  // namespace

std::string SecondsText(long milliseconds) {
    const long seconds = (milliseconds + 999) / 1000;
    return std::to_string(seconds) + (seconds == 1 ? " second" : " seconds");
}

std::string FirstLine(const std::string& body) {
    size_t start = 0;
    while (start < body.size() && (body[start] == '\r' || body[start] == '\n')) {
        ++start;
    }
    std::string line;
    for (size_t i = start; i < body.size() && body[i] != '\n' && body[i] != '\r'; ++i) {
        const auto byte = static_cast<unsigned char>(body[i]);
        if (byte < 0x20 || byte == 0x7F) {
            continue;
        }
        if (line.size() == kMaxShownLength) {
            // Never end on half a UTF-8 character.
            size_t lead = line.size();
            while (lead > 0 && (static_cast<unsigned char>(line[lead - 1]) & 0xC0) == 0x80) {
                --lead;
            }
            if (lead > 0 && static_cast<unsigned char>(line[lead - 1]) >= 0xC0) {
                const auto first = static_cast<unsigned char>(line[lead - 1]);
                const size_t length = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : 2;
                if (line.size() - (lead - 1) < length) {
                    line.resize(lead - 1);
                }
            }
            line += "...";
            break;
        }
        line += body[i];
    }
    // Trailing blanks carry nothing.
    while (!line.empty() && line.back() == ' ') {
        line.pop_back();
    }
    return line;
}

int RetryAfterSeconds(const std::string& value, std::time_t now) {
    const size_t first = value.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return 0;
    }
    const std::string text = value.substr(first);
    if (text.find_first_not_of("0123456789 \t") == std::string::npos) {
        const long long seconds = std::strtoll(text.c_str(), nullptr, 10);
        return seconds > 7 * 24 * 3600 ? 7 * 24 * 3600 : static_cast<int>(seconds);
    }
    std::tm tm{};
    const char* end = ::strptime(text.c_str(), "%a, %d %b %Y %H:%M:%S", &tm);
    if (end == nullptr) {
        return 0;
    }
    const std::time_t at = ::timegm(&tm);
    return at > now ? static_cast<int>(std::min<std::time_t>(at - now, 7 * 24 * 3600)) : 0;
}

void NoteRefusalOrWait(const HttpResponse& answer, UpdateAttempt& attempt) {
    if (answer.status == 401 || answer.status == 403) {
        attempt.stop = true;
    } else if (answer.status == 429) {
        attempt.retryAfterSeconds =
            RetryAfterSeconds(answer.Header("Retry-After"), std::time(nullptr));
    }
}

}  // namespace orvex::ddns
