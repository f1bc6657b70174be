#include "address/WanAddress.h"

#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "RecordingHost.h"
#include "ServerProcess.h"
#include "TempDir.h"
#include "TestCertificates.h"
#include "platform/HttpClient.h"

namespace orvex {
namespace {

using test::FileExists;
using test::PeerScript;
using test::ReadFile;
using test::RecordingHost;
using test::ServerProcess;
using test::TempDir;

// An echo page started for one test; see tests/peers/echo_page.py for the modes.
class EchoPage {
public:
    explicit EchoPage(std::vector<std::string> args = {})
        : server_(test::kPython, Prepend(PeerScript("echo_page.py"), std::move(args))) {}

    bool Ready() const { return server_.Ready(); }
    int Port() const { return server_.Port(); }
    std::string Url(const std::string& path = "/ip.cgi") const {
        return "http://127.0.0.1:" + std::to_string(server_.Port()) + path;
    }
    std::string Log() const { return server_.Log(); }
    void Stop() { server_.Stop(); }
    // Whether the page logged `line`; its output reaches the log a moment after it is printed.
    bool Logged(const std::string& line) const {
        for (int i = 0; i < 500; ++i) {
            if (Log().find(line + "\n") != std::string::npos) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

private:
    static std::vector<std::string> Prepend(std::string first, std::vector<std::string> rest) {
        rest.insert(rest.begin(), std::move(first));
        return rest;
    }
    ServerProcess server_;
};

// A loopback port nobody listens on.
int RefusedPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

class WanAddressTest : public ::testing::Test {
protected:
    // The lookup honours the usual proxy variables; the tests' pages are all local.
    static void SetUpTestSuite() {
        for (const char* name :
             {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
            ::unsetenv(name);
        }
    }

    WanAddressTest() {
        settings.StartDelimiter = "REMOTE_ADDR:";
        settings.EndDelimiter = "<br>";
        settings.UpdateOnNAIP = 1;
        settings.DebugWANPage = "FALSE";
        settings.Timeout = 15;
    }

    std::string Lookup(const std::string& url) {
        settings.WANIPURL = url;
        return GetWANIP(state, file, settings, host, dir.Path());
    }
    void StoreLast(const std::string& address) {
        file.WriteString("IPAddress", "LastWANIP", address);
    }
    std::string StoredLast() { return file.GetString("IPAddress", "LastWANIP", "absent", 1000); }

    TempDir dir;
    Profile file{dir.File("Orvex.ini")};
    AddressState state;
    RecordingHost host;
    WanLookupSettings settings;
};

TEST_F(WanAddressTest, EchoPageGivesTheCallersAddressRequestedExactlyAsConfigured) {
    EchoPage page;
    ASSERT_TRUE(page.Ready());
    StoreLast("198.51.100.1");
    EXPECT_EQ(Lookup(page.Url("/ip.cgi?user=me&x=1")), "127.0.0.1");
    EXPECT_EQ(state.CurrentWANIP(), "127.0.0.1");
    EXPECT_EQ(state.PreviousWANIP(), "198.51.100.1");
    EXPECT_EQ(StoredLast(), "127.0.0.1");
    EXPECT_EQ(host.Transcript(),
              std::vector<std::string>{"status: P10009 Requesting WAN IP address..."});
    EXPECT_TRUE(page.Logged("REQUEST /ip.cgi?user=me&x=1 AGENT " + HttpUserAgent())) << page.Log();
}

TEST_F(WanAddressTest, DefaultServicesAreAskedInOrderWhenNoUrlIsSet) {
    EchoPage page({"--body", "203.0.113.21\\n"});
    ASSERT_TRUE(page.Ready());
    settings.WANIPURL.clear();
    const std::string dead = "http://127.0.0.1:" + std::to_string(RefusedPort()) + "/";
    EXPECT_EQ(GetWANIP(state, file, settings, host, dir.Path(), {dead, page.Url("/plain")}),
              "203.0.113.21");
    // Requested as listed: nothing appended.
    EXPECT_TRUE(page.Logged("REQUEST /plain AGENT " + HttpUserAgent())) << page.Log();
    EXPECT_EQ(host.Transcript(), (std::vector<std::string>{
                                     "status: P10009 Requesting WAN IP address...",
                                     "status: P10010 WAN IP address from " + page.Url("/plain")}));
}

TEST_F(WanAddressTest, DeadAndGarbageServicesAreSkippedAndEachPageIsKept) {
    EchoPage garbage({"--body", "<html>Service unavailable</html>"});
    EchoPage html({"--body", "<p>REMOTE_ADDR: 203.0.113.22<br></p>"});
    EchoPage unasked;
    ASSERT_TRUE(garbage.Ready() && html.Ready() && unasked.Ready());
    StoreLast("198.51.100.1");
    settings.DebugWANPage = "TRUE";
    settings.WANIPFallback = "  " + garbage.Url() + "\t" + html.Url() + " " + unasked.Url();
    EXPECT_EQ(Lookup("http://127.0.0.1:" + std::to_string(RefusedPort()) + "/ip.cgi"),
              "203.0.113.22");
    EXPECT_EQ(StoredLast(), "203.0.113.22");
    // One copy per service that sent a page, numbered by its place in the list.
    EXPECT_FALSE(FileExists(dir.File("WANPage.html")));
    EXPECT_EQ(ReadFile(dir.File("WANPage-2.html")), "<html>Service unavailable</html>");
    EXPECT_EQ(ReadFile(dir.File("WANPage-3.html")), "<p>REMOTE_ADDR: 203.0.113.22<br></p>");
    EXPECT_FALSE(FileExists(dir.File("WANPage-4.html")));
    EXPECT_EQ(unasked.Log(), "");
    EXPECT_EQ(host.Statuses().back(), "P10010 WAN IP address from " + html.Url());
}

TEST_F(WanAddressTest, GarbageFromEveryServiceNeverReachesTheSettingsFile) {
    EchoPage garbage({"--body", "REMOTE_ADDR: <script>x</script><br>"});
    EchoPage html({"--body", "<html><body>Hello</body></html>"});
    ASSERT_TRUE(garbage.Ready() && html.Ready());
    StoreLast("198.51.100.1");
    settings.WANIPFallback = html.Url();
    settings.UpdateOnNAIP = 0;
    EXPECT_EQ(Lookup(garbage.Url()), "198.51.100.1");
    EXPECT_EQ(StoredLast(), "198.51.100.1");
    settings.UpdateOnNAIP = 1;
    EXPECT_EQ(Lookup(garbage.Url()), "N/A");
    EXPECT_EQ(StoredLast(), "N/A");
    // Besides the request message, each failed lookup tells what every service answered.
    const std::string answer = ": answered, but not with an IPv4 address";
    const std::vector<std::string> failed = {
        "P10009 Requesting WAN IP address...",
        "P WAN address service " + garbage.Url() + answer,
        "P WAN address service " + html.Url() + answer,
    };
    std::vector<std::string> both = failed;
    both.insert(both.end(), failed.begin(), failed.end());
    EXPECT_EQ(host.Statuses(), both);
}

TEST_F(WanAddressTest, SlowServiceIsLeftAtItsBoundAndTheWholeLookupAtTwice) {
    EchoPage slow({"--delay", "30"});
    EchoPage live;
    ASSERT_TRUE(slow.Ready() && live.Ready());
    settings.Timeout = 1;  // raised to the five-second floor
    settings.WANIPFallback = live.Url();
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(Lookup(slow.Url()), "127.0.0.1");
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(4900));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(8));

    // Two slow services use up the whole lookup's bound; the live one is never asked.
    settings.WANIPFallback = slow.Url("/again") + " " + live.Url("/late");
    started = std::chrono::steady_clock::now();
    EXPECT_EQ(Lookup(slow.Url()), "N/A");
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(12));
    EXPECT_EQ(live.Log().find("/late"), std::string::npos);
}

TEST_F(WanAddressTest, StatusIsSentAfterReadingTheStoredAddressAndBeforeTheRequest) {
    EchoPage page;
    ASSERT_TRUE(page.Ready());
    StoreLast("198.51.100.1");
    // Stops the page when the status arrives: a request made before the status would still
    // have been answered.
    struct OrderHost : NullHost {
        AddressState* state;
        EchoPage* page;
        std::string previousAtStatus;
        void Status(const HostMessage&) override {
            previousAtStatus = state->PreviousWANIP();
            page->Stop();
        }
    } orderHost;
    orderHost.state = &state;
    orderHost.page = &page;
    settings.WANIPURL = page.Url();
    EXPECT_EQ(GetWANIP(state, file, settings, orderHost, dir.Path()), "N/A");
    EXPECT_EQ(orderHost.previousAtStatus, "198.51.100.1");
}

TEST_F(WanAddressTest, ErrorPageIsCutLikeAnyOther) {
    EchoPage page({"--status", "404", "--body",
                   "<html><h1>Not Found</h1>REMOTE_ADDR: 203.0.113.9<br></html>"});
    ASSERT_TRUE(page.Ready());
    EXPECT_EQ(Lookup(page.Url()), "203.0.113.9");
}

TEST_F(WanAddressTest, PageWithoutAddressPublishesNAOrKeepsThePreviousAddress) {
    EchoPage page({"--body", "<html>no address here</html>"});
    ASSERT_TRUE(page.Ready());
    StoreLast("198.51.100.1");
    settings.UpdateOnNAIP = 0;
    EXPECT_EQ(Lookup(page.Url()), "198.51.100.1");
    EXPECT_EQ(StoredLast(), "198.51.100.1");
    settings.UpdateOnNAIP = 2;
    EXPECT_EQ(Lookup(page.Url()), "198.51.100.1");
    settings.UpdateOnNAIP = 1;
    EXPECT_EQ(Lookup(page.Url()), "N/A");
    EXPECT_EQ(state.PreviousWANIP(), "198.51.100.1");
    EXPECT_EQ(StoredLast(), "N/A");
}

TEST_F(WanAddressTest, RefusedPortAndUnknownHostFailLikeAPageWithoutAddress) {
    settings.DebugWANPage = "TRUE";
    StoreLast("198.51.100.1");
    settings.UpdateOnNAIP = 0;
    const std::string refused = "127.0.0.1:" + std::to_string(RefusedPort());
    EXPECT_EQ(Lookup("http://" + refused + "/ip.cgi"), "198.51.100.1");
    settings.UpdateOnNAIP = 1;
    EXPECT_EQ(Lookup("http://no-such-host.invalid/ip.cgi"), "N/A");
    EXPECT_EQ(Lookup("not a url at all"), "N/A");
    // No page arrived, so there is nothing to copy.
    EXPECT_FALSE(FileExists(dir.File("WANPage.html")));
    // The request message, then in plain words why no address came.
    EXPECT_EQ(host.Statuses(),
              (std::vector<std::string>{
                  "P10009 Requesting WAN IP address...",
                  "P WAN address service http://" + refused + "/ip.cgi: " + refused +
                      " refused the connection",
                  "P10009 Requesting WAN IP address...",
                  "P WAN address service http://no-such-host.invalid/ip.cgi: host name not "
                  "found: no-such-host.invalid",
                  "P10009 Requesting WAN IP address...",
                  "P WAN address service not a url at all: not a usable address (URL using "
                  "bad/illegal format or missing URL)",
              }));
}

TEST_F(WanAddressTest, BodyArrivingInPiecesOverTwoSecondsIsReadWhole) {
    // The address straddles the pieces; the end delimiter arrives last.
    EchoPage page({"--pieces", "3", "--gap", "1", "--body",
                   "<html><body>Your address is REMOTE_ADDR: 203.0.113.77<br></body></html>"});
    ASSERT_TRUE(page.Ready());
    settings.DebugWANPage = "TRUE";
    EXPECT_EQ(Lookup(page.Url()), "203.0.113.77");
    EXPECT_EQ(ReadFile(dir.File("WANPage.html")),
              "<html><body>Your address is REMOTE_ADDR: 203.0.113.77<br></body></html>");
}

TEST_F(WanAddressTest, EndlessBodyIsCutAtTheTimeBound) {
    EchoPage page({"--endless", "--body", "REMOTE_ADDR: 203.0.113.8<br>\\n"});
    ASSERT_TRUE(page.Ready());
    settings.Timeout = 1;  // raised to the five-second floor
    settings.DebugWANPage = "TRUE";
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(Lookup(page.Url()), "203.0.113.8");
    // Bounded by the time limit or by the size limit, whichever comes first.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
    const std::string copy = ReadFile(dir.File("WANPage.html"));
    EXPECT_LE(copy.size(), kMaxPageBytes);
    EXPECT_EQ(copy.rfind("REMOTE_ADDR: 203.0.113.8<br>\n", 0), 0u);
}

TEST_F(WanAddressTest, LargeBodyIsReadUpToItsLimit) {
    const std::string body = "REMOTE_ADDR: 203.0.113.10<br>" + std::string(100 * 1024, 'x');
    EchoPage page({"--body", body});
    ASSERT_TRUE(page.Ready());
    settings.DebugWANPage = "TRUE";
    EXPECT_EQ(Lookup(page.Url()), "203.0.113.10");
    EXPECT_EQ(ReadFile(dir.File("WANPage.html")), body.substr(0, kMaxPageBytes));
}

TEST_F(WanAddressTest, DebugCopyOnlyForExactlyUpperCaseTrue) {
    EchoPage page({"--body", "<p>REMOTE_ADDR: 203.0.113.11<br></p>"});
    ASSERT_TRUE(page.Ready());
    settings.DebugWANPage = "true";
    Lookup(page.Url());
    EXPECT_FALSE(FileExists(dir.File("WANPage.html")));
    test::WriteFile(dir.File("WANPage.html"), std::string(500, 'o'));
    settings.DebugWANPage = "TRUE";
    Lookup(page.Url());
    EXPECT_EQ(ReadFile(dir.File("WANPage.html")), "<p>REMOTE_ADDR: 203.0.113.11<br></p>");
}

TEST_F(WanAddressTest, CutTextThatIsNoAddressIsAFailedLookup) {
    const std::string text = "this is no address but a long text";
    EchoPage page({"--body", "REMOTE_ADDR: " + text + "<br>"});
    ASSERT_TRUE(page.Ready());
    EXPECT_EQ(Lookup(page.Url()), "N/A");
    EXPECT_EQ(StoredLast(), "N/A");
}

TEST_F(WanAddressTest, LineBreaksInTheCutTextCannotAddLinesToTheSettingsFile) {
    EchoPage page({"--body", "REMOTE_ADDR: 1.2.3.4\\n[LocalSettings]\\nFTPServer=evil<br>"});
    ASSERT_TRUE(page.Ready());
    EXPECT_EQ(Lookup(page.Url()), "N/A");
    EXPECT_EQ(StoredLast(), "N/A");
    EXPECT_EQ(file.GetString("LocalSettings", "FTPServer", "absent"), "absent");
}

TEST_F(WanAddressTest, LookupAsksOverIpv4OnlyOnADualStackName) {
    // The lookup client resolves "localhost" to both 127.0.0.1 and ::1.
    EchoPage only6({"--bind", "::1"});
    ASSERT_TRUE(only6.Ready());
    const std::string port = std::to_string(only6.Port());
    EXPECT_EQ(Lookup("http://localhost:" + port + "/ip.cgi"), "N/A");
    EXPECT_EQ(only6.Log(), "");
    EchoPage both({"--bind", "::1", "--bind", "127.0.0.1"});
    ASSERT_TRUE(both.Ready());
    EXPECT_EQ(Lookup("http://localhost:" + std::to_string(both.Port()) + "/ip.cgi"), "127.0.0.1");
}

TEST_F(WanAddressTest, Ipv6LookupAsksOverIpv6AndWantsAnIpv6Answer) {
    EchoPage only4;
    EchoPage plain4({"--bind", "::1", "--body", "203.0.113.5"});
    EchoPage both({"--bind", "127.0.0.1", "--bind", "::1"});
    ASSERT_TRUE(only4.Ready() && plain4.Ready() && both.Ready());
    auto at = [](const EchoPage& page) {
        return "http://localhost:" + std::to_string(page.Port()) + "/six";
    };
    file.WriteString("IPAddress", "LastWANIP6", "2001:db8::1");
    settings.DebugWANPage = "TRUE";
    settings.WANIPURL6 = at(only4) + " " + at(plain4) + " " + at(both);
    EXPECT_EQ(GetWANIP6(state, file, settings, host, dir.Path()), "::1");
    EXPECT_EQ(state.Get().PreviousWANIP6, "2001:db8::1");
    EXPECT_EQ(file.GetString("IPAddress", "LastWANIP6", ""), "::1");
    EXPECT_EQ(only4.Log(), "");  // its IPv4 address is never asked
    EXPECT_EQ(ReadFile(dir.File("WANPage6-2.html")), "203.0.113.5");
    EXPECT_EQ(ReadFile(dir.File("WANPage6-3.html")), "REMOTE_ADDR: ::1<br>");
    EXPECT_EQ(host.Transcript(),
              std::vector<std::string>{"status: P10010 WAN IPv6 address from " + at(both)});
    // The IPv4 lookup's files and key are its own.
    EXPECT_FALSE(FileExists(dir.File("WANPage.html")));
    EXPECT_EQ(StoredLast(), "absent");

    // Empty: the given defaults; none answers: "N/A" or the previous address.
    settings.WANIPURL6.clear();
    settings.UpdateOnNAIP = 0;
    EXPECT_EQ(GetWANIP6(state, file, settings, host, dir.Path(), {at(only4)}), "::1");
    settings.UpdateOnNAIP = 1;
    EXPECT_EQ(GetWANIP6(state, file, settings, host, dir.Path(), {at(only4)}), "N/A");
}

// A service asked over https that sends the lookup to a plain http page is not followed, so
// nobody on the way can hand in an address of their choice; over http it still is.
TEST_F(WanAddressTest, HttpsServiceIsNeverFollowedToHttp) {
    test::TestCertificates certs(dir.Path());
    ASSERT_TRUE(certs.Ok()) << certs.Error();
    // The lookup trusts the system store, which this names.
    ::setenv("SSL_CERT_FILE", certs.CaFile().c_str(), 1);
    EchoPage page;
    ServerProcess secure(test::kPython,
                         {PeerScript("http_server.py"), "--tls", certs.CertFile("server"),
                          certs.KeyFile("server"), "--redirect", page.Url("")});
    ServerProcess plain(test::kPython, {PeerScript("http_server.py"), "--redirect", page.Url("")});
    ASSERT_TRUE(page.Ready() && secure.Ready() && plain.Ready());
    const std::string secureAt = "127.0.0.1:" + std::to_string(secure.Port());
    EXPECT_EQ(Lookup("https://" + secureAt + "/ip.cgi"), "N/A");
    EXPECT_EQ(page.Log(), "");
    EXPECT_EQ(host.Statuses().back(), "P WAN address service https://" + secureAt +
                                          "/ip.cgi: talking to " + secureAt +
                                          " failed: it redirected to " + page.Url("") +
                                          ", which a request over https does not follow");
    EXPECT_EQ(Lookup("http://127.0.0.1:" + std::to_string(plain.Port()) + "/ip.cgi"), "127.0.0.1");
    ::unsetenv("SSL_CERT_FILE");
}

TEST_F(WanAddressTest, AddressesCanBeReadWhileALookupRuns) {
    EchoPage page({"--pieces", "2", "--gap", "0.3"});
    ASSERT_TRUE(page.Ready());
    std::atomic<bool> done{false};
    std::thread reader([&] {
        while (!done) {
            AddressState::Snapshot snapshot = state.Get();
            EXPECT_TRUE(snapshot.CurrentWANIP.empty() || snapshot.CurrentWANIP == "127.0.0.1");
        }
    });
    Lookup(page.Url());
    done = true;
    reader.join();
    EXPECT_EQ(state.CurrentWANIP(), "127.0.0.1");
}

}  // namespace
}  // namespace orvex
