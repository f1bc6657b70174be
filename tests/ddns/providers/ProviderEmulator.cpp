#include "ProviderEmulator.h"

#include <sstream>

#include <nlohmann/json.hpp>

namespace orvex::test {

using nlohmann::json;

ProviderEmulator::ProviderEmulator(const Options& options)
    : server_(kPython, Arguments(options, dir_)) {}

std::vector<std::string> ProviderEmulator::Arguments(const Options& options, const TempDir& dir) {
    std::vector<std::string> args{PeerScript("dns_api_server.py"),
                                  "--provider",
                                  options.provider,
                                  "--record",
                                  dir.File("requests.jsonl"),
                                  "--state",
                                  dir.File("state.json"),
                                  "--user",
                                  options.user,
                                  "--token",
                                  options.token,
                                  "--zone",
                                  options.zone,
                                  "--case",
                                  options.scenario,
                                  "--address",
                                  options.address,
                                  "--address6",
                                  options.address6,
                                  "--delay",
                                  std::to_string(options.delaySeconds)};
    for (const std::string& host : options.hosts) {
        args.push_back("--host");
        args.push_back(host);
    }
    return args;
}

std::vector<ProviderEmulator::Request> ProviderEmulator::Requests() const {
    std::vector<Request> requests;
    const std::string path = dir_.File("requests.jsonl");
    if (!FileExists(path)) {
        return requests;
    }
    std::istringstream lines(ReadFile(path));
    std::string line;
    while (std::getline(lines, line)) {
        const json item = json::parse(line);
        requests.push_back({item["method"], item["path"], item["query"], item["body"], item["auth"],
                            item["write"]});
    }
    return requests;
}

size_t ProviderEmulator::Writes() const {
    size_t n = 0;
    for (const Request& request : Requests()) {
        n += request.write ? 1 : 0;
    }
    return n;
}

std::vector<ProviderEmulator::Record> ProviderEmulator::Records(const std::string& name,
                                                                const std::string& type) const {
    std::vector<Record> out;
    const json state = json::parse(ReadFile(dir_.File("state.json")));
    for (const json& r : state["records"]) {
        if (r["name"] == name && r["type"] == type) {
            out.push_back({r["name"], r["type"], r["content"],
                           r["ttl"].is_number() ? r["ttl"].get<int>() : 0,
                           r["note"].is_string() ? r["note"].get<std::string>() : "",
                           r["proxied"].get<bool>()});
        }
    }
    return out;
}

}  // namespace orvex::test
