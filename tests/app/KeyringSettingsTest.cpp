// Passwords in the desktop's keyring (UseKeyring=1): the keyring's copy counts at load, a save
// empties the file's where the keyring took it and keeps it scrambled where none answered.

#include <map>

#include <gtest/gtest.h>

#include "AppFakes.h"
#include "ManualClock.h"
#include "RecordingHost.h"
#include "TempDir.h"
#include "app/SettingsCommands.h"
#include "platform/Profile.h"
#include "settings/SettingsFile.h"

namespace orvex::test {
namespace {

// A keyring in memory; `answers` false is a keyring that is not there.
class FakeKeyring : public SecretStore {
public:
    std::optional<std::string> Lookup(const std::string& iniPath, const std::string& key) override {
        const auto it = secrets.find(iniPath + "|" + key);
        if (!answers || it == secrets.end()) {
            return std::nullopt;
        }
        return it->second;
    }
    bool Store(const std::string& iniPath, const std::string& key,
               const std::string& secret) override {
        if (answers) {
            secrets[iniPath + "|" + key] = secret;
        }
        return answers;
    }
    bool answers = true;
    std::map<std::string, std::string> secrets;
};

class KeyringSettingsTest : public ::testing::Test {
protected:
    KeyringSettingsTest()
        : state(dir.Path(), dir.File("Orvex.ini")),
          launcher(state.Flags),
          status(
              state, window, clock, [](const std::string&) {},
              [] { return std::make_pair(std::string(), std::string()); }),
          scheduler(state, window, timer, host, status, launcher),
          settings(state, window, scheduler, PasswordKey(), &host) {
        settings.SetSecretStore(&keyring);
        Profile ini(dir.File("Orvex.ini"));
        ini.WriteString(kSectionLocal, "FTPServer", "ftp.example");
        std::string scrambled = "ftp-secret";
        EncodePassword(scrambled, PasswordKey());
        ini.WriteString(kSectionLocal, "Password", scrambled);
        ini.WriteString(kSectionPreferences, "UseKeyring", "1");
    }

    std::string Stored(const char* section, const char* key) {
        std::string value = Profile(dir.File("Orvex.ini")).GetString(section, key, "");
        DecodePassword(value, PasswordKey());
        return value;
    }

    TempDir dir;
    AppState state;
    FakeWindow window;
    FakeTimer timer;
    RecordingHost host;
    ManualClock clock;
    FakeLauncher launcher;
    StatusDisplay status;
    Scheduler scheduler;
    SettingsCommands settings;
    FakeKeyring keyring;
};

TEST_F(KeyringSettingsTest, SaveMovesPasswordsIntoTheKeyringAndLoadTakesThemBack) {
    settings.LoadAtStart();
    EXPECT_EQ(state.Settings().Password, "ftp-secret");
    state.EditSettings([](AppSettings& s) { s.EmailPassword = "mail-secret"; });
    ASSERT_TRUE(settings.Save());
    EXPECT_EQ(Stored(kSectionLocal, "Password"), "");
    EXPECT_EQ(Stored(kSectionPreferences, "EmailPassword"), "");
    EXPECT_EQ(keyring.secrets[dir.File("Orvex.ini") + "|Password"], "ftp-secret");
    EXPECT_EQ(keyring.secrets[dir.File("Orvex.ini") + "|EmailPassword"], "mail-secret");
    // The record keeps them for the cycles.
    EXPECT_EQ(state.Settings().Password, "ftp-secret");

    window.page.values = {};
    state.EditSettings([](AppSettings& s) { s = AppSettings{}; });
    settings.LoadAtStart();
    EXPECT_EQ(state.Settings().Password, "ftp-secret");
    EXPECT_EQ(window.page.values.Password, "ftp-secret");
    EXPECT_EQ(state.Settings().EmailPassword, "mail-secret");
}

TEST_F(KeyringSettingsTest, WithoutAKeyringThePasswordsStayScrambledInTheFile) {
    keyring.answers = false;
    settings.LoadAtStart();
    ASSERT_TRUE(settings.Save());
    EXPECT_EQ(Stored(kSectionLocal, "Password"), "ftp-secret");

    // Off again: the keyring is not asked, and the file holds the password.
    keyring.answers = true;
    keyring.secrets[dir.File("Orvex.ini") + "|Password"] = "from-keyring";
    state.EditSettings([](AppSettings& s) { s.UseKeyring = 0; });
    ASSERT_TRUE(settings.Save());
    settings.LoadAtStart();
    EXPECT_EQ(state.Settings().Password, "ftp-secret");
    EXPECT_EQ(Stored(kSectionLocal, "Password"), "ftp-secret");
}

}  // namespace
}  // namespace orvex::test
