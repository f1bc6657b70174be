#include "app/PublishCycle.h"

#include <unistd.h>

#include "address/LanAddress.h"
#include "address/WanAddress.h"
#include "ddns/DynamicDnsUpdater.h"
#include "ftp/FtpLink.h"
#include "ftp/SftpUpload.h"
#include "mail/NotificationMail.h"
#include "notify/Notifier.h"
#include "page/TemplateExpansion.h"
#include "platform/FailureSentence.h"
#include "platform/HostMessage.h"
#include "platform/PathMap.h"
#include "platform/StatusTexts.h"
#include "settings/DynamicDnsSettings.h"
#include "settings/NotifySettings.h"
#include "settings/SettingsFile.h"

namespace orvex {

namespace {

enum class CycleKind { kOnline, kOffline };

struct CycleRun {
    AppState& state;
    Host& host;
    Clock& clock;
    const CycleEnvironment& env;
    CycleKind kind;
    bool fromExitRequest;

    // The steps of this cycle that failed, for the notification channels.
    std::vector<notify::StepFailure> failures;
    bool endNotified = false;

    bool Online() const { return kind == CycleKind::kOnline; }
    std::string LocalFile() const { return Online() ? "Online.txt" : "Offline.txt"; }
    std::string LocalPath() const { return MapPath(state.WorkDir, LocalFile()); }

    // A reply line of the server, when there is one.
    void ReportReply(const CFtpLink& link) {
        if (!link.ReplyText().empty()) {
            host.Status(HostMessage::Reply(link.ReplyText()));
        }
    }

    // Tells once per cycle (one link, one upload) that a passive reply's address was not used.
    void ReportPassiveRoute(const CFtpLink& link) {
        const std::string notice = link.PassiveRouteNotice();
        if (!notice.empty()) {
            host.Status(HostMessage::Plain(notice));
        }
    }

    // What a failed step of the link shows: the server's line, or for a TLS failure (which
    // has no server line) the reason in the check's own words.
    static HostMessage FailureText(const CFtpLink& link) {
        if (link.LocalFailure() == FtpLocalFailure::kTls) {
            return HostMessage::Coded(status::kFileErrorPrefix, link.FailureDetail());
        }
        return HostMessage::Reply(link.ReplyText());
    }

    // The plain sentence beside a failed step of the link: the machine it called (the
    // firewall, with a proxy) and what happened; a refusal in the server's reply turned down
    // `action`. Empty when the link left nothing to tell.
    static std::string LinkSentence(const CFtpLink& link, const std::string& action) {
        ConnectionFailure failure = link.ServerFailure();
        if (failure.kind == FailureClass::kNone) {
            if (link.ReplyText().empty()) {
                return "";
            }
            // A reply of class 4 or 5 turns the action down; anything else is no FTP reply
            // the link could go on from.
            const char first = link.ReplyText()[0];
            failure = first == '4' || first == '5'
                          ? ConnectionFailure{FailureClass::kServerRefused, 0, link.ReplyText()}
                          : ConnectionFailure{FailureClass::kOther, 0,
                                              "unexpected reply \"" + link.ReplyText() + "\""};
        }
        return FailureSentence(link.CalledHost(), static_cast<int>(link.CalledPort()), failure,
                               action);
    }

    // The page goes up over SFTP in one step. The host key is read from the file at each
    // upload, so accepting a new key by editing the file works while the program runs.
    int UploadSftp(const AppSettings& s, const std::string& folder) {
        SftpUploadParams params;
        params.host = s.FTPServer;
        params.port = s.Port;
        params.user = s.UserID;
        params.password = s.Password;
        params.remoteFile = s.RemoteFile;
        params.localPath = LocalPath();
        params.knownHostKey = ReadSftpHostKey(state.Ini());
        params.timeoutSeconds = s.Timeout;
        params.knownHostsFile = SftpKnownHostsPath(state.Ini());
        const SftpUploadResult result = SftpUpload(params);
        if (!result.ok) {
            const std::string where = ServerAndPort(s.FTPServer, s.Port);
            if (result.hostKeyChanged) {
                return FailureEnd(
                    HostMessage::Coded(
                        status::kFileErrorPrefix,
                        "The SFTP server's host key has changed: " + params.knownHostKey +
                            " is stored, the server shows " + result.offeredHostKey +
                            ". If the server's key was replaced on purpose, set "
                            "SFTPHostKey in Orvex.ini to the new value (or empty it) "
                            "to accept it."),
                    s, where + " showed a host key other than the stored one");
            }
            return FailureEnd(HostMessage::Coded(status::kFileErrorPrefix, "SFTP: " + result.error),
                              s, "the SFTP upload to " + where + " failed: " + result.error);
        }
        if (params.knownHostKey.empty() && !result.offeredHostKey.empty()) {
            // First use: the key seen now is the one every later upload must meet.
            WriteSftpHostKey(state.Ini(), result.offeredHostKey);
            state.EditSettings(
                [&](AppSettings& edited) { edited.SFTPHostKey = result.offeredHostKey; });
        }
        if (!folder.empty()) {
            host.Status(HostMessage::Coded(status::kFolderChanged));
        }
        host.Status(HostMessage::Coded(status::kFileCopied));
        if (Online()) {
            ::unlink(LocalPath().c_str());
        }
        return SuccessEnd();
    }

    int SuccessEnd() {
        if (Online()) {
            NotifyEnd();
            state.Flags.CycleBusy = 0;
            state.Flags.CycleSucceeded = 1;
            host.Status(HostMessage::Coded(status::kSystemOnline));
            host.Cycle(CycleCode::EnableRefresh);
            return 1;
        }
        ::unlink(LocalPath().c_str());
        state.Flags.CycleBusy = 0;
        state.Flags.CycleSucceeded = 1;
        host.Status(HostMessage::Coded(status::kSystemOffline));
        if (state.Flags.ExitCommitted == 0) {
            host.ExitRequest();
        }
        return 1;
    }

    // The end after a failure the cycle has not reported yet (`reply` is the server's last
    // line, or empty after a local failure), told in plain words by `sentence` when there is one.
    int FailureEnd(const HostMessage& reply, const AppSettings& settings,
                   const std::string& sentence = "") {
        failures.push_back({"the upload", sentence.empty() ? reply.Shown() : sentence});
        host.Status(reply);
        if (!sentence.empty()) {
            host.Status(HostMessage::Sentence(sentence));
        }
        // Before the box, which waits for the user.
        NotifyEnd();
        if (settings.SuppressError == 0) {
            MessageBoxRequest box;
            box.text = kUploadErrorText;
            box.icon = MsgIcon::Error;
            host.MessageBox(box);
        }
        return QuietFailureEnd();
    }

    // The end after a failure that was already reported.
    int QuietFailureEnd() {
        NotifyEnd();
        state.Flags.CycleBusy = 0;
        if (Online()) {
            // The Refresh command that asked for this cycle is over; a later scheduled cycle
            // must not be taken for one the user asked for.
            state.Flags.ManualRefresh = 0;
        }
        host.Cycle(CycleCode::EnableRefresh);
        if (!Online() && fromExitRequest) {
            host.Cycle(CycleCode::HideShutdownWindow);
            host.Cycle(CycleCode::OfflinePublishFailed);
        }
        return -1;
    }

    // Keeps the dynamic DNS names pointing at the addresses just looked up. Only checked
    // addresses are handed on; a failure is reported and leaves the rest of the cycle alone.
    void UpdateDynamicDnsNames(const AppSettings& s) {
        const AddressState::Snapshot a = state.Addresses.Get();
        ddns::UpdateRun run;
        run.addresses.wan = ddns::CheckedAddress(a.CurrentWANIP, false);
        run.addresses.lan = ddns::CheckedAddress(a.CurrentLANIP, false);
        run.ipv6Enabled = s.EnableIPv6 == 1;
        if (run.ipv6Enabled) {
            run.addresses.wan6 = ddns::CheckedAddress(a.CurrentWANIP6, true);
            run.addresses.lan6 = ddns::CheckedAddress(a.CurrentLANIP6, true);
        }
        run.manualRefresh = state.Flags.ManualRefresh == 1;
        run.timeoutSeconds = s.Timeout;
        run.workDir = state.WorkDir;
        const std::vector<ddns::EntryOutcome> outcomes = ddns::UpdateDynamicDns(
            s.DynamicDns, run, state.DynamicDnsMemory, clock, host,
            [&](size_t index, const DynamicDnsEntry& e, const std::string& lastAddress,
                const std::string& lastUpdate) {
                WriteDynamicDnsResult(state.Ini(), PasswordKey(), index, e, lastAddress,
                                      lastUpdate);
                state.EditSettings([&](AppSettings& edited) {
                    if (index < edited.DynamicDns.size() &&
                        SameDynamicDnsTarget(edited.DynamicDns[index], e)) {
                        edited.DynamicDns[index].LastAddress = lastAddress;
                        edited.DynamicDns[index].LastUpdate = lastUpdate;
                    }
                });
            });
        for (size_t i = 0; i < outcomes.size() && i < s.DynamicDns.size(); ++i) {
            if (outcomes[i] == ddns::EntryOutcome::kFailed) {
                failures.push_back({"the dynamic DNS update of " + s.DynamicDns[i].Hosts,
                                    "the provider could not be reached or refused it"});
            }
        }
    }

    // The end of an online cycle, told once: the failures and the pings.
    void NotifyEnd() {
        if (Online() && !endNotified) {
            endNotified = true;
            NotifyAt(notify::Moment::kCycleEnd);
        }
    }

    // Tells the notification channels due at `moment` (a copy of the settings taken now: the
    // channels' last announcements may have changed since the cycle began).
    void NotifyAt(notify::Moment moment) {
        const AppSettings s = state.Settings();
        if (s.Notify.empty()) {
            return;
        }
        const AddressState::Snapshot a = state.Addresses.Get();
        notify::Run run;
        run.addresses.wan = a.CurrentWANIP == kNotAvailable ? "" : a.CurrentWANIP;
        run.addresses.lan = a.CurrentLANIP;
        run.ipv6 = s.EnableIPv6 == 1;
        if (run.ipv6) {
            run.addresses.wan6 = a.CurrentWANIP6 == kNotAvailable ? "" : a.CurrentWANIP6;
            run.addresses.lan6 = a.CurrentLANIP6;
        }
        run.values = Values(s);
        run.finder = env.windowFinder;
        run.timeoutSeconds = s.Timeout;
        run.tls.verify = s.TLSVerify != 0;
        run.tls.caFile = s.TLSCAFile.empty() ? "" : MapPath(state.WorkDir, s.TLSCAFile);
        run.failures = failures;
        notify::NotifyChannels(
            s.Notify, moment, run, state.NotifyMemory, clock, host,
            [&](size_t index, const NotifyChannel& c, const std::string& lastSent) {
                WriteNotifyLastSent(state.Ini(), PasswordKey(), index, c, lastSent);
                state.EditSettings([&](AppSettings& edited) {
                    if (index < edited.Notify.size() && SameNotifyTarget(edited.Notify[index], c)) {
                        edited.Notify[index].LastSent = lastSent;
                    }
                });
            });
    }

    PageValues Values(const AppSettings& s) const {
        PageValues v;
        v.currentWanIp = state.Addresses.CurrentWANIP();
        v.currentLanIp = state.Addresses.CurrentLANIP();
        v.ipv6Tokens = s.EnableIPv6 == 1;
        if (v.ipv6Tokens) {
            const AddressState::Snapshot a = state.Addresses.Get();
            v.currentWanIp6 = a.CurrentWANIP6;
            v.currentLanIp6 = a.CurrentLANIP6;
        }
        v.siteName = s.SiteName;
        v.connectionState = state.ConnectionState();
        v.statusIndicators = s.StatusIndicators;
        v.programs = state.Programs.Snapshot();
        v.saveFileHtml = s.SaveFileHTML;
        v.saveFileAscii = s.SaveFileASCII;
        v.suppressError = s.SuppressError != 0;
        v.workDir = state.WorkDir;
        return v;
    }

    int Run() {
        if (!Online()) {
            host.Cycle(CycleCode::ShowShutdownWindow);
        }
        if (state.Flags.CycleBusy == 1) {
            // Cycles never overlap, so this is a flag left over; leave it to its owner.
            return -1;
        }
        if (state.Settings().UseProxy == 0) {
            state.EditSettings([](AppSettings& s) {
                s.FTPProxyPort = 21;
                s.HTTPProxyPort = "80";
                s.ProxyAddress.clear();
                s.ProxyUser.clear();
                s.ProxyPass.clear();
            });
        }
        const AppSettings s = state.Settings();

        // The keys edited by hand are read from the file at each lookup, so an edit made
        // while the program runs takes effect at the next cycle.
        WanLookupSettings lookup = WanLookupSettings::From(s);
        const LiveLookupKeys live = ReadLiveLookupKeys(state.Ini());
        lookup.WANIPURL = live.WANIPURL;
        lookup.DebugWANPage = live.DebugWANPage;
        lookup.WANIPFallback = live.WANIPFallback;
        if (GetWANIP(state.Addresses, state.Ini(), lookup, host, state.WorkDir,
                     env.lookupServices) == kNotAvailable) {
            failures.push_back({"the WAN address lookup", "no lookup service gave an address"});
        }
        GetLANIP(state.Addresses, state.Ini(), env.resolver);
        if (s.EnableIPv6 == 1) {
            lookup.WANIPURL6 = live.WANIPURL6;
            GetWANIP6(state.Addresses, state.Ini(), lookup, host, state.WorkDir,
                      env.lookupServices6);
            GetLANIP6(state.Addresses, state.Ini(), env.resolver);
        }

        host.Cycle(CycleCode::DisableRefresh);
        host.Cycle(CycleCode::DisableRefresh);
        state.SetConnectionState(Online() ? "Online" : "Offline");
        state.Flags.CycleBusy = 1;

        if (s.EnableMail != 0) {
            std::string mailFailure;
            SendNotificationMail(s, state.Addresses.Get(), state.Flags.ManualRefresh == 1,
                                 Values(s), host, clock, env.windowFinder, &mailFailure);
            if (!mailFailure.empty()) {
                failures.push_back({"the mail", mailFailure});
            }
        }
        NotifyAt(Online() ? notify::Moment::kOnline : notify::Moment::kOffline);
        if (Online() && !s.DynamicDns.empty()) {
            UpdateDynamicDnsNames(s);
        }
        if (s.EnableFTP == 0) {
            return SuccessEnd();
        }
        if (Online() && state.Flags.ManualRefresh == 0 && state.Flags.UpdateOnStartPending == 0 &&
            s.FTPOnIPChangeOnly == 1) {
            const AddressState::Snapshot a = state.Addresses.Get();
            if (a.Unchanged(s.EnableIPv6 == 1)) {
                return SuccessEnd();
            }
        }
        state.Flags.UpdateOnStartPending = 0;
        const int logonType = state.Flags.ProxyInUse == 1 ? s.LogonType : 0;

        host.Status(HostMessage::Coded(status::kConnectingToFtp));
        const std::string templatePath = Online() ? s.OnlineFile : s.OfflineFile;
        std::string outputError;
        if (ExpandTemplate(templatePath, LocalFile(), Values(s), host, clock, env.windowFinder,
                           &outputError) == -1) {
            failures.push_back({"the page", "its template " + templatePath + " could not be read"});
            return QuietFailureEnd();
        }
        if (!outputError.empty()) {
            // A page that was not written whole (or an old one left behind) is never published.
            host.Status(HostMessage::Coded(status::kFileErrorPrefix, outputError));
            failures.push_back({"the page", outputError});
            return QuietFailureEnd();
        }

        std::string folder;
        std::string name;
        SplitRemoteFile(s.RemoteFile, &folder, &name);

        if (s.FTPSecurity < kSecurityFtp || s.FTPSecurity > kSecuritySftp) {
            // An unknown choice from a hand-edited file must not fall back to plain FTP.
            return FailureEnd(HostMessage::Coded(status::kFileErrorPrefix,
                                                 "FTPSecurity must be 0 (FTP), 1 (FTPS explicit), "
                                                 "2 (FTPS implicit) or 3 (SFTP)."),
                              s);
        }
        const std::string conflict =
            SecurityConflict(s.FTPSecurity, state.Flags.ProxyInUse, s.LogonType);
        if (!conflict.empty()) {
            // Never fall back to a plain dialogue when a secure one was chosen.
            return FailureEnd(HostMessage::Coded(status::kFileErrorPrefix, conflict), s);
        }
        if (s.FTPSecurity == kSecuritySftp) {
            return UploadSftp(s, folder);
        }

        CFtpLink link(s.Timeout, state.WorkDir, clock);
        if (s.FTPSecurity == kSecurityFtpsExplicit || s.FTPSecurity == kSecurityFtpsImplicit) {
            TlsOptions tls;
            tls.verify = s.TLSVerify != 0;
            tls.caFile = s.TLSCAFile.empty() ? "" : MapPath(state.WorkDir, s.TLSCAFile);
            link.SetSecurity(s.FTPSecurity == kSecurityFtpsExplicit ? FtpSecurity::kExplicit
                                                                    : FtpSecurity::kImplicit,
                             tls);
        }
        FtpLogonParams params;
        params.Host = s.FTPServer;
        params.Port = s.Port;
        params.User = s.UserID;
        params.Password = s.Password;
        params.Account = s.ProxyAccount;
        params.FirewallHost = s.ProxyAddress;
        params.FirewallUser = s.ProxyUser;
        params.FirewallPassword = s.ProxyPass;
        params.FirewallPort = s.FTPProxyPort;
        params.LogonType = logonType;
        if (!link.Logon(params)) {
            return FailureEnd(FailureText(link), s, LinkSentence(link, "the logon"));
        }
        ReportReply(link);
        link.Command("TYPE A");
        ReportReply(link);
        link.Command("REST 0");
        ReportReply(link);

        if (folder.empty()) {
            const bool sent = link.Transfer(s.RemoteFile, LocalFile(), s.ProxyPassive != 0, false);
            ReportPassiveRoute(link);
            if (!sent) {
                return FailureEnd(FailureText(link), s,
                                  LinkSentence(link, "the upload of " + s.RemoteFile));
            }
        } else {
            if (!link.Command("CWD " + folder)) {
                return FailureEnd(HostMessage::Reply(link.ReplyText()), s,
                                  LinkSentence(link, "the change to folder " + folder));
            }
            host.Status(HostMessage::Coded(status::kFolderChanged));
            const bool sent = link.Transfer(name, LocalFile(), s.ProxyPassive != 0, false);
            ReportPassiveRoute(link);
            if (!sent) {
                return FailureEnd(FailureText(link), s,
                                  LinkSentence(link, "the upload of " + name));
            }
        }

        host.Status(HostMessage::Coded(status::kFileCopied));
        ReportReply(link);
        link.Quit();
        if (Online()) {
            ::unlink(LocalPath().c_str());
        }
        return SuccessEnd();
    }
};

}  // namespace

void SplitRemoteFile(const std::string& remoteFile, std::string* folder, std::string* name) {
    folder->clear();
    *name = remoteFile;
    for (char separator : {'/', '\\'}) {
        const size_t at = remoteFile.rfind(separator);
        if (at != std::string::npos) {
            *folder = remoteFile.substr(0, at);
            *name = remoteFile.substr(at + 1);
        }
    }
}

int OnlineCycle(AppState& state, Host& host, Clock& clock, const CycleEnvironment& env) {
    CycleRun run{state, host, clock, env, CycleKind::kOnline, false, {}, false};
    return run.Run();
}

int OfflineCycle(AppState& state, Host& host, Clock& clock, const CycleEnvironment& env,
                 bool fromExitRequest) {
    CycleRun run{state, host, clock, env, CycleKind::kOffline, fromExitRequest, {}, false};
    return run.Run();
}

}  // namespace orvex
