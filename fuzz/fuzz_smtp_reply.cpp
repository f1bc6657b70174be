// The mail engine's SMTP reply reader and AUTH choice, through seeSmtpConnect and seeClose
// against a loopback peer.
//
// Scripted mode: the peer greets and answers each command line with the next scripted reply
// (one to four lines, any code, texts that sometimes name AUTH mechanisms, replies up to past
// the 1023-byte limit), and closes when the script runs out. Raw mode: the peer sends the
// input as it is and closes.
//
// Checks, in scripted mode against a model of the dialogue built here:
// - each reply is read whole: it ends at its first line with a blank after the code; a reply
//   over 1023 bytes fails with -31, a first line with a code of 500 or more with -49, a close
//   before any reply with -1;
// - with AUTH asked for, the mechanism sent is the first of CRAM-MD5, LOGIN, PLAIN that the
//   EHLO reply offers after its "AUTH" (any case), none without "AUTH"; the credential lines
//   are the base64 forms the mechanism prescribes (CRAM-MD5 from the peer's challenge), each
//   sent only after a 334 prompt: any other reply there ends the logon with -49;
// - the lines the peer receives are exactly the dialogue's, each ending CR LF;
// - seeSmtpConnect's and seeClose's results are the model's.
// In raw mode: no crash or hang, a documented result, and a first line that is the greeting.
// With STARTTLS required (flag 4): the greeting is EHLO; an EHLO reply without a STARTTLS line
// ends with -74 and nothing more sent (no credentials in the clear); otherwise "STARTTLS" goes
// out, and a 2xx answer starts a handshake that the scripted peer cannot finish (-76).
#include <fuzzer/FuzzedDataProvider.h>

#include <sys/socket.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "mail/engine/See.h"
#include "mail/engine/codec/Base64.h"
#include "mail/engine/codec/CramMd5.h"
#include "platform/TextUtil.h"

using orvex::fuzz::Shown;

namespace {

constexpr const char* kSender = "Orvex <fuzz@example.test>";
constexpr const char* kGreeting = "EHLO example.test";
constexpr const char* kPlainGreeting = "HELO example.test";
constexpr size_t kReplyLimit = 1023;

const orvex::fuzz::LoopbackListener& Listener() {
    static orvex::fuzz::LoopbackListener listener;
    return listener;
}

orvex::fuzz::FastClock& EngineClock() {
    static orvex::fuzz::FastClock clock;
    return clock;
}

struct Reply {
    std::vector<std::string> lines;  // each with its line end
    std::string Bytes() const {
        std::string all;
        for (const std::string& line : lines) {
            all += line;
        }
        return all;
    }
};

Reply MakeReply(FuzzedDataProvider& in) {
    static constexpr const char* kWords[] = {
        "STARTTLS",     "starttls",     "STARTTLSX",           "AUTH LOGIN PLAIN",
        "AUTH=LOGIN",   "AUTH PLAIN",   "AUTH CRAM-MD5 LOGIN", "auth plain login",
        "8BITMIME",     "AUTH",         "SIZE 10240000",       "PLAIN LOGIN AUTH",
        "Y2hhbGxlbmdl", "AUTH XOAUTH2", "AUTH  LOGIN",         "ok",
        "AUTH CRAM-MD5"};
    static constexpr char kFirst[] = "22223345";
    const int pick = in.ConsumeIntegralInRange<int>(0, 8);
    char first = pick < 8 ? kFirst[pick] : in.ConsumeIntegral<char>();
    if (first == '\n' || first == '\r') {
        first = '2';
    }
    const std::string code =
        std::string(1, first) + std::to_string(in.ConsumeIntegralInRange<int>(10, 59));
    const int count = in.ConsumeIntegralInRange<int>(1, 4);
    Reply reply;
    for (int i = 0; i < count; ++i) {
        std::string text;
        if (in.ConsumeBool()) {
            text = kWords[in.ConsumeIntegralInRange<size_t>(0, std::size(kWords) - 1)];
        } else {
            text = in.ConsumeRandomLengthString(in.ConsumeBool() ? 40 : 600);
            for (char& c : text) {
                if (c == '\r' || c == '\n' || c == '\0') {
                    c = ' ';
                }
            }
        }
        const bool last = i + 1 == count;
        reply.lines.push_back(code + (last ? " " : "-") + text +
                              (in.ConsumeBool() ? "\r\n" : "\n"));
    }
    return reply;
}

long LeadingCode(const std::string& line) {
    long code = 0;
    for (size_t i = 0; i < line.size() && i < 3 && line[i] >= '0' && line[i] <= '9'; ++i) {
        code = code * 10 + (line[i] - '0');
    }
    return code;
}

// What reading this reply gives: 0, -31 or -49.
int ReadOutcome(const Reply& reply) {
    size_t bytes = 0;
    for (size_t i = 0; i < reply.lines.size(); ++i) {
        if (bytes + reply.lines[i].size() > kReplyLimit) {
            return -31;
        }
        bytes += reply.lines[i].size();
        if (i == 0 && LeadingCode(reply.lines[0]) >= 500) {
            return -49;
        }
    }
    return 0;
}

// The mechanism's first state as the engine numbers them: 150 CRAM-MD5, 160 LOGIN, 170 PLAIN.
int ChosenMechanism(const std::string& reply) {
    const std::string upper = orvex::ToUpperAscii(reply);
    const size_t auth = upper.find("AUTH");
    if (auth == std::string::npos) {
        return 0;
    }
    if (upper.find(" CRAM-MD5", auth) != std::string::npos) {
        return 150;
    }
    if (upper.find(" LOGIN", auth) != std::string::npos ||
        upper.find("=LOGIN", auth) != std::string::npos) {
        return 160;
    }
    return upper.find(" PLAIN", auth) != std::string::npos ? 170 : 0;
}

// Whether an EHLO reply has a line naming the STARTTLS extension.
bool OffersStartTls(const Reply& reply) {
    for (const std::string& line : reply.lines) {
        std::string word = line.size() >= 4 ? line.substr(4) : "";
        word = word.substr(0, word.find_first_of(" \r\n"));
        if (orvex::ToUpperAscii(word) == "STARTTLS") {
            return true;
        }
    }
    return false;
}

struct Model {
    int connectResult = 0;
    int closeResult = 0;
    std::string sent;
    bool handshake = false;  // TLS bytes follow what was sent
};

Model Dialogue(const std::vector<Reply>& replies, bool auth, bool startTls, const std::string& user,
               const std::string& password) {
    Model m;
    size_t next = 0;
    // Sends `line` (unless null) and reads the next reply: false when the dialogue ends there.
    auto exchange = [&](const std::string* line, int* result) {
        if (line != nullptr) {
            m.sent += *line + "\r\n";
        }
        if (next >= replies.size()) {
            *result = -1;
            return false;
        }
        *result = ReadOutcome(replies[next++]);
        return *result == 0;
    };
    const std::string greeting = auth || startTls ? kGreeting : kPlainGreeting;
    if (!exchange(nullptr, &m.connectResult) || !exchange(&greeting, &m.connectResult)) {
        return m;
    }
    if (startTls) {
        if (!OffersStartTls(replies[next - 1])) {
            m.connectResult = -74;
            return m;
        }
        const std::string command = "STARTTLS";
        if (!exchange(&command, &m.connectResult)) {
            return m;
        }
        const char first = replies[next - 1].lines[0][0];
        m.connectResult = first == '2' ? -76 : -49;
        m.handshake = first == '2';
        return m;
    }
    // A secret goes out only after the peer's 334 prompt for it.
    auto prompted = [&] {
        if (LeadingCode(replies[next - 1].lines[0]) == 334) {
            return true;
        }
        m.connectResult = -49;
        return false;
    };
    const std::string& ehloReply = replies[next - 1].Bytes();
    const int mechanism = auth ? ChosenMechanism(ehloReply) : 0;
    std::string line;
    if (mechanism == 150) {
        line = "AUTH CRAM-MD5";
        if (!exchange(&line, &m.connectResult) || !prompted()) {
            return m;
        }
        const std::string challenge = orvex::CramMd5Challenge(replies[next - 1].Bytes());
        line = orvex::Base64Encode(orvex::CramMd5Response(user, password, challenge));
        if (!exchange(&line, &m.connectResult)) {
            return m;
        }
    } else if (mechanism == 160) {
        line = "AUTH LOGIN";
        if (!exchange(&line, &m.connectResult) || !prompted()) {
            return m;
        }
        line = orvex::Base64Encode(user);
        if (!exchange(&line, &m.connectResult) || !prompted()) {
            return m;
        }
        line = orvex::Base64Encode(password);
        if (!exchange(&line, &m.connectResult)) {
            return m;
        }
    } else if (mechanism == 170) {
        line = "AUTH PLAIN " + orvex::Base64Encode(user + '\0' + user + '\0' + password);
        if (!exchange(&line, &m.connectResult)) {
            return m;
        }
    }
    // Connected: seeClose says QUIT; a close instead of a reply is a good end there.
    line = "QUIT";
    if (!exchange(&line, &m.closeResult) && m.closeResult == -1) {
        m.closeResult = 0;
    }
    return m;
}

std::string Credential(FuzzedDataProvider& in) {
    std::string text = in.ConsumeRandomLengthString(72);
    text = text.substr(0, text.find('\0'));
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    orvex::seeAttach(1, EngineClock(), orvex::fuzz::ScratchDir());
    orvex::seeIntegerParam(0, orvex::kSeePort, Listener().Port());
    // Replies come at once or never (the peer closes): a short reply time-out bounds a miss.
    orvex::seeIntegerParam(0, orvex::kSeeReplyTimeout, 5000);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const int flags = in.ConsumeIntegral<uint8_t>();
    const bool auth = (flags & 1) != 0;
    const bool raw = (flags & 2) != 0;
    const bool startTls = !raw && (flags & 4) != 0;
    const std::string user = Credential(in);
    const std::string password = Credential(in);
    FUZZ_CHECK(orvex::seeStringParam(0, orvex::kSeeUser, user.c_str()) ==
                   static_cast<int>(std::min<size_t>(user.size(), 64)),
               Shown(user));
    FUZZ_CHECK(orvex::seeStringParam(0, orvex::kSeePassword, password.c_str()) ==
                   static_cast<int>(std::min<size_t>(password.size(), 64)),
               Shown(password));
    orvex::seeIntegerParam(0, orvex::kSeeEhloAuth, auth ? 1 : 0);
    orvex::seeIntegerParam(0, orvex::kSeeSecurity,
                           startTls ? orvex::kSeeStartTls : orvex::kSeeNoTls);

    std::vector<Reply> replies;
    std::string rawStream;
    if (raw) {
        rawStream = in.ConsumeRemainingBytesAsString();
    } else {
        const int count = in.ConsumeIntegralInRange<int>(0, 7);
        for (int i = 0; i < count; ++i) {
            replies.push_back(MakeReply(in));
        }
    }

    std::string received;
    int connectResult = 0;
    int closeResult = 0;
    {
        orvex::fuzz::PeerThread peer(Listener(), [&](int fd) {
            if (raw) {
                orvex::fuzz::SendAllBytes(fd, rawStream);
                ::shutdown(fd, SHUT_WR);
                received = orvex::fuzz::ReadUntilClosed(fd);
                return;
            }
            size_t next = 0;
            auto answer = [&] {
                if (next < replies.size()) {
                    orvex::fuzz::SendAllBytes(fd, replies[next++].Bytes());
                }
                if (next == replies.size()) {
                    ::shutdown(fd, SHUT_WR);
                }
            };
            answer();
            std::string line;
            while (orvex::fuzz::ReadPeerLine(fd, &line)) {
                received += line;
                answer();
                if (startTls && line == "STARTTLS\r\n") {
                    ::shutdown(fd, SHUT_WR);  // no TLS here: the handshake meets an end
                }
            }
            received += line;
        });
        connectResult = orvex::seeSmtpConnect(0, "127.0.0.1", kSender, nullptr);
        closeResult = orvex::seeClose(0);
        peer.Join();
        FUZZ_CHECK(peer.Accepted(), "no connection");
    }

    const std::string context = "connect " + std::to_string(connectResult) + " close " +
                                std::to_string(closeResult) + " sent " + Shown(received, 400);
    if (raw) {
        static constexpr int kDocumented[] = {0, -1, -8, -31, -49, -52};
        FUZZ_CHECK(std::find(std::begin(kDocumented), std::end(kDocumented), connectResult) !=
                       std::end(kDocumented),
                   context);
        FUZZ_CHECK(connectResult != -8, "time-out although the peer closed; " + context);
        const std::string greeting = std::string(auth ? kGreeting : kPlainGreeting) + "\r\n";
        FUZZ_CHECK(received.empty() || received.rfind(greeting, 0) == 0, context);
        return 0;
    }

    const Model model =
        Dialogue(replies, auth, startTls, user.substr(0, 64), password.substr(0, 64));
    std::string script;
    for (const Reply& reply : replies) {
        script += reply.Bytes() + "|";
    }
    const std::string full = context + " expected connect " + std::to_string(model.connectResult) +
                             " close " + std::to_string(model.closeResult) + " sent " +
                             Shown(model.sent, 400) + " replies " + Shown(script, 600);
    if (model.handshake) {
        // What follows STARTTLS is the TLS client's own first flight.
        FUZZ_CHECK(received.rfind(model.sent, 0) == 0, "dialogue differs; " + full);
    } else {
        FUZZ_CHECK(received == model.sent, "dialogue differs; " + full);
    }
    FUZZ_CHECK(connectResult == model.connectResult, full);
    FUZZ_CHECK(model.connectResult != 0 || closeResult == model.closeResult, full);
    return 0;
}
