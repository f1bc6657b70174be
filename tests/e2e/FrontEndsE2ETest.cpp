// The desktop program and orvexd log the same lines for the same cycle: codes, plain words,
// a provider's answers and dynamic DNS results, successes and failures alike.

#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "../ddns/DdnsTestSupport.h"
#include "NameServer.h"
#include "ProgramRun.h"
#include "ServerProcess.h"
#include "ServiceRun.h"
#include "TempDir.h"
#include "UploadSettings.h"
#include "platform/Profile.h"
#include "settings/DynamicDnsSettings.h"
#include "settings/SettingsFile.h"

namespace orvex::test {
namespace {

// The log's lines without their time stamps ("%m/%d/%y %H:%M:%S  ").
std::vector<std::string> LoggedTexts(const std::string& log) {
    std::vector<std::string> texts;
    std::istringstream in(log);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        texts.push_back(line.size() > 19 ? line.substr(19) : line);
    }
    return texts;
}

class FrontEndsE2ETest : public ::testing::Test {
protected:
    FrontEndsE2ETest()
        : ftp(kPython, {PeerScript("ftp_server.py"), "--root", ftpRoot.Path(), "--user", "tester",
                        "--password", "secret", "--quiet"}),
          echo(kPython, {PeerScript("echo_page.py")}),
          smtp(kPython, {PeerScript("smtp_server.py"), mailDir.Path(), "--port", "0"}),
          provider({"good 127.0.0.1"}) {}

    // One start-up folder per front end, set up alike.
    void Configure(const TempDir& work) {
        Profile ini(work.File("Orvex.ini"));
        WriteFile(work.File("online.htm"), "<p>%H is %S at %WI</p>");
        WriteFile(work.File("mail.htm"), "Reach %H at %WI");
        const char* L = kSectionLocal;
        const char* P = kSectionPreferences;
        WriteUploadSettings(ini, ftp.Port(), "secret", LoopbackUrl(echo.Port()));
        ini.WriteString(L, "OfflineFile", "online.htm");
        ini.WriteString(P, "IsLogging", "1");
        ini.WriteString(P, "LogFilename", "Orvex.log");
        ini.WriteString(P, "IsUpdateOnStart", "1");
        ini.WriteString(P, "IsUpdateOnShut", "0");
        ini.WriteString(P, "SuppressError", "1");
        ini.WriteString(P, "RefreshIntv", "0");
        ini.WriteString(P, "Timeout", "5");
        ini.WriteString(P, "EnableMail", "1");
        ini.WriteString(P, "EmailServer", "127.0.0.1");
        ini.WriteString(P, "EmailPort", std::to_string(smtp.Port()));
        ini.WriteString(P, "EmailFrom", "home@orvex.test");
        ini.WriteString(P, "EmailTo", "friend@orvex.test");
        ini.WriteString(P, "EmailSubject", "Where I am");
        ini.WriteString(P, "EmailInput", "mail.htm");
        ASSERT_TRUE(WriteDynamicDnsEntries(ini, PasswordKey(), entries));
    }

    TempDir ftpRoot;
    TempDir mailDir;
    ServerProcess ftp;
    ServerProcess echo;
    ServerProcess smtp;
    UpdateService provider;
    std::vector<DynamicDnsEntry> entries;
};

TEST_F(FrontEndsE2ETest, BothLogTheSameLinesForTheSameCycle) {
    ASSERT_TRUE(ftp.Ready() && echo.Ready() && smtp.Ready() && provider.Ready())
        << ftp.Log() << echo.Log() << smtp.Log() << provider.Log();
    DynamicDnsEntry dyndns2;
    dyndns2.Server = provider.Base();
    dyndns2.Hosts = "home.example.test";
    dyndns2.User = "joe";
    dyndns2.Password = "dyn-secret";
    entries.push_back(dyndns2);
    std::unique_ptr<NameServer> ns;
    if (NameServer::Installed()) {
        // A DNS UPDATE signed with a key the name server does not know is refused.
        ns = std::make_unique<NameServer>();
        ASSERT_TRUE(ns->Ready()) << ns->Log();
        DynamicDnsEntry refused;
        refused.Protocol = kDdnsRfc2136;
        refused.Server = "127.0.0.1:" + std::to_string(ns->Port());
        refused.Zone = ns->Zone();
        refused.Hosts = "home." + ns->Zone();
        refused.TSIGName = "not-the-key";
        refused.TSIGSecret = ns->KeySecret();
        entries.push_back(refused);
    }

    TempDir desktopDir;
    TempDir serviceDir;
    TempDir runtime;
    Configure(desktopDir);
    Configure(serviceDir);
    {
        ProgramRun desktop(desktopDir.Path(), runtime.Path());
        ASSERT_TRUE(WaitFor(60000, [&] {
            return ReadFile(desktopDir.File("Orvex.log")).find("System Online:") !=
                   std::string::npos;
        })) << ReadFile(desktopDir.File("Orvex.log"));
    }
    const ServiceResult service = RunService(serviceDir.Path(), runtime.Path(), {"--once"});
    ASSERT_EQ(service.code, 0) << service.out << service.err;

    const std::vector<std::string> desktopLines =
        LoggedTexts(ReadFile(desktopDir.File("Orvex.log")));
    EXPECT_EQ(desktopLines, LoggedTexts(ReadFile(serviceDir.File("Orvex.log"))));
    const std::string log = ReadFile(desktopDir.File("Orvex.log"));
    std::vector<std::string> expected = {
        "Successfully sent email.", "Updating dynamic DNS name home.example.test...",
        "good 127.0.0.1",           "Dynamic DNS name home.example.test updated: 127.0.0.1.",
        "Successfuly copied file.",
    };
    if (ns) {
        expected.insert(expected.begin() + 4,
                        "Dynamic DNS name home." + ns->Zone() + " not updated: ");
    }
    size_t at = 0;
    for (const std::string& text : expected) {
        at = log.find(text, at);
        ASSERT_NE(at, std::string::npos) << text << "\n" << log;
    }
    EXPECT_EQ(log.find("Unable to resolve hostname"), std::string::npos) << log;
}

}  // namespace
}  // namespace orvex::test
