#include <cstdio>

#include <gtest/gtest.h>

#include "address/WanAddress.h"

namespace orvex {
namespace {

TEST(CutAddressTest, CutsBetweenFirstStartAndNextEnd) {
    struct Case {
        const char* page;
        const char* expected;
    } cases[] = {
        {"REMOTE_ADDR: 203.0.113.7<br>", "203.0.113.7"},
        {"<html>REMOTE_ADDR:\t 203.0.113.7 \r\n<br></html>", "203.0.113.7"},
        // The first start delimiter counts, and the first end delimiter after it.
        {"REMOTE_ADDR: 1.1.1.1<br>REMOTE_ADDR: 2.2.2.2<br>", "1.1.1.1"},
        {"<br>REMOTE_ADDR: 3.3.3.3<br><br>", "3.3.3.3"},
        // Nothing is checked beyond the cut.
        {"REMOTE_ADDR:<br>", ""},
        {"REMOTE_ADDR: not an address <br>", "not an address"},
        {"REMOTE_ADDR: 4.4.4.4", "N/A"},
        {"remote_addr: 5.5.5.5<br>", "N/A"},
        {"", "N/A"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CutAddress(c.page, "REMOTE_ADDR:", "<br>"), c.expected) << c.page;
    }
}

TEST(CutAddressTest, OtherServicesAreCutByTheirOwnDelimiters) {
    EXPECT_EQ(CutAddress("{\"ip\":\"198.51.100.4\"}", "\"ip\":\"", "\""), "198.51.100.4");
    EXPECT_EQ(CutAddress("Current IP Address: 198.51.100.5</body>", "Address:", "</body>"),
              "198.51.100.5");
}

TEST(CheckedAnswerTest, OnlyAnAddressOfTheAskedFamilyCounts) {
    struct Case {
        const char* page;
        IpFamily family;
        const char* expected;
    } cases[] = {
        {"<p>REMOTE_ADDR: 203.0.113.7<br></p>", IpFamily::kIPv4, "203.0.113.7"},
        // Plain-text services: the whole answer, line end and blanks trimmed.
        {"203.0.113.8\n", IpFamily::kIPv4, "203.0.113.8"},
        {" \t203.0.113.9\r\n", IpFamily::kIPv4, "203.0.113.9"},
        {"2001:db8::7\n", IpFamily::kIPv6, "2001:db8::7"},
        {"REMOTE_ADDR: 2001:db8::8<br>", IpFamily::kIPv6, "2001:db8::8"},
        // A start delimiter without an end: the whole answer is checked, and fails.
        {"REMOTE_ADDR: 203.0.113.10", IpFamily::kIPv4, ""},
        // Garbage, near misses and the other family.
        {"<html>Service unavailable</html>", IpFamily::kIPv4, ""},
        {"REMOTE_ADDR: 1.2.3.4\n[LocalSettings]<br>", IpFamily::kIPv4, ""},
        {"REMOTE_ADDR: 256.1.1.1<br>", IpFamily::kIPv4, ""},
        {"REMOTE_ADDR: 1.2.3<br>", IpFamily::kIPv4, ""},
        {"REMOTE_ADDR: 1.2.3.4 5<br>", IpFamily::kIPv4, ""},
        {"::1", IpFamily::kIPv4, ""},
        {"203.0.113.11", IpFamily::kIPv6, ""},
        {"", IpFamily::kIPv4, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CheckedAnswer(c.page, "REMOTE_ADDR:", "<br>", c.family), c.expected) << c.page;
    }
}

TEST(CheckedAnswerTest, ServicesComeInOrderWithTheDefaultsWhenNoUrlIsSet) {
    const std::vector<std::string> defaults = {"https://a.example", "https://b.example"};
    EXPECT_EQ(LookupServices("", "", defaults), defaults);
    EXPECT_EQ(LookupServices("http://mine/ip", " http://x/1\t http://y/2  ", defaults),
              (std::vector<std::string>{"http://mine/ip", "http://x/1", "http://y/2"}));
    EXPECT_EQ(LookupServices("", "http://x/1", defaults),
              (std::vector<std::string>{"https://a.example", "https://b.example", "http://x/1"}));
}

// The echo page users can host themselves answers in the default delimiters.
TEST(CutAddressTest, ShippedEchoScriptAnswersInTheDefaultDelimiters) {
    for (const std::string address : {"198.51.100.7", "2001:db8::1"}) {
        const std::string command = "env -i REMOTE_ADDR='" + address + "' /bin/sh " +
                                    ORVEX_SOURCE_DIR + "/tools/echo-page/ip.cgi";
        FILE* pipe = ::popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::string output;
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
            output += buffer;
        }
        EXPECT_EQ(::pclose(pipe), 0);
        const size_t bodyStart = output.find("\r\n\r\n");
        ASSERT_NE(bodyStart, std::string::npos) << output;
        EXPECT_EQ(output.rfind("Content-Type: text/html\r\n", 0), 0u) << output;
        EXPECT_EQ(CutAddress(output.substr(bodyStart), "REMOTE_ADDR:", "<br>"), address);
    }
}

}  // namespace
}  // namespace orvex
