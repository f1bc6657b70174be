// Whole online cycles whose WAN lookup meets an echo page that fails: it closes, falls silent,
// answers garbage, sends a line or a body without end, or more than is ever read. A failed
// lookup is no failed cycle: the address becomes "N/A", the page says so, and the next lookup
// against a real echo page finds the address again.

#include <future>
#include <memory>

#include <gtest/gtest.h>

#include "FaultSupport.h"
#include "ScriptedPeer.h"

namespace orvex::test {
namespace {

// A whole lookup is bounded by 5 s however short Timeout is.
constexpr double kLookupBound = 3 * 5;

struct LookupFault {
    std::string name;
    std::function<void(ScriptedPeer& page)> script;  // after the request was read
    std::string address;                             // what the lookup must make of it
};

void Endless(ScriptedPeer& p) {
    p.Do([](int fd) { SendEndlessLine(fd, 8000); }).Hold();
}

struct CaseResult {
    CycleOutcome fault;
    std::string faultAddress;
    std::string faultPage;
    std::string storedAfterFault;
    CycleOutcome next;
    std::string nextAddress;
    std::string nextPage;
};

CaseResult RunCase(const HealthyServers& servers, const LookupFault& fault, int index) {
    CycleRig rig(servers, "lookup" + std::to_string(index) + ".html");
    CaseResult r;
    {
        ScriptedPeer page;
        page.Accept().ReadUntil("\r\n\r\n");
        fault.script(page);
        page.Start();
        rig.PointLookupAt("http://127.0.0.1:" + std::to_string(page.Port()) + "/ip");
        r.fault = rig.RunOnline();
        r.faultAddress = rig.State().Addresses.CurrentWANIP();
        r.faultPage = rig.Published();
        r.storedAfterFault = rig.State().Ini().GetString("IPAddress", "LastWANIP", "");
        page.Stop();
    }
    rig.Heal();
    r.next = rig.RunOnline();
    r.nextAddress = rig.State().Addresses.CurrentWANIP();
    r.nextPage = rig.Published();
    return r;
}

TEST(LookupPeerFaults, EveryFaultGivesNotAvailableInBoundedTimeAndTheNextLookupWorks) {
    HealthyServers servers;
    ASSERT_TRUE(servers.Ready()) << servers.ftp.Log() << servers.echo.Log();
    const std::string head = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n";
    const std::vector<LookupFault> faults = {
        {"closes without an answer", [](ScriptedPeer& p) { p.Close(); }, "N/A"},
        {"silent", [](ScriptedPeer& p) { p.Hold(); }, "N/A"},
        {"no HTTP, though the delimiters are there",
         [](ScriptedPeer& p) { p.Send("REMOTE_ADDR: 6.6.6.6<br>\r\n").Close(); }, "N/A"},
        {"endless status line", [](ScriptedPeer& p) { Endless(p); }, "N/A"},
        {"endless header line",
         [&](ScriptedPeer& p) {
             p.Send(head + "X-Filler: ");
             Endless(p);
         },
         "N/A"},
        {"closes in the middle of the body",
         [&](ScriptedPeer& p) {
             p.Send(head + "Content-Length: 200\r\n\r\nREMOTE_ADDR: 6.6").Close();
         },
         "N/A"},
        {"address beyond the most that is read",
         [&](ScriptedPeer& p) {
             p.Send(head + "\r\n" + std::string(70 * 1024, 'z') + "REMOTE_ADDR: 6.6.6.6<br>")
                 .Close();
         },
         "N/A"},
        // A body still coming at the bound counts as read up to there.
        {"endless body after the address",
         [&](ScriptedPeer& p) {
             p.Send(head + "\r\nREMOTE_ADDR: 6.6.6.6<br>");
             Endless(p);
         },
         "6.6.6.6"},
    };
    std::vector<std::future<CaseResult>> running;
    for (size_t i = 0; i < faults.size(); ++i) {
        running.push_back(std::async(std::launch::async, [&, i] {
            return RunCase(servers, faults[i], static_cast<int>(i));
        }));
    }
    for (size_t i = 0; i < faults.size(); ++i) {
        const CaseResult r = running[i].get();
        SCOPED_TRACE(faults[i].name);
        EXPECT_EQ(r.fault.result, 1) << r.fault.Describe();
        EXPECT_LT(r.fault.seconds, kLookupBound) << r.fault.Describe();
        EXPECT_EQ(r.faultAddress, faults[i].address);
        EXPECT_EQ(r.storedAfterFault, faults[i].address);
        EXPECT_EQ(r.faultPage, "<p>Home is Online at " + faults[i].address + " (LAN 10.1.2.3)</p>");
        EXPECT_EQ(r.fault.LastStatus(), "P10005 System Online:   ");

        EXPECT_EQ(r.next.result, 1) << r.next.Describe();
        EXPECT_EQ(r.nextAddress, "127.0.0.1");
        EXPECT_EQ(r.nextPage, "<p>Home is Online at 127.0.0.1 (LAN 10.1.2.3)</p>");
    }
}

}  // namespace
}  // namespace orvex::test
