#include "app/PublishCycle.h"

#include <unistd.h>

#include "address/LanAddress.h"
#include "address/WanAddress.h"
#include "address/WanSources.h"
#include "app/CycleRequests.h"
#include "app/WindowPort.h"
#include "ddns/DynamicDnsUpdater.h"
#include "ftp/FtpUpload.h"
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

static_assert(kMailSettingsPage == Page::Email, "the mail names the window's E-Mail page");

enum class CycleKind { kOnline, kOffline };

// One publishing cycle, online or offline, as its named steps: lookup, mail, names, page,
// upload, local copies. Each step reports through the Host as it goes; a step that fails notes
// itself for the notification channels.
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

    int Run() {
        if (!Begin()) {
            return -1;
        }
        const AppSettings s = state.Settings();
        LookUpAddresses(s);
        StartPublishing();
        SendMail(s);
        NotifyAt(Online() ? notify::Moment::kOnline : notify::Moment::kOffline);
        UpdateNames(s);
        if (!UploadDue(s)) {
            return SuccessEnd();
        }
        if (!WritePage(s)) {
            return QuietFailureEnd();
        }
        const FtpUploadResult sent = Upload(s);
        if (!sent.ok) {
            return FailureEnd(sent.failure, s, sent.sentence);
        }
        RemoveSentPage();
        return SuccessEnd();
    }

    // --- the steps ---

    // False when a flag left over says a cycle is running (cycles never overlap; leave it to
    // its owner). Without a proxy its fields are cleared for this and later cycles.
    bool Begin() {
        if (!Online()) {
            host.Cycle(CycleCode::ShowShutdownWindow);
        }
        if (state.Flags.CycleBusy == 1) {
            return false;
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
        return true;
    }

    void LookUpAddresses(const AppSettings& s) {
        const WanLookupSettings lookup = LookupFor(s, state);
        const WanSourceSettings sources = WanSourceSettings::From(s);
        if (LookUpWanAddress(state.Addresses, state.Ini(), lookup, sources, host, state.WorkDir,
                             env.lookupServices, IpFamily::kIPv4) == kNotAvailable) {
            failures.push_back({"the WAN address lookup", "no lookup service gave an address"});
        }
        GetLANIP(state.Addresses, state.Ini(), env.resolver);
        if (s.EnableIPv6 == 1) {
            LookUpWanAddress(state.Addresses, state.Ini(), lookup, sources, host, state.WorkDir,
                             env.lookupServices6, IpFamily::kIPv6);
            GetLANIP6(state.Addresses, state.Ini(), env.resolver);
        }
    }

    void StartPublishing() {
        host.Cycle(CycleCode::DisableRefresh);
        host.Cycle(CycleCode::DisableRefresh);
        state.SetConnectionState(Online() ? "Online" : "Offline");
        state.Flags.CycleBusy = 1;
    }

    void SendMail(const AppSettings& s) {
        if (s.EnableMail == 0) {
            return;
        }
        std::string mailFailure;
        SendNotificationMail(s, state.Addresses.Get(), state.Flags.ManualRefresh == 1,
                             PageValuesFor(s, state), host, clock, env.windowFinder, &mailFailure);
        if (!mailFailure.empty()) {
            failures.push_back({"the mail", mailFailure});
        }
    }

    // Keeps the dynamic DNS names pointing at the addresses just looked up; a failure is
    // reported and leaves the rest of the cycle alone.
    void UpdateNames(const AppSettings& s) {
        if (!Online() || s.DynamicDns.empty()) {
            return;
        }
        const std::vector<ddns::EntryOutcome> outcomes = ddns::UpdateDynamicDns(
            s.DynamicDns, NamesRunFor(s, state), state.DynamicDnsMemory, clock, host,
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

    // Whether the page goes up: FTP on, and online, unless only a changed address may send it
    // and none changed (a Refresh and the start-up update always send it).
    bool UploadDue(const AppSettings& s) {
        if (s.EnableFTP == 0) {
            return false;
        }
        if (Online() && state.Flags.ManualRefresh == 0 && state.Flags.UpdateOnStartPending == 0 &&
            s.FTPOnIPChangeOnly == 1 && state.Addresses.Get().Unchanged(s.EnableIPv6 == 1)) {
            return false;
        }
        state.Flags.UpdateOnStartPending = 0;
        return true;
    }

    // The page from its template, with the local copies written in the same pass. A page that
    // was not written whole (or an old one left behind) is never published.
    bool WritePage(const AppSettings& s) {
        host.Status(HostMessage::Coded(status::kConnectingToFtp));
        const std::string templatePath = Online() ? s.OnlineFile : s.OfflineFile;
        std::string outputError;
        if (ExpandTemplate(templatePath, LocalFile(), PageValuesFor(s, state), host, clock,
                           env.windowFinder, &outputError) == -1) {
            failures.push_back({"the page", "its template " + templatePath + " could not be read"});
            return false;
        }
        if (!outputError.empty()) {
            host.Status(HostMessage::Coded(status::kFileErrorPrefix, outputError));
            failures.push_back({"the page", outputError});
            return false;
        }
        return true;
    }

    // The page goes up over FTP, FTPS or SFTP; a security choice that is unknown or cannot
    // pass the proxy's logon never falls back to a plain dialogue.
    FtpUploadResult Upload(const AppSettings& s) {
        const std::string problem =
            FtpSecurityProblem(s.FTPSecurity, state.Flags.ProxyInUse, s.LogonType);
        if (!problem.empty()) {
            FtpUploadResult refused;
            refused.failure = HostMessage::Coded(status::kFileErrorPrefix, problem);
            return refused;
        }
        if (s.FTPSecurity == kSecuritySftp) {
            return UploadSftp(s);
        }
        return UploadByFtp(FtpUploadFor(s, state, LocalFile()), host, clock);
    }

    // The online page is the cycle's own file: gone once it is up. (The offline one goes at
    // the end of the offline cycle, uploaded or not.)
    void RemoveSentPage() {
        if (Online()) {
            ::unlink(LocalPath().c_str());
        }
    }

    // --- inside the steps ---

    // One SFTP upload; a key seen for the first time is kept as the one every later upload
    // must meet.
    FtpUploadResult UploadSftp(const AppSettings& s) {
        const SftpUploadParams params = SftpUploadFor(s, state, LocalFile());
        const SftpUploadResult result = SftpUpload(params);
        FtpUploadResult told;
        if (!result.ok) {
            const std::string where = ServerAndPort(s.FTPServer, s.Port);
            if (result.hostKeyChanged) {
                told.failure = HostMessage::Coded(
                    status::kFileErrorPrefix,
                    "The SFTP server's host key has changed: " + params.knownHostKey +
                        " is stored, the server shows " + result.offeredHostKey +
                        ". If the server's key was replaced on purpose, set SFTPHostKey in "
                        "Orvex.ini to the new value (or empty it) to accept it.");
                told.sentence = where + " showed a host key other than the stored one";
            } else {
                told.failure =
                    HostMessage::Coded(status::kFileErrorPrefix, "SFTP: " + result.error);
                told.sentence = "the SFTP upload to " + where + " failed: " + result.error;
            }
            return told;
        }
        if (params.knownHostKey.empty() && !result.offeredHostKey.empty()) {
            WriteSftpHostKey(state.Ini(), result.offeredHostKey);
            state.EditSettings(
                [&](AppSettings& edited) { edited.SFTPHostKey = result.offeredHostKey; });
        }
        std::string folder;
        std::string name;
        SplitRemoteFile(s.RemoteFile, &folder, &name);
        if (!folder.empty()) {
            host.Status(HostMessage::Coded(status::kFolderChanged));
        }
        host.Status(HostMessage::Coded(status::kFileCopied));
        told.ok = true;
        return told;
    }

    // --- the ends ---

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
        notify::NotifyChannels(
            s.Notify, moment, NotifyRunFor(s, state, env.windowFinder, failures),
            state.NotifyMemory, clock, host,
            [&](size_t index, const NotifyChannel& c, const std::string& lastSent) {
                WriteNotifyLastSent(state.Ini(), PasswordKey(), index, c, lastSent);
                state.EditSettings([&](AppSettings& edited) {
                    if (index < edited.Notify.size() && SameNotifyTarget(edited.Notify[index], c)) {
                        edited.Notify[index].LastSent = lastSent;
                    }
                });
            });
    }
};

}  // namespace

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
