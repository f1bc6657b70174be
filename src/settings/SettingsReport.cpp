#include "settings/SettingsReport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/PathMap.h"
#include "platform/Profile.h"
#include "platform/StatusTexts.h"
#include "platform/ListenAddress.h"
#include "platform/TextUtil.h"
#include "settings/DynamicDnsKinds.h"
#include "settings/DynamicDnsSettings.h"
#include "settings/NotifySettings.h"
#include "settings/ProviderCatalog.h"
#include "settings/OutsideSecrets.h"
#include "settings/SettingsFile.h"

namespace orvex {

namespace {

struct IntRule {
    const char* name;
    long long low;
    long long high;
};

// Whole-number keys whose values outside these bounds the program does not handle as meant.
// Switches are 0 or 1: some places test for 1, others for anything but 0.
constexpr IntRule kIntRules[] = {
    {"Port", 1, 65535},
    {"FTPProxyPort", 1, 65535},
    {"Timeout", 1, INT_MAX},
    {"RefreshIntv", 0, INT_MAX},
    {"InitStartupDelay", 0, INT_MAX},
    {"MaxLog", 0, INT_MAX},
    {"LogonType", 0, kLogonTypeCount - 1},
    {"FTPOnIPChangeOnly", 0, 1},
    {"EnableFTP", 0, 1},
    {"IsLogging", 0, 1},
    {"IsMinOnStartup", 0, 1},
    {"IsUpdateOnStart", 0, 1},
    {"IsUpdateOnShut", 0, 1},
    {"NotifyErrorOnShut", 0, 1},
    {"SuppressError", 0, 1},
    {"UpdateOnNAIP", 0, 1},
    {"UseProxy", 0, 1},
    {"ProxyPassive", 0, 1},
    {"EnableMail", 0, 1},
    {"EnableSMTPAuth", 0, 1},
    {"IsMailTo", 0, 1},
    {"IsMsgAttachment", 0, 1},
    {"EmailOnIPChangeOnly", 0, 1},
    {"EmailPort", 1, 65535},
    {"EmailSecurity", kEmailSecurityNone, kEmailSecurityTls},
    {"FTPSecurity", kSecurityFtp, kSecuritySftp},
    {"TLSVerify", 0, 1},
    {"EnableIPv6", 0, 1},
    {"UseKeyring", 0, 1},
};

// The FTP fields a cycle needs before it starts.
constexpr const char* kRequiredFtpKeys[] = {"FTPServer",  "SiteName",    "UserID",     "Password",
                                            "OnlineFile", "OfflineFile", "RemoteFile", "Port"};

bool ParseWhole(const std::string& text, long long& value) {
    if (text.empty()) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    value = std::strtoll(text.c_str(), &end, 10);
    return errno == 0 && end != nullptr && *end == '\0';
}

// Why a file cannot be read, or empty when it can.
std::string Unreadable(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::strerror(errno);
    }
    ::close(fd);
    return std::string();
}

class Checker {
public:
    Checker(const std::string& iniPath, const std::string& workDir)
        : ini_(iniPath), workDir_(workDir) {}

    std::vector<std::string> Run() {
        for (const SettingsEntry& entry : ListSettings(AppSettings{})) {
            sections_.push_back({entry.name, entry.section});
        }
        CheckNumbers();
        AppSettings outside;
        outside.PasswordFile = Raw("PasswordFile");
        const bool passwordOutside = FtpPasswordKeptOutside(outside, CredentialsDirectory());
        for (const char* key : kRequiredFtpKeys) {
            if (Raw(key).empty() && !(std::string(key) == "Password" && passwordOutside)) {
                Problem(key, std::string("empty; every cycle stops with \"") +
                                 status::kLocalSettingsNeeded + "\"");
            }
        }
        if (Raw("FTPServer") == kPlaceholderServer) {
            Problem("FTPServer", std::string("still the placeholder ") + kPlaceholderServer);
        }
        if (Switch("EnableFTP")) {
            NeedFile("OnlineFile");
            NeedFile("OfflineFile");
        }
        if (Switch("IsLogging")) {
            NeedText("LogFilename", "IsLogging");
        }
        if (Switch("UseProxy")) {
            NeedText("ProxyAddress", "UseProxy");
        }
        if (Switch("EnableMail")) {
            for (const char* key : {"EmailServer", "EmailFrom", "EmailTo", "EmailInput"}) {
                NeedText(key, "EnableMail");
            }
            if (!Raw("EmailInput").empty()) {
                NeedFile("EmailInput");
            }
            if (Switch("EnableSMTPAuth")) {
                NeedText("EmailAccount", "EnableSMTPAuth");
            }
        }
        CheckSourceNames();
        CheckDynamicDns();
        CheckNotify();
        CheckOutsideSecrets();
        const std::string metrics = Raw("MetricsAddress");
        std::string host;
        int port = 0;
        if (!TrimBlanks(metrics).empty() && !SplitListenAddress(metrics, &host, &port)) {
            Problem("MetricsAddress",
                    "\"" + metrics + "\" is not host:port (an IPv6 address in brackets)");
        }
        return problems_;
    }

private:
    const char* SectionOf(const std::string& key) const {
        for (const auto& [name, section] : sections_) {
            if (name == key) {
                return section.c_str();
            }
        }
        return kSectionPreferences;
    }

    std::string Raw(const std::string& key) const {
        return ini_.GetString(SectionOf(key), key, "", kMaxValueLength + 1);
    }

    bool Switch(const char* key) const {
        long long value = 0;
        return ParseWhole(Raw(key), value) && value != 0;
    }

    // Every name of WANIPSources is a source the lookup knows; an unknown one is left out.
    void CheckSourceNames() {
        std::istringstream names(Raw("WANIPSources"));
        std::string name;
        while (names >> name) {
            std::string lower = name;
            for (char& c : lower) {
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
            if (lower != "web" && lower != "upnp" && lower != "natpmp" && lower != "dns") {
                Problem("WANIPSources", "\"" + name +
                                            "\" is no source (web, upnp, natpmp or dns); it is "
                                            "left out");
            }
        }
    }

    void Problem(const std::string& key, const std::string& text) {
        problems_.push_back(key + ": " + text);
    }

    void CheckNumbers() {
        for (const IntRule& rule : kIntRules) {
            const std::string text = Raw(rule.name);
            if (text.empty()) {
                continue;
            }
            long long value = 0;
            if (!ParseWhole(text, value)) {
                Problem(rule.name, "\"" + text + "\" is not a whole number");
            } else if (value < rule.low || value > rule.high) {
                std::ostringstream range;
                range << value << " is out of range (" << rule.low;
                if (rule.high == INT_MAX) {
                    range << " or more)";
                } else {
                    range << " to " << rule.high << ")";
                }
                Problem(rule.name, range.str());
            }
        }
    }

    // The dynamic DNS entries: a readable Count, and for each entry what keeps it from being
    // sent, a TTL that is no whole number of seconds, and an IPv6-only entry without IPv6.
    void CheckDynamicDns() {
        const std::string countText =
            ini_.GetString(kSectionDynamicDns, "Count", "", kMaxValueLength + 1);
        if (countText.empty()) {
            return;
        }
        long long count = 0;
        if (!ParseWhole(countText, count)) {
            Problem("Count", "\"" + countText + "\" is not a whole number (section [" +
                                 kSectionDynamicDns + "])");
            return;
        }
        if (count < 0 || count > kDynamicDnsEntryLimit) {
            Problem("Count", std::to_string(count) + " is out of range (0 to " +
                                 std::to_string(kDynamicDnsEntryLimit) + ", section [" +
                                 kSectionDynamicDns + "])");
        }
        const std::vector<DynamicDnsEntry> entries = ReadDynamicDnsEntries(ini_, PasswordKey());
        if (const ProviderCatalog& catalog = LoadedProviderCatalog();
            !entries.empty() && !catalog.problem.empty()) {
            problems_.push_back(std::string(kProviderCatalogFile) + ": " +
                                (catalog.path.empty() ? "" : catalog.path + ": ") +
                                catalog.problem);
        }
        for (size_t i = 0; i < entries.size(); ++i) {
            const std::string number = std::to_string(i + 1);
            const DdnsKind* kind = FindDynamicDnsKind(entries[i].Protocol);
            const bool usesTtl = kind != nullptr && kind->Field("TTL") != nullptr;
            for (const auto& [key, text] : DynamicDnsEntryProblems(entries[i], i)) {
                Problem(key, text);
            }
            const std::string ttl =
                ini_.GetString(kSectionDynamicDns, "TTL" + number, "", kMaxValueLength + 1);
            long long seconds = 0;
            if (!ttl.empty() && !ParseWhole(ttl, seconds)) {
                Problem("TTL" + number, "\"" + ttl + "\" is not a whole number");
            } else if (!ttl.empty() && (seconds < 1 || seconds > INT_MAX) &&
                       !(seconds >= INT_MIN && seconds <= INT_MAX && usesTtl)) {
                // (A kind that uses its TTL has it checked with the rest of the entry.)
                Problem("TTL" + number,
                        std::to_string(seconds) + " is out of range (1 to 2147483647)");
            }
            if (entries[i].Family == kDdnsFamily6 && !Switch("EnableIPv6")) {
                Problem("Family" + number, "6 while EnableIPv6 is 0; the entry is never updated");
            }
        }
    }

    // The notification channels: a readable Count, and for each channel what keeps it from
    // sending and a template file that cannot be read.
    void CheckNotify() {
        const std::string countText =
            ini_.GetString(kSectionNotify, "Count", "", kMaxValueLength + 1);
        if (countText.empty()) {
            return;
        }
        long long count = 0;
        if (!ParseWhole(countText, count)) {
            Problem("Count", "\"" + countText + "\" is not a whole number (section [" +
                                 kSectionNotify + "])");
            return;
        }
        if (count < 0 || count > kNotifyChannelLimit) {
            Problem("Count", std::to_string(count) + " is out of range (0 to " +
                                 std::to_string(kNotifyChannelLimit) + ", section [" +
                                 kSectionNotify + "])");
        }
        const std::vector<NotifyChannel> channels = ReadNotifyChannels(ini_, PasswordKey());
        for (size_t i = 0; i < channels.size(); ++i) {
            for (const auto& [key, text] : NotifyChannelProblems(channels[i], i)) {
                Problem(key, text);
            }
            if (!channels[i].Template.empty()) {
                const std::string path = MapPath(workDir_, channels[i].Template);
                const std::string why = Unreadable(path);
                if (!why.empty()) {
                    Problem("Template" + std::to_string(i + 1), "cannot read " + path + ": " + why);
                }
            }
        }
    }

    // Every secret kept outside the file can be read, is not empty and is private.
    void CheckOutsideSecrets() {
        AppSettings s;
        s.PasswordFile = Raw("PasswordFile");
        s.EmailPasswordFile = Raw("EmailPasswordFile");
        s.ProxyPassFile = Raw("ProxyPassFile");
        s.DynamicDns = ReadDynamicDnsEntries(ini_, PasswordKey());
        const size_t slash = ini_.Path().rfind('/');
        const std::string iniDir =
            slash == std::string::npos ? workDir_ : ini_.Path().substr(0, slash);
        for (const auto& [key, why] : ApplyOutsideSecrets(s, iniDir, CredentialsDirectory())) {
            Problem(key, why);
        }
    }

    void NeedText(const char* key, const char* because) {
        if (Raw(key).empty()) {
            Problem(key, std::string("empty while ") + because + " is 1");
        }
    }

    void NeedFile(const char* key) {
        const std::string value = Raw(key);
        if (value.empty()) {
            return;
        }
        const std::string path = MapPath(workDir_, value);
        const std::string why = Unreadable(path);
        if (!why.empty()) {
            Problem(key, "cannot read " + path + ": " + why);
        }
    }

    Profile ini_;
    std::string workDir_;
    std::vector<std::pair<std::string, std::string>> sections_;
    std::vector<std::string> problems_;
};

}  // namespace

bool LoadSettingsUnchanged(const std::string& iniPath, AppSettings& settings) {
    std::ifstream in(iniPath, std::ios::binary);
    if (!in) {
        return false;
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    const char* tmp = std::getenv("TMPDIR");
    std::string copy =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/orvexd-settings-XXXXXX";
    const int fd = ::mkstemp(copy.data());
    if (fd < 0) {
        return false;
    }
    const std::string content = bytes.str();
    const bool written =
        ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
    ::close(fd);
    bool loaded = false;
    if (written) {
        Profile file(copy);
        FtpPageRecord page;
        bool defaultService = true;
        loaded = LoadSettings(file, PasswordKey(), settings, page, defaultService);
        if (loaded) {
            CommitFtpPage(page, settings);
        }
    }
    ::unlink(copy.c_str());
    return loaded;
}

std::vector<std::string> CheckSettingsFile(const std::string& iniPath, const std::string& workDir) {
    const std::string why = Unreadable(iniPath);
    if (!why.empty()) {
        return {"Orvex.ini: cannot read " + iniPath + ": " + why +
                " (orvexd --init writes a commented one to start from)"};
    }
    return Checker(iniPath, workDir).Run();
}

std::vector<std::string> SettingsFileWarnings(const std::string& iniPath) {
    struct stat info {};
    if (::stat(iniPath.c_str(), &info) != 0 || (info.st_mode & 077) == 0) {
        return {};
    }
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
    return {std::string("Orvex.ini: warning: readable by other users (mode ") + mode +
            ") although it holds scrambled passwords; the next save makes it 0600, or run "
            "chmod 600 " +
            iniPath};
}

std::vector<std::string> EffectiveSettingsLines(const AppSettings& settings) {
    std::vector<std::string> lines;
    std::string section;
    for (const SettingsEntry& entry : ListSettings(settings)) {
        if (entry.section != section) {
            section = entry.section;
            lines.push_back("[" + section + "]");
        }
        const bool hidden = entry.password && !entry.value.empty();
        lines.push_back(entry.name + "=" + (hidden ? "***" : MaskUrlSecrets(entry.value, false)));
    }
    if (!settings.DynamicDns.empty()) {
        lines.push_back(std::string("[") + kSectionDynamicDns + "]");
        for (const std::string& line : DynamicDnsListing(settings.DynamicDns)) {
            lines.push_back(line);
        }
    }
    if (!settings.Notify.empty()) {
        lines.push_back(std::string("[") + kSectionNotify + "]");
        for (const std::string& line : NotifyListing(settings.Notify)) {
            lines.push_back(line);
        }
    }
    return lines;
}

}  // namespace orvex
