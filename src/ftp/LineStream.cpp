#include "ftp/LineStream.h"

#include <algorithm>
#include <cstring>

namespace orvex::ftp {

namespace {

IoResult FromTls(TlsIo result) {
    switch (result) {
        case TlsIo::kOk:
            return IoResult::kOk;
        case TlsIo::kClosed:
            return IoResult::kClosed;
        case TlsIo::kTimedOut:
            return IoResult::kTimedOut;
        case TlsIo::kError:
            break;
    }
    return IoResult::kError;
}

}  // namespace

IoResult StreamReceive(int fd, TlsSession* tls, char* data, size_t size, const Deadline& deadline,
                       size_t* received) {
    if (tls != nullptr) {
        return FromTls(tls->Read(data, size, deadline, received));
    }
    return ReceiveSome(fd, data, size, deadline, received);
}

IoResult StreamSendAll(int fd, TlsSession* tls, const char* data, size_t size,
                       const Deadline& deadline) {
    if (tls != nullptr) {
        return FromTls(tls->Write(data, size, deadline));
    }
    return SendAll(fd, data, size, deadline);
}

LineReader::Result LineReader::ReadLine(std::string* line, const Deadline& deadline) {
    line->clear();
    bool any = false;
    while (true) {
        if (begin_ == end_) {
            size_t received = 0;
            IoResult result =
                StreamReceive(fd_, tls_, buffer_.data(), buffer_.size(), deadline, &received);
            if (result == IoResult::kClosed) {
                return any ? Result::kLine : Result::kEnd;
            }
            if (result == IoResult::kTimedOut) {
                return Result::kTimedOut;
            }
            if (result != IoResult::kOk) {
                return Result::kError;
            }
            begin_ = 0;
            end_ = received;
        }
        any = true;
        const char* start = buffer_.data() + begin_;
        const char* stop = buffer_.data() + end_;
        const char* newline = std::find(start, stop, '\n');
        line->append(start, newline);
        if (line->size() > kMaxLineLength) {
            return Result::kTooLong;
        }
        if (newline != stop) {
            begin_ = static_cast<size_t>(newline - buffer_.data()) + 1;
            if (!line->empty() && line->back() == '\r') {
                line->pop_back();
            }
            return Result::kLine;
        }
        begin_ = end_;
    }
}

LineWriter::~LineWriter() {
    // Releasing the writer sends what is still buffered, as far as the peer takes it.
    Flush();
}

IoResult LineWriter::Write(const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        if (used_ == buffer_.size()) {
            IoResult result = Flush();
            if (result != IoResult::kOk) {
                return result;
            }
        }
        size_t take = std::min(text.size() - done, buffer_.size() - used_);
        std::memcpy(buffer_.data() + used_, text.data() + done, take);
        used_ += take;
        done += take;
    }
    return IoResult::kOk;
}

IoResult LineWriter::Flush() {
    if (used_ == 0) {
        return IoResult::kOk;
    }
    IoResult result = StreamSendAll(fd_, tls_, buffer_.data(), used_, Deadline(limitMs_, clock_));
    used_ = 0;
    return result;
}

}  // namespace orvex::ftp
