#include "mail/engine/codec/Base64.h"

namespace orvex {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

void EncodeInto(const unsigned char* in, size_t count, std::string& out) {
    size_t i = 0;
    for (; i + 3 <= count; i += 3) {
        unsigned v = (in[i] << 16) | (in[i + 1] << 8) | in[i + 2];
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    size_t rest = count - i;
    if (rest == 0) {
        return;
    }
    unsigned v = in[i] << 16;
    if (rest == 2) {
        v |= in[i + 1] << 8;
    }
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
    out += '=';
}

int ValueOf(char c) {
    if (c >= 'A' && c <= 'Z') {
        return c - 'A';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 26;
    }
    if (c >= '0' && c <= '9') {
        return c - '0' + 52;
    }
    if (c == '+') {
        return 62;
    }
    if (c == '/') {
        return 63;
    }
    return -1;
}

}  // namespace

std::string Base64Encode(std::string_view bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    EncodeInto(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), out);
    return out;
}

std::string Base64Decode(std::string_view text) {
    std::string out;
    unsigned acc = 0;
    int bits = 0;
    for (char c : text) {
        if (c == '=') {
            break;
        }
        int v = ValueOf(c);
        if (v < 0) {
            continue;
        }
        acc = (acc << 6) | static_cast<unsigned>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((acc >> bits) & 0xFF);
        }
    }
    return out;
}

size_t Base64EncodeLine(const unsigned char* bytes, size_t count, std::string& out) {
    if (count > 57) {
        count = 57;
    }
    size_t before = out.size();
    EncodeInto(bytes, count, out);
    size_t written = out.size() - before;
    out += "\r\n";
    return written;
}

}  // namespace orvex
