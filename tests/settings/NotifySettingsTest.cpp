// The notification channels as stored: a file without the section has none, a 256-character
// token is kept whole and never in clear, a Save keeps what a cycle recorded meanwhile, and the
// check names what keeps a channel from sending.

#include <gtest/gtest.h>

#include "TempDir.h"
#include "settings/NotifySettings.h"

namespace orvex {
namespace {

const std::string kKey = "hoKeyKey";

TEST(NotifySettingsTest, ChannelsRoundTripWithTheSecretScrambledAndLastSentKept) {
    test::TempDir dir;
    Profile ini(dir.File("Orvex.ini"));
    ini.WriteString("LocalSettings", "FTPServer", "ftp.example.test");
    EXPECT_TRUE(ReadNotifyChannels(ini, kKey).empty()) << "no section, no channel";

    NotifyChannel matrix;
    matrix.Kind = kNotifyMatrix;
    matrix.Server = "https://matrix.example.test";
    matrix.Target = "!room:example.test";
    for (int i = 0; i < 256; ++i) {
        matrix.Password += static_cast<char>('a' + i % 26);
    }
    NotifyChannel ntfy;
    ntfy.Target = "orvex-home";
    ASSERT_TRUE(WriteNotifyChannels(ini, kKey, {matrix, ntfy}));
    EXPECT_EQ(test::ReadFile(ini.Path()).find("abcdefghij"), std::string::npos);
    ASSERT_TRUE(WriteNotifyLastSent(ini, kKey, 1, ntfy, "2024-05-01T10:00:00Z 203.0.113.7 x"));
    NotifyChannel edited = matrix;
    edited.Target = "!other:example.test";
    EXPECT_FALSE(WriteNotifyLastSent(ini, kKey, 0, edited, "never"));

    // A Save of the channels as loaded before that cycle keeps the cycle's result.
    ASSERT_TRUE(WriteNotifyChannels(ini, kKey, {matrix, ntfy}));
    const std::vector<NotifyChannel> back = ReadNotifyChannels(ini, kKey);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_TRUE(SameNotifyTarget(back[0], matrix)) << back[0].Password.size();
    EXPECT_EQ(back[0].LastSent, "");
    EXPECT_EQ(back[1].LastSent, "2024-05-01T10:00:00Z 203.0.113.7 x");
    EXPECT_EQ(back[1].Events, "change,offline");

    ASSERT_TRUE(WriteNotifyChannels(ini, kKey, {}));
    EXPECT_EQ(test::ReadFile(ini.Path()).find("[Notify]"), std::string::npos);
}

TEST(NotifySettingsTest, ProblemsNameTheKeyAndTheListingHidesSecrets) {
    NotifyChannel unknown;
    unknown.Kind = "pager";
    NotifyChannel telegram;
    telegram.Kind = kNotifyTelegram;
    telegram.Events = "change, reboot";
    NotifyChannel discord;
    discord.Kind = kNotifyDiscord;
    discord.URL = "discord.com/api/webhooks/1/secret-token";
    const auto key = [](const NotifyChannel& c, size_t i) {
        std::vector<std::string> keys;
        for (const auto& [k, why] : NotifyChannelProblems(c, i)) {
            keys.push_back(k + ": " + why);
        }
        return keys;
    };
    EXPECT_EQ(key(unknown, 0).size(), 1u);
    EXPECT_EQ(key(unknown, 0)[0].rfind("Kind1: \"pager\" is not ntfy", 0), 0u);
    EXPECT_EQ(key(telegram, 1),
              (std::vector<std::string>{"Target2: empty; a telegram channel needs it",
                                        "Password2: empty; a telegram channel needs it",
                                        "Events2: \"reboot\" is not change, cycle, failure or "
                                        "offline"}));
    EXPECT_EQ(key(discord, 2), (std::vector<std::string>{
                                   "URL3: \"discord.com/api/webhooks/1/secret-token\" is not an "
                                   "http:// or https:// address"}));

    NotifyChannel webhook;
    webhook.Kind = kNotifyWebhook;
    webhook.URL = "https://joe:pw@hooks.example.test/in?key=1";
    webhook.Password = "bearer-secret";
    discord.URL = "https://discord.com/api/webhooks/1/secret-token";
    const std::vector<std::string> lines = NotifyListing({discord, webhook});
    const auto has = [&](const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    };
    EXPECT_TRUE(has("URL1=https://discord.com/***"));
    EXPECT_TRUE(has("URL2=https://***@hooks.example.test/in?key=1"));
    EXPECT_TRUE(has("Password2=***"));
    EXPECT_TRUE(has("Password1="));
}

}  // namespace
}  // namespace orvex
