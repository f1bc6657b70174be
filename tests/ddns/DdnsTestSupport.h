#pragma once

#include <string>
#include <vector>

#include "ServerProcess.h"
#include "TempDir.h"

namespace orvex::test {

// The scripted update service (tests/peers/dyndns2_server.py) on 127.0.0.1, recording every
// request it gets.
class UpdateService {
public:
    // `headers` ("Retry-After: 600") go with every answer.
    explicit UpdateService(const std::vector<std::string>& answers, double delaySeconds = 0,
                           int status = 200, const std::vector<std::string>& headers = {});

    bool Ready() const { return server_.Ready(); }
    std::string Log() const { return server_.Log(); }
    std::string Base() const { return "http://127.0.0.1:" + std::to_string(server_.Port()); }

    struct Request {
        std::string path;
        std::string query;
        std::string auth;
        std::string agent;
    };
    std::vector<Request> Requests() const;

private:
    static std::vector<std::string> Arguments(const std::string& record,
                                              const std::vector<std::string>& answers,
                                              double delaySeconds, int status,
                                              const std::vector<std::string>& headers);

    TempDir dir_;
    std::string record_;
    ServerProcess server_;
};

}  // namespace orvex::test
