// The built orvexd with ntfy, Telegram and Discord channels against the services' emulator: a
// configured start delivers the expanded message to each, a second run with the same address
// sends nothing on `change` channels, the offline run sends the offline message; the settings
// check names bad channels and the listing hides their secrets.

#include <gtest/gtest.h>

#include "../notify/NotifyServices.h"
#include "ServerProcess.h"
#include "ServiceRun.h"
#include "TempDir.h"
#include "platform/Profile.h"
#include "settings/NotifySettings.h"
#include "settings/SettingsFile.h"

namespace orvex::test {
namespace {

class NotifyE2ETest : public ::testing::Test {
protected:
    NotifyE2ETest() : echo(kPython, {PeerScript("echo_page.py")}) {}

    void SetUp() override {
        ASSERT_TRUE(echo.Ready() && services.Ready()) << echo.Log() << services.Log();
        const char* L = kSectionLocal;
        const char* P = kSectionPreferences;
        for (const char* key : {"FTPServer", "SiteName", "UserID", "Password", "OnlineFile",
                                "OfflineFile", "RemoteFile"}) {
            Set(L, key, "x");
        }
        Set(L, "SiteName", "Home");
        Set(L, "Port", "21");
        Set(L, "EnableFTP", "0");
        Set(L, "WANIPURL", "http://127.0.0.1:" + std::to_string(echo.Port()) + "/");
        Set(P, "RefreshIntv", "0");
        Set(P, "Timeout", "5");
        WriteFile(work.File("note.txt"), "%H (%S) at %WI");
    }

    void Set(const char* section, const char* key, const std::string& value) {
        Profile(work.File("Orvex.ini")).WriteString(section, key, value);
    }
    void WriteChannels(const std::vector<NotifyChannel>& channels) {
        Profile ini(work.File("Orvex.ini"));
        ASSERT_TRUE(WriteNotifyChannels(ini, PasswordKey(), channels));
    }
    ServiceResult Run(const std::vector<std::string>& args) {
        return RunService(work.Path(), runtime.Path(), args);
    }
    std::vector<std::string> Texts(const char* kind) const {
        std::vector<std::string> texts;
        for (const nlohmann::json& r : services.Requests(kind)) {
            texts.push_back(r.value("text", "(refused: " + r["body"].get<std::string>() + ")"));
        }
        return texts;
    }

    TempDir work;
    TempDir runtime;
    ServerProcess echo;
    NotifyServices services;
};

TEST_F(NotifyE2ETest, ChangeOnceThenNothingThenOfflineAtExit) {
    NotifyChannel ntfy = services.Channel(kNotifyNtfy);
    ntfy.Template = "note.txt";
    NotifyChannel telegram = services.Channel(kNotifyTelegram);
    NotifyChannel discord = services.Channel(kNotifyDiscord);
    discord.Template = "note.txt";
    WriteChannels({ntfy, telegram, discord});

    const ServiceResult first = Run({"--once"});
    EXPECT_EQ(first.code, 0) << first.out << first.err;
    EXPECT_NE(first.out.find("Notifying ntfy topic orvex-home...\nNotified ntfy topic "
                             "orvex-home.\n"),
              std::string::npos)
        << first.out;
    const ServiceResult same = Run({"--once"});
    EXPECT_EQ(same.code, 0) << same.out << same.err;
    EXPECT_EQ(same.out.find("Notif"), std::string::npos) << same.out;
    const ServiceResult offline = Run({"--offline"});
    EXPECT_EQ(offline.code, 0) << offline.out << offline.err;

    EXPECT_EQ(Texts(kNotifyNtfy), (std::vector<std::string>{"Home (Online) at 127.0.0.1",
                                                            "Home (Offline) at 127.0.0.1"}));
    // The built-in texts, whatever this machine's LAN address.
    const std::vector<std::string> told = Texts(kNotifyTelegram);
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(told[0].rfind("Home is online at 127.0.0.1 (LAN ", 0), 0u) << told[0];
    EXPECT_EQ(told[1].rfind("Home is going offline; it was at 127.0.0.1 (LAN ", 0), 0u) << told[1];
    EXPECT_EQ(Texts(kNotifyDiscord).size(), 2u);
    const auto stored = ReadNotifyChannels(Profile(work.File("Orvex.ini")), PasswordKey());
    ASSERT_EQ(stored.size(), 3u);
    EXPECT_NE(stored[1].LastSent.find(" offline"), std::string::npos) << stored[1].LastSent;
}

TEST_F(NotifyE2ETest, CheckNamesBadChannelsAndTheListingHidesSecrets) {
    NotifyChannel noTopic = services.Channel(kNotifyNtfy);
    noTopic.Target.clear();
    NotifyChannel pager;
    pager.Kind = "pager";
    NotifyChannel missing = services.Channel(kNotifyDiscord);
    missing.Template = "absent.txt";
    WriteChannels({services.Channel(kNotifyTelegram), noTopic, pager, missing});

    const std::string before = ReadFile(work.File("Orvex.ini"));
    const ServiceResult check = Run({"--check"});
    EXPECT_EQ(check.code, 1);
    for (const char* line : {"Target2: empty; a ntfy channel needs it\n", "Kind3: \"pager\" is not",
                             "Template4: cannot read "}) {
        EXPECT_NE(check.out.find(line), std::string::npos) << line << "\n" << check.out;
    }
    EXPECT_EQ(check.out.find("Target1"), std::string::npos) << check.out;

    const ServiceResult listing = Run({"--print-config"});
    EXPECT_EQ(listing.code, 0) << listing.err;
    EXPECT_NE(listing.out.find("\n[Notify]\nCount=4\nKind1=telegram\n"), std::string::npos)
        << listing.out;
    EXPECT_NE(listing.out.find("\nPassword1=***\n"), std::string::npos) << listing.out;
    EXPECT_EQ(listing.out.find(NotifyServices::kToken), std::string::npos) << listing.out;
    EXPECT_EQ(ReadFile(work.File("Orvex.ini")), before);
}

}  // namespace
}  // namespace orvex::test
