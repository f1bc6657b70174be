#include "app/PublishCycle.h"

#include <unistd.h>

#include "address/LanAddress.h"
#include "address/WanAddress.h"
#include "address/WanSources.h"
#include "app/CycleRecord.h"
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
#include "settings/OutsideSecrets.h"
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
    std::string IniFolder() const {
        const size_t slash = state.IniPath.rfind('/');
        return slash == std::string::npos ? state.WorkDir : state.IniPath.substr(0, slash);
    }

    // The online cycle's steps that failed are recorded as they fail (status and metrics).
    void StepFailed(CycleStep step, const std::string& why) {
        if (Online()) {
            state.Cycles.StepFailed(step, why);
        }
    }

    int Run() {
        if (!Begin()) {
            return -1;
        }
        const AppSettings asStored = state.Settings();
        if (Online()) {
            state.Cycles.BeginCycle(asStored.DynamicDns.size());
        }
        // Secrets kept outside the file are read at every cycle, so a changed one counts at
        // once; they live in this copy only and never reach the settings record or the file.
        AppSettings withSecrets = asStored;
        for (const auto& [key, why] :
             ApplyOutsideSecrets(withSecrets, IniFolder(), CredentialsDirectory())) {
            host.Status(HostMessage::Coded(status::kSecretRefusedPrefix, key + ": " + why));
        }
        const AppSettings& s = withSecrets;
        LookUpAddresses(s);
        StartPublishing();
        SendMail(s);
        NotifyAt(Online() ? notify::Moment::kOnline : notify::Moment::kOffline);
        UpdateNames(s, asStored.DynamicDns);
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
        bool answered = true;
        const WanSourceSettings sources = WanSourceSettings::From(s);
        if (LookUpWanAddress(state.Addresses, state.Ini(), lookup, sources, host, state.WorkDir,
                             env.lookupServices, IpFamily::kIPv4, &answered) == kNotAvailable) {
            failures.push_back({"the WAN address lookup", "no lookup service gave an address"});
        }
        if (!answered) {
            StepFailed(CycleStep::kLookup, "no WAN address service gave an address");
        }
        GetLANIP(state.Addresses, state.Ini(), env.resolver);
        if (s.EnableIPv6 == 1) {
            LookUpWanAddress(state.Addresses, state.Ini(), lookup, sources, host, state.WorkDir,
                             env.lookupServices6, IpFamily::kIPv6, &answered);
            if (!answered) {
                StepFailed(CycleStep::kLookup, "no IPv6 address service gave an address");
            }
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
            StepFailed(CycleStep::kMail, mailFailure);
        }
    }

    // Keeps the dynamic DNS names pointing at the addresses just looked up; a failure is
    // reported and leaves the rest of the cycle alone. `asStored` are the entries as the
    // settings hold them, before secrets kept outside the file were put in: what the file's
    // entries are compared with.
    void UpdateNames(const AppSettings& s, const std::vector<DynamicDnsEntry>& asStored) {
        if (!Online() || s.DynamicDns.empty()) {
            return;
        }
        const std::vector<ddns::EntryOutcome> outcomes = ddns::UpdateDynamicDns(
            s.DynamicDns, NamesRunFor(s, state), state.DynamicDnsMemory, clock, host,
            [&](size_t index, const DynamicDnsEntry& sent, const std::string& lastAddress,
                const std::string& lastUpdate) {
                const DynamicDnsEntry& e = index < asStored.size() ? asStored[index] : sent;
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
        RecordNames(s.DynamicDns, outcomes);
    }

    // Each entry's result in words, and the updates sent by host name.
    void RecordNames(const std::vector<DynamicDnsEntry>& entries,
                     const std::vector<ddns::EntryOutcome>& outcomes) {
        using ddns::EntryOutcome;
        static constexpr std::pair<EntryOutcome, const char*> kWords[] = {
            {EntryOutcome::kNotDue, "not due"},
            {EntryOutcome::kInvalid, "invalid"},
            {EntryOutcome::kNoAddress, "no address"},
            {EntryOutcome::kStopped, "stopped"},
            {EntryOutcome::kHeld, "held"},
            {EntryOutcome::kUpdated, "updated"},
            {EntryOutcome::kFailed, "failed"},
            {EntryOutcome::kCurrent, "current"}};
        bool failed = false;
        for (size_t i = 0; i < entries.size() && i < outcomes.size(); ++i) {
            const char* word = "";
            for (const auto& [outcome, text] : kWords) {
                if (outcome == outcomes[i]) {
                    word = text;
                }
            }
            NameResult sent = NameResult::kFailed;
            const bool wasSent = outcomes[i] == EntryOutcome::kUpdated ||
                                 outcomes[i] == EntryOutcome::kCurrent ||
                                 outcomes[i] == EntryOutcome::kFailed;
            if (outcomes[i] == EntryOutcome::kUpdated) {
                sent = NameResult::kUpdated;
            } else if (outcomes[i] == EntryOutcome::kCurrent) {
                sent = NameResult::kCurrent;
            }
            failed = failed || outcomes[i] == EntryOutcome::kFailed;
            state.Cycles.EntryEnded(i, entries[i].Hosts, SplitDynamicDnsHosts(entries[i].Hosts),
                                    word, wasSent ? &sent : nullptr);
        }
        if (failed) {
            StepFailed(CycleStep::kNames, "a dynamic DNS name was not updated");
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
        std::string copyError;
        if (ExpandTemplate(templatePath, LocalFile(), PageValuesFor(s, state), host, clock,
                           env.windowFinder, &outputError, &copyError) == -1) {
            failures.push_back({"the page", "its template " + templatePath + " could not be read"});
            StepFailed(CycleStep::kCopy, "cannot read the template " + templatePath);
            return false;
        }
        if (!copyError.empty()) {
            StepFailed(CycleStep::kCopy, copyError);
        }
        if (!outputError.empty()) {
            StepFailed(CycleStep::kCopy, outputError);
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
            // Last, so that whoever waits for the end finds every message of the cycle handled.
            state.Cycles.EndCycle(true, clock.Now());
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
        StepFailed(CycleStep::kUpload, sentence.empty() ? reply.Shown() : sentence);
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
        if (Online()) {
            state.Cycles.EndCycle(false, clock.Now());
        }
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
