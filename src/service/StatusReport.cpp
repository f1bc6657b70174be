#include "service/StatusReport.h"

#include <ctime>

namespace orvex {

namespace {

using nlohmann::json;

// "YYYY-MM-DDTHH:MM:SSZ": the form dynamic DNS results are stored in too.
std::string UtcStamp(const Clock& clock, std::time_t t) {
    const std::tm tm = clock.UtcTime(t);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

json TextOrNull(const std::string& text) {
    return text.empty() ? json(nullptr) : json(text);
}

json Addresses(const ServiceStatusInput& in) {
    json addresses = {{"lan", TextOrNull(in.lan)}, {"wan", TextOrNull(in.wan)}};
    if (in.ipv6) {
        addresses["lan6"] = TextOrNull(in.lan6);
        addresses["wan6"] = TextOrNull(in.wan6);
    }
    addresses["nat"] = TextOrNull(in.nat);
    addresses["via"] = TextOrNull(in.via);
    addresses["reachability"] = TextOrNull(in.reachability);
    return addresses;
}

json LastCycle(const CycleRecord::Snapshot& r, const Clock& clock) {
    if (!r.anyEnded) {
        return nullptr;
    }
    return {{"time", UtcStamp(clock, r.lastEnd)},
            {"result", r.lastOk ? "online" : "failed"},
            {"failure", TextOrNull(r.lastFailure)},
            {"failedSteps", r.lastFailedSteps}};
}

std::string Text(const json& value) {
    return value.is_string() ? value.get<std::string>() : std::string();
}

// "online", or "failed: <why>", and the steps that failed on their own.
std::string ResultLine(const json& cycle) {
    std::string line = Text(cycle["result"]);
    if (line != "online" && !Text(cycle["failure"]).empty()) {
        line += " (" + Text(cycle["failure"]) + ")";
    }
    const json& steps = cycle["failedSteps"];
    if (steps.is_array() && !steps.empty()) {
        std::string names;
        for (const json& step : steps) {
            names += (names.empty() ? "" : ", ") + Text(step);
        }
        line += "; failed steps: " + names;
    }
    return line;
}

void AddressLines(std::string& out, const json& addresses) {
    static constexpr std::pair<const char*, const char*> kLabels[] = {
        {"lan", "LAN IP"}, {"wan", "WAN IP"}, {"lan6", "LAN IPv6"}, {"wan6", "WAN IPv6"}};
    for (const auto& [key, label] : kLabels) {
        if (addresses.contains(key)) {
            const std::string value = Text(addresses[key]);
            out += std::string(label) + ": " + (value.empty() ? "not looked up yet" : value) + "\n";
        }
    }
    const std::string via = Text(addresses["via"]);
    if (!via.empty()) {
        out += "NAT: " + Text(addresses["nat"]) + " (the WAN address from " + via + ")\n";
    }
    if (!Text(addresses["reachability"]).empty()) {
        out += Text(addresses["reachability"]) + "\n";
    }
}

}  // namespace

nlohmann::json ServiceStatusJson(const ServiceStatusInput& in, const Clock& clock) {
    const CycleRecord::Snapshot& r = in.record;
    json names = json::array();
    for (size_t i = 0; i < in.entries.size(); ++i) {
        const DynamicDnsEntry& e = in.entries[i];
        const bool tried = i < r.entries.size() && !r.entries[i].result.empty();
        names.push_back({{"entry", i + 1},
                         {"hosts", e.Hosts},
                         {"protocol", e.Protocol},
                         {"lastAddress", TextOrNull(e.LastAddress)},
                         {"lastUpdate", TextOrNull(e.LastUpdate)},
                         {"lastResult", tried ? json(r.entries[i].result) : json(nullptr)}});
    }
    return {
        {"folder", in.folder},
        {"pid", in.pid},
        {"addresses", Addresses(in)},
        {"cycleRunning", in.cycleRunning},
        {"lastCycle", LastCycle(r, clock)},
        {"lastSuccess", r.lastSuccess == 0 ? json(nullptr) : json(UtcStamp(clock, r.lastSuccess))},
        {"nextRefresh", TextOrNull(in.fields.nextRefresh)},
        {"lastMessage", TextOrNull(in.fields.hostMessage)},
        {"cycles", {{"online", r.onlineCycles}, {"failed", r.failedCycles}}},
        {"dynamicDns", names}};
}

nlohmann::json RefreshAnswerJson(const ServiceStatusInput& in, const Clock& clock) {
    json answer = LastCycle(in.record, clock);
    answer["started"] = true;
    answer["addresses"] = Addresses(in);
    return answer;
}

std::string ServiceStatusText(const nlohmann::json& status) {
    std::string out = "Folder: " + Text(status["folder"]) + " (process " +
                      std::to_string(status.value("pid", 0L)) + ")\n";
    AddressLines(out, status["addresses"]);
    const json& cycle = status["lastCycle"];
    out += "Last cycle: ";
    out += cycle.is_object() ? Text(cycle["time"]) + ", " + ResultLine(cycle) : "none yet";
    out += status.value("cycleRunning", false) ? " (a cycle runs now)\n" : "\n";
    const std::string success = Text(status["lastSuccess"]);
    out += "Last success: " + (success.empty() ? std::string("none yet") : success) + "\n";
    out += "Next refresh: " + Text(status["nextRefresh"]) + "\n";
    out += "Last message: " + Text(status["lastMessage"]) + "\n";
    for (const json& entry : status["dynamicDns"]) {
        std::string line = "Dynamic DNS " + std::to_string(entry.value("entry", 0)) + " (" +
                           Text(entry["hosts"]) + "): ";
        const std::string result = Text(entry["lastResult"]);
        line += result.empty() ? "not tried since the start" : result;
        if (!Text(entry["lastAddress"]).empty()) {
            line += "; last updated to " + Text(entry["lastAddress"]) + " at " +
                    Text(entry["lastUpdate"]);
        }
        out += line + "\n";
    }
    return out;
}

std::string RefreshAnswerText(const nlohmann::json& answer) {
    if (!answer.value("started", false)) {
        return "No cycle started: " + Text(answer["why"]) + "\n";
    }
    std::string out = "Cycle ended " + Text(answer["time"]) + ": " + ResultLine(answer) + "\n";
    AddressLines(out, answer["addresses"]);
    return out;
}

}  // namespace orvex
