#pragma once

#include <ctime>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "notify/ChannelRequest.h"
#include "page/TemplateExpansion.h"
#include "platform/Clock.h"
#include "platform/Host.h"
#include "platform/TlsSession.h"
#include "settings/NotifyChannel.h"

namespace orvex::notify {

// What channels remember between cycles, per channel configuration (an edited channel starts
// afresh): what it last announced, which may not have reached the file, and until when its
// service asked to be left alone.
class Memory {
public:
    struct Record {
        NotifyChannel target;
        std::string lastSent;
        std::time_t holdUntil = 0;
    };
    Record Find(const NotifyChannel& channel) const;
    void Store(const Record& record);

private:
    mutable std::mutex mutex_;
    std::vector<Record> records_;
};

// A step of the cycle that failed, for the `failure` event and the pings.
struct StepFailure {
    std::string step;      // "the upload", "the mail", ...
    std::string sentence;  // why, in the shared plain words
};

// The moments of a cycle at which channels are told.
enum class Moment {
    kOnline,    // after the mail: `change` and `cycle`
    kCycleEnd,  // the online cycle is over: `failure`, and every ping
    kOffline,   // the offline cycle after the mail: `offline`, and `failure` at its end
};

// What a run needs besides the channels.
struct Run {
    Addresses addresses;  // as looked up; the IPv6 ones only with IPv6 on
    bool ipv6 = false;
    PageValues values;  // for the templates; relative paths resolve against values.workDir
    WindowFinder finder = FindProgramWindow;
    int timeoutSeconds = 15;
    TlsOptions tls;
    std::vector<StepFailure> failures;  // for kCycleEnd (and the offline cycle's end)
};

// Called after channel `index` announced the addresses, with its new LastSent.
using SentRecorder =
    std::function<void(size_t index, const NotifyChannel& channel, const std::string& lastSent)>;

// Tells every channel due at `moment`, one after the other, each within the run's time bound,
// and reports each through `host`: "Notifying <channel>...", then the result. A failure is
// reported and never stops the others; what was not delivered is sent again at the next cycle.
void NotifyChannels(const std::vector<NotifyChannel>& channels, Moment moment, const Run& run,
                    Memory& memory, Clock& clock, Host& host, const SentRecorder& record);

// Sends `channel` a test message now, whatever its events (a ping calls its address); the
// answer in one line: "Delivered." or why not.
struct TestResult {
    bool ok = false;
    std::string text;
};
TestResult SendTestMessage(const NotifyChannel& channel, const Run& run, Clock& clock);

// The text a channel sends for `event` (its template expanded, or the built-in text). False,
// with `error` saying why, when the template cannot be read.
bool MessageText(const NotifyChannel& channel, Event event, const Run& run, Clock& clock,
                 std::string* text, std::string* error);

}  // namespace orvex::notify
