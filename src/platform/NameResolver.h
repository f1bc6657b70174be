#pragma once

#include <sys/socket.h>

#include <cstdint>
#include <string>
#include <vector>

namespace orvex {

// One address of a peer, ready for socket() and connect().
struct SocketAddress {
    sockaddr_storage storage{};
    socklen_t length = 0;

    int Family() const { return storage.ss_family; }
    const sockaddr* Get() const { return reinterpret_cast<const sockaddr*>(&storage); }
    uint16_t Port() const;
    void SetPort(uint16_t port);
};

// Every address of `host` for a TCP connection to `port`: IPv4 addresses first, then IPv6 ones,
// each family in resolver order, duplicates dropped. IPv4 first keeps a server that answers on
// both families reached the way it always was. `host` is a name, a dotted IPv4 address, or an
// IPv6 address written bare ("::1") or in brackets ("[::1]"). "localhost" also gives whichever
// loopback address the system's table leaves out, so a local server on either family is found.
// Empty when nothing resolves; `detail` (when given) then says why.
std::vector<SocketAddress> ResolveAll(const std::string& host, uint16_t port,
                                      std::string* detail = nullptr);

// One address from its numeric text (IPv4 dotted, or IPv6 bare or in brackets); false when the
// text is no such address. Never asks a name service.
bool ParseNumericAddress(const std::string& text, uint16_t port, SocketAddress* address);

// The numeric text of an address: "192.0.2.1", "2001:db8::1" (no brackets, no port).
std::string AddressText(const SocketAddress& address);

// The text without one pair of enclosing brackets ("[::1]" → "::1").
std::string StripBrackets(const std::string& host);

}  // namespace orvex
