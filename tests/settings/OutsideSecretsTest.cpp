// Secrets kept outside the settings file, the keys that name them, and the commented file
// orvexd --init writes.

#include "settings/OutsideSecrets.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "TempDir.h"
#include "settings/DynamicDnsSettings.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsTemplate.h"

namespace orvex {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

const std::string kKey = PasswordKey("TESTBOX");

TEST(OutsideSecrets, CredentialFirstThenThePrivateFileFirstLine) {
    TempDir ini;
    TempDir credentials;
    WriteFile(ini.File("ftp.pass"), "from-file\r\nsecond\n");
    ::chmod(ini.File("ftp.pass").c_str(), 0600);
    WriteFile(ini.File("open.pass"), "x\n");
    ::chmod(ini.File("open.pass").c_str(), 0644);
    WriteFile(ini.File("empty.pass"), "\nsecond\n");
    ::chmod(ini.File("empty.pass").c_str(), 0600);
    WriteFile(credentials.File("EmailPassword"), "from-credential");
    ::chmod(credentials.File("EmailPassword").c_str(), 0400);

    const struct {
        const char* key;
        std::string file;
        const char* secret;
        const char* errorPart;  // empty: no error
        bool given;
    } cases[] = {
        {"Password", "", "", "", false},
        {"Password", "ftp.pass", "from-file", "", true},
        {"Password", ini.File("ftp.pass"), "from-file", "", true},
        {"EmailPassword", "ftp.pass", "from-credential", "", true},
        {"Password", "open.pass", "", "may be read or changed by other users (mode 0644)", true},
        {"Password", "empty.pass", "", "the first line of", true},
        {"Password", "missing.pass", "", "cannot read", true},
        {"Password", ".", "", "is not a file", true},
    };
    for (const auto& c : cases) {
        const OutsideSecret s = ReadOutsideSecret(c.key, c.file, ini.Path(), credentials.Path());
        EXPECT_EQ(s.given, c.given) << c.key << " " << c.file;
        EXPECT_EQ(s.secret, c.secret) << c.key << " " << c.file;
        if (*c.errorPart == '\0') {
            EXPECT_EQ(s.error, "") << c.key << " " << c.file;
        } else {
            EXPECT_NE(s.error.find(c.errorPart), std::string::npos) << s.error;
        }
    }
}

TEST(OutsideSecrets, ReplaceEveryPasswordTheyNameAndEmptyARefusedOne) {
    TempDir ini;
    WriteFile(ini.File("tsig"), "c2VjcmV0\n");
    ::chmod(ini.File("tsig").c_str(), 0600);
    WriteFile(ini.File("proxy"), "p\n");
    ::chmod(ini.File("proxy").c_str(), 0666);
    AppSettings s;
    s.Password = "stored";
    s.ProxyPass = "stored";
    s.ProxyPassFile = "proxy";
    s.DynamicDns.resize(2);
    s.DynamicDns[1].TSIGSecret = "stored";
    s.DynamicDns[1].TSIGSecretFile = "tsig";
    const auto problems = ApplyOutsideSecrets(s, ini.Path(), "");
    EXPECT_EQ(s.Password, "stored");
    EXPECT_EQ(s.ProxyPass, "");
    EXPECT_EQ(s.DynamicDns[1].TSIGSecret, "c2VjcmV0");
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].first, "ProxyPass");
    EXPECT_FALSE(FtpPasswordKeptOutside(s, ""));
    s.PasswordFile = "ftp.pass";
    EXPECT_TRUE(FtpPasswordKeptOutside(s, ""));
}

// The keys that name secrets and the metrics address load, save and load again; a file that
// never had them gets none at a save.
TEST(OutsideSecrets, KeysRoundTripAndStayOutOfFilesThatNeverUsedThem) {
    TempDir dir;
    WriteFile(dir.File("Orvex.ini"), "[LocalSettings]\nFTPServer=ftp.x\n");
    Profile ini(dir.File("Orvex.ini"));
    AppSettings s;
    FtpPageRecord page;
    bool defaultLookup = false;
    ASSERT_TRUE(LoadSettings(ini, kKey, s, page, defaultLookup));
    EXPECT_EQ(s.PasswordFile, "");
    EXPECT_EQ(s.UseKeyring, 0);
    WriteSettings(ini, kKey, page.values, s);
    const std::string saved = ReadFile(dir.File("Orvex.ini"));
    for (const char* key :
         {"PasswordFile", "EmailPasswordFile", "ProxyPassFile", "MetricsAddress", "UseKeyring"}) {
        EXPECT_EQ(saved.find(key), std::string::npos) << key;
    }

    s.PasswordFile = "/etc/orvex/ftp.pass";
    s.EmailPasswordFile = "mail.pass";
    s.ProxyPassFile = "proxy.pass";
    s.MetricsAddress = "127.0.0.1:9101";
    s.UseKeyring = 1;
    s.DynamicDns.resize(1);
    s.DynamicDns[0].Hosts = "home.example";
    s.DynamicDns[0].Server = "dyn.example";
    s.DynamicDns[0].PasswordFile = "dyn.pass";
    WriteSettings(ini, kKey, page.values, s);
    AppSettings again;
    ASSERT_TRUE(LoadSettings(ini, kKey, again, page, defaultLookup));
    EXPECT_EQ(again.PasswordFile, "/etc/orvex/ftp.pass");
    EXPECT_EQ(again.EmailPasswordFile, "mail.pass");
    EXPECT_EQ(again.ProxyPassFile, "proxy.pass");
    EXPECT_EQ(again.MetricsAddress, "127.0.0.1:9101");
    EXPECT_EQ(again.UseKeyring, 1);
    ASSERT_EQ(again.DynamicDns.size(), 1u);
    EXPECT_EQ(again.DynamicDns[0].PasswordFile, "dyn.pass");
    EXPECT_EQ(again.DynamicDns[0].TSIGSecretFile, "");

    // Emptied again, a key the file holds is written empty rather than left behind.
    again.MetricsAddress = "";
    WriteSettings(ini, kKey, page.values, again);
    const std::string emptied = ReadFile(dir.File("Orvex.ini"));
    const size_t at = emptied.find("\nMetricsAddress=");
    ASSERT_NE(at, std::string::npos) << emptied;
    EXPECT_TRUE(emptied[at + 16] == '\r' || emptied[at + 16] == '\n') << emptied;
}

TEST(SettingsTemplate, EveryKeyOnceWithItsDefaultAndNothingEnabled) {
    TempDir dir;
    std::string error;
    ASSERT_TRUE(WriteCommentedSettings(dir.File("Orvex.ini"), &error)) << error;
    const std::string text = ReadFile(dir.File("Orvex.ini"));
    EXPECT_EQ(text, CommentedSettingsText());
    for (const SettingsEntry& entry : DefaultSettingsEntries()) {
        const std::string line = "\n" + entry.name + "=" + entry.value + "\n";
        const size_t at = text.find(line);
        EXPECT_NE(at, std::string::npos) << line;
        EXPECT_EQ(text.find(line, at + 1), std::string::npos) << line;
        // One line of explanation just above.
        EXPECT_EQ(text[text.rfind('\n', at - 1) + 1], ';') << entry.name;
    }
    // The file holds no server, so it loads as "not configured yet", and every switch is off.
    Profile ini(dir.File("Orvex.ini"));
    AppSettings s;
    FtpPageRecord page;
    bool defaultLookup = false;
    EXPECT_FALSE(LoadSettings(ini, kKey, s, page, defaultLookup));
    ini.WriteString(kSectionLocal, "FTPServer", "ftp.example");
    ASSERT_TRUE(LoadSettings(ini, kKey, s, page, defaultLookup));
    EXPECT_EQ(s.EnableFTP + s.EnableMail + s.IsUpdateOnStart + s.UseProxy + s.IsLogging, 0);
    EXPECT_TRUE(s.DynamicDns.empty());
}

}  // namespace
}  // namespace orvex
