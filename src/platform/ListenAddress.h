#pragma once

#include <string>

namespace orvex {

// "host:port" (the host a name, an IPv4 address or a bracketed IPv6 address, blanks around
// ignored) split; false when there is no port, the port is not 0-65535, or an IPv6 address
// lacks its brackets. Port 0 lets the system choose one.
bool SplitListenAddress(const std::string& text, std::string* host, int* port);

// Whether `host` (as SplitListenAddress gives it) is this machine's loopback: "localhost",
// 127.0.0.0/8 or ::1.
bool IsLoopbackHost(const std::string& host);

}  // namespace orvex
