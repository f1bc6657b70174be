#include "notify/Notifier.h"

#include <atomic>
#include <cerrno>

#include "platform/FileIo.h"
#include "platform/HostMessage.h"
#include "platform/PathMap.h"
#include "platform/StatusTexts.h"
#include "settings/NotifySettings.h"

namespace orvex::notify {

namespace {

constexpr const char* kOnlineText = "%H is online at %WI (LAN %I)";
constexpr const char* kOnlineText6 = ", IPv6 %WI6 (LAN %I6)";
constexpr const char* kOfflineText = "%H is going offline; it was at %WI (LAN %I)";
constexpr const char* kTestText = "Test message from Orvex: ";
constexpr const char* kOfflineMark = "offline";

std::string UtcStamp(const Clock& clock) {
    const std::tm tm = clock.UtcTime(clock.Now());
    char text[80];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return text;
}

std::string ClockTime(const Clock& clock, std::time_t t) {
    const std::tm tm = clock.LocalTime(t);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
    return text;
}

// The addresses a change is judged by, blank-separated: WAN and LAN, then with IPv6 the IPv6
// pair.
std::string AddressKey(const Run& run) {
    std::string key = run.addresses.wan + " " + run.addresses.lan;
    if (run.ipv6) {
        key += " " + run.addresses.wan6 + " " + run.addresses.lan6;
    }
    return key;
}

// What a LastSent value announced: everything after its time stamp.
std::string Announced(const std::string& lastSent) {
    const size_t blank = lastSent.find(' ');
    return blank == std::string::npos ? "" : lastSent.substr(blank + 1);
}

// A unique transaction id for each Matrix event this process sends.
std::string TransactionId(const Clock& clock) {
    static std::atomic<unsigned> counter{0};
    return "orvex" + std::to_string(clock.Now()) + "." + std::to_string(clock.TickCount()) + "." +
           std::to_string(++counter);
}

void Report(Host& host, const HostMessage& message) {
    host.Status(message);
}

struct Due {
    bool due = false;
    Event event = Event::kChange;
};

Due WhatIsDue(const NotifyChannel& c, Moment moment, const Run& run, const std::string& last) {
    const bool ping = c.Kind == kNotifyPing;
    switch (moment) {
        case Moment::kOnline:
            if (ping) {
                return {};
            }
            if (NotifiesOf(c, kEventCycle)) {
                return {true, Event::kCycle};
            }
            // No known WAN address is nothing to announce; the failure event tells of it.
            if (NotifiesOf(c, kEventChange) && !run.addresses.wan.empty() &&
                Announced(last) != AddressKey(run)) {
                return {true, Event::kChange};
            }
            return {};
        case Moment::kCycleEnd:
            if (ping) {
                return {true, run.failures.empty() ? Event::kCycle : Event::kFailure};
            }
            if (!run.failures.empty() && NotifiesOf(c, kEventFailure)) {
                return {true, Event::kFailure};
            }
            return {};
        case Moment::kOffline:
            if (!ping && NotifiesOf(c, kEventOffline)) {
                return {true, Event::kOffline};
            }
            return {};
    }
    return {};
}

Message BuildMessage(const NotifyChannel& c, Event event, const Run& run, Clock& clock,
                     std::string text) {
    Message m;
    m.event = event;
    m.text = std::move(text);
    m.title = ExpandText(c.Title, run.values, clock, run.finder);
    m.host = run.values.siteName;
    m.addresses = run.addresses;
    m.time = UtcStamp(clock);
    m.failed = event == Event::kFailure;
    return m;
}

}  // namespace

Memory::Record Memory::Find(const NotifyChannel& channel) const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const Record& r : records_) {
        if (SameNotifyTarget(r.target, channel)) {
            return r;
        }
    }
    Record fresh;
    fresh.target = channel;
    return fresh;
}

void Memory::Store(const Record& record) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (Record& r : records_) {
        if (SameNotifyTarget(r.target, record.target)) {
            r = record;
            return;
        }
    }
    records_.push_back(record);
}

bool MessageText(const NotifyChannel& c, Event event, const Run& run, Clock& clock,
                 std::string* text, std::string* error) {
    std::string source;
    if (!c.Template.empty()) {
        const std::string path = MapPath(run.values.workDir, c.Template);
        if (!ReadFileBounded(path, kMaxTemplateBytes, &source)) {
            *error = FileErrorText(path, errno);
            return false;
        }
    } else if (event == Event::kOffline) {
        source = kOfflineText;
    } else if (event != Event::kFailure) {
        source = std::string(kOnlineText) + (run.ipv6 ? kOnlineText6 : "");
    }
    *text = ExpandText(source, run.values, clock, run.finder);
    if (event == Event::kTest && c.Template.empty()) {
        *text = kTestText + *text;
    }
    if (event == Event::kFailure) {
        // The failures are told as they are: a server's words are no template.
        for (const StepFailure& f : run.failures) {
            *text += (text->empty() ? "" : "\n") + run.values.siteName + ": " + f.step +
                     " failed: " + f.sentence;
        }
    }
    return true;
}

void NotifyChannels(const std::vector<NotifyChannel>& channels, Moment moment, const Run& run,
                    Memory& memory, Clock& clock, Host& host, const SentRecorder& record) {
    for (size_t i = 0; i < channels.size(); ++i) {
        const NotifyChannel& c = channels[i];
        Memory::Record remembered = memory.Find(c);
        const std::string last = remembered.lastSent.empty() ? c.LastSent : remembered.lastSent;
        const Due due = WhatIsDue(c, moment, run, last);
        if (!due.due) {
            continue;
        }
        const auto problems = NotifyChannelProblems(c, i);
        if (!problems.empty()) {
            Report(host, HostMessage::Plain(status::kNotifyChannel + std::to_string(i + 1) +
                                            status::kNotifyNotSent + problems[0].first + ": " +
                                            problems[0].second + "."));
            continue;
        }
        const std::string name = ChannelName(c);
        if (remembered.holdUntil > clock.Now()) {
            Report(host, HostMessage::Plain(status::kNotifying + name + status::kNotifyHeld +
                                            ClockTime(clock, remembered.holdUntil) + "."));
            continue;
        }
        std::string text;
        std::string error;
        Report(host, HostMessage::Plain(status::kNotifying + name + "..."));
        if (!MessageText(c, due.event, run, clock, &text, &error)) {
            Report(host, HostMessage::Plain(status::kNotifying + name + status::kNotifyFailed)
                             .WithFailure(error));
            continue;
        }
        HttpRequest request =
            BuildRequest(c, BuildMessage(c, due.event, run, clock, text), TransactionId(clock));
        request.timeoutSeconds = run.timeoutSeconds;
        request.tls = run.tls;
        const Delivery d = ReadDelivery(SendHttp(request));
        if (!d.ok) {
            if (d.retryAfterSeconds > 0) {
                remembered.holdUntil = clock.Now() + d.retryAfterSeconds;
                memory.Store(remembered);
            }
            const bool atExit = moment == Moment::kOffline;
            Report(host, HostMessage::Plain(status::kNotifying + name + status::kNotifyFailed)
                             .WithFailure(d.failure + (atExit ? "." : status::kNotifyRetryLater)));
            continue;
        }
        Report(host, HostMessage::Plain(status::kNotified + name + "."));
        if (due.event == Event::kFailure && c.Kind != kNotifyPing) {
            continue;  // announced no address
        }
        remembered.holdUntil = 0;
        remembered.lastSent =
            UtcStamp(clock) + " " + (due.event == Event::kOffline ? kOfflineMark : AddressKey(run));
        memory.Store(remembered);
        if (record) {
            record(i, c, remembered.lastSent);
        }
    }
}

TestResult SendTestMessage(const NotifyChannel& c, const Run& run, Clock& clock) {
    const auto problems = NotifyChannelProblems(c, 0);
    if (!problems.empty()) {
        return {false, problems[0].second};
    }
    std::string text;
    std::string error;
    if (!MessageText(c, Event::kTest, run, clock, &text, &error)) {
        return {false, error};
    }
    HttpRequest request =
        BuildRequest(c, BuildMessage(c, Event::kTest, run, clock, text), TransactionId(clock));
    request.timeoutSeconds = run.timeoutSeconds;
    request.tls = run.tls;
    const Delivery d = ReadDelivery(SendHttp(request));
    return {d.ok, d.ok ? "Delivered to " + ChannelName(c) + "." : d.failure};
}

}  // namespace orvex::notify
