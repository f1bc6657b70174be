#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/AppState.h"
#include "ftp/FtpUpload.h"  // SplitRemoteFile, how the upload finds the folder
#include "monitor/MonitoredPrograms.h"
#include "platform/Clock.h"
#include "platform/Host.h"
#include "platform/HostResolver.h"

namespace orvex {

// What a publishing cycle reaches outside the program's state, so tests can point it at
// their own peers.
struct CycleEnvironment {
    HostResolver& resolver;
    // The lookup services asked when WANIPURL is empty.
    std::vector<std::string> lookupServices;
    WindowFinder windowFinder = FindProgramWindow;
    // The lookup services asked over IPv6 when WANIPURL6 is empty.
    std::vector<std::string> lookupServices6;
};

inline constexpr const char* kUploadErrorText =
    "There was an error uploading page. Please see remote error messages for further details.";

// One publication of the online page: the address lookups, the mail, then (when FTP is on and
// the address-change rule does not hold it back) the page generated from OnlineFile into
// "Online.txt" and uploaded as RemoteFile. Reports every step through `host`. 1 after a
// successful or skipped upload, -1 after a failure.
int OnlineCycle(AppState& state, Host& host, Clock& clock, const CycleEnvironment& env);

// The offline twin: shows the shutdown window first, publishes OfflineFile through
// "Offline.txt" whenever FTP is on, and asks the window to close after success (unless the
// user already committed to exit). After a failure of a publication started by an exit
// request (`fromExitRequest`) it hides the shutdown window and reports the failure with cycle
// code -1.
int OfflineCycle(AppState& state, Host& host, Clock& clock, const CycleEnvironment& env,
                 bool fromExitRequest);

}  // namespace orvex
