#pragma once

#include <string>

namespace orvex {

// What went wrong with a server, in the classes a user can act on.
enum class FailureClass {
    kNone,
    kNameNotFound,   // the server's name does not resolve
    kRefused,        // the server's machine turned the connection down (nothing on that port)
    kUnreachable,    // no route to the server's machine
    kNoAnswer,       // the connection was not answered within the time-out
    kNoReply,        // connected, but the server said nothing within the time-out
    kClosed,         // the server closed the connection
    kSendFailed,     // sending to the server failed
    kTls,            // the TLS handshake failed
    kCertificate,    // the server's certificate was not accepted
    kNoTlsOffered,   // the server does not offer TLS on a plain connection
    kServerRefused,  // the server answered with an error reply
    kOther,          // anything else; the detail says what
};

// One failure, ready to be told in plain words.
struct ConnectionFailure {
    FailureClass kind = FailureClass::kNone;
    int seconds = 0;     // the time-out that ran out (kNoAnswer, kNoReply)
    std::string detail;  // the TLS layer's reason, the server's reply or the system's words
};

// The class of a system error (errno) met while connecting or talking to a server; the
// system's words go into the detail for the classes that need them.
ConnectionFailure FailureOfErrno(int error);

// "host:port", with an IPv6 address in brackets ("[::1]:25"); a name already in brackets keeps
// them.
std::string ServerAndPort(const std::string& server, int port);

// A sentence that names the server and port and says what happened, e.g.
// "smtp.example.net:25 refused the connection", "no answer from 198.51.100.1:25 within 60 s",
// "host name not found: smtp.example.nett". `action` ("the logon", "the upload of index.html")
// names what a server's error reply turned down; without it the reply is just quoted.
// Empty for kNone.
std::string FailureSentence(const std::string& server, int port, const ConnectionFailure& failure,
                            const std::string& action = "");

}  // namespace orvex
