#include "settings/SettingsTemplate.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "settings/DynamicDnsSettings.h"
#include "settings/SettingsFile.h"

namespace orvex {

namespace {

// One line of explanation per key of the key table; a key without one gets none.
constexpr std::pair<const char*, const char*> kExplanations[] = {
    {"FTPServer", "the FTP, FTPS or SFTP server the page is uploaded to (required)"},
    {"SiteName", "the name the page gives this machine (%H)"},
    {"UserID", "the user name on the server"},
    {"Password", "its password, scrambled; the desktop program writes it (or use PasswordFile)"},
    {"OnlineFile", "the template of the page published while online, e.g. online.htm"},
    {"OfflineFile", "the template published when the program ends (IsUpdateOnShut)"},
    {"RemoteFile", "the page's name on the server, with its folder if any"},
    {"Port", "the server's port: 21 for FTP and explicit FTPS, 990 implicit FTPS, 22 SFTP"},
    {"FTPOnIPChangeOnly", "1: upload only when an address changed"},
    {"EnableFTP", "1: upload the page at every cycle (0: addresses, mail and names only)"},
    {"SaveFileASCII", "local copy holding the WAN address alone"},
    {"SaveFileHTML", "local copy of the page"},
    {"WANIPURL", "the service that tells the WAN address (empty: the built-in public ones)"},
    {"StatusIndicators", "the words %P<n> shows for a program running / not running"},
    {"FTPSecurity", "0 FTP, 1 FTPS explicit, 2 FTPS implicit, 3 SFTP"},
    {"SFTPHostKey", "the SFTP server's host key, learnt at the first upload"},
    {"PasswordFile", "a file only you may read whose first line is the password"},
    {"IsLogging", "1: write the event log"},
    {"LogFilename", "the event log's file"},
    {"IsMinOnStartup", "desktop program: start hidden in the notification area"},
    {"IsUpdateOnStart", "1: a cycle at start"},
    {"IsUpdateOnShut", "1: publish the offline page when the program ends"},
    {"NotifyErrorOnShut", "1: say so when the offline page could not be published"},
    {"SuppressError", "1: no message boxes for failures (they are still logged)"},
    {"RefreshIntv", "minutes between cycles; 0: none (30 or more with the public services)"},
    {"UpdateOnNAIP", "1: publish N/A when no WAN address was found (0: keep the last one)"},
    {"InitStartupDelay", "seconds to wait after start before the first cycle"},
    {"Timeout", "seconds every network step may take"},
    {"MaxLog", "days of the event log kept; 0: all"},
    {"UseProxy", "1: reach the FTP server through the proxy or firewall below"},
    {"LogonType", "how to log on through the firewall (0-7, see the help pages)"},
    {"ProxyPassive", "1: passive FTP transfers"},
    {"ProxyAddress", "the proxy or firewall"},
    {"FTPProxyPort", "its FTP port"},
    {"HTTPProxyPort", "its HTTP port"},
    {"ProxyUser", "the firewall's user name"},
    {"ProxyPass", "its password, scrambled (or use ProxyPassFile)"},
    {"ProxyAccount", "the account some firewalls ask for"},
    {"StartDelimiter", "text just before the address in the lookup service's answer"},
    {"EndDelimiter", "text just after it"},
    {"DebugWANPage", "TRUE: keep each lookup answer in WANPage.html"},
    {"EmailInput", "the template of the notification mail"},
    {"EmailServer", "the mail server"},
    {"EmailTo", "who gets the mail"},
    {"EmailFrom", "who sends it"},
    {"EmailSubject", "its subject"},
    {"EnableMail", "1: send the mail at every cycle"},
    {"EmailAccount", "the mail server's user name (EnableSMTPAuth)"},
    {"EmailPassword", "its password, scrambled (or use EmailPasswordFile)"},
    {"EnableSMTPAuth", "1: log on to the mail server"},
    {"IsMailTo", "1: send to the first address as a blind copy"},
    {"IsMsgAttachment", "1: send the expanded template as an attachment"},
    {"EmailOnIPChangeOnly", "1: mail only when an address changed"},
    {"TLSVerify", "1: check TLS servers' certificates and names"},
    {"TLSCAFile", "certificates trusted besides the system's (PEM)"},
    {"WANIPFallback", "lookup services asked after WANIPURL, blank-separated"},
    {"EmailPort", "the mail server's port"},
    {"EmailSecurity", "0 none, 1 STARTTLS required, 2 TLS from the start"},
    {"EnableIPv6", "1: look up, publish and update IPv6 addresses too"},
    {"WANIPURL6", "the services asked over IPv6 (empty: the built-in ones)"},
    {"WANIPSources", "where the WAN address comes from, asked in turn: web upnp natpmp dns"},
    {"UPnPURL", "the router's UPnP description address; empty: discovery on the LAN"},
    {"NATPMPGateway", "the router asked by NAT-PMP/PCP, address[:port]; empty: the gateway"},
    {"DNSLookups", "DNS questions that echo the asker, name/type/class@server[:port] ..."},
    {"EmailPasswordFile", "a file only you may read whose first line is the mail password"},
    {"ProxyPassFile", "a file only you may read whose first line is the firewall password"},
    {"MetricsAddress", "host:port serving /metrics and /healthz; empty: none"},
    {"UseKeyring", "desktop program: 1 keeps the passwords in the desktop's keyring"},
};

const char* Explanation(const std::string& name) {
    for (const auto& [key, text] : kExplanations) {
        if (name == key) {
            return text;
        }
    }
    return nullptr;
}

}  // namespace

std::string CommentedSettingsText() {
    std::string out =
        "; Orvex settings, shared by orvexd and the desktop program orvex.\n"
        "; Every key is shown with the value used when it is absent; nothing is enabled.\n"
        "; To publish a page: set FTPServer, UserID, the password (PasswordFile keeps it out of\n"
        "; this file), OnlineFile, OfflineFile and RemoteFile, then EnableFTP=1. Sample\n"
        "; templates are in /usr/share/orvex/samples. orvexd --check names what is missing.\n";
    std::string section;
    for (const SettingsEntry& entry : DefaultSettingsEntries()) {
        if (entry.section != section) {
            section = entry.section;
            out += "\n[" + section + "]\n";
        }
        if (const char* text = Explanation(entry.name)) {
            out += std::string("; ") + text + "\n";
        }
        out += entry.name + "=" + entry.value + "\n";
    }
    out += "\n[" + std::string(kSectionDynamicDns) +
           "]\n"
           "; Names kept pointing at this machine: Count entries, the keys of entry n numbered n,\n"
           "; e.g. Protocol1=dyndns2 (or url, rfc2136, command), Server1, Hosts1, User1,\n"
           "; PasswordFile1, URL1, Zone1, TSIGName1, TSIGSecretFile1, TTL1, Command1, Family1.\n"
           "Count=0\n"
           "\n; [" +
           kSectionAddress +
           "], [Programs] and [StatusIndicators] are written by the programs themselves.\n";
    return out;
}

bool WriteCommentedSettings(const std::string& path, std::string* error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        *error = errno == EEXIST ? path + " exists already; it is left as it is"
                                 : "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    const std::string text = CommentedSettingsText();
    size_t written = 0;
    bool ok = ::fchmod(fd, 0600) == 0;
    while (ok && written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        ok = n > 0;
        written += n > 0 ? static_cast<size_t>(n) : 0;
    }
    if (!ok) {
        *error = "cannot write " + path + ": " + std::strerror(errno);
    }
    ok = (::close(fd) == 0) && ok;
    if (!ok) {
        ::unlink(path.c_str());
        if (error->empty()) {
            *error = "cannot write " + path;
        }
    }
    return ok;
}

}  // namespace orvex
