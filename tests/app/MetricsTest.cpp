// The cycles' record as metrics and health answers, and the small listener that serves them:
// one request at a time, every read bounded.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include <gtest/gtest.h>

#include "app/CycleRecord.h"
#include "app/MetricsServer.h"
#include "platform/ListenAddress.h"

namespace orvex::test {
namespace {

// Two cycles: one online with a failed mail and a name updated and one current, one that failed
// at the upload.
CycleRecord::Snapshot TwoCycles() {
    CycleRecord record;
    record.BeginCycle(2);
    record.StepFailed(CycleStep::kMail, "the mail was not sent to mail.example");
    const NameResult updated = NameResult::kUpdated;
    const NameResult current = NameResult::kCurrent;
    record.EntryEnded(0, "a.example, \"b\".example", {"a.example", "\"b\".example"}, "updated",
                      &updated);
    record.EntryEnded(1, "c.example", {"c.example"}, "current", &current);
    record.EndCycle(true, 1700000000);
    record.BeginCycle(1);
    const NameResult failed = NameResult::kFailed;
    record.EntryEnded(0, "a.example", {"a.example"}, "failed", &failed);
    record.StepFailed(CycleStep::kNames, "a dynamic DNS name was not updated");
    record.StepFailed(CycleStep::kUpload, "ftp.example:21 refused the connection");
    record.EndCycle(false, 1700000600);
    return record.Get();
}

TEST(CycleRecord, KeepsCountsTheLastCycleAndEachEntrysLastResult) {
    const CycleRecord::Snapshot r = TwoCycles();
    EXPECT_EQ(r.onlineCycles, 1u);
    EXPECT_EQ(r.failedCycles, 1u);
    EXPECT_EQ(r.ended, 2u);
    EXPECT_FALSE(r.lastOk);
    EXPECT_EQ(r.lastEnd, 1700000600);
    EXPECT_EQ(r.lastSuccess, 1700000000);
    EXPECT_EQ(r.lastFailedSteps, (std::vector<std::string>{"names", "upload"}));
    EXPECT_EQ(r.lastFailure, "upload: ftp.example:21 refused the connection");
    // The second cycle had one entry left.
    ASSERT_EQ(r.entries.size(), 1u);
    EXPECT_EQ(r.entries[0].result, "failed");
}

TEST(Metrics, ExpositionShowsEveryCounterAndEscapesLabels) {
    const std::string text = MetricsText(TwoCycles(), {"203.0.113.7", ""});
    for (const char* line : {
             "orvex_cycles_total{result=\"online\"} 1\n",
             "orvex_cycles_total{result=\"failed\"} 1\n",
             "orvex_step_failures_total{step=\"lookup\"} 0\n",
             "orvex_step_failures_total{step=\"mail\"} 1\n",
             "orvex_step_failures_total{step=\"names\"} 1\n",
             "orvex_step_failures_total{step=\"upload\"} 1\n",
             "orvex_step_failures_total{step=\"copy\"} 0\n",
             "orvex_last_success_timestamp_seconds 1700000000\n",
             "orvex_wan_address_info{address=\"203.0.113.7\"} 1\n",
             "orvex_dynamic_dns_updates_total{host=\"a.example\",result=\"updated\"} 1\n",
             "orvex_dynamic_dns_updates_total{host=\"a.example\",result=\"failed\"} 1\n",
             "orvex_dynamic_dns_updates_total{host=\"\\\"b\\\".example\",result=\"updated\"} 1\n",
             "orvex_dynamic_dns_updates_total{host=\"c.example\",result=\"current\"} 1\n",
             "# TYPE orvex_cycles_total counter\n",
         }) {
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    }
    // No IPv6 address known: the family is declared, without a sample.
    EXPECT_EQ(text.find("orvex_wan6_address_info{"), std::string::npos);
}

TEST(Metrics, AnswersByMethodPathAndTheLastCycle) {
    const CycleRecord::Snapshot failed = TwoCycles();
    CycleRecord fresh;
    const struct {
        const char* method;
        const char* path;
        const CycleRecord::Snapshot& record;
        int status;
        const char* bodyStart;
    } cases[] = {
        {"GET", "/healthz", fresh.Get(), 200, "ok\n"},
        {"GET", "/healthz?verbose=1", failed, 503, "failed: upload: ftp.example:21 refused"},
        {"HEAD", "/metrics", failed, 200, "# HELP orvex_cycles_total"},
        {"GET", "/", failed, 404, "not found"},
        {"POST", "/metrics", failed, 405, "only GET"},
    };
    for (const auto& c : cases) {
        const MetricsAnswer answer = AnswerMetricsRequest(c.method, c.path, c.record, {});
        EXPECT_EQ(answer.status, c.status) << c.method << " " << c.path;
        EXPECT_EQ(answer.body.rfind(c.bodyStart, 0), 0u) << c.method << " " << c.path;
    }
}

TEST(Metrics, ListenAddressesAreHostAndPort) {
    const struct {
        const char* text;
        bool ok;
        const char* host;
        int port;
        bool loopback;
    } cases[] = {
        {"127.0.0.1:9101", true, "127.0.0.1", 9101, true},
        {" localhost:0 ", true, "localhost", 0, true},
        {"[::1]:9101", true, "::1", 9101, true},
        {"192.0.2.1:80", true, "192.0.2.1", 80, false},
        {":9101", true, "", 9101, false},
        {"::1:9101", false, "", 0, false},
        {"127.0.0.1", false, "", 0, false},
        {"127.0.0.1:65536", false, "", 0, false},
        {"127.0.0.1:9x", false, "", 0, false},
    };
    for (const auto& c : cases) {
        std::string host;
        int port = -1;
        EXPECT_EQ(SplitListenAddress(c.text, &host, &port), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(host, c.host) << c.text;
            EXPECT_EQ(port, c.port) << c.text;
            EXPECT_EQ(IsLoopbackHost(host), c.loopback) << c.text;
        }
    }
}

int Connect(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    return fd;
}

// What the listener sends back before it closes, within 5 s.
std::string ReadAll(int fd) {
    std::string all;
    char buffer[1024];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0) {
            break;
        }
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            break;
        }
        all.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return all;
}

TEST(MetricsServer, DropsASilentOrEndlessPeerAtTheBoundAndServesTheNext) {
    MetricsServer server(
        [](const std::string& method, const std::string& path) {
            MetricsAnswer answer;
            answer.body = method + " " + path + "\n";
            return answer;
        },
        1);
    std::string error;
    ASSERT_TRUE(server.Start("127.0.0.1:0", &error)) << error;
    ASSERT_GT(server.Port(), 0);

    // A peer that connects and says nothing holds the listener one second at most.
    const int silent = Connect(server.Port());
    const auto start = std::chrono::steady_clock::now();
    const int next = Connect(server.Port());
    const std::string request = "GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n";
    ::send(next, request.data(), request.size(), MSG_NOSIGNAL);
    const std::string answer = ReadAll(next);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
    EXPECT_EQ(answer.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << answer;
    EXPECT_NE(answer.find("\r\nContent-Length: 13\r\n"), std::string::npos) << answer;
    EXPECT_NE(answer.find("\r\n\r\nGET /metrics\n"), std::string::npos) << answer;
    EXPECT_EQ(ReadAll(silent), "");

    // A request line that never ends is cut off after 8 KiB, unanswered.
    const int endless = Connect(server.Port());
    const std::string junk(16 * 1024, 'x');
    ::send(endless, junk.data(), junk.size(), MSG_NOSIGNAL);
    EXPECT_EQ(ReadAll(endless), "");

    // A port taken is a failure that says so.
    MetricsServer second([](const std::string&, const std::string&) { return MetricsAnswer{}; }, 1);
    EXPECT_FALSE(second.Start("127.0.0.1:" + std::to_string(server.Port()), &error));
    EXPECT_NE(error.find("cannot listen on 127.0.0.1:"), std::string::npos) << error;
    EXPECT_FALSE(second.Start("nowhere", &error));
}

}  // namespace
}  // namespace orvex::test
