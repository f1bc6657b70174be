#pragma once

#include <ctime>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "ddns/UpdateAttempt.h"
#include "platform/Clock.h"
#include "platform/Host.h"
#include "platform/TlsSession.h"
#include "settings/DynamicDnsEntry.h"

namespace orvex::ddns {

// Providers let idle names expire; an entry is sent again after this long even unchanged.
inline constexpr std::time_t kRefreshAfterSeconds = 25 * 24 * 60 * 60;
// The shortest time between a failed try and the next one.
inline constexpr std::time_t kRetryAfterSeconds = 5 * 60;

// `text` when it is an address of the family in numeric form (dotted IPv4, or IPv6 text),
// else "" (a lookup's "N/A", or a hand-edited last address).
std::string CheckedAddress(const std::string& text, bool ipv6);

// "YYYY-MM-DDTHH:MM:SSZ" in UTC, the stored form of a last update.
std::string UtcStamp(const Clock& clock, std::time_t t);
// False unless `text` has exactly that form.
bool ParseUtcStamp(const std::string& text, std::time_t* t);

// The WAN addresses entry `e` publishes, IPv4 first, blank-separated (the stored form of a
// last address): Family 4 the IPv4 address, 6 the IPv6 one, both whichever are known.
std::string PublishedAddresses(const DynamicDnsEntry& e, const UpdateAddresses& addresses);

// Whether an entry is sent: the addresses differ from the last ones sent, the last update is
// missing, unreadable, 25 days old or more (or more than a day ahead of the clock, which
// would hold it back for ever), or the user asked for a refresh.
bool UpdateDue(const std::string& published, const std::string& lastAddress,
               const std::string& lastUpdate, std::time_t now, bool manualRefresh);

// What updates learned that must outlast a cycle, kept in memory per entry configuration
// (an edited entry starts afresh): when a try last failed, whether retries are stopped, and
// the last success (which may not have reached the file, if the entry moved there meanwhile).
class UpdateMemory {
public:
    struct Record {
        DynamicDnsEntry target;
        bool failed = false;
        std::time_t failedAt = 0;
        // The provider asked for this long before the next try (HTTP 429 Retry-After); 0: the
        // usual 5 minutes.
        std::time_t retryAfter = 0;
        std::string failedWhy;
        bool stopped = false;
        std::string stopWhy;
        bool succeeded = false;
        std::string lastAddress;
        std::string lastUpdate;
    };

    // A copy of the record of `e`'s configuration (a fresh one when there is none).
    Record Find(const DynamicDnsEntry& e) const;
    void Store(const Record& record);
    // Forgets the records of configurations no longer in `entries`.
    void Keep(const std::vector<DynamicDnsEntry>& entries);

private:
    mutable std::mutex mutex_;
    std::vector<Record> records_;
};

// What an entry came to in one run.
enum class EntryOutcome {
    kNotDue,     // nothing changed
    kInvalid,    // a key its protocol needs is missing or wrong
    kNoAddress,  // no WAN address of the entry's family is known
    kStopped,    // the provider refused it earlier; waiting for new settings
    kHeld,       // the last try failed less than 5 minutes ago
    kUpdated,
    kFailed,
    kCurrent,  // sent, and the names already held the addresses
};

struct UpdateRun {
    UpdateAddresses addresses;  // checked addresses only
    bool ipv6Enabled = false;   // whether IPv6 addresses were looked up at all
    bool manualRefresh = false;
    int timeoutSeconds = 15;  // bounds each request and each command
    std::string workDir;      // where commands run
    TlsOptions tls;           // TLSVerify and TLSCAFile, for every https request
};

// Called after a successful update of entry `index` with the addresses sent and the UTC stamp.
using UpdateRecorder =
    std::function<void(size_t index, const DynamicDnsEntry& e, const std::string& lastAddress,
                       const std::string& lastUpdate)>;

// Sends every due entry in turn and reports each through `host`: "Updating dynamic DNS name
// <hosts>...", the provider's own answer, then the result. A failure is reported and never
// stops the others.
std::vector<EntryOutcome> UpdateDynamicDns(const std::vector<DynamicDnsEntry>& entries,
                                           const UpdateRun& run, UpdateMemory& memory,
                                           const Clock& clock, Host& host,
                                           const UpdateRecorder& record);

// Sends one entry now, whatever the rules say (`index` names its keys in messages).
UpdateAttempt SendDynamicDnsUpdate(const DynamicDnsEntry& e, const UpdateRun& run);

}  // namespace orvex::ddns
