#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/AppState.h"
#include "app/PublishCycle.h"
#include "platform/HostResolver.h"

#include "RecordingHost.h"
#include "ServerProcess.h"
#include "TempDir.h"

namespace orvex::test {

class FixedResolver : public HostResolver {
public:
    std::vector<Ipv4Address> OwnAddresses() override { return {{10, 1, 2, 3}}; }
};

// The healthy servers every fault is followed by: a real FTP server and a real echo page.
struct HealthyServers {
    HealthyServers();
    bool Ready() const { return ftp.Ready() && echo.Ready(); }
    std::string LookupUrl() const {
        return "http://127.0.0.1:" + std::to_string(echo.Port()) + "/";
    }

    TempDir ftpRoot;
    ServerProcess ftp;
    ServerProcess echo;
};

// What one cycle did, copied out of its host.
struct CycleOutcome {
    int result = 0;
    double seconds = 0;
    std::vector<std::string> transcript;
    std::vector<std::string> statuses;
    std::vector<std::string> boxes;
    std::vector<int> cycleCodes;
    // What reached the window's own host (the log's failure reports and its message boxes).
    std::vector<std::string> windowStatuses;
    std::vector<std::string> windowBoxes;

    std::string LastStatus() const { return statuses.empty() ? "<none>" : statuses.back(); }
    // After a failure: the failure's own line, which its plain words follow.
    std::string FailureStatus() const {
        return statuses.size() < 2 ? "<none>" : statuses[statuses.size() - 2];
    }
    bool HasStatus(const std::string& text) const;
    bool HasStatusStarting(const std::string& prefix) const;
    std::string Describe() const;  // the transcript, for a failing assertion's message
};

CycleOutcome Record(int result, double seconds, const RecordingHost& host);

// One program's state in a work directory of its own, set up to publish `RemoteFile` to the
// healthy servers, with short time-outs and errors suppressed.
class CycleRig {
public:
    CycleRig(const HealthyServers& servers, const std::string& remoteFile,
             const std::string& iniName = "Orvex.ini");

    AppState& State() { return state_; }
    TempDir& Work() { return work_; }
    void Edit(const std::function<void(AppSettings&)>& edit) { state_.EditSettings(edit); }
    void PointFtpAt(int port) {
        Edit([port](AppSettings& s) { s.Port = port; });
    }
    void PointLookupAt(const std::string& url);
    // Back to the healthy servers.
    void Heal();

    CycleOutcome RunOnline();
    CycleOutcome RunOnline(RecordingHost& host);
    CycleOutcome RunOffline();

    // The published page, "" when absent.
    std::string Published() const;

private:
    const HealthyServers& servers_;
    std::string remoteFile_;
    TempDir work_;
    AppState state_;
    FixedResolver resolver_;
    CycleEnvironment env_;
};

// Seconds since `start`.
double SecondsSince(std::chrono::steady_clock::time_point start);

// Sends one line that never ends (no line feed) on `fd` until the reader stops taking it or
// `limitMs` has passed.
void SendEndlessLine(int fd, int limitMs);

// A reply of `code` with a multi-line continuation longer than any reader keeps, never ended.
std::string OversizedMultiLineReply(const std::string& code, size_t bytes);

// Runs `body` in a forked child and hands back what it returned. The child may lower its file
// rights (as root: no overriding of file permissions) and its largest writable file size
// (with SIGXFSZ ignored, so a write past it fails with EFBIG).
struct ChildLimits {
    bool withoutFileRights = false;
    long long fileSizeLimit = -1;  // bytes; -1 none
};
struct ChildResult {
    bool exited = false;  // normally, with status 0
    std::string output;
    std::string how;  // how it ended, for messages
};
ChildResult RunInChild(const ChildLimits& limits, const std::function<std::string()>& body);

// A cycle's outcome as text and back, to carry it out of a child.
std::string EncodeOutcome(const CycleOutcome& outcome);
CycleOutcome DecodeOutcome(const std::string& text);

// Whether a file can be created in `dir` by this process now (tells a test whether its
// read-only folder really refuses writes).
bool CanCreateIn(const std::string& dir);

}  // namespace orvex::test
