#include "app/CycleRequests.h"

#include "platform/PathMap.h"
#include "settings/SettingsFile.h"

namespace orvex {

WanLookupSettings LookupFor(const AppSettings& s, AppState& state) {
    WanLookupSettings lookup = WanLookupSettings::From(s);
    const LiveLookupKeys live = ReadLiveLookupKeys(state.Ini());
    lookup.WANIPURL = live.WANIPURL;
    lookup.DebugWANPage = live.DebugWANPage;
    lookup.WANIPFallback = live.WANIPFallback;
    if (s.EnableIPv6 == 1) {
        lookup.WANIPURL6 = live.WANIPURL6;
    }
    return lookup;
}

PageValues PageValuesFor(const AppSettings& s, AppState& state) {
    PageValues v;
    v.currentWanIp = state.Addresses.CurrentWANIP();
    v.currentLanIp = state.Addresses.CurrentLANIP();
    v.ipv6Tokens = s.EnableIPv6 == 1;
    if (v.ipv6Tokens) {
        const AddressState::Snapshot a = state.Addresses.Get();
        v.currentWanIp6 = a.CurrentWANIP6;
        v.currentLanIp6 = a.CurrentLANIP6;
    }
    const AddressState::Snapshot reach = state.Addresses.Get();
    v.natState = reach.WanNat;
    v.wanVia = reach.WanVia;
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

ddns::UpdateRun NamesRunFor(const AppSettings& s, AppState& state) {
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
    run.tls.verify = s.TLSVerify != 0;
    run.tls.caFile = s.TLSCAFile.empty() ? "" : MapPath(state.WorkDir, s.TLSCAFile);
    run.workDir = state.WorkDir;
    return run;
}

notify::Run NotifyRunFor(const AppSettings& s, AppState& state, WindowFinder finder,
                         const std::vector<notify::StepFailure>& failures) {
    const AddressState::Snapshot a = state.Addresses.Get();
    notify::Run run;
    run.addresses.wan = a.CurrentWANIP == kNotAvailable ? "" : a.CurrentWANIP;
    run.addresses.lan = a.CurrentLANIP;
    run.ipv6 = s.EnableIPv6 == 1;
    if (run.ipv6) {
        run.addresses.wan6 = a.CurrentWANIP6 == kNotAvailable ? "" : a.CurrentWANIP6;
        run.addresses.lan6 = a.CurrentLANIP6;
    }
    run.values = PageValuesFor(s, state);
    run.finder = std::move(finder);
    run.timeoutSeconds = s.Timeout;
    run.tls = TlsFor(s, state.WorkDir);
    run.failures = failures;
    return run;
}

TlsOptions TlsFor(const AppSettings& s, const std::string& workDir) {
    TlsOptions tls;
    tls.verify = s.TLSVerify != 0;
    tls.caFile = s.TLSCAFile.empty() ? "" : MapPath(workDir, s.TLSCAFile);
    return tls;
}

FtpUploadParams FtpUploadFor(const AppSettings& s, AppState& state, const std::string& localFile) {
    FtpUploadParams params;
    params.logon.Host = s.FTPServer;
    params.logon.Port = s.Port;
    params.logon.User = s.UserID;
    params.logon.Password = s.Password;
    params.logon.Account = s.ProxyAccount;
    params.logon.FirewallHost = s.ProxyAddress;
    params.logon.FirewallUser = s.ProxyUser;
    params.logon.FirewallPassword = s.ProxyPass;
    params.logon.FirewallPort = s.FTPProxyPort;
    params.logon.LogonType = state.Flags.ProxyInUse == 1 ? s.LogonType : 0;
    if (s.FTPSecurity == kSecurityFtpsExplicit || s.FTPSecurity == kSecurityFtpsImplicit) {
        params.security = s.FTPSecurity == kSecurityFtpsExplicit ? FtpSecurity::kExplicit
                                                                 : FtpSecurity::kImplicit;
        params.tls = TlsFor(s, state.WorkDir);
    }
    params.timeoutSeconds = s.Timeout;
    params.workDir = state.WorkDir;
    params.localFile = localFile;
    params.remoteFile = s.RemoteFile;
    params.passive = s.ProxyPassive != 0;
    return params;
}

SftpUploadParams SftpUploadFor(const AppSettings& s, AppState& state,
                               const std::string& localFile) {
    SftpUploadParams params;
    params.host = s.FTPServer;
    params.port = s.Port;
    params.user = s.UserID;
    params.password = s.Password;
    params.remoteFile = s.RemoteFile;
    params.localPath = MapPath(state.WorkDir, localFile);
    params.knownHostKey = ReadSftpHostKey(state.Ini());
    params.timeoutSeconds = s.Timeout;
    params.knownHostsFile = SftpKnownHostsPath(state.Ini());
    return params;
}

}  // namespace orvex
