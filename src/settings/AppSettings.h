#pragma once

#include <string>
#include <vector>

#include "settings/DynamicDnsEntry.h"
#include "settings/NotifyChannel.h"

namespace orvex {

// The program's settings, one field per key of "Orvex.ini", named by the key. Passwords are
// held in plain text here; only the file holds them scrambled.
struct AppSettings {
    // [LocalSettings]
    std::string FTPServer;
    std::string SiteName;
    std::string UserID;
    std::string Password;
    std::string OnlineFile;
    std::string OfflineFile;
    std::string RemoteFile;
    int Port = 21;
    int FTPOnIPChangeOnly = 0;
    int EnableFTP = 0;
    std::string SaveFileASCII;
    std::string SaveFileHTML;
    std::string WANIPURL;
    std::string StatusIndicators;
    // 0 plain FTP, 1 FTPS explicit, 2 FTPS implicit, 3 SFTP.
    int FTPSecurity = 0;
    // The SFTP server's host key fingerprint ("SHA256:..."); empty: learn it at first use.
    std::string SFTPHostKey;

    // [Preferences]
    int IsLogging = 0;
    std::string LogFilename;
    int IsMinOnStartup = 0;
    int IsUpdateOnStart = 0;
    int IsUpdateOnShut = 0;
    int NotifyErrorOnShut = 1;
    int SuppressError = 0;
    int RefreshIntv = 0;
    int UpdateOnNAIP = 1;
    int InitStartupDelay = 0;
    int Timeout = 15;
    int MaxLog = 0;
    int UseProxy = 0;
    int LogonType = 0;
    int ProxyPassive = 1;
    std::string ProxyAddress;
    int FTPProxyPort = 21;
    std::string HTTPProxyPort;
    std::string ProxyUser;
    std::string ProxyPass;
    std::string ProxyAccount;
    std::string StartDelimiter;
    std::string EndDelimiter;
    std::string DebugWANPage;
    std::string EmailInput;
    std::string EmailServer;
    std::string EmailTo;
    std::string EmailFrom;
    std::string EmailSubject;
    int EnableMail = 0;
    std::string EmailAccount;
    std::string EmailPassword;
    int EnableSMTPAuth = 0;
    int IsMailTo = 0;
    int IsMsgAttachment = 0;
    int EmailOnIPChangeOnly = 0;
    // Check a TLS server's certificate chain and name (FTPS and mail alike).
    int TLSVerify = 1;
    // PEM file of certificates trusted besides the system store; empty: the system store.
    std::string TLSCAFile;
    // Lookup services asked in turn after WANIPURL, blank-separated (edited by hand).
    std::string WANIPFallback;
    // 1: IPv6 addresses are looked up, published (%WI6, %I6) and count as address changes.
    int EnableIPv6 = 0;
    // Lookup services asked over IPv6, blank-separated (edited by hand; empty: built-in list).
    std::string WANIPURL6;
    // The mail server's port (1-65535) and how the mail connection is secured.
    int EmailPort = 25;
    int EmailSecurity = 0;  // kEmailSecurityNone, ...
    // Where the WAN address comes from, blank-separated, asked in turn: web, upnp, natpmp, dns.
    std::string WANIPSources = "web";
    // The router's UPnP description address; empty: SSDP discovery.
    std::string UPnPURL;
    // The router NAT-PMP / PCP asks, "address" or "address:port"; empty: the default gateway.
    std::string NATPMPGateway;
    // The DNS questions that echo the asker, blank-separated "name/type/class@server[:port]";
    // empty: the built-in questions.
    std::string DNSLookups;
    // Secrets kept outside the settings file: files whose first line is the password in clear
    // (relative names count from the folder of the settings file). A systemd credential named
    // like the password key comes first; either one replaces the stored password in the cycles
    // and is never written back.
    std::string PasswordFile;  // [LocalSettings]
    std::string EmailPasswordFile;
    std::string ProxyPassFile;
    // "host:port" where the metrics and health answers are served; empty: not served.
    std::string MetricsAddress;
    // 1: the desktop program keeps its passwords in the desktop's keyring, not in this file.
    int UseKeyring = 0;

    // [DynamicDNS]: the names kept pointing at this machine, in the file's order.
    std::vector<DynamicDnsEntry> DynamicDns;
    // [Notify]: the push, chat and webhook channels told where this machine listens.
    std::vector<NotifyChannel> Notify;
};

inline constexpr int kEmailSecurityNone = 0;
inline constexpr int kEmailSecurityStartTls = 1;  // STARTTLS required
inline constexpr int kEmailSecurityTls = 2;       // TLS from the first byte

// The FTP page keeps its own copy of the FTP connection fields; the settings are loaded into
// it and committed from it.
struct FtpPageValues {
    std::string FTPServer;
    std::string SiteName;
    std::string UserID;
    std::string Password;
    std::string OnlineFile;
    std::string OfflineFile;
    std::string RemoteFile;
    std::string Port;  // as typed
    int FTPOnIPChangeOnly = 0;
    int EnableFTP = 0;
    int FTPSecurity = 0;
};

// What the settings code needs of the FTP page: take the values from its controls, and show
// values in them.
class FtpPageFields {
public:
    virtual ~FtpPageFields() = default;
    virtual FtpPageValues TakeValues() = 0;
    virtual void ShowValues(const FtpPageValues& values) = 0;
};

// An FTP page without a window: holds the values it was shown.
class FtpPageRecord : public FtpPageFields {
public:
    FtpPageValues TakeValues() override { return values; }
    void ShowValues(const FtpPageValues& shown) override { values = shown; }
    FtpPageValues values;
};

}  // namespace orvex
