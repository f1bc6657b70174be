#include "ftp/FtpLink.h"

namespace orvex {

bool CFtpLink::Logon(const FtpLogonParams& params) {
    if (params.LogonType < 0 || params.LogonType >= kLogonTypes) {
        return false;
    }
    // Type 0 goes straight to the server; every other type talks to the firewall first.
    const bool direct = params.LogonType == 0;
    direct_ = direct;
    if (!direct && security_ != FtpSecurity::kPlain) {
        // A proxy or firewall in the middle cannot pass a TLS dialogue with the server.
        return FailLocal(FtpLocalFailure::kTls, "FTPS needs logon type 0 (no proxy or firewall)");
    }
    const std::string& host = direct ? params.Host : params.FirewallHost;
    const int port = direct ? params.Port : params.FirewallPort;
    if (port < 0) {
        return FailLocal(FtpLocalFailure::kConnect,
                         "port " + std::to_string(port) + " out of range");
    }
    if (!ConnectControl(host, static_cast<unsigned>(port))) {
        return false;
    }
    if (!Command("")) {
        return false;
    }
    if (security_ == FtpSecurity::kExplicit && (!Command("AUTH TLS") || !StartTls())) {
        return false;
    }

    const LogonRow& row = LogonSequenceTable[static_cast<size_t>(params.LogonType)];
    int step = 1;
    // Every row reaches an end within its own length; the bound only guards the table.
    for (int taken = 0; taken < kMaxLogonSteps && step >= 1 && step <= row.stepCount; ++taken) {
        const LogonStep& current = row.steps[static_cast<size_t>(step - 1)];
        if (!SendLine(LogonCommandLine(current.command, params))) {
            return false;
        }
        if (!ReadReply()) {
            return false;
        }
        int next;
        if (ReplyClass() == 2) {
            next = current.after2xx;
        } else if (ReplyClass() == 3) {
            next = current.after3xx;
        } else {
            return false;
        }
        if (next == kLoggedOn) {
            if (security_ == FtpSecurity::kPlain) {
                return true;
            }
            // The logon's own reply stays the account of the logon, as on a plain link.
            const std::string loggedOn = ReplyText();
            if (!ProtectData()) {
                return false;
            }
            replyText_ = loggedOn;
            return true;
        }
        if (next == kLogonError) {
            const std::string reply = ReplyText();
            return FailAs(FtpLocalFailure::kLogonSequence, "logon refused after \"" + reply + "\"",
                          {FailureClass::kServerRefused, 0, reply});
        }
        step = next;
    }
    return FailLocal(FtpLocalFailure::kLogonSequence, "logon sequence did not end");
}

}  // namespace orvex
