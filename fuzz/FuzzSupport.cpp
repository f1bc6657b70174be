#include "FuzzSupport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace orvex::fuzz {

void Fail(const char* file, int line, const char* what, const std::string& detail) {
    std::fprintf(stderr, "\n==== invariant broken at %s:%d\n  check: %s\n  detail: %s\n", file,
                 line, what, detail.c_str());
    std::fflush(stderr);
    std::abort();
}

std::string Shown(const std::string& bytes, size_t limit) {
    std::string out;
    for (size_t i = 0; i < bytes.size() && i < limit; ++i) {
        auto c = static_cast<unsigned char>(bytes[i]);
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c >= 32 && c < 127) {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        }
    }
    if (bytes.size() > limit) {
        out += "...(" + std::to_string(bytes.size()) + " bytes)";
    }
    return "\"" + out + "\"";
}

namespace {

std::string MakeScratchDir() {
    std::string base = "/dev/shm";
    if (::access(base.c_str(), W_OK) != 0) {
        const char* tmp = std::getenv("TMPDIR");
        base = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
    }
    std::string pattern = base + "/orvex-fuzz-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    return pattern;
}

void RemoveScratchDir();

// Never freed: the exit handler that removes the directory runs after static destructors.
const std::string& ScratchPath() {
    static const std::string* const path = [] {
        auto* made = new std::string(MakeScratchDir());
        std::atexit(RemoveScratchDir);
        return made;
    }();
    return *path;
}

void RemoveScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(ScratchPath(), ignored);
}

}  // namespace

const std::string& ScratchDir() {
    return ScratchPath();
}

void ClearScratchDir() {
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(ScratchDir(), ignored)) {
        std::filesystem::remove_all(entry.path(), ignored);
    }
}

std::string ReadWholeFile(const std::string& path, bool* exists) {
    std::ifstream in(path, std::ios::binary);
    if (exists != nullptr) {
        *exists = static_cast<bool>(in);
    }
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

void WriteWholeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        Fail(__FILE__, __LINE__, "write scratch file", path);
    }
}

uint32_t FastClock::TickCount() const {
    auto real = std::chrono::duration_cast<std::chrono::milliseconds>(
                    std::chrono::steady_clock::now().time_since_epoch())
                    .count();
    return static_cast<uint32_t>(static_cast<uint64_t>(real) + skipped_.load());
}

LoopbackListener::LoopbackListener() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd_, 16) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        Fail(__FILE__, __LINE__, "loopback listener", std::to_string(errno));
    }
    port_ = ntohs(address.sin_port);
}

LoopbackListener::~LoopbackListener() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

int LoopbackListener::Accept(int limitMs) const {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, limitMs) != 1) {
        return -1;
    }
    return ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
}

PeerThread::PeerThread(const LoopbackListener& listener, Script script) {
    thread_ = std::thread([this, &listener, script = std::move(script)] {
        int fd = listener.Accept(5000);
        if (fd < 0) {
            return;
        }
        accepted_ = true;
        script(fd);
        // The client has closed by now; a reset instead of a FIN leaves no TIME_WAIT socket
        // behind, so a long run cannot use up the loopback ports.
        linger abort{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        ::close(fd);
    });
}

PeerThread::~PeerThread() {
    Join();
}

void PeerThread::Join() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

bool SendAllBytes(int fd, const std::string& bytes, int limitMs) {
    size_t done = 0;
    while (done < bytes.size()) {
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, limitMs) != 1) {
            return false;
        }
        ssize_t n =
            ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

bool ReadPeerLine(int fd, std::string* line, int limitMs) {
    line->clear();
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, limitMs) != 1) {
            return false;
        }
        char c;
        ssize_t n = ::recv(fd, &c, 1, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        *line += c;
        if (c == '\n') {
            return true;
        }
    }
}

std::string ReadUntilClosed(int fd, int limitMs) {
    std::string all;
    char buffer[4096];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, limitMs) != 1) {
            return all;
        }
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return all;
        }
        all.append(buffer, static_cast<size_t>(n));
    }
}

}  // namespace orvex::fuzz
