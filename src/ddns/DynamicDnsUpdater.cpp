#include "ddns/DynamicDnsUpdater.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstdio>

#include "address/AddressScope.h"
#include "ddns/CommandHook.h"
#include "ddns/Dyndns2Update.h"
#include "ddns/Rfc2136Update.h"
#include "ddns/UrlUpdate.h"
#include "ddns/providers/NativeProvider.h"
#include "platform/StatusTexts.h"
#include "platform/TextUtil.h"
#include "settings/DynamicDnsKinds.h"
#include "settings/DynamicDnsSettings.h"

namespace orvex::ddns {

namespace {

// A last update this far ahead of the clock is taken as unreadable.
constexpr std::time_t kFutureSlackSeconds = 24 * 60 * 60;

bool WantsIpv4(const DynamicDnsEntry& e) {
    return e.Family == kDdnsFamily4 || e.Family == kDdnsFamilyBoth;
}
bool WantsIpv6(const DynamicDnsEntry& e) {
    return e.Family == kDdnsFamily6 || e.Family == kDdnsFamilyBoth;
}

std::string JoinHosts(const std::vector<std::string>& hosts, const char* separator) {
    std::string out;
    for (const std::string& host : hosts) {
        out += (out.empty() ? "" : separator) + host;
    }
    return out;
}

// How messages name the entry: its host names, or its number when it has none.
struct Subject {
    std::string updating;  // "Updating dynamic DNS name home.example.net..."
    std::string name;      // "Dynamic DNS name home.example.net"
};

Subject SubjectOf(const DynamicDnsEntry& e, size_t index) {
    const std::vector<std::string> hosts = SplitDynamicDnsHosts(e.Hosts);
    if (hosts.empty()) {
        const std::string number = std::to_string(index + 1);
        return {status::kDdnsUpdatingEntry + number + "...", status::kDdnsEntry + number};
    }
    const std::string names = JoinHosts(hosts, ", ");
    if (hosts.size() == 1) {
        return {status::kDdnsUpdatingName + names + "...", status::kDdnsName + names};
    }
    return {status::kDdnsUpdatingNames + names + "...", status::kDdnsNames + names};
}

// The name server and its port: "host", "host:port", "[v6]:port" or a bare IPv6 address.
void SplitServer(const std::string& server, std::string* host, int* port) {
    *host = server;
    *port = 53;
    if (!server.empty() && server.front() == '[') {
        const size_t close = server.find(']');
        if (close != std::string::npos) {
            *host = server.substr(1, close - 1);
            if (close + 1 < server.size() && server[close + 1] == ':') {
                *port = AsciiToInt(server.substr(close + 2));
            }
        }
        return;
    }
    const size_t colon = server.find(':');
    if (colon != std::string::npos && server.find(':', colon + 1) == std::string::npos) {
        *host = server.substr(0, colon);
        *port = AsciiToInt(server.substr(colon + 1));
    }
}

long BoundMs(const UpdateRun& run) {
    return static_cast<long>(run.timeoutSeconds < 1 ? 1 : run.timeoutSeconds) * 1000L;
}

// A provider's documented address with Server<n> in place of its scheme and host: what
// follows them (the path and query) is kept. A server without a scheme means https.
std::string AtServer(const std::string& address, const std::string& server) {
    std::string base = TrimBlanks(server);
    if (base.empty()) {
        return address;
    }
    if (base.find("://") == std::string::npos) {
        base = "https://" + base;
    }
    while (base.back() == '/') {
        base.pop_back();
    }
    const size_t scheme = address.find("://");
    const size_t path = address.find_first_of("/?", scheme == std::string::npos ? 0 : scheme + 3);
    return base + (path == std::string::npos ? "" : address.substr(path));
}

// An entry of a provider of the catalog: its documented request, sent as its kind is.
UpdateAttempt SendToProvider(const DdnsKind& provider, const DynamicDnsEntry& e,
                             const std::vector<std::string>& hosts, const std::string& ipv4,
                             const std::string& ipv6, const UpdateRun& run) {
    if (provider.sender == DdnsSender::kDyndns2) {
        Dyndns2Request request;
        request.address = AtServer(provider.address, e.Server);
        request.hosts = hosts;
        request.user = e.User;
        request.password = e.Password;
        request.ipv4 = ipv4;
        request.ipv6 = ipv6;
        request.boundMs = BoundMs(run);
        request.tls = run.tls;
        return SendDyndns2Update(request);
    }
    if (provider.sender == DdnsSender::kUrl) {
        UrlRequest request;
        request.url = AtServer(provider.address, e.Server);
        request.values.addresses = run.addresses;
        request.values.addresses.wan = ipv4;
        request.values.addresses.wan6 = ipv6;
        request.values.hosts = JoinHosts(hosts, ",");
        request.values.user = e.User;
        request.values.password = e.Password;
        request.values.zone = TrimBlanks(e.Zone);
        request.values.documented = true;
        request.expect = provider.expect;
        request.boundMs = BoundMs(run);
        request.tls = run.tls;
        if (provider.basicAuth) {
            request.authUser = e.User;
            request.authPassword = e.Password;
        }
        return SendUrlUpdate(request);
    }
    const NativeSender send = FindNativeSender(provider.stored);
    if (send == nullptr) {
        UpdateAttempt none;
        none.why = "this build has no sender for " + provider.label;
        return none;
    }
    NativeUpdate update;
    // Server<n> stands for the whole base of the interface.
    update.base = TrimBlanks(e.Server).empty() ? provider.address : TrimBlanks(e.Server);
    if (update.base.find("://") == std::string::npos) {
        update.base = "https://" + update.base;
    }
    while (!update.base.empty() && update.base.back() == '/') {
        update.base.pop_back();
    }
    update.user = e.User;
    update.password = e.Password;
    update.zone = TrimBlanks(e.Zone);
    update.hosts = hosts;
    update.ttl = e.TTL;
    update.addresses = run.addresses;
    update.addresses.wan = ipv4;
    update.addresses.wan6 = ipv6;
    update.timeoutSeconds = run.timeoutSeconds < 1 ? 1 : run.timeoutSeconds;
    update.tls = run.tls;
    return send(update);
}

}  // namespace

std::string CheckedAddress(const std::string& text, bool ipv6) {
    in6_addr bytes{};
    return !text.empty() && ::inet_pton(ipv6 ? AF_INET6 : AF_INET, text.c_str(), &bytes) == 1 ? text
                                                                                              : "";
}

std::string UtcStamp(const Clock& clock, std::time_t t) {
    const std::tm tm = clock.UtcTime(t);
    char text[80];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return text;
}

bool ParseUtcStamp(const std::string& text, std::time_t* t) {
    if (text.size() != 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' ||
        text[13] != ':' || text[16] != ':' || text[19] != 'Z') {
        return false;
    }
    for (size_t i : {0u, 1u, 2u, 3u, 5u, 6u, 8u, 9u, 11u, 12u, 14u, 15u, 17u, 18u}) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
    }
    std::tm tm{};
    tm.tm_year = AsciiToInt(text.substr(0, 4)) - 1900;
    tm.tm_mon = AsciiToInt(text.substr(5, 2)) - 1;
    tm.tm_mday = AsciiToInt(text.substr(8, 2));
    tm.tm_hour = AsciiToInt(text.substr(11, 2));
    tm.tm_min = AsciiToInt(text.substr(14, 2));
    tm.tm_sec = AsciiToInt(text.substr(17, 2));
    if (tm.tm_mon > 11 || tm.tm_mday < 1 || tm.tm_mday > 31 || tm.tm_hour > 23 || tm.tm_min > 59 ||
        tm.tm_sec > 60) {
        return false;
    }
    *t = ::timegm(&tm);
    return true;
}

std::string PublishedAddresses(const DynamicDnsEntry& e, const UpdateAddresses& addresses) {
    std::string out;
    if (WantsIpv4(e) && !addresses.wan.empty()) {
        out = addresses.wan;
    }
    if (WantsIpv6(e) && !addresses.wan6.empty()) {
        out += (out.empty() ? "" : " ") + addresses.wan6;
    }
    return out;
}

bool UpdateDue(const std::string& published, const std::string& lastAddress,
               const std::string& lastUpdate, std::time_t now, bool manualRefresh) {
    if (manualRefresh || published != lastAddress) {
        return true;
    }
    std::time_t last = 0;
    if (!ParseUtcStamp(lastUpdate, &last)) {
        return true;
    }
    return now - last >= kRefreshAfterSeconds || last - now > kFutureSlackSeconds;
}

UpdateMemory::Record UpdateMemory::Find(const DynamicDnsEntry& e) const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const Record& record : records_) {
        if (SameDynamicDnsTarget(record.target, e)) {
            return record;
        }
    }
    Record fresh;
    fresh.target = e;
    return fresh;
}

void UpdateMemory::Store(const Record& record) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (Record& old : records_) {
        if (SameDynamicDnsTarget(old.target, record.target)) {
            old = record;
            return;
        }
    }
    records_.push_back(record);
}

void UpdateMemory::Keep(const std::vector<DynamicDnsEntry>& entries) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Record> kept;
    for (const Record& record : records_) {
        for (const DynamicDnsEntry& e : entries) {
            if (SameDynamicDnsTarget(record.target, e)) {
                kept.push_back(record);
                break;
            }
        }
    }
    records_ = std::move(kept);
}

UpdateAttempt SendDynamicDnsUpdate(const DynamicDnsEntry& e, const UpdateRun& run) {
    const std::vector<std::string> hosts = SplitDynamicDnsHosts(e.Hosts);
    const std::string ipv4 = WantsIpv4(e) ? run.addresses.wan : "";
    const std::string ipv6 = WantsIpv6(e) ? run.addresses.wan6 : "";
    if (e.Protocol == kDdnsDyndns2) {
        Dyndns2Request request;
        request.server = TrimBlanks(e.Server);
        request.hosts = hosts;
        request.user = e.User;
        request.password = e.Password;
        request.ipv4 = ipv4;
        request.ipv6 = ipv6;
        request.boundMs = BoundMs(run);
        request.tls = run.tls;
        return SendDyndns2Update(request);
    }
    if (e.Protocol == kDdnsUrl) {
        UrlRequest request;
        request.url = TrimBlanks(e.URL);
        request.values.addresses = run.addresses;
        request.values.hosts = JoinHosts(hosts, ",");
        request.values.user = e.User;
        request.values.password = e.Password;
        request.expect = e.Expect;
        request.boundMs = BoundMs(run);
        request.tls = run.tls;
        return SendUrlUpdate(request);
    }
    if (e.Protocol == kDdnsCommand) {
        HookValues values;
        values.addresses = run.addresses;
        values.hosts = JoinHosts(hosts, ",");
        values.user = e.User;
        values.password = e.Password;
        values.server = e.Server;
        values.zone = e.Zone;
        values.ttl = e.TTL;
        CommandRequest request;
        request.command = e.Command;
        request.environment = HookEnvironment(values);
        request.workDir = run.workDir;
        request.boundMs = BoundMs(run);
        return RunCommandHook(request);
    }
    if (e.Protocol == kDdnsRfc2136) {
        Rfc2136Request request;
        SplitServer(TrimBlanks(e.Server), &request.server, &request.port);
        request.zone = TrimBlanks(e.Zone);
        request.hosts = hosts;
        request.tsigName = TrimBlanks(e.TSIGName);
        request.tsigSecret = TrimBlanks(e.TSIGSecret);
        request.ttl = e.TTL;
        request.ipv4 = ipv4;
        request.ipv6 = ipv6;
        request.timeoutMs = static_cast<int>(BoundMs(run));
        return SendRfc2136Update(request);
    }
    if (const DdnsKind* provider = FindDynamicDnsKind(e.Protocol); provider != nullptr) {
        return SendToProvider(*provider, e, hosts, ipv4, ipv6, run);
    }
    UpdateAttempt unknown;
    unknown.why = "unknown protocol \"" + e.Protocol + "\"";
    return unknown;
}

std::vector<EntryOutcome> UpdateDynamicDns(const std::vector<DynamicDnsEntry>& entries,
                                           const UpdateRun& run, UpdateMemory& memory,
                                           const Clock& clock, Host& host,
                                           const UpdateRecorder& record) {
    memory.Keep(entries);
    std::vector<EntryOutcome> outcomes;
    for (size_t i = 0; i < entries.size(); ++i) {
        const DynamicDnsEntry& e = entries[i];
        const Subject subject = SubjectOf(e, i);
        auto notUpdated = [&](const std::string& why) {
            host.Status(HostMessage::Plain(subject.name + status::kDdnsNotUpdated + why));
        };

        const auto problems = DynamicDnsEntryProblems(e, i, true);
        if (!problems.empty()) {
            notUpdated(problems.front().first + " " + problems.front().second + ".");
            outcomes.push_back(EntryOutcome::kInvalid);
            continue;
        }
        UpdateRun entryRun = run;
        if (!TrimBlanks(e.Suffix).empty() && WantsIpv6(e) && !run.addresses.wan6.empty()) {
            // Another machine of this network: its identifier joined to this machine's /64
            // (the stable interface address when there is one).
            std::string problem;
            const std::string& own =
                run.addresses.lan6.empty() ? run.addresses.wan6 : run.addresses.lan6;
            entryRun.addresses.wan6 = JoinIpv6Suffix(own, e.Suffix, &problem);
            if (entryRun.addresses.wan6.empty()) {
                notUpdated("Suffix" + std::to_string(i + 1) + " " + problem + ".");
                outcomes.push_back(EntryOutcome::kInvalid);
                continue;
            }
        }
        const std::string published = PublishedAddresses(e, entryRun.addresses);
        if (published.empty()) {
            const bool sixOnly = e.Family == kDdnsFamily6;
            notUpdated(!sixOnly          ? status::kDdnsNoWanAddress
                       : run.ipv6Enabled ? status::kDdnsNoWanAddress6
                                         : status::kDdnsIpv6Off);
            outcomes.push_back(EntryOutcome::kNoAddress);
            continue;
        }
        UpdateMemory::Record memo = memory.Find(e);
        const std::time_t now = clock.Now();
        const std::string& lastAddress = memo.succeeded ? memo.lastAddress : e.LastAddress;
        const std::string& lastUpdate = memo.succeeded ? memo.lastUpdate : e.LastUpdate;
        if (!UpdateDue(published, lastAddress, lastUpdate, now, run.manualRefresh)) {
            outcomes.push_back(EntryOutcome::kNotDue);
            continue;
        }
        if (memo.stopped) {
            notUpdated(memo.stopWhy + status::kDdnsStopped);
            outcomes.push_back(EntryOutcome::kStopped);
            continue;
        }
        const std::time_t wait = std::max(kRetryAfterSeconds, memo.retryAfter);
        if (memo.failed && now - memo.failedAt < wait && now >= memo.failedAt) {
            notUpdated(memo.retryAfter > kRetryAfterSeconds
                           ? status::kDdnsHeldByProvider +
                                 UtcStamp(clock, memo.failedAt + memo.retryAfter) + "."
                           : std::string(status::kDdnsHeld));
            outcomes.push_back(EntryOutcome::kHeld);
            continue;
        }

        host.Status(HostMessage::Plain(subject.updating));
        const UpdateAttempt attempt = SendDynamicDnsUpdate(e, entryRun);
        for (const std::string& answer : attempt.answers) {
            if (!answer.empty()) {
                host.Status(HostMessage::Plain(answer));
            }
        }
        if (attempt.ok) {
            memo.failed = false;
            memo.succeeded = true;
            memo.lastAddress = published;
            memo.lastUpdate = UtcStamp(clock, now);
            memory.Store(memo);
            record(i, e, memo.lastAddress, memo.lastUpdate);
            if (attempt.current) {
                host.Status(HostMessage::Plain(subject.name + status::kDdnsAlreadyCurrent +
                                               published + "."));
            } else {
                host.Status(HostMessage::Plain(subject.name + status::kDdnsUpdated + published +
                                               (attempt.created ? status::kDdnsCreated : "") +
                                               "."));
            }
            outcomes.push_back(attempt.current ? EntryOutcome::kCurrent : EntryOutcome::kUpdated);
            continue;
        }
        if (attempt.stop) {
            memo.stopped = true;
            memo.stopWhy = attempt.why;
            memory.Store(memo);
            notUpdated(attempt.why + status::kDdnsStopped);
        } else {
            memo.failed = true;
            memo.failedAt = now;
            memo.failedWhy = attempt.why;
            memo.retryAfter = attempt.retryAfterSeconds;
            memory.Store(memo);
            notUpdated(attempt.retryAfterSeconds > kRetryAfterSeconds
                           ? attempt.why + status::kDdnsRetryAfterPrefix +
                                 std::to_string(attempt.retryAfterSeconds) +
                                 status::kDdnsRetryAfterSuffix
                           : attempt.why + status::kDdnsRetryLater);
        }
        outcomes.push_back(EntryOutcome::kFailed);
    }
    return outcomes;
}

}  // namespace orvex::ddns
