#pragma once

#include <string>
#include <vector>

#include "ServerProcess.h"
#include "TempDir.h"

namespace orvex::test {

// A DNS provider's interface on 127.0.0.1 (tests/peers/dns_api_server.py with the provider's
// module), seeded and switched by a case, recording the requests it gets and the records it
// holds.
class ProviderEmulator {
public:
    struct Options {
        std::string provider;  // "cloudflare", the module's name
        // update, current, missing, two, auth, throttle, malformed
        std::string scenario = "update";
        std::string user;
        std::string token;
        std::string zone = "example.test";
        std::vector<std::string> hosts;  // empty: home.<zone>
        std::string address = "192.0.2.7";
        std::string address6 = "2001:db8::7";
        double delaySeconds = 0;
    };

    explicit ProviderEmulator(const Options& options);

    bool Ready() const { return server_.Ready(); }
    std::string Log() const { return server_.Log(); }
    std::string Base() const { return "http://127.0.0.1:" + std::to_string(server_.Port()); }

    struct Request {
        std::string method;
        std::string path;
        std::string query;
        std::string body;
        std::string auth;
        bool write = false;
    };
    std::vector<Request> Requests() const;
    // How many requests changed a record.
    size_t Writes() const;

    struct Record {
        std::string name;
        std::string type;
        std::string content;
        int ttl = 0;  // 0: none of its own
        std::string note;
        bool proxied = false;
    };
    // The records held now, of one name and type.
    std::vector<Record> Records(const std::string& name, const std::string& type) const;

private:
    static std::vector<std::string> Arguments(const Options& options, const TempDir& dir);

    TempDir dir_;
    ServerProcess server_;
};

}  // namespace orvex::test
