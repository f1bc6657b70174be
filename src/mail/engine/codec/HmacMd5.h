#pragma once

#include <string_view>

#include "mail/engine/codec/Md5.h"

namespace orvex {

// HMAC of RFC 2104 over MD5 (64-byte blocks); a key longer than 64 bytes is first replaced
// by its MD5 digest.
Md5::Digest HmacMd5(std::string_view key, std::string_view message);

}  // namespace orvex
