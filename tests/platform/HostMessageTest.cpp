#include "platform/HostMessage.h"

#include <gtest/gtest.h>

#include "platform/StatusTexts.h"

namespace orvex::test {
namespace {

TEST(HostMessageTest, EachKindIsShownAndRecordedByWhatItIs) {
    struct Case {
        HostMessage message;
        std::string shown;
        std::string recorded;
    };
    const Case cases[] = {
        {HostMessage::Coded(status::kRequestingWanAddress), "Requesting WAN IP address...",
         "P10009 Requesting WAN IP address..."},
        {HostMessage::Coded(status::kFileErrorPrefix, "x.htm: No such file"), "x.htm: No such file",
         "P10007 x.htm: No such file"},
        {HostMessage::Coded(status::kEmailNotSentPrefix, "SEE Error -46: x"),
         "Email not sent: SEE Error -46: x", "P Email not sent: SEE Error -46: x"},
        {HostMessage::Sentence("x:1 refused the connection"), "x:1 refused the connection",
         "P x:1 refused the connection"},
        {HostMessage::Reply("530 Login incorrect."), "Login incorrect.", "530 Login incorrect."},
        {HostMessage::Reply("226"), "226", "226"},
        {HostMessage::Reply(""), HostMessage::kLocalFailureText, ""},
        {HostMessage::LocalFailure("Error opening log file."), HostMessage::kLocalFailureText,
         "Error opening log file."},
        // A plain text keeps whatever it starts with: digits and "P " are words here.
        {HostMessage::Plain("Updating dynamic DNS name home.example.net..."),
         "Updating dynamic DNS name home.example.net...",
         "Updating dynamic DNS name home.example.net..."},
        {HostMessage::Plain("200 OK from P provider"), "200 OK from P provider",
         "200 OK from P provider"},
        {HostMessage::Plain("P 1 record"), "P 1 record", "P 1 record"},
        {HostMessage::Plain("Dynamic DNS name a not updated").WithFailure("no answer within 5 s"),
         "Dynamic DNS name a not updated: no answer within 5 s",
         "Dynamic DNS name a not updated: no answer within 5 s"},
        // No server or provider can add lines to the log.
        {HostMessage::Reply("530 bad\r\nP10005 System Online:   "),
         "bad  P10005 System Online:   ", "530 bad  P10005 System Online:   "},
        {HostMessage::Plain("good\n1.2.3.4\x1b[2J\x7f"), "good 1.2.3.4 [2J ", "good 1.2.3.4 [2J "},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.message.Shown(), c.shown) << c.recorded;
        EXPECT_EQ(c.message.Recorded(), c.recorded);
    }
    EXPECT_TRUE(HostMessage::Coded(status::kSystemOnline).Is(status::kSystemOnline));
    EXPECT_FALSE(HostMessage::Plain(status::kSystemOnline).Is(status::kSystemOnline));
    EXPECT_FALSE(HostMessage::Coded(status::kSystemOnline, "x").Is(status::kSystemOnline));
}

}  // namespace
}  // namespace orvex::test
