#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace orvex {

// MD5 message digest of RFC 1321, fed in pieces.
class Md5 {
public:
    using Digest = std::array<unsigned char, 16>;

    Md5();
    void Update(std::string_view bytes);
    // Ends the computation; the object must not be updated afterwards.
    Digest Final();

private:
    void Block(const unsigned char* block);

    std::array<uint32_t, 4> state_;
    uint64_t length_ = 0;  // bytes fed so far
    std::array<unsigned char, 64> buffer_{};
    size_t buffered_ = 0;
};

Md5::Digest Md5Of(std::string_view bytes);

// Lowercase hexadecimal form of any digest.
std::string ToHex(const unsigned char* bytes, size_t count);

}  // namespace orvex
