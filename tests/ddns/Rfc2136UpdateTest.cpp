#include "ddns/Rfc2136Update.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <utility>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "NameServer.h"

namespace orvex::ddns {
namespace {

using test::NameServer;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;
using testing::StartsWith;
using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// What the server said, or why nothing useful came.
std::string Said(const UpdateAttempt& attempt) {
    return attempt.answers.empty() ? attempt.why : attempt.answers.front();
}

Rfc2136Request RequestFor(const NameServer& ns) {
    Rfc2136Request request;
    request.server = "127.0.0.1";
    request.port = ns.Port();
    request.zone = ns.Zone();
    request.tsigName = ns.KeyName();
    request.tsigSecret = ns.KeySecret();
    request.ttl = 600;
    request.timeoutMs = 5000;
    return request;
}

// A UDP socket and a TCP listener on one loopback port. The UDP side gets every datagram and,
// when `replyFlags` is set, answers each with a header carrying the request's ID, those flags
// and `additional` records in the additional section, then `body`; otherwise it stays silent.
class FakeDnsPeer {
public:
    explicit FakeDnsPeer(int replyFlags = -1, int additional = 0, std::string body = {})
        : replyFlags_(replyFlags), additional_(additional), body_(std::move(body)) {
        // The system picks a free UDP port; its TCP twin may be taken (or still closing after
        // another test), so a few ports are tried.
        for (int attempt = 0; attempt < 50 && port_ == 0; ++attempt) {
            if (udp_ >= 0) {
                ::close(udp_);
                ::close(tcp_);
            }
            udp_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
            tcp_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
            const int on = 1;
            ::setsockopt(tcp_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            socklen_t length = sizeof address;
            if (::bind(udp_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                ::getsockname(udp_, reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
                ::bind(tcp_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                ::listen(tcp_, 4) == 0) {
                port_ = ntohs(address.sin_port);
            }
        }
        thread_ = std::thread([this] { Serve(); });
    }
    ~FakeDnsPeer() {
        stop_ = true;
        thread_.join();
        ::close(udp_);
        ::close(tcp_);
    }

    int Port() const { return port_; }
    int Datagrams() const { return datagrams_; }
    bool SameDatagramEachTime() const { return same_; }
    // Whether someone connected by TCP.
    bool TcpConnected() const {
        const int fd = ::accept4(tcp_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            return false;
        }
        ::close(fd);
        return true;
    }

private:
    void Serve() {
        std::string first;
        while (!stop_) {
            pollfd p{udp_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) {
                continue;
            }
            unsigned char buffer[65535];
            sockaddr_storage from{};
            socklen_t length = sizeof from;
            const ssize_t n = ::recvfrom(udp_, buffer, sizeof buffer, 0,
                                         reinterpret_cast<sockaddr*>(&from), &length);
            if (n < 12) {
                continue;
            }
            const std::string datagram(reinterpret_cast<char*>(buffer), static_cast<size_t>(n));
            if (datagrams_++ == 0) {
                first = datagram;
            } else if (datagram != first) {
                same_ = false;
            }
            if (replyFlags_ >= 0) {
                unsigned char reply[12] = {buffer[0], buffer[1],
                                           static_cast<unsigned char>(replyFlags_ >> 8),
                                           static_cast<unsigned char>(replyFlags_ & 0xff)};
                ::sendto(udp_, reply, sizeof reply, 0, reinterpret_cast<sockaddr*>(&from), length);
            }
        }
    }

    int replyFlags_;
    int additional_;
    std::string body_;
    int udp_ = -1;
    int tcp_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> datagrams_{0};
    std::atomic<bool> same_{true};
    std::thread thread_;
};

// Reply header flags: QR, opcode UPDATE (5), and TC when truncated.
constexpr int kUpdateReply = 0x8000 | (5 << 11);
constexpr int kTruncated = 0x0200;
constexpr int kNotAuth = 9;

class Rfc2136UpdateTest : public testing::Test {
protected:
    void SetUp() override {
        if (!NameServer::Installed()) {
            GTEST_SKIP() << "named and dig are not installed (bash scripts/deps)";
        }
        ns_ = std::make_unique<NameServer>();
        ASSERT_TRUE(ns_->Ready()) << ns_->Log();
        RecordProperty("NameServerStartSeconds", std::to_string(ns_->StartSeconds()));
    }

    std::unique_ptr<NameServer> ns_;
};

TEST_F(Rfc2136UpdateTest, ReplacesTheAddressRecordsOfEveryHostWithTheTtl) {
    Rfc2136Request request = RequestFor(*ns_);
    request.hosts = {"home.example.test", "nas.example.test."};
    request.ipv4 = "192.0.2.10";
    request.ipv6 = "2001:db8::10";
    UpdateAttempt result = SendRfc2136Update(request);
    ASSERT_TRUE(result.ok) << Said(result) << "\n" << ns_->Log();
    EXPECT_EQ(Said(result), "NOERROR: updated home.example.test, nas.example.test.");
    // The record the zone started with is gone, not joined.
    EXPECT_THAT(ns_->Query("home.example.test", "A"), ElementsAre("600 192.0.2.10"));
    EXPECT_THAT(ns_->Query("home.example.test", "AAAA"), ElementsAre("600 2001:db8::10"));
    EXPECT_THAT(ns_->Query("nas.example.test", "A"), ElementsAre("600 192.0.2.10"));
    EXPECT_THAT(ns_->Query("nas.example.test", "AAAA"), ElementsAre("600 2001:db8::10"));

    // The next address replaces the last; a family left out keeps what it had.
    request.server = "::1";
    request.ttl = 120;
    request.ipv4 = "192.0.2.20";
    request.ipv6.clear();
    result = SendRfc2136Update(request);
    ASSERT_TRUE(result.ok) << Said(result);
    EXPECT_THAT(ns_->Query("home.example.test", "A"), ElementsAre("120 192.0.2.20"));
    EXPECT_THAT(ns_->Query("nas.example.test", "A"), ElementsAre("120 192.0.2.20"));
    EXPECT_THAT(ns_->Query("home.example.test", "AAAA"), ElementsAre("600 2001:db8::10"));
}

TEST_F(Rfc2136UpdateTest, AnUpdateTooLargeForUdpGoesByTcp) {
    Rfc2136Request request = RequestFor(*ns_);
    request.server = "localhost";
    for (int i = 0; i < 40; ++i) {
        request.hosts.push_back("host" + std::to_string(i) + ".example.test");
    }
    request.ipv4 = "192.0.2.30";
    request.ipv6 = "2001:db8::30";
    const UpdateAttempt result = SendRfc2136Update(request);
    ASSERT_TRUE(result.ok) << Said(result) << "\n" << ns_->Log();
    EXPECT_THAT(ns_->Query("host0.example.test", "A"), ElementsAre("600 192.0.2.30"));
    EXPECT_THAT(ns_->Query("host39.example.test", "AAAA"), ElementsAre("600 2001:db8::30"));
}

TEST_F(Rfc2136UpdateTest, KeysTheServerRejectsAreNamedAndChangeNothing) {
    Rfc2136Request request = RequestFor(*ns_);
    request.hosts = {"home.example.test"};
    request.ipv4 = "192.0.2.40";

    Rfc2136Request wrongSecret = request;
    wrongSecret.tsigSecret = "d3Jvbmctc2VjcmV0LXdyb25nLXNlY3JldC13cm9uZyE=";
    UpdateAttempt result = SendRfc2136Update(wrongSecret);
    EXPECT_FALSE(result.ok);
    EXPECT_THAT(Said(result),
                StartsWith("NOTAUTH (BADSIG): the name server did not accept the TSIG key "
                           "orvex-update-key"));
    EXPECT_EQ(result.why,
              "127.0.0.1:" + std::to_string(ns_->Port()) + " refused the update: NOTAUTH (BADSIG)");
    EXPECT_TRUE(result.stop) << "a wrong key is not sent again";

    Rfc2136Request unknownKey = request;
    unknownKey.tsigName = "no-such-key";
    result = SendRfc2136Update(unknownKey);
    EXPECT_FALSE(result.ok);
    EXPECT_THAT(Said(result),
                StartsWith("NOTAUTH (BADKEY): the name server did not accept the TSIG key "
                           "no-such-key"));

    // Known, but granted nothing in the zone.
    Rfc2136Request otherKey = request;
    otherKey.tsigName = ns_->OtherKeyName();
    otherKey.tsigSecret = ns_->OtherKeySecret();
    result = SendRfc2136Update(otherKey);
    EXPECT_FALSE(result.ok);
    EXPECT_THAT(Said(result), StartsWith("REFUSED: "));
    EXPECT_TRUE(result.stop);

    // Unsigned, where the zone allows only the key: refused, and said to be unsigned.
    Rfc2136Request noKey = request;
    noKey.tsigName.clear();
    noKey.tsigSecret.clear();
    result = SendRfc2136Update(noKey);
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.stop);
    EXPECT_THAT(result.why,
                StartsWith("127.0.0.1:" + std::to_string(ns_->Port()) + " refused the update: "));

    EXPECT_THAT(ns_->Query("home.example.test", "A"), ElementsAre("300 198.51.100.7"));
}

Rfc2136Request LoopbackRequest(int port) {
    Rfc2136Request request;
    request.server = "127.0.0.1";
    request.port = port;
    request.zone = "example.test";
    request.hosts = {"home.example.test"};
    request.tsigName = "orvex-update-key";
    request.tsigSecret = "b3J2ZXgtdXBkYXRlLWtleS1mb3ItdGhlLXRlc3RzLTI1Ng==";
    request.ipv4 = "192.0.2.50";
    request.timeoutMs = 1200;
    return request;
}

TEST(Rfc2136UpdateFaults, ClosedPortFailsAtOnce) {
    int port = 0;
    {
        FakeDnsPeer gone;
        port = gone.Port();
    }
    ASSERT_NE(port, 0);
    const auto start = Clock::now();
    const UpdateAttempt result = SendRfc2136Update(LoopbackRequest(port));
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(Said(result), "127.0.0.1:" + std::to_string(port) + " refused the connection");
    EXPECT_FALSE(result.stop) << "a server that is down may come back";
    EXPECT_LT(SecondsSince(start), 0.5);
}

TEST(Rfc2136UpdateFaults, SilentServerIsAskedAgainAndGivenUpOnAtTheBound) {
    FakeDnsPeer silent;
    const auto start = Clock::now();
    const UpdateAttempt result = SendRfc2136Update(LoopbackRequest(silent.Port()));
    const double seconds = SecondsSince(start);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(Said(result),
              "no answer from 127.0.0.1:" + std::to_string(silent.Port()) + " within 1 s");
    EXPECT_GE(seconds, 1.15);
    EXPECT_LT(seconds, 2.0);
    EXPECT_GE(silent.Datagrams(), 2);
    EXPECT_TRUE(silent.SameDatagramEachTime());
}

TEST(Rfc2136UpdateFaults, UnsignedSuccessToASignedUpdateIsIgnoredUntilTheBound) {
    FakeDnsPeer forger(kUpdateReply);
    const auto start = Clock::now();
    const UpdateAttempt result = SendRfc2136Update(LoopbackRequest(forger.Port()));
    EXPECT_FALSE(result.ok);
    EXPECT_GE(SecondsSince(start), 1.15) << "a forged answer does not end the wait";
    EXPECT_THAT(result.why, StartsWith("no answer signed with the TSIG key orvex-update-key came "
                                       "from 127.0.0.1:" +
                                       std::to_string(forger.Port()) + " within 1 s ("));

    // Without a key the update goes unsigned, and any answer with its ID counts.
    Rfc2136Request plain = LoopbackRequest(forger.Port());
    plain.tsigName = " ";
    plain.tsigSecret.clear();
    const UpdateAttempt unsignedUpdate = SendRfc2136Update(plain);
    ASSERT_TRUE(unsignedUpdate.ok) << unsignedUpdate.why;
    EXPECT_EQ(Said(unsignedUpdate),
              "NOERROR: updated home.example.test, sent unsigned (no TSIG key set)");
}

// A TSIG record owned by the root name with `rdata`.
std::string TsigRecord(const std::string& rdata) {
    return std::string("\0\0\xfa\0\xff\0\0\0\0\0", 10) + static_cast<char>(rdata.size()) + rdata;
}

TEST(Rfc2136UpdateFaults, SignatureRecordsThatCannotVerifyAreNoSignature) {
    // Cut short after the algorithm name: no error code, no MAC.
    const std::string cutShort = TsigRecord(std::string(1, '\0'));
    FakeDnsPeer refusal(kUpdateReply | kNotAuth, 1, cutShort);
    UpdateAttempt result = SendRfc2136Update(LoopbackRequest(refusal.Port()));
    EXPECT_FALSE(result.ok);
    EXPECT_THAT(Said(result), StartsWith("NOTAUTH: "));

    // Whole, but of another algorithm, with a MAC of zeros.
    const std::string otherAlgorithm =
        TsigRecord(std::string("\x08hmac-md5\0", 10) + std::string(6, '\0') + "\x01\x2c\0\x10" +
                   std::string(16, '\0') + std::string(6, '\0'));
    for (const std::string& record : {cutShort, otherAlgorithm}) {
        FakeDnsPeer success(kUpdateReply, 1, record);
        result = SendRfc2136Update(LoopbackRequest(success.Port()));
        EXPECT_FALSE(result.ok);
        EXPECT_THAT(Said(result), HasSubstr("no answer signed with the TSIG key"));
    }
}

TEST(Rfc2136UpdateFaults, TruncatedAnswerIsAskedAgainByTcp) {
    FakeDnsPeer truncating(kUpdateReply | kTruncated);
    const UpdateAttempt result = SendRfc2136Update(LoopbackRequest(truncating.Port()));
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(truncating.TcpConnected());
    EXPECT_EQ(truncating.Datagrams(), 1);
}

TEST(Rfc2136UpdateFaults, FaultsInTheRequestAreReportedWithoutSending) {
    FakeDnsPeer peer;
    struct Case {
        void (*spoil)(Rfc2136Request&);
        std::string message;
    };
    const Case cases[] = {
        {[](Rfc2136Request& r) { r.tsigSecret = "not base64!"; },
         "the TSIG secret for key orvex-update-key is not valid base64"},
        {[](Rfc2136Request& r) { r.tsigSecret = "b3J2ZXg=b3J2"; },
         "the TSIG secret for key orvex-update-key is not valid base64"},
        {[](Rfc2136Request& r) { r.tsigSecret = " "; },
         "no TSIG secret set for key orvex-update-key"},
        {[](Rfc2136Request& r) { r.tsigName.clear(); }, "no TSIG key name set"},
        {[](Rfc2136Request& r) { r.hosts = {"home.example.net"}; },
         "host home.example.net is not inside zone example.test"},
        {[](Rfc2136Request& r) {
             r.hosts = {"nas.example.test", "a b.example.test"};
         },
         "\"a b.example.test\" is not a valid host name"},
        {[](Rfc2136Request& r) { r.hosts = {" "}; }, "no host names set"},
        {[](Rfc2136Request& r) { r.ipv4 = "192.0.2.300"; },
         "\"192.0.2.300\" is not an IPv4 address"},
        {[](Rfc2136Request& r) { r.ipv6 = "192.0.2.1"; }, "\"192.0.2.1\" is not an IPv6 address"},
        {[](Rfc2136Request& r) { r.ipv4.clear(); }, "no address to publish"},
        {[](Rfc2136Request& r) { r.zone.clear(); }, "no zone set"},
        {[](Rfc2136Request& r) { r.port = 70000; }, "70000 is not a port number"},
    };
    for (const Case& c : cases) {
        Rfc2136Request request = LoopbackRequest(peer.Port());
        c.spoil(request);
        const UpdateAttempt result = SendRfc2136Update(request);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(Said(result), c.message);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(peer.Datagrams(), 0);
}

}  // namespace
}  // namespace orvex::ddns
