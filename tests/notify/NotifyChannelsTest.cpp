// Notification channels against the emulator of every service: what each kind delivers, when a
// channel is told, and how a refusing, rate-limiting, failing or silent service is borne.

#include <gtest/gtest.h>

#include "ManualClock.h"
#include "NotifyServices.h"
#include "RecordingHost.h"
#include "TempDir.h"
#include "notify/Notifier.h"
#include "settings/NotifySettings.h"

namespace orvex::test {
namespace {

using notify::Moment;

size_t Count(const std::vector<std::string>& lines, const std::string& what) {
    size_t n = 0;
    for (const std::string& line : lines) {
        n += line.find(what) != std::string::npos ? 1 : 0;
    }
    return n;
}

class NotifyChannelsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(services.Ready()) << services.Log(); }

    notify::Run MakeRun(const std::string& wan = "203.0.113.7") const {
        notify::Run run;
        run.addresses.wan = wan;
        run.addresses.lan = "192.168.1.20";
        run.values.currentWanIp = wan;
        run.values.currentLanIp = "192.168.1.20";
        run.values.siteName = "Home";
        run.values.connectionState = "Online";
        run.values.workDir = work.Path();
        run.finder = [](const std::string&) { return false; };
        run.timeoutSeconds = 2;
        return run;
    }

    // Tells `channels` at `moment`, keeping what they announced as a cycle keeps it in the file.
    std::vector<std::string> Tell(std::vector<NotifyChannel>& channels, Moment moment,
                                  const notify::Run& run) {
        RecordingHost host;
        notify::NotifyChannels(channels, moment, run, memory, clock, host,
                               [&](size_t index, const NotifyChannel&, const std::string& last) {
                                   channels[index].LastSent = last;
                               });
        return host.Statuses();
    }

    TempDir work;
    NotifyServices services;
    ManualClock clock{1700000000};
    notify::Memory memory;
};

// Each kind's request reaches its service in the documented shape with the token where the
// service looks for it, and the service shows the expanded template whole: quotes, backslashes
// and line breaks included.
TEST_F(NotifyChannelsTest, EveryKindDeliversTheExpandedTemplate) {
    WriteFile(work.File("note.txt"), "%H is at %WI\nsay \"hi\" \\ C:\\path\\ %I\ttab");
    notify::Run run = MakeRun();
    run.values.siteName = "Ho\"me\\";
    const std::string expected =
        "Ho\"me\\ is at 203.0.113.7\nsay \"hi\" \\ C:\\path\\ 192.168.1.20\ttab";
    for (const NotifyKindInfo& kind : NotifyKinds()) {
        SCOPED_TRACE(kind.kind);
        NotifyChannel c = services.Channel(kind.kind);
        c.Template = "note.txt";
        c.Title = "Orvex %H";
        c.Events = "cycle";
        std::vector<NotifyChannel> channels{c};
        const std::vector<std::string> said =
            Tell(channels, c.Kind == kNotifyPing ? Moment::kCycleEnd : Moment::kOnline, run);
        const std::string name = notify::ChannelName(c);
        EXPECT_EQ(said, (std::vector<std::string>{"Notifying " + name + "...",
                                                  "Notified " + name + "."}));
        EXPECT_EQ(channels[0].LastSent, "2023-11-14T22:13:20Z 203.0.113.7 192.168.1.20");
        const auto requests = services.Requests(kind.kind);
        ASSERT_EQ(requests.size(), 1u) << services.Log();
        const nlohmann::json& r = requests[0];
        EXPECT_LT(r["status"].get<int>(), 300) << r.dump();
        if (c.Kind == kNotifyPing) {
            EXPECT_EQ(r["method"], "GET");
            EXPECT_EQ(r["path"], "/ping/5f1c7a2e");
            continue;
        }
        // A service without a title of its own shows it as the first line.
        const std::string title = r["title"];
        EXPECT_EQ(r["text"], title.empty() ? "Orvex Ho\"me\\\n" + expected : expected) << r.dump();
        EXPECT_TRUE(title.empty() || title == "Orvex Ho\"me\\") << title;
        if (c.Kind == kNotifyWebhook) {
            const nlohmann::json body = nlohmann::json::parse(r["body"].get<std::string>());
            EXPECT_EQ(body["event"], "cycle");
            EXPECT_EQ(body["host"], "Ho\"me\\");
            EXPECT_EQ(body["wan"], "203.0.113.7");
            EXPECT_EQ(body["lan"], "192.168.1.20");
            EXPECT_EQ(body["wan6"], "");
            EXPECT_EQ(body["time"], "2023-11-14T22:13:20Z");
        }
    }
}

// `change` once per new address, `cycle` every time, `offline` at exit (after which the same
// address counts as new again), `failure` naming the step and why, a ping after every cycle
// and its "/fail" after a failed one.
TEST_F(NotifyChannelsTest, EachEventAtItsMoment) {
    NotifyChannel change = services.Channel(kNotifyNtfy);
    NotifyChannel cycle = services.Channel(kNotifyGotify);
    cycle.Events = "cycle";
    NotifyChannel failure = services.Channel(kNotifyTelegram);
    failure.Events = "failure";
    NotifyChannel ping = services.Channel(kNotifyPing);
    std::vector<NotifyChannel> channels{change, cycle, failure, ping};
    auto tellCycle = [&](const notify::Run& run) {
        Tell(channels, Moment::kOnline, run);
        Tell(channels, Moment::kCycleEnd, run);
    };

    tellCycle(MakeRun());
    tellCycle(MakeRun());
    tellCycle(MakeRun("198.51.100.9"));
    notify::Run failed = MakeRun("198.51.100.9");
    failed.failures = {{"the upload", "127.0.0.1:21 refused the connection"}};
    tellCycle(failed);
    Tell(channels, Moment::kOffline, MakeRun("198.51.100.9"));
    tellCycle(MakeRun("198.51.100.9"));

    auto texts = [&](const char* kind) {
        std::vector<std::string> out;
        for (const nlohmann::json& r : services.Requests(kind)) {
            out.push_back(r.contains("text") ? r["text"].get<std::string>()
                                             : r["path"].get<std::string>());
        }
        return out;
    };
    EXPECT_EQ(texts(kNotifyNtfy),
              (std::vector<std::string>{"Home is online at 203.0.113.7 (LAN 192.168.1.20)",
                                        "Home is online at 198.51.100.9 (LAN 192.168.1.20)",
                                        "Home is going offline; it was at 198.51.100.9 (LAN "
                                        "192.168.1.20)",
                                        "Home is online at 198.51.100.9 (LAN 192.168.1.20)"}));
    EXPECT_EQ(texts(kNotifyGotify).size(), 5u);
    EXPECT_EQ(texts(kNotifyTelegram),
              (std::vector<std::string>{"Home: the upload failed: 127.0.0.1:21 refused the "
                                        "connection"}));
    EXPECT_EQ(texts(kNotifyPing),
              (std::vector<std::string>{"/ping/5f1c7a2e", "/ping/5f1c7a2e", "/ping/5f1c7a2e",
                                        "/ping/5f1c7a2e/fail", "/ping/5f1c7a2e"}));
    EXPECT_EQ(channels[0].LastSent, "2023-11-14T22:13:20Z 198.51.100.9 192.168.1.20");
}

// A refused token, a rate limit, a server error and a silent server each end within the bound
// with a report naming the channel, never keep the other channels from being told, and the
// message goes at a later cycle (after the wait a rate limit asked for).
TEST_F(NotifyChannelsTest, ServiceFaultsAreReportedAndRetriedLater) {
    const struct {
        const char* mode;
        const char* why;
    } faults[] = {{"refuse", "(Unauthorized)"},
                  {"429 30", "it asked to wait 30 s"},
                  {"500", "500"},
                  {"silent", "2 s"}};
    for (const auto& fault : faults) {
        SCOPED_TRACE(fault.mode);
        std::vector<NotifyChannel> channels{services.Channel(kNotifyTelegram),
                                            services.Channel(kNotifyDiscord)};
        for (NotifyChannel& c : channels) {
            c.Events = "cycle";
        }
        services.SetMode(fault.mode);
        const std::vector<std::string> failed = Tell(channels, Moment::kOnline, MakeRun());
        ASSERT_EQ(failed.size(), 4u);
        for (size_t i = 0; i < 2; ++i) {
            const std::string& line = failed[2 * i + 1];
            EXPECT_EQ(line.rfind("Notifying " + notify::ChannelName(channels[i]) + " failed: ", 0),
                      0u)
                << line;
            EXPECT_NE(line.find("; tried again at the next cycle."), std::string::npos) << line;
            EXPECT_TRUE(channels[i].LastSent.empty());
        }
        EXPECT_NE(failed[1].find(fault.why), std::string::npos) << failed[1];

        services.SetMode("normal");
        const bool held = std::string(fault.mode).rfind("429", 0) == 0;
        if (held) {
            const std::vector<std::string> early = Tell(channels, Moment::kOnline, MakeRun());
            EXPECT_EQ(Count(early, " held back: the service asked to wait until "), 2u);
            clock.Advance(31);
        }
        const std::vector<std::string> later = Tell(channels, Moment::kOnline, MakeRun());
        EXPECT_EQ(Count(later, "Notified "), 2u) << later.back();
        clock.Advance(3600);
    }
}

}  // namespace
}  // namespace orvex::test
