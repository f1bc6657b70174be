#pragma once

#include <array>
#include <string>

namespace orvex {

// The inputs of a logon, in the order the cycles fill them from the settings.
struct FtpLogonParams {
    std::string Host;              // FTPServer
    int Port = 21;                 // Port
    std::string User;              // UserID
    std::string Password;          // Password
    std::string Account;           // ProxyAccount
    std::string FirewallHost;      // ProxyAddress
    std::string FirewallUser;      // ProxyUser
    std::string FirewallPassword;  // ProxyPass
    int FirewallPort = 21;         // FTPProxyPort
    int LogonType = 0;             // 0 to 8, a row of LogonSequenceTable
};

// The twelve command lines a logon step can send.
enum class LogonCommand {
    kUser,                      // "USER " + User
    kPass,                      // "PASS " + Password
    kAcct,                      // "ACCT " + Account
    kFirewallUser,              // "USER " + FirewallUser
    kFirewallPass,              // "PASS " + FirewallPassword
    kSiteHost,                  // "SITE " + HOST
    kUserAtHost,                // "USER " + User + "@" + HOST
    kOpenHost,                  // "OPEN " + HOST
    kFirewallUserAtHost,        // "USER " + FirewallUser + "@" + HOST
    kUserAtHostFirewallUser,    // "USER " + User + "@" + HOST + " " + FirewallUser
    kUserAtFirewallUserAtHost,  // "USER " + User + "@" + FirewallUser + "@" + HOST
    kPassAtFirewallPass,        // "PASS " + Password + "@" + FirewallPassword
};

// Where a step leads: another step of the same row (1-based) or one of the two ends.
inline constexpr int kLoggedOn = 0;
inline constexpr int kLogonError = -1;

struct LogonStep {
    LogonCommand command;
    int after2xx;
    int after3xx;
};

inline constexpr int kLogonTypes = 9;
inline constexpr int kMaxLogonSteps = 6;

struct LogonRow {
    const char* label;  // as the Proxy/Firewall page shows it
    int stepCount;
    std::array<LogonStep, kMaxLogonSteps> steps;
};

// One row per logon type; constant, never changed at run time.
extern const std::array<LogonRow, kLogonTypes> LogonSequenceTable;

// HOST of the command lines: Host, with ":" + Port appended when Port is not 21.
std::string LogonHostText(const FtpLogonParams& params);
// The line a step sends.
std::string LogonCommandLine(LogonCommand command, const FtpLogonParams& params);

}  // namespace orvex
