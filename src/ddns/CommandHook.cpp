#include "ddns/CommandHook.h"

#include <cstring>

#include "ddns/ProviderText.h"
#include "platform/ChildProcess.h"

namespace orvex::ddns {

namespace {

// Output kept from the command: enough for its first line.
constexpr size_t kMaxOutput = 4096;

std::string StatusText(const ChildResult& result) {
    switch (result.outcome) {
        case ChildResult::Outcome::kExited:
            return "exit status " + std::to_string(result.status);
        case ChildResult::Outcome::kSignalled:
            return "ended by signal " + std::to_string(result.status);
        case ChildResult::Outcome::kNotStarted:
        case ChildResult::Outcome::kTimedOut:
            break;
    }
    return "ended";
}

}  // namespace

std::vector<std::pair<std::string, std::string>> HookEnvironment(const HookValues& values) {
    return {
        {"ORVEX_WAN_IP", values.addresses.wan},
        {"ORVEX_WAN_IP6", values.addresses.wan6},
        {"ORVEX_LAN_IP", values.addresses.lan},
        {"ORVEX_LAN_IP6", values.addresses.lan6},
        {"ORVEX_HOSTS", values.hosts},
        {"ORVEX_USER", values.user},
        {"ORVEX_PASSWORD", values.password},
        {"ORVEX_SERVER", values.server},
        {"ORVEX_ZONE", values.zone},
        {"ORVEX_TTL", std::to_string(values.ttl)},
    };
}

UpdateAttempt RunCommandHook(const CommandRequest& request) {
    UpdateAttempt attempt;
    ChildRequest child;
    child.arguments = {"/bin/sh", "-c", request.command};
    child.environment = request.environment;
    child.workDir = request.workDir;
    child.boundMs = request.boundMs;
    child.outputLimit = kMaxOutput;
    const ChildResult result = RunChild(child);
    if (result.outcome == ChildResult::Outcome::kNotStarted) {
        attempt.why =
            std::string("the command could not be started: ") + std::strerror(result.startError);
        return attempt;
    }
    if (result.outcome == ChildResult::Outcome::kTimedOut) {
        attempt.answers.push_back("no end within " + SecondsText(request.boundMs) +
                                  "; the command was stopped");
        attempt.why = "the command did not finish in time";
        return attempt;
    }
    const std::string line = FirstLine(result.output);
    attempt.answers.push_back(StatusText(result) + (line.empty() ? "" : ": " + line));
    attempt.ok = result.outcome == ChildResult::Outcome::kExited && result.status == 0;
    if (!attempt.ok) {
        attempt.why = "the command ended with " + StatusText(result);
    }
    return attempt;
}

}  // namespace orvex::ddns
