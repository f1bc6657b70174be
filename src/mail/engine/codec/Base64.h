#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace orvex {

// Base64 of RFC 2045 (alphabet A-Z a-z 0-9 + /, "=" filling the last group).
std::string Base64Encode(std::string_view bytes);

// Decodes base64 text; characters outside the alphabet (line ends, blanks) are skipped and
// decoding stops at the first "=".
std::string Base64Decode(std::string_view text);

// One attachment line: at most 57 input bytes become 76 characters (fewer for a short last
// piece) followed by CR LF. Returns the number of base64 characters written (without CR LF).
size_t Base64EncodeLine(const unsigned char* bytes, size_t count, std::string& out);

}  // namespace orvex
