#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "ServerProcess.h"
#include "TempDir.h"
#include "settings/NotifyChannel.h"

namespace orvex::test {

// The notification services' emulator (tests/peers/notify_services.py) on 127.0.0.1, every
// kind under its own path, recording each request it gets.
class NotifyServices {
public:
    // The one token every kind accepts (a bot token's shape: digits, a colon, the rest).
    static constexpr const char* kToken = "4711:Tok_en-42";

    NotifyServices();

    bool Ready() const { return server_.Ready(); }
    std::string Log() const { return server_.Log(); }
    std::string Base() const { return "http://127.0.0.1:" + std::to_string(server_.Port()); }

    // A channel of `kind` that reaches this server with the right token.
    NotifyChannel Channel(const std::string& kind) const;

    // "normal", "refuse", "429 <seconds>", "500" or "silent", from the next request on.
    void SetMode(const std::string& mode);

    // Every request so far, as the record file has them: "kind", "method", "path", "query",
    // "headers" (names in lower case), "body", "status", and for an accepted message "text"
    // and "title" as the service shows them.
    std::vector<nlohmann::json> Requests() const;
    // Those of `kind` only.
    std::vector<nlohmann::json> Requests(const std::string& kind) const;

private:
    TempDir dir_;
    std::string record_;
    std::string modeFile_;
    ServerProcess server_;
};

}  // namespace orvex::test
