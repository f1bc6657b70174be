#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "platform/DeadlineWait.h"

namespace orvex {

// How a client checks the server it talks to.
struct TlsOptions {
    // Check the certificate chain and that the certificate names the host (TLSVerify).
    bool verify = true;
    // A PEM file of certificates trusted besides the system store (TLSCAFile); empty for
    // the system store alone. The system store honours SSL_CERT_FILE and SSL_CERT_DIR.
    std::string caFile;
};

// Outcome of one bounded TLS read or write.
enum class TlsIo { kOk, kClosed, kTimedOut, kError };

// One TLS connection over a socket the caller has connected (or accepted) and still owns;
// the socket is switched to non-blocking mode. TLS 1.2 at least; every wait is bounded by
// the limit the call is given. Used by one thread at a time. Failures leave their account in
// Error(): the certificate check's own words ("certificate has expired", "hostname
// mismatch", ...) when VerifyFailed(), otherwise what went wrong on the wire.
class TlsSession {
public:
    TlsSession();
    ~TlsSession();
    TlsSession(const TlsSession&) = delete;
    TlsSession& operator=(const TlsSession&) = delete;

    // Client handshake with `serverName` (a host name or a literal address) within
    // `limitMs`. A name goes out as SNI; with options.verify both chain and name are checked.
    bool Connect(int fd, const std::string& serverName, const TlsOptions& options, int limitMs);
    // Client handshake that offers `previous`'s session for resumption, with its server name
    // and checks. Servers that tie a data connection to its control connection need this.
    bool ConnectResuming(int fd, const TlsSession& previous, int limitMs);
    // Server handshake with a PEM certificate chain and key, within `limitMs`. With `sharing`
    // (an earlier server session), its set-up and ticket keys serve again, so a client can
    // resume a session made there; the files are then not read.
    bool Accept(int fd, const std::string& certFile, const std::string& keyFile, int limitMs,
                const TlsSession* sharing = nullptr);

    // Reads up to `size` bytes, waiting at most `idleMs` (or until the deadline) for the first.
    // kOk with *received > 0; kClosed when the peer ended the stream (with or without
    // close_notify).
    TlsIo Read(char* data, size_t size, int idleMs, size_t* received);
    TlsIo Read(char* data, size_t size, const Deadline& deadline, size_t* received);
    // Writes all `size` bytes, each wait for room bounded by `idleMs`.
    TlsIo Write(const char* data, size_t size, int idleMs);
    // Writes all `size` bytes by the deadline.
    TlsIo Write(const char* data, size_t size, const Deadline& deadline);
    // Sends close_notify and waits at most `limitMs` for the peer's own close_notify or end
    // of stream, discarding what still arrives. True when close_notify went out. The
    // session can be resumed by another connection afterwards; the socket stays open.
    bool Close(int limitMs);

    bool Established() const;
    // Whether the handshake resumed an earlier session.
    bool Resumed() const;
    // Negotiated protocol ("TLSv1.3"), empty before a handshake.
    std::string Version() const;
    const std::string& Error() const { return error_; }
    bool VerifyFailed() const { return verifyFailed_; }

private:
    struct State;
    bool Handshake(int fd, bool client, int limitMs);
    bool Fail(std::string text);
    // Write with each wait bounded by `idleMs`, or all of it by `whole` when given.
    TlsIo WriteWithin(const char* data, size_t size, int idleMs, const Deadline* whole);

    std::unique_ptr<State> state_;
    std::string error_;
    bool verifyFailed_ = false;
};

}  // namespace orvex
