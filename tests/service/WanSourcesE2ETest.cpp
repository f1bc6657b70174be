// The built orvexd (and the desktop program, when built) with the WAN address sources against
// their emulators on 127.0.0.1: the page published, the log and the output tell where the
// address came from and whether the line can be reached.

#include <gtest/gtest.h>

#include "ServerProcess.h"
#include "ServiceRun.h"
#include "TempDir.h"
#include "UploadSettings.h"
#include "platform/Profile.h"
#include "settings/SettingsFile.h"

#ifdef ORVEX_BINARY
#include "ProgramRun.h"
#endif

namespace orvex::test {
namespace {

struct SourceCase {
    const char* name;
    const char* sources;
    const char* script;  // the emulator of the source asked
    std::vector<std::string> args;
    const char* page;      // the page published from "%WI|%NAT|%NVIA"
    const char* sentence;  // in the log and the output; "" for none
};

const SourceCase kCases[] = {
    {"SharedRouterAddressPublishesTheWebAddress",
     "upnp web",
     "upnp_gateway.py",
     {"--address", "100.64.1.2"},
     "<p>203.0.113.7|carrier-grade NAT|web</p>",
     "The router's WAN address 100.64.1.2 is shared: this line is behind carrier-grade NAT, so "
     "203.0.113.7 cannot be reached from outside; IPv6 or a tunnel can."},
    {"NatPmpRouter",
     "natpmp",
     "natpmp_gateway.py",
     {"--address", "203.0.113.9"},
     "<p>203.0.113.9|none|natpmp</p>",
     ""},
    {"DnsEcho",
     "dns",
     "dns_echo.py",
     {"--address", "198.51.100.20"},
     "<p>198.51.100.20|unknown|dns</p>",
     ""},
};

class WanSourcesE2ETest : public ::testing::TestWithParam<SourceCase> {};

TEST_P(WanSourcesE2ETest, PageShowsTheSourcesAddressAndTheLine) {
    const SourceCase& c = GetParam();
    TempDir work, runtime, ftpRoot;
    ServerProcess ftp(kPython, {PeerScript("ftp_server.py"), "--root", ftpRoot.Path(), "--user",
                                "tester", "--password", "secret", "--quiet"});
    ServerProcess echo(kPython, {PeerScript("echo_page.py"), "--body", "203.0.113.7"});
    std::vector<std::string> args = c.args;
    args.insert(args.begin(), PeerScript(c.script));
    ServerProcess source(kPython, args);
    ASSERT_TRUE(ftp.Ready() && echo.Ready() && source.Ready());

    const std::string peer = "127.0.0.1:" + std::to_string(source.Port());
    // One start-up folder per front end, set up alike.
    auto configure = [&](const TempDir& dir) {
        WriteFile(dir.File("online.htm"), "<p>%WI|%NAT|%NVIA</p>");
        WriteFile(dir.File("offline.htm"), "<p>off</p>");
        Profile ini(dir.File("Orvex.ini"));
        WriteUploadSettings(ini, ftp.Port(), "secret", LoopbackUrl(echo.Port()));
        const char* P = kSectionPreferences;
        ini.WriteString(kSectionLocal, "RemoteFile",
                        dir.Path() == work.Path() ? "index.html" : "window.html");
        ini.WriteString(P, "IsLogging", "1");
        ini.WriteString(P, "LogFilename", "Orvex.log");
        ini.WriteString(P, "IsUpdateOnStart", "1");
        ini.WriteString(P, "IsUpdateOnShut", "0");
        ini.WriteString(P, "RefreshIntv", "0");
        ini.WriteString(P, "Timeout", "5");
        ini.WriteString(P, "WANIPSources", c.sources);
        ini.WriteString(P, "UPnPURL", "http://" + peer + "/rootDesc.xml");
        ini.WriteString(P, "NATPMPGateway", peer);
        ini.WriteString(P, "DNSLookups", "myip.opendns.com/A/IN@" + peer);
    };
    configure(work);

    const ServiceResult run = RunService(work.Path(), runtime.Path(), {"--once"});
    EXPECT_EQ(run.code, 0) << run.out << run.err;
    EXPECT_EQ(ReadFile(ftpRoot.File("index.html")), c.page) << run.out;
    const std::string log = ReadFile(work.File("Orvex.log"));
    if (c.sentence[0] != '\0') {
        EXPECT_NE(log.find(c.sentence), std::string::npos) << log;
        // orvexd tells it as a line of its own and beside the address of the online line.
        EXPECT_NE(run.out.find(std::string("P ") + c.sentence + "\n"), std::string::npos)
            << run.out;
        EXPECT_NE(run.out.find(std::string(", WAN IP: 203.0.113.7 (") + c.sentence + ")\n"),
                  std::string::npos)
            << run.out;
    } else {
        EXPECT_EQ(log.find("The router's WAN address"), std::string::npos) << log;
    }

#ifdef ORVEX_BINARY
    // The window publishes the same page and logs the same sentence.
    TempDir desktopDir;
    configure(desktopDir);
    {
        ProgramRun desktop(desktopDir.Path(), runtime.Path());
        ASSERT_TRUE(WaitUntil(60000, [&] {
            return ReadFile(desktopDir.File("Orvex.log")).find("System Online:") !=
                   std::string::npos;
        })) << ReadFile(desktopDir.File("Orvex.log"));
    }
    EXPECT_EQ(ReadFile(ftpRoot.File("window.html")), c.page);
    const std::string windowLog = ReadFile(desktopDir.File("Orvex.log"));
    const bool told = c.sentence[0] != '\0';
    EXPECT_EQ(windowLog.find(told ? c.sentence : "The router's WAN address") != std::string::npos,
              told)
        << windowLog;
#endif
}

INSTANTIATE_TEST_SUITE_P(Sources, WanSourcesE2ETest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<SourceCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace orvex::test
