#include "ddns/ProviderText.h"

namespace orvex::ddns {

namespace {

// Longest piece of a peer's text shown in one host message.
constexpr size_t kMaxShownLength = 200;

}  // namespace

std::string SecondsText(long milliseconds) {
    const long seconds = (milliseconds + 999) / 1000;
    return std::to_string(seconds) + (seconds == 1 ? " second" : " seconds");
}

std::string PercentEncode(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
            (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_' ||
            byte == '~') {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        }
    }
    return out;
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

}  // namespace orvex::ddns
