#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "app/CycleRecord.h"

namespace orvex {

// What a scrape shows besides the cycles' record: the WAN addresses now (checked ones only;
// the IPv6 one empty unless IPv6 is on).
struct MetricsAddresses {
    std::string wan;
    std::string wan6;
};

// The Prometheus text exposition of the record: the cycles by result, the failed steps, the
// time of the last success, the WAN addresses and the dynamic DNS results by host name.
std::string MetricsText(const CycleRecord::Snapshot& record, const MetricsAddresses& addresses);

// One answer of the metrics listener.
struct MetricsAnswer {
    int status = 200;
    std::string contentType = "text/plain; charset=utf-8";
    std::string body;
};

// The answer to a request line's method and path: GET (or HEAD) /metrics the exposition,
// /healthz "ok", or 503 with the last failure when the last cycle failed; 404 for any other
// path and 405 for any other method.
MetricsAnswer AnswerMetricsRequest(const std::string& method, const std::string& path,
                                   const CycleRecord::Snapshot& record,
                                   const MetricsAddresses& addresses);

// A small HTTP listener on its own thread: one connection at a time, the request read within
// `timeoutSeconds` and at most 8 KiB of it, answered and closed. Enough for a monitoring scrape
// and never able to hold the program: a peer that sends nothing is dropped at the bound.
class MetricsServer {
public:
    // Answers a request's method and path.
    using Handler =
        std::function<MetricsAnswer(const std::string& method, const std::string& path)>;

    MetricsServer(Handler handler, int timeoutSeconds);
    ~MetricsServer();
    MetricsServer(const MetricsServer&) = delete;
    MetricsServer& operator=(const MetricsServer&) = delete;

    // Starts listening on "host:port" (SplitListenAddress); false, with `error` saying why, when
    // it cannot.
    bool Start(const std::string& address, std::string* error);
    // The port listened on (useful with port 0), 0 when not listening.
    int Port() const { return port_; }

private:
    void Serve();
    void AnswerOne(int fd);

    Handler handler_;
    int timeoutSeconds_;
    int listenFd_ = -1;
    int stopPipe_[2] = {-1, -1};
    int port_ = 0;
    std::thread thread_;
};

}  // namespace orvex
