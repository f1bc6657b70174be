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
