#include "settings/SettingsFile.h"

#include <gtest/gtest.h>

#include "TempDir.h"

namespace orvex {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

const std::string kKey = PasswordKey("TESTBOX");

struct Loaded {
    bool ok = false;
    AppSettings settings;
    FtpPageRecord page;
    bool defaultLookup = false;
};

Loaded Load(Profile& ini) {
    Loaded l;
    l.ok = LoadSettings(ini, kKey, l.settings, l.page, l.defaultLookup);
    return l;
}

TEST(Settings, FirstStartWritesTheDefaultSetInOrderAndLoadsIt) {
    TempDir dir;
    Profile ini(dir.File("Orvex.ini"));
    Loaded first = Load(ini);
    EXPECT_FALSE(first.ok);
    ASSERT_TRUE(WriteDefaultSettings(ini, kKey));

    std::string scrambled = "kvtrnw";
    EncodePassword(scrambled, kKey);
    EXPECT_EQ(ReadFile(dir.File("Orvex.ini")),
              "[LocalSettings]\r\n"
              "FTPServer=enter.your.ftp.site\r\n"
              "SiteName=My FTP Site\r\n"
              "UserID=myname\r\n"
              "Password=" +
                  scrambled +
                  "\r\n"
                  "OnlineFile=.\\samples\\online.htm\r\n"
                  "OfflineFile=.\\samples\\offline.htm\r\n"
                  "RemoteFile=mypage.htm\r\n"
                  "Port=21\r\n"
                  "SaveFileHTML=Orvex.html\r\n"
                  "SaveFileASCII=Orvex.txt\r\n"
                  "EnableFTP=0\r\n"
                  "[Preferences]\r\n"
                  "IsLogging=0\r\n"
                  "LogFilename=Orvex.log\r\n"
                  "IsMinOnStartup=0\r\n"
                  "IsUpdateOnStart=1\r\n"
                  "IsUpdateOnShut=0\r\n"
                  "NotifyErrorOnShut=0\r\n"
                  "SuppressError=0\r\n"
                  "RefreshIntv=0\r\n"
                  "Timeout=15\r\n"
                  "MaxLog=0\r\n");

    Loaded l = Load(ini);
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.page.values.FTPServer, "enter.your.ftp.site");
    EXPECT_EQ(l.page.values.Password, "kvtrnw");
    EXPECT_EQ(l.page.values.Port, "21");
    EXPECT_TRUE(l.defaultLookup);
    EXPECT_EQ(l.settings.RefreshIntv, 30);
    EXPECT_EQ(l.settings.IsUpdateOnStart, 1);
    EXPECT_EQ(l.settings.NotifyErrorOnShut, 0);
    EXPECT_EQ(l.settings.UpdateOnNAIP, 1);
    EXPECT_EQ(l.settings.ProxyPassive, 1);
    EXPECT_EQ(l.settings.FTPProxyPort, 21);
    EXPECT_EQ(l.settings.HTTPProxyPort, "80");
    EXPECT_EQ(l.settings.Timeout, 15);
    EXPECT_EQ(l.settings.StatusIndicators, "TRUE/FALSE");
    EXPECT_EQ(l.settings.StartDelimiter, "REMOTE_ADDR:");
    EXPECT_EQ(l.settings.EndDelimiter, "<br>");
    // The FTP fields reach the settings only through the page.
    EXPECT_EQ(l.settings.FTPServer, "");
    CommitFtpPage(l.page, l.settings);
    EXPECT_EQ(l.settings.FTPServer, "enter.your.ftp.site");
    EXPECT_EQ(l.settings.Password, "kvtrnw");
    EXPECT_EQ(l.settings.Port, 21);
}

TEST(Settings, RefreshIntervalClampDependsOnTheLookupService) {
    TempDir dir;
    Profile ini(dir.File("Orvex.ini"));
    WriteDefaultSettings(ini, kKey);
    struct Case {
        const char* url;
        const char* stored;
        int loaded;
        bool defaultService;
    } cases[] = {
        {"", "5", 30, true},
        {"", "-3", 30, true},
        {"", "12000", 9999, true},
        {"http://ECHO.orvex.ORG/x", "5", 30, true},
        {"http://my.host/ip.php", "5", 5, false},
        {"http://my.host/ip.php", "-3", -3, false},
        {"http://my.host/ip.php", "12000", 9999, false},
    };
    for (const Case& c : cases) {
        ini.WriteString("LocalSettings", "WANIPURL", c.url);
        ini.WriteString("Preferences", "RefreshIntv", c.stored);
        Loaded l = Load(ini);
        EXPECT_EQ(l.settings.RefreshIntv, c.loaded) << c.url << " " << c.stored;
        EXPECT_EQ(l.defaultLookup, c.defaultService) << c.url;
        // Never written back.
        EXPECT_EQ(ini.GetString("Preferences", "RefreshIntv", ""), c.stored);
    }
}

TEST(Settings, EmptyLocalCopyNamesAreRefilledInTheFile) {
    TempDir dir;
    WriteFile(dir.File("Orvex.ini"), "[LocalSettings]\nFTPServer=ftp.x\nSaveFileHTML=\n");
    Profile ini(dir.File("Orvex.ini"));
    Loaded l = Load(ini);
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.settings.SaveFileHTML, "Orvex.html");
    EXPECT_EQ(l.settings.SaveFileASCII, "Orvex.txt");
    EXPECT_EQ(ini.GetString("LocalSettings", "SaveFileHTML", "?"), "Orvex.html");
    EXPECT_EQ(ini.GetString("LocalSettings", "SaveFileASCII", "?"), "Orvex.txt");
    // Absent keys take their load defaults.
    EXPECT_EQ(l.settings.NotifyErrorOnShut, 1);
    EXPECT_EQ(l.settings.Timeout, 15);
    EXPECT_EQ(l.page.values.Port, "21");
}

TEST(Settings, DelimitersAreDefaultedTogether) {
    TempDir dir;
    WriteFile(dir.File("Orvex.ini"),
              "[LocalSettings]\nFTPServer=ftp.x\n[Preferences]\nStartDelimiter=IP=\n");
    Profile ini(dir.File("Orvex.ini"));
    Loaded l = Load(ini);
    EXPECT_EQ(l.settings.StartDelimiter, "REMOTE_ADDR:");
    EXPECT_EQ(l.settings.EndDelimiter, "<br>");
    ini.WriteString("Preferences", "EndDelimiter", "</b>");
    l = Load(ini);
    EXPECT_EQ(l.settings.StartDelimiter, "IP=");
    EXPECT_EQ(l.settings.EndDelimiter, "</b>");
    // In memory only.
    EXPECT_EQ(ini.GetString("Preferences", "StartDelimiter", ""), "IP=");
}

TEST(Settings, EmptyServerStopsTheLoadBeforeAnythingElse) {
    TempDir dir;
    WriteFile(dir.File("Orvex.ini"),
              "[LocalSettings]\nFTPServer=\nSiteName=Kept\n[Preferences]\nRefreshIntv=77\n");
    Profile ini(dir.File("Orvex.ini"));
    Loaded l = Load(ini);
    EXPECT_FALSE(l.ok);
    EXPECT_EQ(l.page.values.SiteName, "");
    EXPECT_EQ(l.settings.RefreshIntv, 0);
    EXPECT_EQ(ini.GetString("LocalSettings", "SaveFileHTML", "absent"), "absent");
}

TEST(Settings, SaveWritesEveryEditedKeyAndKeepsHandEditedLines) {
    TempDir dir;
    WriteFile(dir.File("Orvex.ini"),
              "; hand-made\n"
              "[localsettings]\n"
              "ftpserver = old.host\n"
              "WANIPURL=http://my.host/ip\n"
              "\n"
              "[Programs]\n"
              "Program0=Editor\n"
              "[preferences]\n"
              "; keep me\n"
              "EmailAccount=me\n");
    Profile ini(dir.File("Orvex.ini"));
    Loaded l = Load(ini);
    ASSERT_TRUE(l.ok);

    l.page.values.FTPServer = "ftp.example.net";
    l.page.values.Password = "pw";
    l.page.values.Port = "2121x";
    l.settings.ProxyPass = "fw";
    l.settings.RefreshIntv = 45;
    l.settings.EmailTo = std::string(300, 't');
    WriteSettings(ini, kKey, l.page.values, l.settings);

    const std::string text = ReadFile(dir.File("Orvex.ini"));
    EXPECT_EQ(text.rfind("; hand-made\n[localsettings]\nftpserver=ftp.example.net\n"
                         "WANIPURL=http://my.host/ip\n",
                         0),
              0u)
        << text;
    EXPECT_NE(text.find("\n\n[Programs]\nProgram0=Editor\n[preferences]\n; keep me\n"
                        "EmailAccount=me\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Port=2121x\n"), std::string::npos);
    EXPECT_EQ(text.find("SaveFileHTML=Orvex.html\nStatusIndicators"), std::string::npos);
    EXPECT_EQ(text.find("StatusIndicators"), std::string::npos);
    EXPECT_EQ(text.find("DebugWANPage"), std::string::npos);
    EXPECT_EQ(ini.GetString("Preferences", "EmailTo", "", 1000).size(), kMaxMailTextLength);

    Loaded again = Load(ini);
    EXPECT_EQ(again.page.values.Password, "pw");
    EXPECT_EQ(again.settings.ProxyPass, "fw");
    EXPECT_EQ(again.settings.RefreshIntv, 45);
    EXPECT_EQ(again.settings.EmailAccount, "me");
    CommitFtpPage(again.page, again.settings);
    EXPECT_EQ(again.settings.Port, 2121);
}

TEST(Settings, SaveOrderFollowsTheFileLayout) {
    TempDir dir;
    Profile ini(dir.File("Orvex.ini"));
    AppSettings s;
    FtpPageValues page;
    WriteSettings(ini, kKey, page, s);
    std::vector<std::string> keys;
    const std::string text = ReadFile(dir.File("Orvex.ini"));
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        std::string line = text.substr(pos, nl - pos);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        keys.push_back(line.substr(0, line.find('=')));
        pos = nl + 1;
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"[LocalSettings]",
                                              "FTPServer",
                                              "SiteName",
                                              "UserID",
                                              "Password",
                                              "OnlineFile",
                                              "OfflineFile",
                                              "RemoteFile",
                                              "Port",
                                              "FTPOnIPChangeOnly",
                                              "EnableFTP",
                                              "FTPSecurity",
                                              "SFTPHostKey",
                                              "[Preferences]",
                                              "IsLogging",
                                              "LogFilename",
                                              "IsMinOnStartup",
                                              "IsUpdateOnStart",
                                              "IsUpdateOnShut",
                                              "NotifyErrorOnShut",
                                              "Timeout",
                                              "MaxLog",
                                              "SuppressError",
                                              "UpdateOnNAIP",
                                              "ProxyPassive",
                                              "UseProxy",
                                              "ProxyAddress",
                                              "HTTPProxyPort",
                                              "FTPProxyPort",
                                              "ProxyUser",
                                              "ProxyAccount",
                                              "ProxyPass",
                                              "LogonType",
                                              "RefreshIntv",
                                              "InitStartupDelay",
                                              "EmailInput",
                                              "EmailServer",
                                              "EmailTo",
                                              "EmailFrom",
                                              "EmailSubject",
                                              "EnableMail",
                                              "EnableSMTPAuth",
                                              "IsMailTo",
                                              "IsMsgAttachment",
                                              "EmailOnIPChangeOnly",
                                              "TLSVerify",
                                              "TLSCAFile",
                                              "EmailPort",
                                              "EmailSecurity",
                                              "EnableIPv6"}));
}

// A file from before the security keys uploads in plain FTP and verifies certificates
// against the system store; the keys then survive a save and load as written.
TEST(Settings, SecurityKeysDefaultToTodaysBehaviourAndRoundTrip) {
    TempDir dir;
    WriteFile(dir.File("Orvex.ini"), "[LocalSettings]\nFTPServer=ftp.x\n");
    Profile ini(dir.File("Orvex.ini"));
    Loaded l = Load(ini);
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.settings.TLSVerify, 1);
    EXPECT_EQ(l.settings.TLSCAFile, "");
    EXPECT_EQ(l.page.values.FTPSecurity, 0);
    EXPECT_EQ(l.settings.SFTPHostKey, "");
    l.settings.TLSVerify = 0;
    // The Security choice is a field of the FTP page: the page's value is what a Save writes.
    l.settings.FTPSecurity = 1;
    l.page.values.FTPSecurity = 3;
    l.settings.SFTPHostKey = "SHA256:abc";
    l.settings.TLSCAFile = ".\\certs\\my ca.pem";
    WriteSettings(ini, kKey, l.page.values, l.settings);
    Loaded again = Load(ini);
    EXPECT_EQ(again.settings.TLSVerify, 0);
    EXPECT_EQ(again.settings.TLSCAFile, ".\\certs\\my ca.pem");
    EXPECT_EQ(again.page.values.FTPSecurity, 3);
    EXPECT_EQ(again.settings.FTPSecurity, 3);
    EXPECT_EQ(again.settings.SFTPHostKey, "SHA256:abc");
}

// An upload checks its security choice before anything goes out: an unknown one from a
// hand-edited file never falls back to plain FTP, and a secure one never takes a proxy logon.
TEST(Settings, UploadSecurityIsOneOfTheFourAndFitsTheLogon) {
    EXPECT_EQ(FtpSecurityProblem(kSecuritySftp, 0, 3), "");
    EXPECT_EQ(FtpSecurityProblem(kSecurityFtp, 1, 3), "");
    EXPECT_EQ(FtpSecurityProblem(kSecurityFtpsExplicit, 1, 1),
              SecurityConflict(kSecurityFtpsExplicit, 1, 1));
    for (int unknown : {-1, kSecuritySftp + 1}) {
        EXPECT_NE(FtpSecurityProblem(unknown, 0, 0).find("FTPSecurity must be"), std::string::npos);
    }
}

TEST(Settings, SecureUploadsAndProxyLogonsDoNotMix) {
    EXPECT_EQ(SecurityConflict(kSecurityFtp, 1, 3), "");
    EXPECT_EQ(SecurityConflict(kSecuritySftp, 0, 3), "");  // the proxy is not used
    EXPECT_EQ(SecurityConflict(kSecurityFtpsImplicit, 1, 0), "");
    EXPECT_NE(SecurityConflict(kSecurityFtpsExplicit, 1, 1), "");
    EXPECT_NE(SecurityConflict(kSecuritySftp, 1, 8), "");
    EXPECT_EQ(UsualPort(kSecurityFtp), 21);
    EXPECT_EQ(UsualPort(kSecurityFtpsExplicit), 21);
    EXPECT_EQ(UsualPort(kSecurityFtpsImplicit), 990);
    EXPECT_EQ(UsualPort(kSecuritySftp), 22);
}

// A file from before the mail port and security keys mails to port 25 in the clear.
TEST(Settings, MailPortAndSecurityDefaultToPlainPort25AndRoundTrip) {
    TempDir dir;
    WriteFile(dir.File("Orvex.ini"), "[LocalSettings]\nFTPServer=ftp.x\n");
    Profile ini(dir.File("Orvex.ini"));
    Loaded l = Load(ini);
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.settings.EmailPort, 25);
    EXPECT_EQ(l.settings.EmailSecurity, kEmailSecurityNone);
    l.settings.EmailPort = 465;
    l.settings.EmailSecurity = kEmailSecurityTls;
    WriteSettings(ini, kKey, l.page.values, l.settings);
    Loaded again = Load(ini);
    EXPECT_EQ(again.settings.EmailPort, 465);
    EXPECT_EQ(again.settings.EmailSecurity, kEmailSecurityTls);
}

// A file from before the address sources asks the web services alone; the page's source keys
// are written by a save only once changed, and then load as written.
TEST(Settings, AddressSourceKeysDefaultToTheWebAndAreWrittenOnlyWhenChanged) {
    TempDir dir;
    WriteFile(dir.File("Orvex.ini"), "[LocalSettings]\nFTPServer=ftp.x\n");
    Profile ini(dir.File("Orvex.ini"));
    Loaded l = Load(ini);
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.settings.WANIPSources, "web");
    EXPECT_EQ(l.settings.UPnPURL + l.settings.NATPMPGateway + l.settings.DNSLookups, "");
    const AppSettings asLoaded = l.settings;
    WriteSettings(ini, kKey, l.page.values, l.settings);
    WriteChangedLookupServices(ini, l.settings, asLoaded);
    EXPECT_EQ(ReadFile(dir.File("Orvex.ini")).find("WANIPSources"), std::string::npos);

    l.settings.WANIPSources = "upnp natpmp web";
    l.settings.UPnPURL = "http://192.168.1.1:5000/rootDesc.xml";
    l.settings.NATPMPGateway = "192.168.1.1:5351";
    l.settings.DNSLookups = "myip.opendns.com/A/IN@208.67.222.222";
    WriteChangedLookupServices(ini, l.settings, asLoaded);
    Loaded again = Load(ini);
    EXPECT_EQ(again.settings.WANIPSources, "upnp natpmp web");
    EXPECT_EQ(again.settings.UPnPURL, "http://192.168.1.1:5000/rootDesc.xml");
    EXPECT_EQ(again.settings.NATPMPGateway, "192.168.1.1:5351");
    EXPECT_EQ(again.settings.DNSLookups, "myip.opendns.com/A/IN@208.67.222.222");
}

TEST(Settings, HandWrittenValuesLongerThanTheFormatAreCutAtLoad) {
    TempDir dir;
    WriteFile(dir.File("Orvex.ini"),
              "[LocalSettings]\nFTPServer=ftp.x\nSiteName=" + std::string(400, 's') + "\n");
    Profile ini(dir.File("Orvex.ini"));
    Loaded l = Load(ini);
    EXPECT_EQ(l.page.values.SiteName.size(), kMaxValueLength);
}

}  // namespace
}  // namespace orvex
