#include "ftp/LogonSequence.h"

namespace orvex {

namespace {

using C = LogonCommand;
constexpr int kOn = kLoggedOn;
constexpr int kErr = kLogonError;

}  // namespace

// Two cells break the pattern of their neighbours and are kept as they are: a 2xx to SITE in
// type 1 and a 2xx to the first USER in type 7 both end in failure.
const std::array<LogonRow, kLogonTypes> LogonSequenceTable = {{
    {"None", 3, {{{C::kUser, kOn, 2}, {C::kPass, kOn, 3}, {C::kAcct, kOn, kErr}}}},
    {"SITE hostname",
     6,
     {{{C::kFirewallUser, 3, 2},
       {C::kFirewallPass, 3, kErr},
       {C::kSiteHost, kErr, 4},
       {C::kUser, kOn, 5},
       {C::kPass, kOn, 6},
       {C::kAcct, kOn, kErr}}}},
    {"USER after logon",
     5,
     {{{C::kFirewallUser, 3, 2},
       {C::kFirewallPass, 3, kErr},
       {C::kUserAtHost, kOn, 4},
       {C::kPass, kOn, 5},
       {C::kAcct, kOn, kErr}}}},
    {"Proxy OPEN",
     4,
     {{{C::kOpenHost, 2, 2}, {C::kUser, kOn, 3}, {C::kPass, kOn, 4}, {C::kAcct, kOn, kErr}}}},
    {"Transparent",
     5,
     {{{C::kFirewallUser, 3, 2},
       {C::kFirewallPass, 3, kErr},
       {C::kUser, kOn, 4},
       {C::kPass, kOn, 5},
       {C::kAcct, kOn, kErr}}}},
    {"USER with no logon",
     3,
     {{{C::kUserAtHost, kOn, 2}, {C::kPass, kOn, 3}, {C::kAcct, kOn, kErr}}}},
    {"USER FireID@Remotehost",
     5,
     {{{C::kFirewallUserAtHost, 3, 2},
       {C::kFirewallPass, 3, kErr},
       {C::kUser, kOn, 4},
       {C::kPass, kOn, 5},
       {C::kAcct, kOn, kErr}}}},
    {"USER RemoteID@remoteHost fire ID",
     3,
     {{{C::kUserAtHostFirewallUser, kErr, 2}, {C::kPass, kOn, 3}, {C::kAcct, kOn, kErr}}}},
    {"USER remoteID@fireID@remoteHost",
     3,
     {{{C::kUserAtFirewallUserAtHost, kOn, 2},
       {C::kPassAtFirewallPass, kOn, 3},
       {C::kAcct, kOn, kErr}}}},
}};

std::string LogonHostText(const FtpLogonParams& params) {
    if (params.Port == 21) {
        return params.Host;
    }
    return params.Host + ":" + std::to_string(params.Port);
}

std::string LogonCommandLine(LogonCommand command, const FtpLogonParams& p) {
    switch (command) {
        case C::kUser:
            return "USER " + p.User;
        case C::kPass:
            return "PASS " + p.Password;
        case C::kAcct:
            return "ACCT " + p.Account;
        case C::kFirewallUser:
            return "USER " + p.FirewallUser;
        case C::kFirewallPass:
            return "PASS " + p.FirewallPassword;
        case C::kSiteHost:
            return "SITE " + LogonHostText(p);
        case C::kUserAtHost:
            return "USER " + p.User + "@" + LogonHostText(p);
        case C::kOpenHost:
            return "OPEN " + LogonHostText(p);
        case C::kFirewallUserAtHost:
            return "USER " + p.FirewallUser + "@" + LogonHostText(p);
        case C::kUserAtHostFirewallUser:
            return "USER " + p.User + "@" + LogonHostText(p) + " " + p.FirewallUser;
        case C::kUserAtFirewallUserAtHost:
            return "USER " + p.User + "@" + p.FirewallUser + "@" + LogonHostText(p);
        case C::kPassAtFirewallPass:
            return "PASS " + p.Password + "@" + p.FirewallPassword;
    }
    return {};
}

}  // namespace orvex
