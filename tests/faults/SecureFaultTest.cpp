// Whole online cycles against FTPS and SFTP servers that fail where plain FTP has no step: in
// the TLS handshake (explicit and implicit) and in the SSH connection. Each cycle must end in
// the reported failure within its bound, and the next plain cycle against a real server must
// publish.

#include <functional>
#include <memory>

#include <gtest/gtest.h>

#include "FaultSupport.h"
#include "ScriptedPeer.h"
#include "settings/SettingsFile.h"

namespace orvex::test {
namespace {

constexpr double kQuickBound = 20;

struct SecureFault {
    std::string name;
    int security;
    std::function<void(ScriptedPeer&)> script;
    // The start of the failure's host message, and what the plain words after it say.
    std::string statusPrefix;
    std::string words = "";
};

ScriptedPeer& AuthAccepted(ScriptedPeer& p) {
    return p.SendLine("220 fault peer ready").Expect("AUTH TLS").SendLine("234 go ahead");
}

class SecurePeerFaults : public ::testing::Test {
protected:
    static void SetUpTestSuite() { servers = std::make_unique<HealthyServers>(); }
    static void TearDownTestSuite() { servers.reset(); }
    void SetUp() override { ASSERT_TRUE(servers->Ready()); }

    void RunAll(const std::vector<SecureFault>& faults) {
        for (size_t i = 0; i < faults.size(); ++i) {
            const SecureFault& fault = faults[i];
            SCOPED_TRACE(fault.name);
            CycleRig rig(*servers, "secure" + std::to_string(i) + ".html");
            CycleOutcome outcome;
            {
                ScriptedPeer peer;
                fault.script(peer);
                peer.Start();
                rig.PointFtpAt(peer.Port());
                rig.Edit([&](AppSettings& s) { s.FTPSecurity = fault.security; });
                outcome = rig.RunOnline();
                EXPECT_EQ(rig.State().Flags.CycleBusy, 0);
                peer.Stop();
            }
            EXPECT_EQ(outcome.result, -1) << outcome.Describe();
            EXPECT_EQ(outcome.FailureStatus().rfind(fault.statusPrefix, 0), 0u)
                << outcome.Describe();
            EXPECT_NE(outcome.LastStatus().find(fault.words), std::string::npos)
                << outcome.Describe();
            EXPECT_EQ(outcome.cycleCodes.back(), 201);
            EXPECT_LT(outcome.seconds, kQuickBound) << outcome.Describe();

            rig.Heal();
            rig.Edit([](AppSettings& s) { s.FTPSecurity = kSecurityFtp; });
            CycleOutcome next = rig.RunOnline();
            EXPECT_EQ(next.result, 1) << next.Describe();
            EXPECT_EQ(next.LastStatus(), "P10005 System Online:   ");
        }
    }
    static std::unique_ptr<HealthyServers> servers;
};
std::unique_ptr<HealthyServers> SecurePeerFaults::servers;

TEST_F(SecurePeerFaults, InTheTlsHandshake) {
    RunAll({
        {"closes after AUTH TLS", kSecurityFtpsExplicit,
         [](ScriptedPeer& p) { AuthAccepted(p).Close(); },
         "P10007 the peer closed the connection during the TLS handshake",
         "P the TLS handshake with 127.0.0.1:"},
        {"answers the handshake in clear text", kSecurityFtpsExplicit,
         [](ScriptedPeer& p) { AuthAccepted(p).SendLine("500 what?").Hold(); },
         "P10007 TLS handshake failed: "},
        {"reads the hello and closes", kSecurityFtpsExplicit,
         [](ScriptedPeer& p) { AuthAccepted(p).Pause(200).Close(); },
         "P10007 the peer closed the connection during the TLS handshake"},
        {"refuses AUTH TLS", kSecurityFtpsExplicit,
         [](ScriptedPeer& p) {
             p.SendLine("220 fault peer ready").Expect("AUTH TLS").SendLine("504 no TLS").Hold();
         },
         "504 no TLS", " refused the logon: 504 no TLS"},
        {"greets in clear on the implicit port", kSecurityFtpsImplicit,
         [](ScriptedPeer& p) { p.SendLine("220 plain server").Hold(); },
         "P10007 TLS handshake failed: "},
        {"closes at once on the implicit port", kSecurityFtpsImplicit,
         [](ScriptedPeer& p) { p.Accept().Close(); },
         "P10007 the peer closed the connection during the TLS handshake"},
    });
}

TEST_F(SecurePeerFaults, InTheSshConnection) {
    RunAll({
        {"closes at once", kSecuritySftp, [](ScriptedPeer& p) { p.Accept().Close(); },
         "P10007 SFTP: ", "P the SFTP upload to 127.0.0.1:"},
        {"speaks no SSH", kSecuritySftp,
         [](ScriptedPeer& p) { p.SendLine("220 this is FTP").Hold(); }, "P10007 SFTP: "},
        {"closes after its banner", kSecuritySftp,
         [](ScriptedPeer& p) { p.SendLine("SSH-2.0-FaultPeer").Pause(200).Close(); },
         "P10007 SFTP: "},
    });
}

}  // namespace
}  // namespace orvex::test
