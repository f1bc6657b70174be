#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

#include "platform/DeadlineWait.h"
#include "platform/UniqueFd.h"

namespace orvex::ftp {

using orvex::UniqueFd;

// Outcome of one bounded socket operation.
enum class IoResult { kOk, kClosed, kTimedOut, kError };

// Waits until `fd` is ready for `events` (POLLIN / POLLOUT) or the deadline passes.
// kOk when ready (errors and hang-ups count as ready: the next call reports them).
IoResult WaitReady(int fd, short events, const Deadline& deadline);

// Receives up to `size` bytes from a non-blocking socket, waiting for the first byte until the
// deadline. kOk with *received > 0, kClosed when the peer ended the stream.
IoResult ReceiveSome(int fd, char* data, size_t size, const Deadline& deadline, size_t* received);

// Sends some of `size` bytes on a non-blocking socket, waiting until the socket takes any or
// the deadline passes. kOk with *sent > 0 (possibly fewer than `size`).
IoResult SendSome(int fd, const char* data, size_t size, const Deadline& deadline, size_t* sent);

// Sends all `size` bytes by the deadline.
IoResult SendAll(int fd, const char* data, size_t size, const Deadline& deadline);

// "what: strerror(errno)" for failure details.
std::string ErrnoText(const std::string& what, int error);

}  // namespace orvex::ftp
