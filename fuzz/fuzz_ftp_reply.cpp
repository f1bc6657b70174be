// FTP reply reading on a real control connection, and the PASV / PORT texts.
//
// The input's first byte picks what runs:
// - reply lines: the rest is what a server sends (optionally with a run of bytes around the
//   64 KiB line limit) before it closes; the link reads it line by line, or reply by reply;
// - PASV: the rest is a PASV reply to parse, and an address and port to round-trip through
//   the PORT argument.
//
// Checks:
// - read line by line, the texts are exactly the stream cut at each LF with one CR before it
//   dropped, the last line cut off by the close included, then the close is reported; a line
//   over the 64 KiB limit ends reading with a failure instead;
// - read reply by reply, each reply ends at the first line after its first that holds the same
//   code followed by a blank (a single-line reply at its first line); the text kept is that
//   line and the class its first digit; reading stops at the close or a failure and never
//   swallows a following reply;
// - PASV parsing fails exactly when "(" or ")" is missing; its host holds no comma; a reply
//   built from an address and port parses back to them, and so does a PORT argument.
#include <fuzzer/FuzzedDataProvider.h>

#include <sys/socket.h>

#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "ftp/FtpLink.h"
#include "platform/TextUtil.h"

using orvex::fuzz::Shown;

namespace {

const orvex::fuzz::LoopbackListener& Listener() {
    static orvex::fuzz::LoopbackListener listener;
    return listener;
}

struct ModelLine {
    std::string text;
    bool tooLong = false;
};

// The stream as lines, read independently of the link.
std::vector<ModelLine> SplitStream(const std::string& stream) {
    std::vector<ModelLine> lines;
    size_t start = 0;
    while (start < stream.size()) {
        size_t nl = stream.find('\n', start);
        ModelLine line;
        line.text = stream.substr(start, nl == std::string::npos ? nl : nl - start);
        start = nl == std::string::npos ? stream.size() : nl + 1;
        line.tooLong = line.text.size() > orvex::ftp::kMaxLineLength;
        if (nl != std::string::npos && !line.text.empty() && line.text.back() == '\r') {
            line.text.pop_back();
        }
        lines.push_back(line);
        if (line.tooLong) {
            break;
        }
    }
    return lines;
}

void CheckPasv(FuzzedDataProvider& in) {
    const std::string reply = in.ConsumeRandomLengthString(120);
    std::string host = "unset";
    int port = -7;
    const bool parsed = orvex::ftp::ParsePasvReply(reply, &host, &port);
    const bool framed =
        reply.find('(') != std::string::npos && reply.find(')') != std::string::npos;
    FUZZ_CHECK(parsed == framed, Shown(reply));
    // A usable port comes with a dotted address; anything else leaves the port at -1 (the
    // connect then reports the text between the brackets).
    if (parsed && port != -1) {
        FUZZ_CHECK(port >= 0 && port <= 65535 &&
                       host.find_first_not_of("0123456789.") == std::string::npos,
                   Shown(reply) + " host " + Shown(host));
    }

    // Built from numbers, parsed back.
    const int a = in.ConsumeIntegral<uint8_t>();
    const int b = in.ConsumeIntegral<uint8_t>();
    const int c = in.ConsumeIntegral<uint8_t>();
    const int d = in.ConsumeIntegral<uint8_t>();
    const int dataPort = in.ConsumeIntegralInRange<int>(0, 65535);
    const std::string address = std::to_string(a) + "." + std::to_string(b) + "." +
                                std::to_string(c) + "." + std::to_string(d);
    const std::string prefix = in.ConsumeRandomLengthString(30);
    if (prefix.find_first_of("()") == std::string::npos) {
        const std::string built = prefix + "(" + orvex::ftp::PortArgument(address, dataPort) + ")" +
                                  in.ConsumeRandomLengthString(20);
        FUZZ_CHECK(
            orvex::ftp::ParsePasvReply(built, &host, &port) && host == address && port == dataPort,
            Shown(built) + " -> " + Shown(host) + ":" + std::to_string(port));
    }
}

// Connects a link to a peer that sends `stream` and closes.
class Session {
public:
    explicit Session(const std::string& stream)
        : peer_(Listener(),
                [stream](int fd) {
                    orvex::fuzz::SendAllBytes(fd, stream);
                    ::shutdown(fd, SHUT_WR);
                    orvex::fuzz::ReadUntilClosed(fd);
                }),
          link_(5) {
        link_.SetIdleLimitMs(5000);
        FUZZ_CHECK(link_.ConnectControl("127.0.0.1", static_cast<unsigned>(Listener().Port())),
                   "connect: " + link_.FailureDetail());
    }
    ~Session() {
        link_.CloseControl();
        peer_.Join();
    }
    orvex::CFtpLink& Link() { return link_; }

private:
    orvex::fuzz::PeerThread peer_;
    orvex::CFtpLink link_;
};

void CheckLines(const std::string& stream) {
    const std::vector<ModelLine> model = SplitStream(stream);
    Session session(stream);
    orvex::CFtpLink& link = session.Link();
    for (size_t i = 0; i <= model.size(); ++i) {
        const bool ok = link.ReadLine();
        auto where = [&] { return "line " + std::to_string(i) + " of " + Shown(stream, 300); };
        if (i == model.size()) {
            FUZZ_CHECK(!ok && link.LocalFailure() == orvex::FtpLocalFailure::kConnection,
                       "no close after the last line; " + where());
            break;
        }
        if (model[i].tooLong) {
            FUZZ_CHECK(!ok && link.FailureDetail() == "reply line too long", where());
            break;
        }
        FUZZ_CHECK(ok, "failed: " + link.FailureDetail() + "; " + where());
        FUZZ_CHECK(link.ReplyText() == model[i].text,
                   Shown(link.ReplyText()) + " expected " + Shown(model[i].text) + "; " + where());
    }
}

int CodeOf(const std::string& line) {
    return orvex::AsciiToInt(line);
}

void CheckReplies(const std::string& stream) {
    const std::vector<ModelLine> model = SplitStream(stream);
    Session session(stream);
    orvex::CFtpLink& link = session.Link();
    size_t next = 0;
    int lastClass = 0;
    for (int reply = 0;; ++reply) {
        const bool ok = link.ReadReply();
        auto where = [&] { return "reply " + std::to_string(reply) + " of " + Shown(stream, 300); };
        if (next == model.size()) {
            FUZZ_CHECK(!ok, "a reply after the close; " + where());
            return;
        }
        // Where this reply ends by the rule, independently.
        size_t last = next;
        const std::string& first = model[next].text;
        bool complete = !model[next].tooLong;
        if (complete && first.size() >= 4 && first[3] == '-') {
            const int code = CodeOf(first);
            last = next + 1;
            while (last < model.size() && !model[last].tooLong &&
                   !(model[last].text.size() >= 4 && model[last].text[3] == ' ' &&
                     CodeOf(model[last].text) == code)) {
                ++last;
            }
            complete = last < model.size() && !model[last].tooLong;
        }
        if (!complete) {
            // A close or an overlong line inside the reply (or a reply past 1 MiB) fails it.
            FUZZ_CHECK(!ok, "incomplete reply read as whole; " + where());
            return;
        }
        if (!ok) {
            // Only a reply over 1 MiB may fail while complete.
            size_t bytes = 0;
            for (size_t k = next; k <= last; ++k) {
                bytes += model[k].text.size() + 1;
            }
            FUZZ_CHECK(bytes > 1024 * 1024,
                       "complete reply failed: " + link.FailureDetail() + "; " + where());
            return;
        }
        const std::string& text = model[last].text;
        FUZZ_CHECK(link.ReplyText() == text,
                   Shown(link.ReplyText()) + " expected " + Shown(text) + "; " + where());
        // The class comes from the latest non-empty line.
        for (size_t k = next; k <= last; ++k) {
            if (!model[k].text.empty()) {
                lastClass = static_cast<unsigned char>(model[k].text[0]) - '0';
            }
        }
        FUZZ_CHECK(link.ReplyClass() == lastClass,
                   "class " + std::to_string(link.ReplyClass()) + "; " + where());
        next = last + 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const int mode = in.ConsumeIntegral<uint8_t>();
    if ((mode & 3) == 2) {
        CheckPasv(in);
        return 0;
    }
    std::string stream = in.ConsumeRemainingBytesAsString();
    if ((mode & 4) != 0) {
        // A run of bytes around the line limit (limit - 3 to limit + 4), put where the input
        // says, so one line lands just under, at or over it.
        const size_t run = orvex::ftp::kMaxLineLength - 3 + static_cast<size_t>((mode >> 3) & 7);
        const size_t at = stream.empty() ? 0 : static_cast<size_t>(mode >> 6) * stream.size() / 3;
        stream.insert(at, std::string(run, 'x'));
    }
    if ((mode & 1) == 0) {
        CheckLines(stream);
    } else {
        CheckReplies(stream);
    }
    return 0;
}
