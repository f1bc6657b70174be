// When entries are sent: on a changed address, after 25 days, on a manual refresh; never again
// within 5 minutes of a failure; never again after a refusal until the entry is edited. And a
// hostile address text handed to every kind of entry never runs anything.

#include <algorithm>

#include <gtest/gtest.h>

#include "DdnsTestSupport.h"
#include "ManualClock.h"
#include "RecordingHost.h"
#include "TempDir.h"
#include "ddns/DynamicDnsUpdater.h"

namespace orvex::ddns {
namespace {

using test::FileExists;
using test::ManualClock;
using test::ReadFile;
using test::RecordingHost;
using test::TempDir;
using test::UpdateService;

constexpr std::time_t kStart = 1796000000;  // 2026-11-29T...Z
constexpr std::time_t kDay = 24 * 60 * 60;

// Runs the updater like a cycle does, keeping the last results as the settings file would.
class UpdaterRig {
public:
    explicit UpdaterRig(std::vector<DynamicDnsEntry> entries) : entries_(std::move(entries)) {
        run.addresses.wan = "192.0.2.1";
        run.timeoutSeconds = 5;
        run.workDir = dir.Path();
    }

    std::vector<EntryOutcome> Cycle() {
        host = std::make_unique<RecordingHost>();
        return UpdateDynamicDns(entries_, run, memory, clock, *host,
                                [&](size_t i, const DynamicDnsEntry&, const std::string& address,
                                    const std::string& when) {
                                    entries_[i].LastAddress = address;
                                    entries_[i].LastUpdate = when;
                                });
    }
    std::vector<std::string> Statuses() const { return host->Statuses(); }
    DynamicDnsEntry& Entry(size_t i) { return entries_[i]; }

    TempDir dir;
    ManualClock clock{kStart};
    UpdateRun run;
    UpdateMemory memory;
    std::unique_ptr<RecordingHost> host;

private:
    std::vector<DynamicDnsEntry> entries_;
};

// An entry whose command counts its runs in "runs.txt".
DynamicDnsEntry CountingCommand() {
    DynamicDnsEntry e;
    e.Protocol = kDdnsCommand;
    e.Hosts = "home.example.test";
    e.Command = "echo \"$ORVEX_WAN_IP\" >> runs.txt";
    return e;
}

TEST(UpdaterTest, SentOnChangeAfterTwentyFiveDaysAndOnRefreshOnly) {
    UpdaterRig rig({CountingCommand()});
    using O = EntryOutcome;
    EXPECT_EQ(rig.Cycle(), std::vector<O>{O::kUpdated}) << "never updated before";
    EXPECT_EQ(rig.Statuses(), (std::vector<std::string>{
                                  "Updating dynamic DNS name home.example.test...", "exit status 0",
                                  "Dynamic DNS name home.example.test updated: 192.0.2.1."}));
    EXPECT_EQ(rig.Entry(0).LastAddress, "192.0.2.1");
    std::time_t stamp = 0;
    EXPECT_TRUE(ParseUtcStamp(rig.Entry(0).LastUpdate, &stamp));
    EXPECT_EQ(stamp, kStart);

    rig.clock.Advance(kDay);
    EXPECT_EQ(rig.Cycle(), std::vector<O>{O::kNotDue});
    EXPECT_TRUE(rig.Statuses().empty()) << "an unchanged name is not mentioned";

    rig.run.addresses.wan = "192.0.2.2";
    EXPECT_EQ(rig.Cycle(), std::vector<O>{O::kUpdated});
    EXPECT_EQ(rig.Cycle(), std::vector<O>{O::kNotDue});

    rig.clock.Advance(25 * kDay - 1);
    EXPECT_EQ(rig.Cycle(), std::vector<O>{O::kNotDue});
    rig.clock.Advance(1);
    EXPECT_EQ(rig.Cycle(), std::vector<O>{O::kUpdated}) << "idle names expire";

    rig.run.manualRefresh = true;
    EXPECT_EQ(rig.Cycle(), std::vector<O>{O::kUpdated});
    EXPECT_EQ(ReadFile(rig.dir.File("runs.txt")), "192.0.2.1\n192.0.2.2\n192.0.2.2\n192.0.2.2\n");
}

TEST(UpdaterTest, ASuccessTheFileDidNotTakeIsNotSentAgainAtEveryCycle) {
    // The settings file refused the result (its entry was moved by a Save, or it is read-only).
    TempDir dir;
    UpdateRun run;
    run.addresses.wan = "192.0.2.1";
    run.workDir = dir.Path();
    UpdateMemory memory;
    ManualClock clock{kStart};
    RecordingHost host;
    const std::vector<DynamicDnsEntry> entries{CountingCommand()};
    auto cycle = [&] {
        return UpdateDynamicDns(
            entries, run, memory, clock, host,
            [](size_t, const DynamicDnsEntry&, const std::string&, const std::string&) {});
    };
    EXPECT_EQ(cycle(), std::vector<EntryOutcome>{EntryOutcome::kUpdated});
    clock.Advance(600);
    EXPECT_EQ(cycle(), std::vector<EntryOutcome>{EntryOutcome::kNotDue});
    clock.Advance(25 * kDay);
    EXPECT_EQ(cycle(), std::vector<EntryOutcome>{EntryOutcome::kUpdated});
}

TEST(UpdaterTest, FamilyChoosesTheAddressesAndTheLastResultDecides) {
    DynamicDnsEntry both = CountingCommand();
    both.Family = kDdnsFamilyBoth;
    DynamicDnsEntry six = CountingCommand();
    six.Family = kDdnsFamily6;
    DynamicDnsEntry stored = CountingCommand();
    stored.LastAddress = "192.0.2.1";
    stored.LastUpdate = UtcStamp(ManualClock(), kStart - kDay);
    DynamicDnsEntry broken = CountingCommand();
    broken.Protocol = "dyndns3";
    UpdaterRig rig({both, six, stored, broken});
    using O = EntryOutcome;
    EXPECT_EQ(rig.Cycle(), (std::vector<O>{O::kUpdated, O::kNoAddress, O::kNotDue, O::kInvalid}));
    EXPECT_EQ(rig.Entry(0).LastAddress, "192.0.2.1");
    const auto statuses = rig.Statuses();
    EXPECT_EQ(statuses[3],
              "Dynamic DNS name home.example.test not updated: it publishes IPv6 addresses "
              "only, and IPv6 is off (EnableIPv6=0).");
    EXPECT_EQ(statuses.back(),
              "Dynamic DNS name home.example.test not updated: Protocol4 \"dyndns3\" is not "
              "dyndns2, url, rfc2136 or command.");

    rig.run.ipv6Enabled = true;
    EXPECT_EQ(rig.Cycle(), (std::vector<O>{O::kNotDue, O::kNoAddress, O::kNotDue, O::kInvalid}));
    EXPECT_EQ(rig.Statuses()[0],
              "Dynamic DNS name home.example.test not updated: no WAN IPv6 address is known.");
    rig.run.addresses.wan6 = "2001:db8::1";
    EXPECT_EQ(rig.Cycle(), (std::vector<O>{O::kUpdated, O::kUpdated, O::kNotDue, O::kInvalid}));
    EXPECT_EQ(rig.Entry(0).LastAddress, "192.0.2.1 2001:db8::1");
    EXPECT_EQ(rig.Entry(1).LastAddress, "2001:db8::1");

    // Unreadable or far-future stamps never hold an entry back.
    for (const char* stamp :
         {"", "2026-11-29 10:00:00", "2026-13-01T00:00:00Z", "2099-01-01T00:00:00Z"}) {
        EXPECT_TRUE(UpdateDue("192.0.2.1", "192.0.2.1", stamp, kStart, false)) << stamp;
    }
}

TEST(UpdaterTest, SuffixPublishesAnotherMachineOfTheSameSlash64) {
    DynamicDnsEntry mac = CountingCommand();
    mac.Family = kDdnsFamily6;
    mac.Suffix = "00:11:22:aa:bb:cc";
    mac.Command = "echo \"$ORVEX_WAN_IP6\" >> sent6.txt";
    DynamicDnsEntry id = mac;
    id.Suffix = "::1234";
    id.Hosts = "nas.example.test";
    DynamicDnsEntry bad = mac;
    bad.Suffix = "nas";
    UpdaterRig rig({mac, id, bad});
    rig.run.ipv6Enabled = true;
    rig.run.addresses.wan6 = "2001:db8:1:2:9999::1";  // a privacy address
    rig.run.addresses.lan6 = "2001:db8:1:2::5";       // the stable one
    using O = EntryOutcome;
    EXPECT_EQ(rig.Cycle(), (std::vector<O>{O::kUpdated, O::kUpdated, O::kInvalid}));
    EXPECT_EQ(rig.Entry(0).LastAddress, "2001:db8:1:2:211:22ff:feaa:bbcc");
    EXPECT_EQ(rig.Entry(1).LastAddress, "2001:db8:1:2::1234");
    EXPECT_EQ(ReadFile(rig.dir.File("sent6.txt")),
              "2001:db8:1:2:211:22ff:feaa:bbcc\n2001:db8:1:2::1234\n");
    EXPECT_EQ(rig.Statuses().back().find("Suffix3 \"nas\" is neither"),
              std::string("Dynamic DNS name home.example.test not updated: ").size())
        << rig.Statuses().back();
}

TEST(UpdaterTest, FailureWaitsFiveMinutesAndARefusalWaitsForNewSettings) {
    UpdateService service({"dnserr", "good", "abuse"});
    ASSERT_TRUE(service.Ready()) << service.Log();
    DynamicDnsEntry e;
    e.Server = service.Base();
    e.Hosts = "home.example.test";
    e.User = "joe";
    e.Password = "secret";
    UpdaterRig rig({e});
    using O = EntryOutcome;

    EXPECT_EQ(rig.Cycle(), std::vector<O>{O::kFailed});
    EXPECT_EQ(rig.Statuses().back(),
              "Dynamic DNS name home.example.test not updated: the provider's name servers "
              "failed; tried again at a cycle 5 minutes from now or later.");
    rig.clock.Advance(299);
    rig.run.manualRefresh = true;  // not even a refresh asks again this soon
    EXPECT_EQ(rig.Cycle(), std::vector<O>{O::kHeld});
    rig.run.manualRefresh = false;
    rig.clock.Advance(1);
    EXPECT_EQ(rig.Cycle(), std::vector<O>{O::kUpdated});
    EXPECT_EQ(rig.Statuses()[1], "good 192.0.2.1 (the name now points at this address)");

    rig.run.addresses.wan = "192.0.2.2";
    EXPECT_EQ(rig.Cycle(), std::vector<O>{O::kFailed});
    EXPECT_EQ(rig.Statuses().back(),
              "Dynamic DNS name home.example.test not updated: the provider blocked the host "
              "name for abuse; no more tries until the entry's settings change.");
    rig.clock.Advance(30 * kDay);
    EXPECT_EQ(rig.Cycle(), std::vector<O>{O::kStopped});
    EXPECT_EQ(service.Requests().size(), 3u);

    rig.Entry(0).Password = "new secret";
    EXPECT_EQ(rig.Cycle(), std::vector<O>{O::kFailed}) << "edited settings are tried at once";
    EXPECT_EQ(service.Requests().size(), 4u);
}

TEST(UpdaterTest, NothingToChangeIsAlreadyCurrentAndARefusedLogonStops) {
    UpdateService current({"nochg"});
    UpdateService refusing({"!no such token"}, 0, 403);
    ASSERT_TRUE(current.Ready() && refusing.Ready()) << current.Log() << refusing.Log();
    DynamicDnsEntry dyn;
    dyn.Server = current.Base();
    dyn.Hosts = "home.example.test";
    DynamicDnsEntry url;
    url.Protocol = kDdnsUrl;
    url.Hosts = "url.example.test";
    url.URL = refusing.Base() + "/update?token=%P";
    UpdaterRig rig({dyn, url});
    using O = EntryOutcome;
    EXPECT_EQ(rig.Cycle(), (std::vector<O>{O::kCurrent, O::kFailed}));
    const auto statuses = rig.Statuses();
    EXPECT_NE(std::find(statuses.begin(), statuses.end(),
                        "Dynamic DNS name home.example.test already current: 192.0.2.1."),
              statuses.end());
    EXPECT_TRUE(statuses.back().ends_with(
        "answered with an error: 403 Forbidden; no more tries until the entry's settings "
        "change."))
        << statuses.back();
    rig.clock.Advance(kDay);
    rig.run.manualRefresh = true;
    EXPECT_EQ(rig.Cycle(), (std::vector<O>{O::kCurrent, O::kStopped}));
    EXPECT_EQ(refusing.Requests().size(), 1u);
}

TEST(UpdaterTest, AProviderAskingToSlowDownIsAskedAgainNoSoonerThanItSays) {
    UpdateService busy({"!slow down"}, 0, 429, {"Retry-After: 900"});
    ASSERT_TRUE(busy.Ready()) << busy.Log();
    DynamicDnsEntry e;
    e.Server = busy.Base();
    e.Hosts = "home.example.test";
    e.User = "joe";
    e.Password = "secret";
    UpdaterRig rig({e});
    using O = EntryOutcome;
    EXPECT_EQ(rig.Cycle(), std::vector<O>{O::kFailed});
    EXPECT_TRUE(rig.Statuses().back().ends_with(
        "429 Too Many Requests; the provider asked to wait 900 s: tried again at a cycle after "
        "that."))
        << rig.Statuses().back();
    rig.clock.Advance(600);
    EXPECT_EQ(rig.Cycle(), std::vector<O>{O::kHeld});
    EXPECT_EQ(rig.Statuses().back(),
              "Dynamic DNS name home.example.test not updated: the provider asked to wait until " +
                  UtcStamp(rig.clock, kStart + 900) + ".");
    rig.clock.Advance(300);
    EXPECT_EQ(rig.Cycle(), std::vector<O>{O::kFailed});
    EXPECT_EQ(busy.Requests().size(), 2u);
}

TEST(UpdaterTest, HostileAddressTextNeverRunsAnything) {
    TempDir victim;
    const std::string hostile = "$(touch " + victim.File("a") + ");`touch " + victim.File("b") +
                                "`|touch " + victim.File("c") + "&x=1#";
    UpdateService service({"!OK"});
    ASSERT_TRUE(service.Ready()) << service.Log();
    DynamicDnsEntry dyn;
    dyn.Server = service.Base();
    dyn.Hosts = "home.example.test";
    DynamicDnsEntry url;
    url.Protocol = kDdnsUrl;
    url.URL = service.Base() + "/u/%WI?ip=%WI";
    DynamicDnsEntry command;
    command.Protocol = kDdnsCommand;
    command.Command = "printf '%s\\n' \"$ORVEX_WAN_IP\" \"$ORVEX_HOSTS\" > got.txt";
    command.Hosts = hostile;
    UpdaterRig rig({dyn, url, command});
    rig.run.addresses.wan = hostile;
    rig.Cycle();

    EXPECT_EQ(ReadFile(rig.dir.File("got.txt")), hostile + "\n" + hostile + "\n");
    const auto requests = service.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].query.find_first_of("$`|&#; "), requests[0].query.find('&'))
        << "only the separator of the two parameters is left: " << requests[0].query;
    EXPECT_EQ(requests[1].path.find_first_of("$`|&#;? "), std::string::npos) << requests[1].path;
    EXPECT_EQ(requests[1].query.find_first_of("$`|&#; "), std::string::npos) << requests[1].query;
    for (const char* name : {"a", "b", "c"}) {
        EXPECT_FALSE(FileExists(victim.File(name))) << name;
    }
}

}  // namespace
}  // namespace orvex::ddns
