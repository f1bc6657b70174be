#include "platform/FailureSentence.h"

#include <cerrno>

#include <gtest/gtest.h>

namespace orvex::test {
namespace {

TEST(FailureSentence, EachClassNamesTheServerAndSaysWhatHappened) {
    struct Case {
        ConnectionFailure failure;
        std::string action;
        std::string sentence;
    };
    const Case cases[] = {
        {{FailureClass::kRefused, 0, {}}, "", "smtp.example.net:25 refused the connection"},
        {{FailureClass::kNoAnswer, 60, {}}, "", "no answer from smtp.example.net:25 within 60 s"},
        {{FailureClass::kNoReply, 25, {}},
         "",
         "smtp.example.net:25 took the connection but sent no reply within 25 s"},
        {{FailureClass::kNameNotFound, 0, {}}, "", "host name not found: smtp.example.net"},
        {{FailureClass::kClosed, 0, {}}, "", "smtp.example.net:25 closed the connection"},
        {{FailureClass::kCertificate, 0, "certificate has expired"},
         "",
         "the certificate of smtp.example.net was not accepted: certificate has expired"},
        {{FailureClass::kTls, 0, "wrong version number"},
         "",
         "the TLS handshake with smtp.example.net:25 failed: wrong version number"},
        {{FailureClass::kNoTlsOffered, 0, {}}, "", "smtp.example.net:25 does not offer TLS"},
        // A reply of several lines stays one line of the log.
        {{FailureClass::kServerRefused, 0, "550-No relay\r\n550 for you\r\n"},
         "",
         "smtp.example.net:25 answered with an error: 550-No relay 550 for you"},
        {{FailureClass::kServerRefused, 0, "530 Login incorrect."},
         "the logon",
         "smtp.example.net:25 refused the logon: 530 Login incorrect."},
        {{FailureClass::kUnreachable, 0, "no route to host"},
         "",
         "smtp.example.net:25 cannot be reached (no route to host)"},
        {{FailureClass::kSendFailed, 0, {}}, "", "sending to smtp.example.net:25 failed"},
        {{FailureClass::kOther, 0, "reply line too long"},
         "",
         "talking to smtp.example.net:25 failed: reply line too long"},
        {{FailureClass::kNone, 0, {}}, "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FailureSentence("smtp.example.net", 25, c.failure, c.action), c.sentence);
    }
}

TEST(FailureSentence, Ipv6AddressesGetBracketsOnce) {
    EXPECT_EQ(ServerAndPort("::1", 21), "[::1]:21");
    EXPECT_EQ(ServerAndPort("[::1]", 25), "[::1]:25");
    EXPECT_EQ(ServerAndPort("198.51.100.1", 25), "198.51.100.1:25");
}

TEST(FailureSentence, SystemErrorsFallIntoTheirClasses) {
    EXPECT_EQ(FailureOfErrno(ECONNREFUSED).kind, FailureClass::kRefused);
    EXPECT_EQ(FailureOfErrno(ETIMEDOUT).kind, FailureClass::kNoAnswer);
    EXPECT_EQ(FailureOfErrno(ECONNRESET).kind, FailureClass::kClosed);
    const ConnectionFailure unreachable = FailureOfErrno(EHOSTUNREACH);
    EXPECT_EQ(unreachable.kind, FailureClass::kUnreachable);
    EXPECT_EQ(unreachable.detail, "no route to host");
    EXPECT_EQ(FailureOfErrno(EACCES).kind, FailureClass::kOther);
    EXPECT_EQ(FailureOfErrno(0).detail, "unknown cause");
}

}  // namespace
}  // namespace orvex::test
