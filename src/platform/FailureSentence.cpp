#include "platform/FailureSentence.h"

#include <cerrno>
#include <cstring>

namespace orvex {

namespace {

// The system's words read as part of a sentence: "No route to host" -> "no route to host".
std::string InSentence(std::string words) {
    if (words.size() > 1 && words[0] >= 'A' && words[0] <= 'Z' &&
        !(words[1] >= 'A' && words[1] <= 'Z')) {
        words[0] = static_cast<char>(words[0] - 'A' + 'a');
    }
    return words;
}

// A reply or reason of several lines becomes one line of the log.
std::string OneLine(const std::string& text) {
    std::string line;
    for (char c : text) {
        if (c == '\r' || c == '\n') {
            if (!line.empty() && line.back() != ' ') {
                line += ' ';
            }
        } else {
            line += c;
        }
    }
    while (!line.empty() && line.back() == ' ') {
        line.pop_back();
    }
    return line;
}

}  // namespace

ConnectionFailure FailureOfErrno(int error) {
    ConnectionFailure failure;
    switch (error) {
        case ECONNREFUSED:
            failure.kind = FailureClass::kRefused;
            return failure;
        case ETIMEDOUT:
            failure.kind = FailureClass::kNoAnswer;
            return failure;
        case ECONNRESET:
        case EPIPE:
            failure.kind = FailureClass::kClosed;
            return failure;
        case ENETUNREACH:
        case EHOSTUNREACH:
        case ENETDOWN:
        case EHOSTDOWN:
            failure.kind = FailureClass::kUnreachable;
            break;
        default:
            failure.kind = FailureClass::kOther;
            break;
    }
    failure.detail = error != 0 ? InSentence(std::strerror(error)) : "unknown cause";
    return failure;
}

std::string ServerAndPort(const std::string& server, int port) {
    const bool bareIpv6 = server.find(':') != std::string::npos && server.front() != '[';
    return (bareIpv6 ? "[" + server + "]" : server) + ":" + std::to_string(port);
}

std::string FailureSentence(const std::string& server, int port, const ConnectionFailure& failure,
                            const std::string& action) {
    const std::string where = ServerAndPort(server, port);
    const std::string detail = OneLine(failure.detail);
    switch (failure.kind) {
        case FailureClass::kNone:
            return "";
        case FailureClass::kNameNotFound:
            return "host name not found: " + server;
        case FailureClass::kRefused:
            return where + " refused the connection";
        case FailureClass::kUnreachable:
            return where + " cannot be reached (" + detail + ")";
        case FailureClass::kNoAnswer:
            return "no answer from " + where + " within " + std::to_string(failure.seconds) + " s";
        case FailureClass::kNoReply:
            return where + " took the connection but sent no reply within " +
                   std::to_string(failure.seconds) + " s";
        case FailureClass::kClosed:
            return where + " closed the connection";
        case FailureClass::kSendFailed:
            return "sending to " + where + " failed" + (detail.empty() ? "" : " (" + detail + ")");
        case FailureClass::kTls:
            return "the TLS handshake with " + where + " failed: " + detail;
        case FailureClass::kCertificate:
            return "the certificate of " + server + " was not accepted: " + detail;
        case FailureClass::kNoTlsOffered:
            return where + " does not offer TLS";
        case FailureClass::kServerRefused:
            if (!action.empty()) {
                return where + " refused " + action + ": " + detail;
            }
            return where + " answered with an error: " + detail;
        case FailureClass::kOther:
            break;
    }
    return "talking to " + where + " failed: " + detail;
}

}  // namespace orvex
