#pragma once

#include <string>
#include <string_view>

namespace orvex {

// The CRAM-MD5 answer of RFC 2195 before base64: the user name, one blank and the HMAC-MD5 of
// the decoded challenge keyed with the password, as 32 lowercase hex digits.
std::string CramMd5Response(std::string_view user, std::string_view password,
                            std::string_view challenge);

// The challenge of a "334 " reply: the base64 text after its first four characters, up to the
// first CR (or LF), decoded.
std::string CramMd5Challenge(std::string_view reply);

}  // namespace orvex
