#include "settings/SettingsFile.h"

#include <array>
#include <string_view>
#include <variant>

#include "platform/ComputerName.h"
#include "platform/TextUtil.h"
#include "settings/DynamicDnsSettings.h"
#include "settings/NotifySettings.h"

namespace orvex {

namespace {

// Fixed part of the password key.
constexpr const char* kPasswordKeyConstant = "oRv3xK9";

// Marker words (upper case) that identify the default lookup service in WANIPURL.
constexpr std::array<const char*, 3> kDefaultServiceMarkers = {"ORVEX.ORG", "ORVEX.NET",
                                                               "ORVEX.COM"};

enum class Kind { Text, Integer, Password };

using Field = std::variant<std::string AppSettings::*, int AppSettings::*>;

// One key of the file: where it lives, how it is stored, its default when absent at load and
// its value in the default set (nullptr: not in the default set).
struct KeyDef {
    const char* section;
    const char* name;
    Kind kind;
    const char* loadDefault;
    const char* defaultSet;
    Field field;
};

constexpr const char* L = kSectionLocal;
constexpr const char* P = kSectionPreferences;

const KeyDef kKeys[] = {
    {L, "FTPServer", Kind::Text, "", kPlaceholderServer, &AppSettings::FTPServer},
    {L, "SiteName", Kind::Text, "", "My FTP Site", &AppSettings::SiteName},
    {L, "UserID", Kind::Text, "", "myname", &AppSettings::UserID},
    {L, "Password", Kind::Password, "", "kvtrnw", &AppSettings::Password},
    {L, "OnlineFile", Kind::Text, "", ".\\samples\\online.htm", &AppSettings::OnlineFile},
    {L, "OfflineFile", Kind::Text, "", ".\\samples\\offline.htm", &AppSettings::OfflineFile},
    {L, "RemoteFile", Kind::Text, "", "mypage.htm", &AppSettings::RemoteFile},
    {L, "Port", Kind::Integer, "21", "21", &AppSettings::Port},
    {L, "FTPOnIPChangeOnly", Kind::Integer, "0", nullptr, &AppSettings::FTPOnIPChangeOnly},
    {L, "EnableFTP", Kind::Integer, "0", "0", &AppSettings::EnableFTP},
    {L, "SaveFileASCII", Kind::Text, "", "Orvex.txt", &AppSettings::SaveFileASCII},
    {L, "SaveFileHTML", Kind::Text, "", "Orvex.html", &AppSettings::SaveFileHTML},
    {L, "WANIPURL", Kind::Text, "", nullptr, &AppSettings::WANIPURL},
    {L, "StatusIndicators", Kind::Text, "TRUE/FALSE", nullptr, &AppSettings::StatusIndicators},
    {L, "FTPSecurity", Kind::Integer, "0", nullptr, &AppSettings::FTPSecurity},
    {L, "SFTPHostKey", Kind::Text, "", nullptr, &AppSettings::SFTPHostKey},
    {P, "IsLogging", Kind::Integer, "0", "0", &AppSettings::IsLogging},
    {P, "LogFilename", Kind::Text, "", "Orvex.log", &AppSettings::LogFilename},
    {P, "IsMinOnStartup", Kind::Integer, "0", "0", &AppSettings::IsMinOnStartup},
    {P, "IsUpdateOnStart", Kind::Integer, "0", "1", &AppSettings::IsUpdateOnStart},
    {P, "IsUpdateOnShut", Kind::Integer, "0", "0", &AppSettings::IsUpdateOnShut},
    {P, "NotifyErrorOnShut", Kind::Integer, "1", "0", &AppSettings::NotifyErrorOnShut},
    {P, "SuppressError", Kind::Integer, "0", "0", &AppSettings::SuppressError},
    {P, "RefreshIntv", Kind::Integer, "", "0", &AppSettings::RefreshIntv},
    {P, "UpdateOnNAIP", Kind::Integer, "1", nullptr, &AppSettings::UpdateOnNAIP},
    {P, "InitStartupDelay", Kind::Integer, "0", nullptr, &AppSettings::InitStartupDelay},
    {P, "Timeout", Kind::Integer, "15", "15", &AppSettings::Timeout},
    {P, "MaxLog", Kind::Integer, "0", "0", &AppSettings::MaxLog},
    {P, "UseProxy", Kind::Integer, "0", nullptr, &AppSettings::UseProxy},
    {P, "LogonType", Kind::Integer, "0", nullptr, &AppSettings::LogonType},
    {P, "ProxyPassive", Kind::Integer, "1", nullptr, &AppSettings::ProxyPassive},
    {P, "ProxyAddress", Kind::Text, "", nullptr, &AppSettings::ProxyAddress},
    {P, "FTPProxyPort", Kind::Integer, "21", nullptr, &AppSettings::FTPProxyPort},
    {P, "HTTPProxyPort", Kind::Text, "80", nullptr, &AppSettings::HTTPProxyPort},
    {P, "ProxyUser", Kind::Text, "", nullptr, &AppSettings::ProxyUser},
    {P, "ProxyPass", Kind::Password, "", nullptr, &AppSettings::ProxyPass},
    {P, "ProxyAccount", Kind::Text, "", nullptr, &AppSettings::ProxyAccount},
    {P, "StartDelimiter", Kind::Text, "", nullptr, &AppSettings::StartDelimiter},
    {P, "EndDelimiter", Kind::Text, "", nullptr, &AppSettings::EndDelimiter},
    {P, "DebugWANPage", Kind::Text, "FALSE", nullptr, &AppSettings::DebugWANPage},
    {P, "EmailInput", Kind::Text, "", nullptr, &AppSettings::EmailInput},
    {P, "EmailServer", Kind::Text, "", nullptr, &AppSettings::EmailServer},
    {P, "EmailTo", Kind::Text, "", nullptr, &AppSettings::EmailTo},
    {P, "EmailFrom", Kind::Text, "", nullptr, &AppSettings::EmailFrom},
    {P, "EmailSubject", Kind::Text, "", nullptr, &AppSettings::EmailSubject},
    {P, "EnableMail", Kind::Integer, "0", nullptr, &AppSettings::EnableMail},
    {P, "EmailAccount", Kind::Text, "", nullptr, &AppSettings::EmailAccount},
    {P, "EmailPassword", Kind::Password, "", nullptr, &AppSettings::EmailPassword},
    {P, "EnableSMTPAuth", Kind::Integer, "0", nullptr, &AppSettings::EnableSMTPAuth},
    {P, "IsMailTo", Kind::Integer, "0", nullptr, &AppSettings::IsMailTo},
    {P, "IsMsgAttachment", Kind::Integer, "0", nullptr, &AppSettings::IsMsgAttachment},
    {P, "EmailOnIPChangeOnly", Kind::Integer, "0", nullptr, &AppSettings::EmailOnIPChangeOnly},
    {P, "TLSVerify", Kind::Integer, "1", nullptr, &AppSettings::TLSVerify},
    {P, "TLSCAFile", Kind::Text, "", nullptr, &AppSettings::TLSCAFile},
    {P, "WANIPFallback", Kind::Text, "", nullptr, &AppSettings::WANIPFallback},
    {P, "EmailPort", Kind::Integer, "25", nullptr, &AppSettings::EmailPort},
    {P, "EmailSecurity", Kind::Integer, "0", nullptr, &AppSettings::EmailSecurity},
    {P, "EnableIPv6", Kind::Integer, "0", nullptr, &AppSettings::EnableIPv6},
    {P, "WANIPURL6", Kind::Text, "", nullptr, &AppSettings::WANIPURL6},
    {P, "WANIPSources", Kind::Text, "web", nullptr, &AppSettings::WANIPSources},
    {P, "UPnPURL", Kind::Text, "", nullptr, &AppSettings::UPnPURL},
    {P, "NATPMPGateway", Kind::Text, "", nullptr, &AppSettings::NATPMPGateway},
    {P, "DNSLookups", Kind::Text, "", nullptr, &AppSettings::DNSLookups},
    {L, "PasswordFile", Kind::Text, "", nullptr, &AppSettings::PasswordFile},
    {P, "EmailPasswordFile", Kind::Text, "", nullptr, &AppSettings::EmailPasswordFile},
    {P, "ProxyPassFile", Kind::Text, "", nullptr, &AppSettings::ProxyPassFile},
    {P, "MetricsAddress", Kind::Text, "", nullptr, &AppSettings::MetricsAddress},
    {P, "UseKeyring", Kind::Integer, "0", nullptr, &AppSettings::UseKeyring},
};

// The three orders differ by design: each is the order its operation touches the file in.

// Preferences read after the FTP fields and the local copies, before WANIPURL.
constexpr std::array kLoadOrderFirst = {"IsLogging",       "LogFilename",    "IsMinOnStartup",
                                        "IsUpdateOnStart", "IsUpdateOnShut", "NotifyErrorOnShut",
                                        "SuppressError",   "RefreshIntv",    "UpdateOnNAIP"};
// Keys read after the refresh interval is clamped.
constexpr std::array kLoadOrderRest = {"InitStartupDelay",
                                       "Timeout",
                                       "MaxLog",
                                       "UseProxy",
                                       "LogonType",
                                       "StatusIndicators",
                                       "ProxyPassive",
                                       "ProxyAddress",
                                       "FTPProxyPort",
                                       "HTTPProxyPort",
                                       "ProxyUser",
                                       "ProxyPass",
                                       "ProxyAccount",
                                       "StartDelimiter",
                                       "EndDelimiter",
                                       "DebugWANPage",
                                       "EmailInput",
                                       "EmailServer",
                                       "EmailTo",
                                       "EmailFrom",
                                       "EmailSubject",
                                       "EnableMail",
                                       "EmailAccount",
                                       "EmailPassword",
                                       "EnableSMTPAuth",
                                       "IsMailTo",
                                       "IsMsgAttachment",
                                       "EmailOnIPChangeOnly",
                                       "TLSVerify",
                                       "TLSCAFile",
                                       "WANIPFallback",
                                       "EmailPort",
                                       "EmailSecurity",
                                       "EnableIPv6",
                                       "WANIPURL6",
                                       "FTPSecurity",
                                       "SFTPHostKey",
                                       "WANIPSources",
                                       "UPnPURL",
                                       "NATPMPGateway",
                                       "DNSLookups",
                                       "PasswordFile",
                                       "EmailPasswordFile",
                                       "ProxyPassFile",
                                       "MetricsAddress",
                                       "UseKeyring"};

constexpr std::array kDefaultSetOrder = {
    "FTPServer",      "SiteName",          "UserID",        "Password",       "OnlineFile",
    "OfflineFile",    "RemoteFile",        "Port",          "SaveFileHTML",   "SaveFileASCII",
    "EnableFTP",      "IsLogging",         "LogFilename",   "IsMinOnStartup", "IsUpdateOnStart",
    "IsUpdateOnShut", "NotifyErrorOnShut", "SuppressError", "RefreshIntv",    "Timeout",
    "MaxLog"};

// Save: the FTP fields come from the page, then these from the settings.
constexpr std::array kSaveOrderLocal = {"FTPOnIPChangeOnly", "EnableFTP"};
constexpr std::array kSaveOrderPreferences = {
    "IsLogging",          "LogFilename",  "IsMinOnStartup", "IsUpdateOnStart", "IsUpdateOnShut",
    "NotifyErrorOnShut",  "Timeout",      "MaxLog",         "SuppressError",   "UpdateOnNAIP",
    "ProxyPassive",       "UseProxy",     "ProxyAddress",   "HTTPProxyPort",   "FTPProxyPort",
    "ProxyUser",          "ProxyAccount", "ProxyPass",      "LogonType",       "RefreshIntv",
    "InitStartupDelay",   "EmailInput",   "EmailServer",    "EmailTo",         "EmailFrom",
    "EmailSubject",       "EnableMail",   "EnableSMTPAuth", "IsMailTo",        "IsMsgAttachment",
    "EmailOnIPChangeOnly"};
// Keys added since: written after all of the above, so a file that never had them keeps its
// order and meaning.
// FTPSecurity is one of the page's fields and is written from the page's values.
constexpr std::array kSaveOrderAdded = {"TLSVerify",  "TLSCAFile",   "EmailPort",  "EmailSecurity",
                                        "EnableIPv6", "FTPSecurity", "SFTPHostKey"};
// Keys added later still: written after those, and only when set or already in the file, so a
// file that never used them stays as it was.
constexpr std::array kSaveOrderWhenSet = {"PasswordFile", "EmailPasswordFile", "ProxyPassFile",
                                          "MetricsAddress", "UseKeyring"};

// Sections and keys the settings record does not hold.
constexpr const char* kSectionPrograms = "Programs";
// Its keys: "Programs0", "Programs1", ...
constexpr const char* kProgramKeyPrefix = "Programs";
constexpr const char* kSectionIndicators = "StatusIndicators";
constexpr const char* kLastLanKey = "LastLANIP";
constexpr const char* kLastWanKey = "LastWANIP";
// Stored addresses are read back through a 21-byte buffer: at most 20 characters.
constexpr size_t kStoredAddressBuffer = 21;
// IPv6 addresses are read back whole: the longest text is 45 characters.
constexpr const char* kLastLan6Key = "LastLANIP6";
constexpr const char* kLastWan6Key = "LastWANIP6";
constexpr size_t kStoredAddress6Buffer = 46;

const KeyDef& Key(std::string_view name) {
    for (const KeyDef& def : kKeys) {
        if (name == def.name) {
            return def;
        }
    }
    // Every name in the order lists is in the table; a typo there is a programming error.
    std::abort();
}

bool IsMailText(std::string_view name) {
    return name == "EmailInput" || name == "EmailServer" || name == "EmailTo" ||
           name == "EmailFrom" || name == "EmailSubject";
}

std::string ReadValue(const Profile& file, const KeyDef& def) {
    return file.GetString(def.section, def.name, def.loadDefault, kMaxValueLength + 1);
}

// Reads one key into its field, the way the loader reads every key.
void LoadKey(Profile& file, const std::string& key, const KeyDef& def, AppSettings& s) {
    std::string value = ReadValue(file, def);
    if (auto text = std::get_if<std::string AppSettings::*>(&def.field)) {
        if (def.kind == Kind::Password) {
            DecodePassword(value, key);
        }
        s.** text = value;
    } else {
        s.*std::get<int AppSettings::*>(def.field) = AsciiToInt(value);
    }
}

std::string StoredText(const std::string& key, const KeyDef& def, const AppSettings& s) {
    if (auto text = std::get_if<std::string AppSettings::*>(&def.field)) {
        std::string value = s.**text;
        if (def.kind == Kind::Password) {
            EncodePassword(value, key);
        } else if (IsMailText(def.name) && value.size() > kMaxMailTextLength) {
            value.resize(kMaxMailTextLength);
        }
        return value;
    }
    return std::to_string(s.*std::get<int AppSettings::*>(def.field));
}

void Scramble(std::string& text, const std::string& key, int sign, size_t maxLength) {
    if (key.empty()) {
        text.clear();
        return;
    }
    if (text.size() > maxLength) {
        text.resize(maxLength);
    }
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned t = static_cast<unsigned char>(text[i]);
        const unsigned k = static_cast<unsigned char>(key[i % key.size()]);
        const unsigned char byte = static_cast<unsigned char>(sign > 0 ? t + k + 1 : t - k - 1);
        if (byte == 0) {
            break;
        }
        out.push_back(static_cast<char>(byte));
    }
    text = out;
}

}  // namespace

bool NamesDefaultLookupService(const std::string& wanIpUrl) {
    const std::string upper = ToUpperAscii(wanIpUrl);
    if (upper.empty()) {
        return true;
    }
    for (const char* marker : kDefaultServiceMarkers) {
        if (upper.find(marker) != std::string::npos) {
            return true;
        }
    }
    return false;
}

std::string PasswordKey(const std::string& computerName) {
    return computerName.substr(0, 2) + kPasswordKeyConstant;
}

std::string PasswordKey() {
    return PasswordKey(ComputerName());
}

void EncodePassword(std::string& text, const std::string& key) {
    Scramble(text, key, +1, kMaxPasswordLength);
}

void DecodePassword(std::string& text, const std::string& key) {
    Scramble(text, key, -1, kMaxPasswordLength);
}

void EncodeSecret(std::string& text, const std::string& key, size_t maxLength) {
    Scramble(text, key, +1, maxLength);
}

void DecodeSecret(std::string& text, const std::string& key, size_t maxLength) {
    Scramble(text, key, -1, maxLength);
}

int ClampRefreshInterval(int minutes, bool defaultLookupService) {
    if (defaultLookupService && minutes < 30) {
        return 30;
    }
    if (minutes > 9999) {
        return 9999;
    }
    return minutes;
}

bool LoadSettings(Profile& file, const std::string& key, AppSettings& s, FtpPageFields& page,
                  bool& defaultLookupService) {
    FtpPageValues values;
    values.FTPServer = ReadValue(file, Key("FTPServer"));
    if (values.FTPServer.empty()) {
        return false;
    }
    values.SiteName = ReadValue(file, Key("SiteName"));
    values.UserID = ReadValue(file, Key("UserID"));
    values.Password = ReadValue(file, Key("Password"));
    values.OnlineFile = ReadValue(file, Key("OnlineFile"));
    values.OfflineFile = ReadValue(file, Key("OfflineFile"));
    values.RemoteFile = ReadValue(file, Key("RemoteFile"));
    values.Port = ReadValue(file, Key("Port"));

    LoadKey(file, key, Key("FTPOnIPChangeOnly"), s);
    LoadKey(file, key, Key("EnableFTP"), s);
    values.FTPOnIPChangeOnly = s.FTPOnIPChangeOnly;
    values.EnableFTP = s.EnableFTP;

    // The local copies always have a name; an empty one is refilled in the file.
    for (const char* name : {"SaveFileASCII", "SaveFileHTML"}) {
        const KeyDef& def = Key(name);
        std::string value = ReadValue(file, def);
        if (value.empty()) {
            value = def.defaultSet;
            file.WriteString(def.section, def.name, value);
        }
        s.*std::get<std::string AppSettings::*>(def.field) = value;
    }

    for (const char* name : kLoadOrderFirst) {
        LoadKey(file, key, Key(name), s);
    }

    // The lookup reads WANIPURL from the file itself; the record keeps it as written.
    LoadKey(file, key, Key("WANIPURL"), s);
    defaultLookupService = NamesDefaultLookupService(s.WANIPURL);
    s.RefreshIntv = ClampRefreshInterval(s.RefreshIntv, defaultLookupService);

    for (const char* name : kLoadOrderRest) {
        LoadKey(file, key, Key(name), s);
    }

    if (s.StartDelimiter.empty() || s.EndDelimiter.empty()) {
        s.StartDelimiter = "REMOTE_ADDR:";
        s.EndDelimiter = "<br>";
    }

    s.DynamicDns = ReadDynamicDnsEntries(file, key);
    s.Notify = ReadNotifyChannels(file, key);

    values.FTPSecurity = s.FTPSecurity;
    DecodePassword(values.Password, key);
    page.ShowValues(values);
    return true;
}

bool WriteDefaultSettings(Profile& file, const std::string& key) {
    for (const char* name : kDefaultSetOrder) {
        const KeyDef& def = Key(name);
        std::string value = def.defaultSet;
        if (def.kind == Kind::Password) {
            EncodePassword(value, key);
        }
        file.WriteString(def.section, def.name, value);
    }
    return true;
}

void WriteSettings(Profile& file, const std::string& key, const FtpPageValues& page,
                   const AppSettings& s) {
    std::string password = page.Password;
    EncodePassword(password, key);
    file.WriteString(kSectionLocal, "FTPServer", page.FTPServer);
    file.WriteString(kSectionLocal, "SiteName", page.SiteName);
    file.WriteString(kSectionLocal, "UserID", page.UserID);
    file.WriteString(kSectionLocal, "Password", password);
    file.WriteString(kSectionLocal, "OnlineFile", page.OnlineFile);
    file.WriteString(kSectionLocal, "OfflineFile", page.OfflineFile);
    file.WriteString(kSectionLocal, "RemoteFile", page.RemoteFile);
    file.WriteString(kSectionLocal, "Port", page.Port);
    for (const char* name : kSaveOrderLocal) {
        const KeyDef& def = Key(name);
        file.WriteString(def.section, def.name, StoredText(key, def, s));
    }
    for (const char* name : kSaveOrderPreferences) {
        const KeyDef& def = Key(name);
        file.WriteString(def.section, def.name, StoredText(key, def, s));
    }
    AppSettings withPage = s;
    withPage.FTPSecurity = page.FTPSecurity;
    for (const char* name : kSaveOrderAdded) {
        const KeyDef& def = Key(name);
        file.WriteString(def.section, def.name, StoredText(key, def, withPage));
    }
    for (const char* name : kSaveOrderWhenSet) {
        const KeyDef& def = Key(name);
        const std::string value = StoredText(key, def, s);
        constexpr const char* kAbsent = "\x01";
        if (value != def.loadDefault ||
            file.GetString(def.section, def.name, kAbsent, kMaxValueLength + 1) != kAbsent) {
            file.WriteString(def.section, def.name, value);
        }
    }
    WriteDynamicDnsEntries(file, key, s.DynamicDns);
    WriteNotifyChannels(file, key, s.Notify);
}

int UsualPort(int ftpSecurity) {
    switch (ftpSecurity) {
        case kSecurityFtpsImplicit:
            return 990;
        case kSecuritySftp:
            return 22;
        default:
            return 21;
    }
}

std::string FtpSecurityProblem(int ftpSecurity, int useProxy, int logonType) {
    if (ftpSecurity < kSecurityFtp || ftpSecurity > kSecuritySftp) {
        return "FTPSecurity must be 0 (FTP), 1 (FTPS explicit), 2 (FTPS implicit) or 3 (SFTP).";
    }
    return SecurityConflict(ftpSecurity, useProxy, logonType);
}

std::string SecurityConflict(int ftpSecurity, int useProxy, int logonType) {
    if (ftpSecurity == kSecurityFtp || useProxy == 0 || logonType == 0) {
        return {};
    }
    return "FTPS and SFTP cannot go through an FTP proxy or firewall. Choose logon type 0 on the "
           "Proxy page, or plain FTP on the FTP page.";
}

void CommitFtpPage(FtpPageFields& page, AppSettings& s) {
    const FtpPageValues values = page.TakeValues();
    s.FTPServer = values.FTPServer;
    s.SiteName = values.SiteName;
    s.OnlineFile = values.OnlineFile;
    s.OfflineFile = values.OfflineFile;
    s.Password = values.Password;
    s.Port = AsciiToInt(values.Port);
    s.RemoteFile = values.RemoteFile;
    s.UserID = values.UserID;
    s.FTPSecurity = values.FTPSecurity;
}

std::vector<SettingsEntry> ListSettings(const AppSettings& settings) {
    std::vector<SettingsEntry> entries;
    for (const KeyDef& def : kKeys) {
        SettingsEntry entry;
        entry.section = def.section;
        entry.name = def.name;
        entry.password = def.kind == Kind::Password;
        if (auto text = std::get_if<std::string AppSettings::*>(&def.field)) {
            entry.value = settings.**text;
        } else {
            entry.integer = true;
            entry.value = std::to_string(settings.*std::get<int AppSettings::*>(def.field));
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::vector<SettingsEntry> DefaultSettingsEntries() {
    std::vector<SettingsEntry> entries;
    for (const KeyDef& def : kKeys) {
        SettingsEntry entry;
        entry.section = def.section;
        entry.name = def.name;
        entry.password = def.kind == Kind::Password;
        entry.integer = def.kind == Kind::Integer;
        entry.value = def.loadDefault;
        if (entry.integer && entry.value.empty()) {
            entry.value = "0";
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

MailCredentials ReadMailCredentials(const Profile& file, const std::string& key) {
    MailCredentials logon;
    logon.account = ReadValue(file, Key("EmailAccount"));
    logon.password = ReadValue(file, Key("EmailPassword"));
    DecodePassword(logon.password, key);
    return logon;
}

void WriteMailCredentials(Profile& file, const std::string& key, const MailCredentials& logon) {
    const KeyDef& account = Key("EmailAccount");
    const KeyDef& password = Key("EmailPassword");
    std::string scrambled = logon.password;
    EncodePassword(scrambled, key);
    file.WriteString(account.section, account.name, logon.account);
    file.WriteString(password.section, password.name, scrambled);
}

LiveLookupKeys ReadLiveLookupKeys(const Profile& file) {
    return {ReadValue(file, Key("WANIPURL")), ReadValue(file, Key("DebugWANPage")),
            ReadValue(file, Key("WANIPFallback")), ReadValue(file, Key("WANIPURL6"))};
}

namespace {

const char* LastAddressKey(AddressKind kind) {
    switch (kind) {
        case AddressKind::Lan:
            return kLastLanKey;
        case AddressKind::Wan:
            return kLastWanKey;
        case AddressKind::Lan6:
            return kLastLan6Key;
        case AddressKind::Wan6:
            break;
    }
    return kLastWan6Key;
}

}  // namespace

std::string ReadLastAddress(const Profile& file, AddressKind kind) {
    const bool v6 = kind == AddressKind::Lan6 || kind == AddressKind::Wan6;
    return file.GetString(kSectionAddress, LastAddressKey(kind), "",
                          v6 ? kStoredAddress6Buffer : kStoredAddressBuffer);
}

void WriteLastAddress(Profile& file, AddressKind kind, const std::string& address) {
    file.WriteString(kSectionAddress, LastAddressKey(kind), address);
}

std::string ReadSftpHostKey(const Profile& file) {
    return ReadValue(file, Key("SFTPHostKey"));
}

void WriteSftpHostKey(Profile& file, const std::string& hostKey) {
    const KeyDef& def = Key("SFTPHostKey");
    file.WriteString(def.section, def.name, hostKey);
}

std::string SftpKnownHostsPath(const Profile& file) {
    const std::string& ini = file.Path();
    const size_t slash = ini.rfind('/');
    return (slash == std::string::npos ? std::string() : ini.substr(0, slash + 1)) +
           "Orvex.known_hosts";
}

std::vector<std::string> ReadProgramEntries(const Profile& file, size_t bufferSize) {
    return file.GetSection(kSectionPrograms, bufferSize);
}

bool WriteProgramTitles(Profile& file, const std::vector<std::string>& titles) {
    if (titles.empty()) {
        return file.EraseSection(kSectionPrograms);
    }
    std::vector<std::string> entries;
    for (size_t i = 0; i < titles.size(); ++i) {
        entries.push_back(kProgramKeyPrefix + std::to_string(i) + "=" + titles[i]);
    }
    return file.WriteSection(kSectionPrograms, entries);
}

std::vector<std::string> ReadIndicatorEntries(const Profile& file, size_t bufferSize) {
    return file.GetSection(kSectionIndicators, bufferSize);
}

bool WriteStatusIndicators(Profile& file, const std::string& pair) {
    const KeyDef& def = Key("StatusIndicators");
    return file.WriteString(def.section, def.name, pair);
}

void WriteChangedLookupServices(Profile& file, const AppSettings& settings,
                                const AppSettings& asLoaded) {
    for (const char* name :
         {"WANIPURL", "WANIPFallback", "WANIPSources", "UPnPURL", "NATPMPGateway", "DNSLookups"}) {
        const KeyDef& def = Key(name);
        const auto field = std::get<std::string AppSettings::*>(def.field);
        const std::string& value = settings.*field;
        // A value the page did not change is never written: the file may hold one that was
        // never loaded (a first start whose defaults could not be written).
        if (value != asLoaded.*field && ReadValue(file, def) != value) {
            file.WriteString(def.section, def.name, value);
        }
    }
}

std::string ReadFtpServer(const Profile& file) {
    return ReadValue(file, Key("FTPServer"));
}

std::vector<std::string> SettingsFileNames() {
    std::vector<std::string> names{kSectionLocal,      kSectionPreferences, kSectionAddress,
                                   kSectionPrograms,   kSectionIndicators,  kLastLanKey,
                                   kLastWanKey,        kLastLan6Key,        kLastWan6Key,
                                   kSectionDynamicDns, kSectionNotify};
    for (const KeyDef& def : kKeys) {
        names.push_back(def.name);
    }
    return names;
}

}  // namespace orvex
