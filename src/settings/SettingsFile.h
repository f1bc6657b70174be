#pragma once

#include <string>
#include <vector>

#include "platform/Profile.h"
#include "settings/AppSettings.h"

namespace orvex {

inline constexpr const char* kSectionLocal = "LocalSettings";
inline constexpr const char* kSectionPreferences = "Preferences";
inline constexpr const char* kSectionAddress = "IPAddress";

// Longest value that survives a load (a 255-byte buffer), longest stored password (a 25-byte
// buffer) and longest mail text that survives a save (a 256-byte buffer).
inline constexpr size_t kMaxValueLength = 254;
inline constexpr size_t kMaxPasswordLength = 24;
inline constexpr size_t kMaxMailTextLength = 255;

// Whether a WANIPURL is empty or names the program's own lookup service (either one asks for
// the longer refresh interval).
bool NamesDefaultLookupService(const std::string& wanIpUrl);

// Placeholder server name of the default set; it asks the user to enter the real one.
inline constexpr const char* kPlaceholderServer = "enter.your.ftp.site";

// Key for scrambling passwords: the first two characters of the computer name and a fixed
// constant. Never written anywhere.
std::string PasswordKey(const std::string& computerName);
std::string PasswordKey();

// Scramble and unscramble in place: each byte plus (or minus) the key byte and one, modulo
// 256. The result ends at the first byte that came out 0; an empty key empties the text.
// Both work on at most 24 characters, as the stored format allows.
void EncodePassword(std::string& text, const std::string& key);
void DecodePassword(std::string& text, const std::string& key);
// The same scrambling for a longer secret (a TSIG key), cut to `maxLength` characters.
void EncodeSecret(std::string& text, const std::string& key, size_t maxLength);
void DecodeSecret(std::string& text, const std::string& key, size_t maxLength);

// Loads the settings file. False, with nothing after it read, when FTPServer is absent or
// empty. The FTP connection fields go to `page`; `defaultLookupService` tells whether
// WANIPURL names the default lookup service.
bool LoadSettings(Profile& file, const std::string& key, AppSettings& settings, FtpPageFields& page,
                  bool& defaultLookupService);

// Writes the default set (first start). Keys not in the set are left as they are.
bool WriteDefaultSettings(Profile& file, const std::string& key);

// Writes the settings a Save writes, FTP fields from the page's values.
void WriteSettings(Profile& file, const std::string& key, const FtpPageValues& page,
                   const AppSettings& settings);

// LogonType runs from 0 to kLogonTypeCount - 1: one for each row of the FTP client's logon
// sequence table (checked against it where both are known).
inline constexpr int kLogonTypeCount = 9;

// The FTPSecurity values.
enum FtpSecurityChoice {
    kSecurityFtp = 0,
    kSecurityFtpsExplicit,
    kSecurityFtpsImplicit,
    kSecuritySftp
};
// The port each choice usually uses (21, 21, 990, 22).
int UsualPort(int ftpSecurity);
// Why a Save must refuse these values: FTPS and SFTP cannot pass a proxy or firewall logon
// (a logon type other than 0 while the proxy is used). Empty when they can be saved.
std::string SecurityConflict(int ftpSecurity, int useProxy, int logonType);
// Why an upload must not start with these values: an FTPSecurity that is none of the four
// choices (a hand-edited file must never fall back to plain FTP), or the SecurityConflict.
// Empty when it may.
std::string FtpSecurityProblem(int ftpSecurity, int useProxy, int logonType);

// Copies the FTP page's values into the settings (Port read as atoi reads it).
void CommitFtpPage(FtpPageFields& page, AppSettings& settings);

// The refresh interval as loaded: at least 30 with the default lookup service, else at most
// 9999.
int ClampRefreshInterval(int minutes, bool defaultLookupService);

// One key of the settings record for listings: where it lives, what it holds and its value in
// the record as the file would hold it before scrambling.
struct SettingsEntry {
    std::string section;
    std::string name;
    bool integer = false;
    bool password = false;
    std::string value;
};

// Every key of the record, [LocalSettings] first, in the order of the key table.
std::vector<SettingsEntry> ListSettings(const AppSettings& settings);
// Every key of the record in the same order, with the value a load gives it when the file
// lacks it (an empty whole number as "0").
std::vector<SettingsEntry> DefaultSettingsEntries();

// Keys read or written outside a load or a save, one typed function each, so that only this
// folder knows a key's name, section and length.

// The SMTP logon, in plain text here and scrambled in the file.
struct MailCredentials {
    std::string account;
    std::string password;
};
MailCredentials ReadMailCredentials(const Profile& file, const std::string& key);
void WriteMailCredentials(Profile& file, const std::string& key, const MailCredentials& logon);

// The lookup keys users edit by hand while the program runs; read again at every lookup.
struct LiveLookupKeys {
    std::string WANIPURL;
    std::string DebugWANPage;
    std::string WANIPFallback;
    std::string WANIPURL6;
};
LiveLookupKeys ReadLiveLookupKeys(const Profile& file);

// The address each lookup found last (at most 20 characters come back, 45 for IPv6).
enum class AddressKind { Lan, Wan, Lan6, Wan6 };
std::string ReadLastAddress(const Profile& file, AddressKind kind);
void WriteLastAddress(Profile& file, AddressKind kind, const std::string& address);

// The monitored programs: the "key=value" entries of their section, cut to a buffer of
// `bufferSize` bytes. Writing replaces the section by one numbered key per title, in order, or
// removes it when there is none; false when the file could not be written.
std::vector<std::string> ReadProgramEntries(const Profile& file, size_t bufferSize);
bool WriteProgramTitles(Profile& file, const std::vector<std::string>& titles);
// The indicator pairs the user added, as "key=value" entries.
std::vector<std::string> ReadIndicatorEntries(const Profile& file, size_t bufferSize);
// The chosen indicator pair ("TRUE/FALSE").
bool WriteStatusIndicators(Profile& file, const std::string& pair);

// Writes the lookup keys of the Advanced Options page (WANIPURL, WANIPFallback, WANIPSources,
// UPnPURL, NATPMPGateway, DNSLookups), each only when it was changed since `asLoaded` (the
// record as loaded or last saved) and the file holds another value.
void WriteChangedLookupServices(Profile& file, const AppSettings& settings,
                                const AppSettings& asLoaded);

// The SFTP server's host key as the file holds it now (read at each upload, so an edit by hand
// counts at once), and the key learnt at first use.
std::string ReadSftpHostKey(const Profile& file);
void WriteSftpHostKey(Profile& file, const std::string& hostKey);
// The known-hosts file beside the settings file ("Orvex.known_hosts"), through which an SFTP
// upload checks the host key where libcurl offers no other way.
std::string SftpKnownHostsPath(const Profile& file);

// FTPServer as the file holds it now; empty means the settings were never made.
std::string ReadFtpServer(const Profile& file);

// The name of every section and key this folder reads or writes.
std::vector<std::string> SettingsFileNames();

}  // namespace orvex
