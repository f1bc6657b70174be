#include "platform/TlsSession.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include "platform/TrustStore.h"

namespace orvex {

namespace {

// Writes with MSG_NOSIGNAL: a peer that has gone must fail the write, not kill the process
// with SIGPIPE (a front end that does not ignore the signal would die).
int NoSignalWrite(BIO* bio, const char* data, int size) {
    int fd = -1;
    BIO_get_fd(bio, &fd);
    BIO_clear_retry_flags(bio);
    ssize_t n = ::send(fd, data, static_cast<size_t>(size), MSG_NOSIGNAL);
    if (n < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
            BIO_set_retry_write(bio);
        }
        return -1;
    }
    return static_cast<int>(n);
}

// The system's socket BIO with the write above; everything else is the system's own.
BIO_METHOD* SocketMethod() {
    static BIO_METHOD* method = [] {
        const BIO_METHOD* base = BIO_s_socket();
        BIO_METHOD* made = BIO_meth_new(
            BIO_get_new_index() | BIO_TYPE_SOURCE_SINK | BIO_TYPE_DESCRIPTOR, "orvex socket");
        BIO_meth_set_write(made, NoSignalWrite);
        BIO_meth_set_read(made, BIO_meth_get_read(base));
        BIO_meth_set_puts(made, BIO_meth_get_puts(base));
        BIO_meth_set_ctrl(made, BIO_meth_get_ctrl(base));
        BIO_meth_set_create(made, BIO_meth_get_create(base));
        BIO_meth_set_destroy(made, BIO_meth_get_destroy(base));
        return made;
    }();
    return method;
}

// Waits for what the library asked for (SSL_ERROR_WANT_READ or _WANT_WRITE) until `deadline`;
// false on the deadline or a poll failure.
bool WaitForLibrary(int fd, int error, const Deadline& deadline) {
    return WaitUntil(fd, error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, deadline) ==
           WaitResult::kReady;
}

// The library's words for the latest failure on this thread ("wrong version number").
std::string LibraryReason() {
    unsigned long code = ERR_peek_last_error();
    if (code == 0) {
        return {};
    }
    const char* reason = ERR_reason_error_string(code);
    if (reason != nullptr) {
        return reason;
    }
    char text[256] = {};
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

bool IsAddressLiteral(const std::string& name) {
    in6_addr scratch{};
    return ::inet_pton(AF_INET, name.c_str(), &scratch) == 1 ||
           ::inet_pton(AF_INET6, name.c_str(), &scratch) == 1;
}

bool MakeNonBlocking(int fd) {
    int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

struct ContextFree {
    void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};

// A client set-up ready for connections with `options`, or null with the reason in *error.
std::shared_ptr<SSL_CTX> MakeClientContext(const TlsOptions& options, std::string* error) {
    std::shared_ptr<SSL_CTX> context(SSL_CTX_new(TLS_client_method()), ContextFree());
    if (!context) {
        *error = "cannot set up TLS: " + LibraryReason();
        return nullptr;
    }
    SSL_CTX_set_min_proto_version(context.get(), TLS1_2_VERSION);
    SSL_CTX_set_options(context.get(), SSL_OP_IGNORE_UNEXPECTED_EOF);
    if (options.verify) {
        if (!TrustSystemStore(context.get(), options.caFile, error)) {
            return nullptr;
        }
        SSL_CTX_set_verify(context.get(), SSL_VERIFY_PEER, nullptr);
    } else {
        SSL_CTX_set_verify(context.get(), SSL_VERIFY_NONE, nullptr);
    }
    return context;
}

// Which file, and which version of it: a file replaced or rewritten reads differently.
std::string FileStamp(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) {
        return "-";
    }
    return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) + ":" +
           std::to_string(st.st_size) + ":" + std::to_string(st.st_mtim.tv_sec) + "." +
           std::to_string(st.st_mtim.tv_nsec) + ":" + std::to_string(st.st_ctim.tv_sec) + "." +
           std::to_string(st.st_ctim.tv_nsec);
}

std::string EnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string("\x01unset") : std::string(value);
}

// A client set-up is made once per way of checking and shared by every connection
// (a set-up is not changed once it is shared; handshakes through it take turns). A different
// TLSVerify, another TLSCAFile, a CA file or system bundle edited since, or other
// SSL_CERT_FILE / SSL_CERT_DIR values make a new one at the next connection.
class ClientContexts {
public:
    std::shared_ptr<SSL_CTX> For(const TlsOptions& options, std::string* error) {
        Key key;
        key.verify = options.verify;
        if (options.verify) {
            key.caFile = options.caFile;
            key.caStamp = FileStamp(options.caFile);
            key.certFile = EnvironmentValue(X509_get_default_cert_file_env());
            key.certDir = EnvironmentValue(X509_get_default_cert_dir_env());
            const char* bundle = std::getenv(X509_get_default_cert_file_env());
            key.bundleStamp = FileStamp(bundle != nullptr ? bundle : X509_get_default_cert_file());
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (const Entry& entry : entries_) {
                if (entry.key == key) {
                    return entry.context;
                }
            }
        }
        // Made outside the lock: reading the store must not hold up other connections.
        std::shared_ptr<SSL_CTX> made = MakeClientContext(options, error);
        if (!made) {
            return nullptr;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto it = entries_.begin(); it != entries_.end(); ++it) {
            if (it->key == key) {
                return it->context;  // another connection made the same meanwhile
            }
            if (it->key.SameSource(key)) {
                entries_.erase(it);  // its files have changed since
                break;
            }
        }
        if (entries_.size() >= kKept) {
            entries_.erase(entries_.begin());
        }
        entries_.push_back({key, made});
        return made;
    }

private:
    struct Key {
        bool verify = true;
        std::string caFile;
        std::string caStamp;
        std::string certFile;
        std::string certDir;
        std::string bundleStamp;
        bool SameSource(const Key& other) const {
            return verify == other.verify && caFile == other.caFile && certFile == other.certFile &&
                   certDir == other.certDir;
        }
        bool operator==(const Key& other) const {
            return SameSource(other) && caStamp == other.caStamp &&
                   bundleStamp == other.bundleStamp;
        }
    };
    struct Entry {
        Key key;
        std::shared_ptr<SSL_CTX> context;
    };
    static constexpr size_t kKept = 8;

    std::mutex mutex_;
    std::vector<Entry> entries_;
};

// Two handshakes that check certificates through one shared set-up at the same moment are not
// safe in the library (the thread sanitizer caught one reading a certificate another was still
// loading from the store), so client handshakes take turns. The program makes one connection at
// a time; only concurrent tests ever wait, and the wait counts against the handshake's bound.
class HandshakeTurn {
public:
    bool Take(const Deadline& deadline) {
        while (!mutex_.try_lock()) {
            if (deadline.Passed()) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }
    void Give() { mutex_.unlock(); }

private:
    std::mutex mutex_;
};

HandshakeTurn& ClientHandshakeTurn() {
    static HandshakeTurn* turn = new HandshakeTurn();  // never destroyed, like the set-ups
    return *turn;
}

std::shared_ptr<SSL_CTX> ClientContextFor(const TlsOptions& options, std::string* error) {
    // Never destroyed: the library's own clean-up at exit may come before static destructors.
    static ClientContexts* contexts = new ClientContexts();
    return contexts->For(options, error);
}

}  // namespace

struct TlsSession::State {
    std::shared_ptr<SSL_CTX> context;
    SSL* ssl = nullptr;
    int fd = -1;
    std::string serverName;
    TlsOptions options;
    bool established = false;

    ~State() {
        if (ssl != nullptr) {
            SSL_free(ssl);
        }
    }
};

TlsSession::TlsSession() = default;
TlsSession::~TlsSession() = default;

bool TlsSession::Fail(std::string text) {
    error_ = std::move(text);
    ERR_clear_error();
    return false;
}

bool TlsSession::Connect(int fd, const std::string& serverName, const TlsOptions& options,
                         int limitMs) {
    state_ = std::make_unique<State>();
    verifyFailed_ = false;
    ERR_clear_error();
    std::string error;
    std::shared_ptr<SSL_CTX> context = ClientContextFor(options, &error);
    if (!context) {
        return Fail(error);
    }
    state_->context = std::move(context);
    state_->serverName = serverName;
    state_->options = options;
    return Handshake(fd, true, limitMs);
}

bool TlsSession::ConnectResuming(int fd, const TlsSession& previous, int limitMs) {
    if (!previous.state_ || previous.Version().empty()) {
        return Fail("no TLS session to resume");
    }
    auto state = std::make_unique<State>();
    state->context = previous.state_->context;
    state->serverName = previous.state_->serverName;
    state->options = previous.state_->options;
    SSL_SESSION* session = SSL_get1_session(previous.state_->ssl);
    state_ = std::move(state);
    verifyFailed_ = false;
    ERR_clear_error();
    state_->ssl = SSL_new(state_->context.get());
    if (state_->ssl == nullptr) {
        SSL_SESSION_free(session);
        return Fail("cannot set up TLS: " + LibraryReason());
    }
    if (session != nullptr) {
        SSL_set_session(state_->ssl, session);
        SSL_SESSION_free(session);
    }
    return Handshake(fd, true, limitMs);
}

bool TlsSession::Accept(int fd, const std::string& certFile, const std::string& keyFile,
                        int limitMs, const TlsSession* sharing) {
    std::shared_ptr<SSL_CTX> shared =
        sharing && sharing->state_ ? sharing->state_->context : nullptr;
    state_ = std::make_unique<State>();
    verifyFailed_ = false;
    ERR_clear_error();
    if (shared) {
        state_->context = std::move(shared);
        return Handshake(fd, false, limitMs);
    }
    std::shared_ptr<SSL_CTX> context(SSL_CTX_new(TLS_server_method()), ContextFree());
    if (!context) {
        return Fail("cannot set up TLS: " + LibraryReason());
    }
    SSL_CTX_set_min_proto_version(context.get(), TLS1_2_VERSION);
    SSL_CTX_set_options(context.get(), SSL_OP_IGNORE_UNEXPECTED_EOF);
    if (SSL_CTX_use_certificate_chain_file(context.get(), certFile.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(context.get(), keyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
        return Fail("cannot load the certificate " + certFile + ": " + LibraryReason());
    }
    state_->context = std::move(context);
    return Handshake(fd, false, limitMs);
}

bool TlsSession::Handshake(int fd, bool client, int limitMs) {
    const Deadline deadline(limitMs);
    state_->fd = fd;
    if (!MakeNonBlocking(fd)) {
        return Fail(std::string("cannot prepare the socket: ") + std::strerror(errno));
    }
    if (state_->ssl == nullptr) {
        state_->ssl = SSL_new(state_->context.get());
        if (state_->ssl == nullptr) {
            return Fail("cannot set up TLS: " + LibraryReason());
        }
    }
    SSL* ssl = state_->ssl;
    BIO* bio = BIO_new(SocketMethod());
    if (bio == nullptr) {
        return Fail("cannot set up TLS: " + LibraryReason());
    }
    BIO_set_fd(bio, fd, BIO_NOCLOSE);
    SSL_set_bio(ssl, bio, bio);

    if (client) {
        const std::string& name = state_->serverName;
        if (IsAddressLiteral(name)) {
            // An address is never sent as SNI; the certificate must list it as an IP entry.
            if (state_->options.verify &&
                X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), name.c_str()) != 1) {
                return Fail("cannot check the address " + name);
            }
        } else if (!name.empty()) {
            SSL_set_tlsext_host_name(ssl, name.c_str());
            if (state_->options.verify && SSL_set1_host(ssl, name.c_str()) != 1) {
                return Fail("cannot check the host name " + name);
            }
        }
        SSL_set_connect_state(ssl);
    } else {
        SSL_set_accept_state(ssl);
    }

    if (client && !ClientHandshakeTurn().Take(deadline)) {
        return Fail("TLS handshake: no answer within " + std::to_string((limitMs + 999) / 1000) +
                    " s");
    }
    struct TurnGiver {
        bool held;
        ~TurnGiver() {
            if (held) {
                ClientHandshakeTurn().Give();
            }
        }
    } giver{client};

    while (true) {
        ERR_clear_error();
        errno = 0;
        int rc = SSL_do_handshake(ssl);
        if (rc == 1) {
            state_->established = true;
            error_.clear();
            return true;
        }
        int error = SSL_get_error(ssl, rc);
        if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
            if (!WaitForLibrary(fd, error, deadline)) {
                return Fail("TLS handshake: no answer within " +
                            std::to_string((limitMs + 999) / 1000) + " s");
            }
            continue;
        }
        long verified = SSL_get_verify_result(ssl);
        if (client && verified != X509_V_OK) {
            verifyFailed_ = true;
            return Fail(X509_verify_cert_error_string(verified));
        }
        // A reset is the peer hanging up while our hello was on its way.
        const bool hungUp = errno == 0 || errno == ECONNRESET || errno == EPIPE;
        if (error == SSL_ERROR_ZERO_RETURN ||
            (error == SSL_ERROR_SYSCALL && ERR_peek_last_error() == 0 && hungUp)) {
            return Fail("the peer closed the connection during the TLS handshake");
        }
        if (error == SSL_ERROR_SYSCALL && ERR_peek_last_error() == 0) {
            return Fail(std::string("TLS handshake: ") + std::strerror(errno));
        }
        std::string reason = LibraryReason();
        return Fail("TLS handshake failed: " + (reason.empty() ? "unknown error" : reason));
    }
}

TlsIo TlsSession::Read(char* data, size_t size, int idleMs, size_t* received) {
    return Read(data, size, Deadline(idleMs), received);
}

TlsIo TlsSession::Read(char* data, size_t size, const Deadline& deadline, size_t* received) {
    *received = 0;
    if (!Established()) {
        error_ = "no TLS session";
        return TlsIo::kError;
    }
    while (true) {
        ERR_clear_error();
        errno = 0;
        if (SSL_read_ex(state_->ssl, data, size, received) == 1) {
            return TlsIo::kOk;
        }
        int error = SSL_get_error(state_->ssl, 0);
        if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
            if (!WaitForLibrary(state_->fd, error, deadline)) {
                error_ = "no data within " + std::to_string(deadline.LimitMs() / 1000) + " s";
                return TlsIo::kTimedOut;
            }
            continue;
        }
        if (error == SSL_ERROR_ZERO_RETURN) {
            return TlsIo::kClosed;
        }
        if (error == SSL_ERROR_SYSCALL && ERR_peek_last_error() == 0) {
            if (errno == 0) {
                return TlsIo::kClosed;
            }
            error_ = std::string("TLS read: ") + std::strerror(errno);
            return TlsIo::kError;
        }
        error_ = "TLS read: " + LibraryReason();
        ERR_clear_error();
        return TlsIo::kError;
    }
}

TlsIo TlsSession::Write(const char* data, size_t size, int idleMs) {
    return WriteWithin(data, size, idleMs, nullptr);
}

TlsIo TlsSession::Write(const char* data, size_t size, const Deadline& deadline) {
    return WriteWithin(data, size, static_cast<int>(deadline.LimitMs()), &deadline);
}

TlsIo TlsSession::WriteWithin(const char* data, size_t size, int idleMs, const Deadline* whole) {
    if (!Established()) {
        error_ = "no TLS session";
        return TlsIo::kError;
    }
    while (size > 0) {
        ERR_clear_error();
        errno = 0;
        size_t written = 0;
        if (SSL_write_ex(state_->ssl, data, size, &written) == 1) {
            data += written;
            size -= written;
            continue;
        }
        int error = SSL_get_error(state_->ssl, 0);
        if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
            // Without a whole bound, each wait for room gets the full limit.
            if (!WaitForLibrary(state_->fd, error, whole ? *whole : Deadline(idleMs))) {
                error_ = "peer took no data within " + std::to_string(idleMs / 1000) + " s";
                return TlsIo::kTimedOut;
            }
            continue;
        }
        if (error == SSL_ERROR_ZERO_RETURN) {
            error_ = "the peer closed the connection";
            return TlsIo::kClosed;
        }
        if (error == SSL_ERROR_SYSCALL && ERR_peek_last_error() == 0) {
            error_ = std::string("TLS write: ") +
                     (errno == 0 ? "connection closed" : std::strerror(errno));
            return TlsIo::kError;
        }
        error_ = "TLS write: " + LibraryReason();
        ERR_clear_error();
        return TlsIo::kError;
    }
    return TlsIo::kOk;
}

bool TlsSession::Close(int limitMs) {
    if (!Established()) {
        return false;
    }
    const Deadline deadline(limitMs);
    SSL* ssl = state_->ssl;
    bool sent = false;
    while (!sent) {
        ERR_clear_error();
        int rc = SSL_shutdown(ssl);
        if (rc == 1) {
            state_->established = false;
            return true;
        }
        if (rc == 0) {
            sent = true;
            break;
        }
        int error = SSL_get_error(ssl, rc);
        if ((error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) ||
            !WaitForLibrary(state_->fd, error, deadline)) {
            error_ = "TLS close: " + LibraryReason();
            ERR_clear_error();
            state_->established = false;
            return false;
        }
    }
    // The peer's close_notify (or its end of stream) tells that it has all the data.
    char discard[4096];
    while (true) {
        size_t got = 0;
        TlsIo result = Read(discard, sizeof discard, deadline, &got);
        if (result != TlsIo::kOk || deadline.Passed()) {
            break;
        }
    }
    state_->established = false;
    ERR_clear_error();
    return true;
}

bool TlsSession::Established() const {
    return state_ && state_->established;
}

bool TlsSession::Resumed() const {
    return state_ && state_->ssl != nullptr && SSL_session_reused(state_->ssl) == 1;
}

std::string TlsSession::Version() const {
    if (!state_ || state_->ssl == nullptr || !SSL_is_init_finished(state_->ssl)) {
        return {};
    }
    return SSL_get_version(state_->ssl);
}

}  // namespace orvex
