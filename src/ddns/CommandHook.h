#pragma once

#include <string>
#include <utility>
#include <vector>

#include "ddns/UpdateAttempt.h"

namespace orvex::ddns {

struct CommandRequest {
    std::string command;  // run by /bin/sh -c exactly as written
    // Variables set for the command on top of the program's own environment. Values are
    // never put into the command text, so no address or name can become shell syntax.
    std::vector<std::pair<std::string, std::string>> environment;
    std::string workDir;   // the command's working folder; empty: the program's own
    long boundMs = 15000;  // then the command's whole process group is killed
};

// The environment a hook gets for one update: ORVEX_WAN_IP, ORVEX_WAN_IP6, ORVEX_LAN_IP,
// ORVEX_LAN_IP6, ORVEX_HOSTS, ORVEX_USER, ORVEX_PASSWORD, ORVEX_SERVER, ORVEX_ZONE, ORVEX_TTL
// (empty when unknown).
struct HookValues {
    UpdateAddresses addresses;
    std::string hosts;
    std::string user;
    std::string password;
    std::string server;
    std::string zone;
    int ttl = 0;
};
std::vector<std::pair<std::string, std::string>> HookEnvironment(const HookValues& values);

// Runs the command in a process group of its own with standard input from /dev/null; ok when
// it exits with status 0 within the bound. The answer is its exit status and the first line of
// what it wrote (standard output and standard error together).
UpdateAttempt RunCommandHook(const CommandRequest& request);

}  // namespace orvex::ddns
