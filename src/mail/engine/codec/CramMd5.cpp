#include "mail/engine/codec/CramMd5.h"

#include "mail/engine/codec/Base64.h"
#include "mail/engine/codec/HmacMd5.h"

namespace orvex {

std::string CramMd5Response(std::string_view user, std::string_view password,
                            std::string_view challenge) {
    Md5::Digest mac = HmacMd5(password, challenge);
    return std::string(user) + " " + ToHex(mac.data(), mac.size());
}

std::string CramMd5Challenge(std::string_view reply) {
    if (reply.size() <= 4) {
        return {};
    }
    std::string_view text = reply.substr(4);
    size_t end = text.find_first_of("\r\n");
    if (end != std::string_view::npos) {
        text = text.substr(0, end);
    }
    return Base64Decode(text);
}

}  // namespace orvex
