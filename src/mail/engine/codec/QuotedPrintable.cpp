#include "mail/engine/codec/QuotedPrintable.h"

namespace orvex {

bool IsQuotedPrintableLiteral(unsigned char byte) {
    return byte >= 32 && byte <= 126 && byte != '=';
}

void AppendQuotedPrintable(unsigned char byte, std::string& out) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    if (IsQuotedPrintableLiteral(byte)) {
        out += static_cast<char>(byte);
        return;
    }
    out += '=';
    out += kHex[byte >> 4];
    out += kHex[byte & 15];
}

}  // namespace orvex
