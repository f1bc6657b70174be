// Dynamic DNS inside a whole online cycle: after the mail and before the upload, a failed
// entry reported and left for later while the others and the upload go on, the last result
// kept in the settings file.

#include <gtest/gtest.h>

#include "../ddns/DdnsTestSupport.h"
#include "FaultSupport.h"
#include "ScriptedPeer.h"
#include "settings/DynamicDnsSettings.h"
#include "settings/SettingsFile.h"

namespace orvex::test {
namespace {

size_t IndexOf(const std::vector<std::string>& statuses, const std::string& prefix) {
    for (size_t i = 0; i < statuses.size(); ++i) {
        if (statuses[i].rfind(prefix, 0) == 0) {
            return i;
        }
    }
    return statuses.size();
}

TEST(DynamicDnsCycleTest, NamesAreUpdatedBetweenMailAndUploadAndAFailureStopsNothing) {
    HealthyServers servers;
    ASSERT_TRUE(servers.Ready()) << servers.ftp.Log() << servers.echo.Log();
    TempDir mailDir;
    ServerProcess smtp(kPython, {PeerScript("smtp_server.py"), mailDir.Path()});
    ASSERT_TRUE(smtp.Ready()) << smtp.Log();
    UpdateService service({"good"});
    ASSERT_TRUE(service.Ready()) << service.Log();
    ScriptedPeer closed;  // a port nobody listens on once stopped
    const int deadPort = closed.Port();
    closed.Stop();

    CycleRig rig(servers, "index.html");
    WriteFile(rig.Work().File("mail.txt"), "Now at %WI");
    DynamicDnsEntry down;
    down.Protocol = kDdnsUrl;
    down.Hosts = "down.example.test";
    down.URL = "http://127.0.0.1:" + std::to_string(deadPort) + "/update?ip=%WI";
    DynamicDnsEntry up;
    up.Server = service.Base();
    up.Hosts = "home.example.test";
    up.User = "joe";
    up.Password = "secret";
    const std::vector<DynamicDnsEntry> entries{down, up};
    ASSERT_TRUE(WriteDynamicDnsEntries(rig.State().Ini(), PasswordKey(), entries));
    rig.Edit([&](AppSettings& s) {
        s.EnableMail = 1;
        s.EmailServer = "127.0.0.1";
        s.EmailPort = smtp.Port();
        s.EmailFrom = "orvex@home.test";
        s.EmailTo = "me@home.test";
        s.EmailInput = "mail.txt";
        s.DynamicDns = entries;
    });

    CycleOutcome first = rig.RunOnline();
    EXPECT_EQ(first.result, 1) << first.Describe();
    EXPECT_EQ(rig.Published(), "<p>Home is Online at 127.0.0.1 (LAN 10.1.2.3)</p>");
    const auto& s = first.statuses;
    const size_t mailSent = IndexOf(s, "P10008 Successfully sent email.");
    const size_t downTried = IndexOf(s, "Updating dynamic DNS name down.example.test...");
    const size_t downFailed = IndexOf(s, "Dynamic DNS name down.example.test not updated: ");
    const size_t upTried = IndexOf(s, "Updating dynamic DNS name home.example.test...");
    const size_t upAnswer = IndexOf(s, "good 127.0.0.1 (the name now points at this address)");
    const size_t upDone = IndexOf(s, "Dynamic DNS name home.example.test updated: 127.0.0.1.");
    const size_t upload = IndexOf(s, "P10004 Attempting to connect to FTP Server...");
    EXPECT_TRUE(mailSent < downTried && downTried < downFailed && downFailed < upTried &&
                upTried < upAnswer && upAnswer < upDone && upDone < upload)
        << first.Describe();
    EXPECT_NE(s[downFailed].find("; tried again at a cycle 5 minutes from now or later."),
              std::string::npos)
        << s[downFailed];

    auto stored = ReadDynamicDnsEntries(rig.State().Ini(), PasswordKey());
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0].LastAddress, "");
    EXPECT_EQ(stored[1].LastAddress, "127.0.0.1");
    EXPECT_EQ(rig.State().Settings().DynamicDns[1].LastAddress, "127.0.0.1");
    ASSERT_EQ(service.Requests().size(), 1u);
    EXPECT_EQ(service.Requests()[0].query, "hostname=home.example.test&myip=127.0.0.1");

    // The same address a minute later: the updated name is left alone, the failed one waits.
    CycleOutcome second = rig.RunOnline();
    EXPECT_EQ(second.result, 1) << second.Describe();
    EXPECT_EQ(service.Requests().size(), 1u);
    EXPECT_FALSE(second.HasStatusStarting("Updating dynamic DNS")) << second.Describe();
    EXPECT_TRUE(
        second.HasStatus("Dynamic DNS name down.example.test not updated: the last try "
                         "failed less than 5 minutes ago."))
        << second.Describe();
}

}  // namespace
}  // namespace orvex::test
