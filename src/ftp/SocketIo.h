#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

namespace orvex::ftp {

// Small owner of a file descriptor: closes it when it goes.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    int Release();
    // Closes the descriptor; the result of close(2), 0 when nothing was open.
    int Reset(int fd = -1);

private:
    int fd_ = -1;
};

// Outcome of one bounded socket operation.
enum class IoResult { kOk, kClosed, kTimedOut, kError };

// Waits until `fd` is ready for `events` (POLLIN / POLLOUT) or `limitMs` pass.
// kOk when ready (errors and hang-ups count as ready: the next call reports them).
IoResult WaitReady(int fd, short events, int limitMs);

// Receives up to `size` bytes from a non-blocking socket, waiting at most `idleMs` for the
// first byte. kOk with *received > 0, kClosed when the peer ended the stream.
IoResult ReceiveSome(int fd, char* data, size_t size, int idleMs, size_t* received);

// Sends some of `size` bytes on a non-blocking socket, waiting at most `idleMs` until the
// socket takes any. kOk with *sent > 0 (possibly fewer than `size`).
IoResult SendSome(int fd, const char* data, size_t size, int idleMs, size_t* sent);

// Sends all `size` bytes, each wait for room bounded by `idleMs`.
IoResult SendAll(int fd, const char* data, size_t size, int idleMs);

// "what: strerror(errno)" for failure details.
std::string ErrnoText(const std::string& what, int error);

}  // namespace orvex::ftp
