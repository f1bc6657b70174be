#include "app/StatusDisplay.h"

#include <gtest/gtest.h>

#include "AppFakes.h"
#include "ManualClock.h"
#include "TempDir.h"

namespace orvex::test {
namespace {

class StatusDisplayTest : public ::testing::Test {
protected:
    StatusDisplayTest()
        : state(dir.Path(), dir.File("Orvex.ini")),
          status(
              state, window, clock, [this](const std::string& t) { logged.push_back(t); },
              [] { return std::make_pair(std::string("192.168.1.5"), std::string("1.2.3.4")); }) {}

    TempDir dir;
    AppState state;
    FakeWindow window;
    ManualClock clock{LocalTimeOf(2004, 4, 27, 13, 5, 9)};
    std::vector<std::string> logged;
    StatusDisplay status;
};

TEST_F(StatusDisplayTest, OnlineMessageFillsAddressesTimesAndLogsTheAddresses) {
    state.EditSettings([](AppSettings& s) { s.RefreshIntv = 30; });
    status.ShowStatus(HostMessage::Coded("P10005 System Online:   "));
    const StatusFields& f = window.fields;
    EXPECT_EQ(f.hostMessage, "System Online:   ");
    EXPECT_EQ(f.lanAddress, "192.168.1.5");
    EXPECT_EQ(f.wanAddress, "1.2.3.4");
    EXPECT_EQ(f.lastRefresh, "04/27/04 13:05:09  ");
    EXPECT_EQ(f.nextRefresh, "04/27/04 13:35:09  ");
    EXPECT_EQ(logged,
              (std::vector<std::string>{"System Online:   LAN IP: 192.168.1.5, WAN IP: 1.2.3.4"}));
}

TEST_F(StatusDisplayTest, Ipv6AddressesShowAndLogOnlyWhenEnabled) {
    state.Addresses.SetCurrentWANIP6("2001:db8::7");
    state.Addresses.SetCurrentLANIP6("2001:db8::5");
    status.ShowStatus(HostMessage::Coded("P10005 System Online:   "));
    EXPECT_FALSE(window.fields.ipv6);
    state.EditSettings([](AppSettings& s) { s.EnableIPv6 = 1; });
    status.ShowStatus(HostMessage::Coded("P10005 System Online:   "));
    EXPECT_TRUE(window.fields.ipv6);
    EXPECT_EQ(window.fields.wanAddress6, "2001:db8::7");
    EXPECT_EQ(window.fields.lanAddress6, "2001:db8::5");
    EXPECT_EQ(logged, (std::vector<std::string>{
                          "System Online:   LAN IP: 192.168.1.5, WAN IP: 1.2.3.4",
                          "System Online:   LAN IP: 192.168.1.5, WAN IP: 1.2.3.4, WAN IPv6: "
                          "2001:db8::7"}));
}

TEST_F(StatusDisplayTest, ReachabilitySentenceGoesBesideTheWanAddress) {
    status.ShowStatus(HostMessage::Coded("P10005 System Online:   "));
    EXPECT_EQ(window.fields.wanReachability, "");
    state.Addresses.SetWanReach("carrier-grade NAT", "web", "The router's WAN address ...");
    status.ShowStatus(HostMessage::Coded("P10005 System Online:   "));
    EXPECT_EQ(window.fields.wanReachability, "The router's WAN address ...");
    EXPECT_EQ(
        logged.back(),
        "System Online:   LAN IP: 192.168.1.5, WAN IP: 1.2.3.4 (The router's WAN address ...)");
}

TEST_F(StatusDisplayTest, ManualRefreshKeepsTheNextRefreshAndIsCleared) {
    state.EditSettings([](AppSettings& s) { s.RefreshIntv = 30; });
    status.ShowStatus(HostMessage::Coded("P10005 System Online:   "));
    const std::string next = window.fields.nextRefresh;
    clock.Advance(60);
    state.Flags.ManualRefresh = 1;
    status.ShowStatus(HostMessage::Coded("P10005 System Online:   "));
    EXPECT_EQ(window.fields.nextRefresh, next);
    EXPECT_EQ(window.fields.lastRefresh, "04/27/04 13:06:09  ");
    EXPECT_EQ(state.Flags.ManualRefresh, 0);
}

TEST_F(StatusDisplayTest, LogErrorReportIsShownButNotLoggedAgain) {
    status.ShowStatus(HostMessage::LocalFailure("Error opening log file."));
    EXPECT_EQ(window.fields.hostMessage, "Unable to resolve hostname/Connection Timeout");
    EXPECT_TRUE(logged.empty());
}

TEST_F(StatusDisplayTest, NoIntervalShowsNotScheduledAndOtherMessagesLeaveTheFields) {
    status.ShowStatus(HostMessage::Coded("P10005 System Online:   "));
    EXPECT_EQ(window.fields.nextRefresh, "Not Scheduled to refresh");
    status.ShowStatus(HostMessage::Coded("P10004 Attempting to connect to FTP Server..."));
    EXPECT_EQ(window.fields.hostMessage, "Attempting to connect to FTP Server...");
    EXPECT_EQ(window.fields.lanAddress, "192.168.1.5");
    EXPECT_EQ(logged.back(), "Attempting to connect to FTP Server...");
}

}  // namespace
}  // namespace orvex::test
