// The FTP logon loop of every logon type against replies of arbitrary classes.
//
// A loopback peer greets, then answers each command line it receives with the next scripted
// reply (single- or multi-line, any first byte), and closes when the script runs out. The
// logon parameters are arbitrary too, line breaks included.
//
// Checks, against a walk of the logon table done here:
// - the command lines the peer receives are exactly those of the walked steps, each ending
//   CR LF, and nothing else reaches the wire (a parameter holding CR or LF stops the logon
//   before its line is sent: no command can be smuggled in);
// - Logon succeeds exactly when the walk reaches the logged-on end; a 2xx / 3xx reply leads to
//   the step the table names, any other class stops the logon, the error end is reported as
//   the logon sequence failure, a peer that closes as a connection failure;
// - every walk ends within the row's own steps (the table holds no loop).
#include <fuzzer/FuzzedDataProvider.h>

#include <sys/socket.h>

#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "ftp/FtpLink.h"
#include "ftp/LogonSequence.h"

using orvex::fuzz::Shown;

namespace {

const orvex::fuzz::LoopbackListener& Listener() {
    static orvex::fuzz::LoopbackListener listener;
    return listener;
}

struct Reply {
    std::string bytes;  // as sent, line ends included
    int replyClass;     // the class the client must see
};

Reply MakeReply(FuzzedDataProvider& in) {
    static constexpr char kClasses[] = "1234562";
    const int pick = in.ConsumeIntegralInRange<int>(0, 7);
    char first = pick < 7 ? kClasses[pick] : in.ConsumeIntegral<char>();
    if (first == '\n') {
        first = '9';
    }
    auto text = [&in] {
        std::string t = in.ConsumeRandomLengthString(20);
        for (char& c : t) {
            if (c == '\r' || c == '\n') {
                c = '.';
            }
        }
        return t;
    };
    const std::string code =
        std::string(1, first) + "3" + std::to_string(in.ConsumeIntegral<uint8_t>() % 10);
    Reply reply;
    reply.replyClass = static_cast<unsigned char>(first) - '0';
    const int middle = in.ConsumeIntegralInRange<int>(-1, 3);
    if (middle < 0) {
        reply.bytes = code + " " + text() + "\r\n";
        return reply;
    }
    reply.bytes = code + "-" + text() + "\r\n";
    for (int i = 0; i < middle; ++i) {
        reply.bytes += "~~~~" + text() + (in.ConsumeBool() ? "\r\n" : "\n");
    }
    reply.bytes += code + " " + text() + "\r\n";
    return reply;
}

enum class Outcome { kLoggedOn, kStopped, kSequenceError, kConnection };

struct Walk {
    Outcome outcome = Outcome::kStopped;
    std::string sent;  // every line the peer should receive
};

Walk WalkTable(const orvex::FtpLogonParams& params, const std::vector<Reply>& replies) {
    Walk walk;
    if (replies.empty()) {
        walk.outcome = Outcome::kConnection;
        return walk;
    }
    if (replies[0].replyClass != 2) {
        return walk;  // the greeting is no welcome
    }
    const orvex::LogonRow& row = orvex::LogonSequenceTable[static_cast<size_t>(params.LogonType)];
    size_t next = 1;
    int step = 1;
    for (int taken = 0;; ++taken) {
        FUZZ_CHECK(taken < row.stepCount,
                   "logon row " + std::to_string(params.LogonType) + " loops");
        FUZZ_CHECK(step >= 1 && step <= row.stepCount, "step " + std::to_string(step));
        const orvex::LogonStep& current = row.steps[static_cast<size_t>(step - 1)];
        const std::string line = orvex::LogonCommandLine(current.command, params);
        if (line.find_first_of("\r\n") != std::string::npos) {
            walk.outcome = Outcome::kConnection;
            return walk;
        }
        walk.sent += line + "\r\n";
        if (next >= replies.size()) {
            walk.outcome = Outcome::kConnection;
            return walk;
        }
        const int replyClass = replies[next++].replyClass;
        int to;
        if (replyClass == 2) {
            to = current.after2xx;
        } else if (replyClass == 3) {
            to = current.after3xx;
        } else {
            return walk;
        }
        if (to == orvex::kLoggedOn) {
            walk.outcome = Outcome::kLoggedOn;
            return walk;
        }
        if (to == orvex::kLogonError) {
            walk.outcome = Outcome::kSequenceError;
            return walk;
        }
        step = to;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    orvex::FtpLogonParams params;
    params.LogonType = in.ConsumeIntegralInRange<int>(-1, orvex::kLogonTypes);
    params.User = in.ConsumeRandomLengthString(16);
    params.Password = in.ConsumeRandomLengthString(16);
    params.Account = in.ConsumeRandomLengthString(16);
    params.FirewallUser = in.ConsumeRandomLengthString(16);
    params.FirewallPassword = in.ConsumeRandomLengthString(16);
    const std::string remoteHost = in.ConsumeRandomLengthString(16);
    const int remotePort = in.ConsumeIntegralInRange<int>(0, 65535);
    const int replyCount = in.ConsumeIntegralInRange<int>(0, 8);
    std::vector<Reply> replies;
    for (int i = 0; i < replyCount; ++i) {
        replies.push_back(MakeReply(in));
    }

    // Type 0 connects to the server itself, the others to the firewall: both are the peer.
    if (params.LogonType == 0) {
        params.Host = "127.0.0.1";
        params.Port = Listener().Port();
    } else {
        params.Host = remoteHost;
        params.Port = remotePort;
        params.FirewallHost = "127.0.0.1";
        params.FirewallPort = Listener().Port();
    }

    orvex::CFtpLink link(5);
    link.SetIdleLimitMs(5000);
    if (params.LogonType < 0 || params.LogonType >= orvex::kLogonTypes) {
        FUZZ_CHECK(!link.Logon(params), "logon of type " + std::to_string(params.LogonType));
        return 0;
    }

    std::string received;
    {
        orvex::fuzz::PeerThread peer(Listener(), [&replies, &received](int fd) {
            size_t next = 0;
            if (!replies.empty()) {
                orvex::fuzz::SendAllBytes(fd, replies[next++].bytes);
            }
            if (next == replies.size()) {
                ::shutdown(fd, SHUT_WR);
            }
            std::string line;
            while (orvex::fuzz::ReadPeerLine(fd, &line)) {
                received += line;
                if (next < replies.size()) {
                    orvex::fuzz::SendAllBytes(fd, replies[next++].bytes);
                    if (next == replies.size()) {
                        ::shutdown(fd, SHUT_WR);
                    }
                }
            }
            received += line;  // a piece without LF before the close
        });
        const bool loggedOn = link.Logon(params);
        const orvex::FtpLocalFailure failure = link.LocalFailure();
        const std::string detail = link.FailureDetail();
        link.CloseControl();
        peer.Join();

        const Walk walk = WalkTable(params, replies);
        std::string script;
        for (const Reply& reply : replies) {
            script += reply.bytes;
        }
        const std::string context = "type " + std::to_string(params.LogonType) + " replies " +
                                    Shown(script, 400) + " sent " + Shown(received, 400) +
                                    " expected " + Shown(walk.sent, 400) + " detail " + detail;
        FUZZ_CHECK(received == walk.sent, "command lines differ; " + context);
        FUZZ_CHECK(loggedOn == (walk.outcome == Outcome::kLoggedOn), context);
        switch (walk.outcome) {
            case Outcome::kLoggedOn:
            case Outcome::kStopped:
                FUZZ_CHECK(failure == orvex::FtpLocalFailure::kNone, context);
                break;
            case Outcome::kSequenceError:
                FUZZ_CHECK(
                    failure == orvex::FtpLocalFailure::kLogonSequence && link.ReplyText().empty(),
                    context);
                break;
            case Outcome::kConnection:
                FUZZ_CHECK(failure == orvex::FtpLocalFailure::kConnection, context);
                break;
        }
    }
    return 0;
}
