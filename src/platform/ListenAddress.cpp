#include "platform/ListenAddress.h"

#include <arpa/inet.h>

#include "platform/TextUtil.h"

namespace orvex {

bool SplitListenAddress(const std::string& text, std::string* host, int* port) {
    const std::string trimmed = TrimBlanks(text);
    const size_t colon = trimmed.rfind(':');
    if (colon == std::string::npos || colon + 1 == trimmed.size()) {
        return false;
    }
    std::string name = trimmed.substr(0, colon);
    if (name.size() >= 2 && name.front() == '[' && name.back() == ']') {
        name = name.substr(1, name.size() - 2);
    } else if (name.find(':') != std::string::npos) {
        return false;
    }
    const std::string digits = trimmed.substr(colon + 1);
    if (digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    const int number = std::stoi(digits);
    if (number > 65535) {
        return false;
    }
    *host = name;
    *port = number;
    return true;
}

bool IsLoopbackHost(const std::string& host) {
    if (EqualsNoCase(host, "localhost")) {
        return true;
    }
    in_addr v4{};
    if (::inet_pton(AF_INET, host.c_str(), &v4) == 1) {
        return (ntohl(v4.s_addr) >> 24) == 127;
    }
    in6_addr v6{};
    return ::inet_pton(AF_INET6, host.c_str(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

}  // namespace orvex
