#pragma once

#include <ctime>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/CycleRecord.h"
#include "app/WindowPort.h"
#include "platform/Clock.h"
#include "settings/DynamicDnsEntry.h"

namespace orvex {

// What the running service knows, as the status call reports it.
struct ServiceStatusInput {
    std::string folder;
    long pid = 0;
    bool ipv6 = false;
    // The addresses found last (a lookup's "N/A" as it is).
    std::string lan;
    std::string wan;
    std::string lan6;
    std::string wan6;
    // What the last lookup learnt of the line: %NAT, the source that gave the WAN address and
    // the reachability sentence (both empty when there is none).
    std::string nat;
    std::string via;
    std::string reachability;
    bool cycleRunning = false;
    // The Status page's fields: the last host message and the next refresh.
    StatusFields fields;
    CycleRecord::Snapshot record;
    std::vector<DynamicDnsEntry> entries;
};

// The status as one JSON object: "folder", "pid", "addresses" ("lan", "wan", and "lan6",
// "wan6" when IPv6 is on; null when not looked up yet; "nat", "via" and "reachability": what the
// lookup learnt of the line, null when nothing), "cycleRunning", "lastCycle" (null
// before the first cycle ended; else "time" as UTC "YYYY-MM-DDTHH:MM:SSZ", "result" "online" or
// "failed", "failure", "failedSteps"), "lastSuccess" (a time or null), "nextRefresh",
// "lastMessage", "cycles" ("online", "failed") and "dynamicDns" (per entry: "entry", "hosts",
// "protocol", "lastAddress", "lastUpdate" and "lastResult", null while it was not tried).
nlohmann::json ServiceStatusJson(const ServiceStatusInput& in, const Clock& clock);

// The answer to a refresh: {"started": false, "why": ...} when no cycle could start, else
// {"started": true, "result": ..., "failure": ..., "failedSteps": [...], "addresses": {...}}.
nlohmann::json RefreshAnswerJson(const ServiceStatusInput& in, const Clock& clock);

// The status call's answer for people: one "Name: value" line each.
std::string ServiceStatusText(const nlohmann::json& status);
// The refresh answer for people: the result and the addresses, or why nothing ran.
std::string RefreshAnswerText(const nlohmann::json& answer);

}  // namespace orvex
