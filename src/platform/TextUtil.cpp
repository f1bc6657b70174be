#include "platform/TextUtil.h"

namespace orvex {

bool IsBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

std::string TrimBlanks(const std::string& text) {
    size_t b = 0;
    size_t e = text.size();
    while (b < e && IsBlank(text[b])) {
        ++b;
    }
    while (e > b && IsBlank(text[e - 1])) {
        --e;
    }
    return text.substr(b, e - b);
}

std::string ToUpperAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

bool EqualsNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && ToUpperAscii(a) == ToUpperAscii(b);
}

}  // namespace orvex
