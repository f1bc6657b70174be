#pragma once

#include <cstdint>
#include <string>

#include "ftp/SocketIo.h"
#include "platform/Clock.h"

namespace orvex {

// A TCP stream socket (IPv4, non-blocking underneath) whose connect gives up once the clock
// reads strictly later than the start + `TimeoutSeconds`, so an attempt may last up to one
// second longer than the time-out. Serves as the control socket and as the listening socket
// of an active data connection.
class CTimeoutSocket {
public:
    explicit CTimeoutSocket(int timeoutSeconds, Clock& clock = DefaultClock());

    // Makes the socket. False when the system refuses one.
    bool Create();
    // Resolves `host` (a name or a dotted address) and connects within the deadline.
    // False on a failed resolution, a refusal, another error or the deadline.
    bool Connect(const std::string& host, uint16_t port);
    // Binds to `address` (dotted, empty for any) on a free port and listens.
    bool Listen(const std::string& address, int backlog);
    // Waits at most `limitMs` for an incoming connection and returns it as a non-blocking
    // socket (invalid on failure; *timedOut tells a time-out from an error).
    ftp::UniqueFd Accept(int limitMs, bool* timedOut);
    // The socket's own address (dotted) and port.
    bool LocalAddress(std::string* address, uint16_t* port) const;

    int Fd() const { return fd_.Get(); }
    int TimeoutSeconds() const { return timeoutSeconds_; }
    // Why the latest operation failed, for the caller's diagnostics.
    const std::string& FailureDetail() const { return detail_; }

private:
    bool ConnectStep(const void* address, unsigned length);

    int timeoutSeconds_;
    Clock& clock_;
    ftp::UniqueFd fd_;
    std::string detail_;
};

namespace ftp {

// Resolves a host name or dotted IPv4 address to its first IPv4 address (network order).
bool ResolveIPv4(const std::string& host, uint32_t* address, std::string* detail);

// Wake-up tick of the connect wait: the deadline is tested again after each one.
inline constexpr int kConnectTickMs = 100;

}  // namespace ftp

}  // namespace orvex
