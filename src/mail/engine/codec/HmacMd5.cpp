#include "mail/engine/codec/HmacMd5.h"

#include <array>
#include <cstring>

namespace orvex {

Md5::Digest HmacMd5(std::string_view key, std::string_view message) {
    std::array<unsigned char, 64> block{};
    if (key.size() > block.size()) {
        Md5::Digest hashed = Md5Of(key);
        std::memcpy(block.data(), hashed.data(), hashed.size());
    } else {
        std::memcpy(block.data(), key.data(), key.size());
    }
    std::array<char, 64> inner, outer;
    for (size_t i = 0; i < block.size(); ++i) {
        inner[i] = static_cast<char>(block[i] ^ 0x36);
        outer[i] = static_cast<char>(block[i] ^ 0x5c);
    }
    Md5 innerMd5;
    innerMd5.Update(std::string_view(inner.data(), inner.size()));
    innerMd5.Update(message);
    Md5::Digest innerDigest = innerMd5.Final();
    Md5 outerMd5;
    outerMd5.Update(std::string_view(outer.data(), outer.size()));
    outerMd5.Update(
        std::string_view(reinterpret_cast<const char*>(innerDigest.data()), innerDigest.size()));
    return outerMd5.Final();
}

}  // namespace orvex
