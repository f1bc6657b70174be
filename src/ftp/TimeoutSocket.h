#pragma once

#include <sys/socket.h>

#include <cstdint>
#include <string>

#include "ftp/SocketIo.h"
#include "platform/Clock.h"
#include "platform/FailureSentence.h"

namespace orvex {

// A TCP stream socket (IPv4 or IPv6, non-blocking underneath) whose connect gives up once the
// clock reads strictly later than the start + `TimeoutSeconds`, so an attempt may last up to one
// second longer than the time-out. Serves as the control socket and as the listening socket
// of an active data connection.
class CTimeoutSocket {
public:
    explicit CTimeoutSocket(int timeoutSeconds, Clock& clock = DefaultClock());

    // Makes the socket (AF_INET or AF_INET6). False when the system refuses one.
    bool Create(int family = AF_INET);
    // Resolves `host` (a name, a dotted address, an IPv6 address bare or in brackets) and tries
    // its addresses in turn (IPv4 first), each attempt within the deadline; the socket is made
    // again for each further address. False when no address takes the connection (the detail
    // is the last attempt's) or nothing resolves.
    bool Connect(const std::string& host, uint16_t port);
    // Binds to `address` (numeric IPv4 or IPv6, empty for any IPv4) on a free port and listens;
    // the socket is made again in the address's family when that differs.
    bool Listen(const std::string& address, int backlog);
    // Waits until the deadline for an incoming connection and returns it as a non-blocking
    // socket (invalid on failure; *timedOut tells a time-out from an error).
    ftp::UniqueFd Accept(const Deadline& deadline, bool* timedOut);
    // The socket's own address (dotted IPv4 or IPv6 text) and port.
    bool LocalAddress(std::string* address, uint16_t* port) const;

    // The peer's numeric address (IPv4 or IPv6 text).
    bool PeerAddress(std::string* address) const;

    int Fd() const { return fd_.Get(); }
    // AF_INET or AF_INET6: the family of the socket made last.
    int Family() const { return family_; }
    int TimeoutSeconds() const { return timeoutSeconds_; }
    // Why the latest operation failed, for the caller's diagnostics.
    const std::string& FailureDetail() const { return detail_; }
    // Why the latest Connect failed, in the classes told to the user.
    const ConnectionFailure& ConnectFailure() const { return connectFailure_; }

private:
    bool ConnectStep(const void* address, unsigned length);

    int timeoutSeconds_;
    int family_ = AF_INET;
    Clock& clock_;
    ftp::UniqueFd fd_;
    std::string detail_;
    ConnectionFailure connectFailure_;
};

namespace ftp {

// Wake-up tick of the connect wait: the deadline is tested again after each one.
inline constexpr int kConnectTickMs = 100;

}  // namespace ftp

}  // namespace orvex
