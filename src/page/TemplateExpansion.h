#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "monitor/MonitoredPrograms.h"
#include "platform/Clock.h"
#include "platform/Host.h"

namespace orvex {

// Longest template text read; the rest of a longer file is ignored.
inline constexpr size_t kMaxTemplateBytes = 32000;

inline constexpr const char* kDiskWriteErrorText =
    "Unhandled error writing to disk. Please check file access permissions.";

// What an expansion needs of the program's current state, copied by the caller.
struct PageValues {
    std::string currentWanIp;
    std::string currentLanIp;
    // "%WI6" and "%I6" are tokens only when IPv6 is enabled; otherwise they stay text as ever.
    bool ipv6Tokens = false;
    std::string currentWanIp6;
    std::string currentLanIp6;
    // "%NAT": none, NAT, carrier-grade NAT or unknown; "%NVIA": the source of the WAN address.
    std::string natState = "unknown";
    std::string wanVia;
    std::string siteName;
    std::string connectionState;  // "Online", "Offline", or empty before the first cycle
    std::string statusIndicators;
    std::vector<MonitoredProgram> programs;
    std::string saveFileHtml;   // local copy of the page; empty: none
    std::string saveFileAscii;  // file holding the WAN address alone; empty: none
    bool suppressError = false;
    std::string workDir;  // relative paths resolve against it
};

// `text` with every token replaced, as ExpandTemplate replaces them (below).
std::string ExpandText(std::string text, const PageValues& values, Clock& clock,
                       const WindowFinder& finder = FindProgramWindow);

// Expands the template at `templatePath` into `outputPath` and refreshes both local copies.
// Tokens, replaced in this order, each everywhere before the next is looked for: "%NAT" what
// stands between the line and the Internet, "%NVIA" the source of the WAN address; with IPv6
// tokens on, "%WI6" WAN IPv6 address and "%I6" LAN IPv6 address; "%WI" WAN address, "%I" LAN
// address, "%D" date, "%T" 12-hour time, "%24T" 24-hour time, "%W" weekday,
// "%H" site name, "%S" connection state, then "%P" + n for every program index from the
// highest down. All time tokens show one instant of `clock`.
//
// Returns 1 when the template was read, whatever became of the writes; -1, with the status
// "P10007 " + the file error sent to `host` and nothing written, when it could not be opened.
// A file that cannot be opened is skipped (with a message box unless `suppressError`); a
// failing write stops all writing and always shows kDiskWriteErrorText.
//
// Every file is replaced in one rename, so a failed write leaves its old contents whole.
// `outputError`, when given, receives the file error of the output (empty when it was written
// whole): a caller that publishes the output must not publish it otherwise. `copyError`, when
// given, receives the file error of the first local copy that was not written (empty when both
// were).
int ExpandTemplate(const std::string& templatePath, const std::string& outputPath,
                   const PageValues& values, Host& host, Clock& clock,
                   const WindowFinder& finder = FindProgramWindow,
                   std::string* outputError = nullptr, std::string* copyError = nullptr);

// The indicator for one "%P" token: the running word when the program with that exact tag has
// a window now, else the stopped word (also when no program has the tag).
std::string ProgramStatusText(const std::string& token,
                              const std::vector<MonitoredProgram>& programs,
                              const std::string& statusIndicators, const WindowFinder& finder);

// The text of a file error as the user is shown it; names the file.
std::string FileErrorText(const std::string& path, int error);

}  // namespace orvex
