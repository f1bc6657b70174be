#pragma once

#include <array>
#include <cstddef>
#include <string>

#include "ftp/SocketIo.h"
#include "platform/TlsSession.h"

namespace orvex::ftp {

inline constexpr size_t kStreamBufferSize = 4096;
// A reply line longer than this is hostile or broken; reading stops rather than grow forever.
inline constexpr size_t kMaxLineLength = 64 * 1024;

// One bounded receive from the socket, or from the TLS session over it when there is one.
IoResult StreamReceive(int fd, TlsSession* tls, char* data, size_t size, const Deadline& deadline,
                       size_t* received);
// Sends all bytes on the socket, or through the TLS session over it when there is one.
IoResult StreamSendAll(int fd, TlsSession* tls, const char* data, size_t size,
                       const Deadline& deadline);

// Buffered line input over a connected socket (through `tls` when given), 4096-byte buffer.
// A line ends at LF; a CR right before it is dropped. A last line cut off by the peer
// closing still counts.
class LineReader {
public:
    explicit LineReader(int fd, TlsSession* tls = nullptr) : fd_(fd), tls_(tls) {}

    enum class Result { kLine, kEnd, kTimedOut, kError, kTooLong };
    // The whole line, however slowly it comes, by the deadline.
    Result ReadLine(std::string* line, const Deadline& deadline);
    // Whether bytes past the last line returned wait in the buffer.
    bool Buffered() const { return begin_ != end_; }

private:
    int fd_;
    TlsSession* tls_;
    std::array<char, kStreamBufferSize> buffer_{};
    size_t begin_ = 0;
    size_t end_ = 0;
};

// Buffered output over a connected socket (through `tls` when given), 4096-byte buffer;
// Flush sends what is buffered, all of it within `limitMs`.
class LineWriter {
public:
    LineWriter(int fd, int limitMs, Clock& clock, TlsSession* tls = nullptr)
        : fd_(fd), limitMs_(limitMs), clock_(clock), tls_(tls) {}
    ~LineWriter();
    LineWriter(const LineWriter&) = delete;
    LineWriter& operator=(const LineWriter&) = delete;

    IoResult Write(const std::string& text);
    IoResult Flush();

private:
    int fd_;
    int limitMs_;
    Clock& clock_;
    TlsSession* tls_;
    std::array<char, kStreamBufferSize> buffer_{};
    size_t used_ = 0;
};

}  // namespace orvex::ftp
