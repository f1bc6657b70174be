// Whole online cycles against an FTP server that fails in every way a peer can: it closes,
// falls silent, talks garbage, sends a line without end or a reply without end, at the
// greeting, during the logon and around the data connection. Each cycle must end in the
// reported failure within its bound, and the next cycle against a real server must publish.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <future>
#include <memory>

#include <gtest/gtest.h>

#include "FaultSupport.h"
#include "ScriptedPeer.h"

namespace orvex::test {
namespace {

const char* const kHealthyPage = "<p>Home is Online at 127.0.0.1 (LAN 10.1.2.3)</p>";

// A connection that fails or stalls costs at most the link's idle limit (60 s, whatever the
// shorter Timeout says); anything quick must stay well away from it.
constexpr double kQuickBound = 20;
constexpr double kIdleLimit = 60;
constexpr double kSilentBound = 1.5 * kIdleLimit;

struct FtpFault {
    std::string name;
    // Scripts the control peer and the data peer (the one a PASV reply names).
    std::function<void(ScriptedPeer& control, ScriptedPeer& data)> script;
    // The host message the failed cycle ends with: the server's last line, or "" when the
    // failure was local (shown as a connection failure).
    std::string status;
    int passive = 1;
    // What the plain words after it say about the server (checked when given).
    std::string words = "";
};

ScriptedPeer& Greet(ScriptedPeer& p) {
    return p.SendLine("220 fault peer ready");
}
ScriptedPeer& UserSent(ScriptedPeer& p) {
    return Greet(p).Expect("USER tester");
}
ScriptedPeer& LoggedOn(ScriptedPeer& p) {
    return UserSent(p)
        .SendLine("331 password please")
        .Expect("PASS secret")
        .SendLine("230 logged on")
        .Expect("TYPE A")
        .SendLine("200 ascii")
        .Expect("REST 0")
        .SendLine("350 restarting at 0")
        .Expect("TYPE I")
        .SendLine("200 binary");
}
std::string PasvReply(uint16_t port) {
    return "227 Entering Passive Mode (127,0,0,1," + std::to_string(port / 256) + "," +
           std::to_string(port % 256) + ")";
}
// Logged on, PASV answered with `dataPort`, STOR read.
ScriptedPeer& StoreSent(ScriptedPeer& p, uint16_t dataPort) {
    return LoggedOn(p).Expect("PASV").SendLine(PasvReply(dataPort)).ExpectPrefix("STOR ");
}
// The data peer takes the upload.
void TakeUpload(ScriptedPeer& data) {
    data.ReadToEnd();
}
void Endless(ScriptedPeer& p) {
    p.Do([](int fd) { SendEndlessLine(fd, 5000); }).Hold();
}
void Oversized(ScriptedPeer& p, const std::string& code) {
    p.Send(OversizedMultiLineReply(code, 1100 * 1024)).Hold();
}

// A loopback port nothing listens on.
uint16_t UnusedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

struct CaseResult {
    CycleOutcome fault;
    CycleOutcome next;
    std::string published;
    int busyAfterFault = -1;
    bool onlineTxtKept = false;
};

// The fault cycle, then a cycle against the healthy servers, in one work directory.
CaseResult RunCase(const HealthyServers& servers, const FtpFault& fault, int index) {
    CycleRig rig(servers, "page" + std::to_string(index) + ".html");
    CaseResult r;
    {
        ScriptedPeer control;
        ScriptedPeer data;
        fault.script(control, data);
        control.Start();
        data.Start();
        rig.PointFtpAt(control.Port());
        rig.Edit([&](AppSettings& s) { s.ProxyPassive = fault.passive; });
        r.fault = rig.RunOnline();
        r.busyAfterFault = rig.State().Flags.CycleBusy;
        r.onlineTxtKept = FileExists(rig.Work().File("Online.txt"));
        control.Stop();
        data.Stop();
    }
    rig.Heal();
    rig.Edit([](AppSettings& s) { s.ProxyPassive = 1; });
    r.next = rig.RunOnline();
    r.published = rig.Published();
    return r;
}

void Check(const FtpFault& fault, const CaseResult& r, double bound) {
    SCOPED_TRACE(fault.name);
    EXPECT_EQ(r.fault.result, -1) << r.fault.Describe();
    EXPECT_EQ(r.fault.FailureStatus(), fault.status) << r.fault.Describe();
    // The plain words name the server and port called.
    EXPECT_EQ(r.fault.LastStatus().rfind("P ", 0), 0u) << r.fault.Describe();
    EXPECT_NE(r.fault.LastStatus().find("127.0.0.1:"), std::string::npos) << r.fault.Describe();
    EXPECT_NE(r.fault.LastStatus().find(fault.words), std::string::npos) << r.fault.Describe();
    ASSERT_FALSE(r.fault.cycleCodes.empty());
    EXPECT_EQ(r.fault.cycleCodes.back(), 201) << "the Refresh button stays off";
    EXPECT_TRUE(r.fault.boxes.empty()) << "errors are suppressed";
    EXPECT_LT(r.fault.seconds, bound) << r.fault.Describe();
    EXPECT_EQ(r.busyAfterFault, 0);
    EXPECT_TRUE(r.onlineTxtKept) << "the failed page stays for a look";

    EXPECT_EQ(r.next.result, 1) << r.next.Describe();
    EXPECT_EQ(r.next.LastStatus(), "P10005 System Online:   ") << r.next.Describe();
    EXPECT_EQ(r.published, kHealthyPage);
}

class FtpPeerFaults : public ::testing::Test {
protected:
    static void SetUpTestSuite() { servers = std::make_unique<HealthyServers>(); }
    static void TearDownTestSuite() { servers.reset(); }
    void SetUp() override {
        ASSERT_TRUE(servers->Ready()) << servers->ftp.Log() << servers->echo.Log();
    }
    void RunAll(const std::vector<FtpFault>& faults) {
        for (size_t i = 0; i < faults.size(); ++i) {
            Check(faults[i], RunCase(*servers, faults[i], static_cast<int>(i)), kQuickBound);
        }
    }
    static std::unique_ptr<HealthyServers> servers;
};
std::unique_ptr<HealthyServers> FtpPeerFaults::servers;

TEST_F(FtpPeerFaults, AtTheGreeting) {
    RunAll({
        {"closes", [](ScriptedPeer& c, ScriptedPeer&) { c.Close(); }, "", 1,
         " closed the connection"},
        {"garbage",
         [](ScriptedPeer& c, ScriptedPeer&) { c.SendLine("hello? this is no FTP").Hold(); },
         "hello? this is no FTP", 1, " failed: unexpected reply \"hello? this is no FTP\""},
        // The whole line goes to the host, its control characters (NUL included) as blanks:
        // no server can forge log lines.
        {"binary garbage",
         [](ScriptedPeer& c, ScriptedPeer&) {
             c.Send(std::string("\x16\x03\x01\0\xff\r\n", 7)).Hold();
         },
         std::string("    \xff", 5)},
        {"endless line", [](ScriptedPeer& c, ScriptedPeer&) { Endless(c.Accept()); }, "", 1,
         " failed: reply line too long"},
        {"oversized reply", [](ScriptedPeer& c, ScriptedPeer&) { Oversized(c, "220"); }, ""},
    });
}

TEST_F(FtpPeerFaults, DuringTheLogon) {
    RunAll({
        {"closes after USER", [](ScriptedPeer& c, ScriptedPeer&) { UserSent(c).Close(); }, ""},
        {"garbage after USER",
         [](ScriptedPeer& c, ScriptedPeer&) {
             UserSent(c).SendLine("HTTP/1.1 400 Bad Request").Hold();
         },
         "HTTP/1.1 400 Bad Request"},
        {"endless line after USER", [](ScriptedPeer& c, ScriptedPeer&) { Endless(UserSent(c)); },
         ""},
        {"oversized reply after USER",
         [](ScriptedPeer& c, ScriptedPeer&) { Oversized(UserSent(c), "331"); }, ""},
        {"closes after PASS",
         [](ScriptedPeer& c, ScriptedPeer&) {
             UserSent(c).SendLine("331 password please").Expect("PASS secret").Close();
         },
         ""},
        {"endless line after PASS",
         [](ScriptedPeer& c, ScriptedPeer&) {
             Endless(UserSent(c).SendLine("331 password please").Expect("PASS secret"));
         },
         ""},
    });
}

TEST_F(FtpPeerFaults, AroundTheDataConnection) {
    RunAll({
        {"passive reply without an address",
         [](ScriptedPeer& c, ScriptedPeer&) {
             LoggedOn(c).Expect("PASV").SendLine("227 Entering Passive Mode").Hold();
         },
         "227 Entering Passive Mode"},
        {"closes instead of the passive reply",
         [](ScriptedPeer& c, ScriptedPeer&) { LoggedOn(c).Expect("PASV").Close(); }, ""},
        {"endless passive reply",
         [](ScriptedPeer& c, ScriptedPeer&) { Endless(LoggedOn(c).Expect("PASV")); }, ""},
        {"passive address nobody listens on: the server's own reply is shown",
         [](ScriptedPeer& c, ScriptedPeer&) {
             StoreSent(c, UnusedPort())
                 .SendLine("150 go ahead")
                 .SendLine("425 Cannot open data connection.")
                 .Hold();
         },
         "425 Cannot open data connection.", 1,
         " refused the upload of page3.html: 425 Cannot open data connection."},
        {"data connection closed at once, transfer aborted",
         [](ScriptedPeer& c, ScriptedPeer& d) {
             d.Accept().Close();
             StoreSent(c, d.Port())
                 .SendLine("150 go ahead")
                 .Pause(100)
                 .SendLine("426 Connection closed; transfer aborted.")
                 .Hold();
         },
         "426 Connection closed; transfer aborted."},
        {"control closes during the upload",
         [](ScriptedPeer& c, ScriptedPeer& d) {
             TakeUpload(d);
             StoreSent(c, d.Port()).SendLine("150 go ahead").Close();
         },
         ""},
        {"garbage final reply",
         [](ScriptedPeer& c, ScriptedPeer& d) {
             TakeUpload(d);
             StoreSent(c, d.Port())
                 .SendLine("150 go ahead")
                 .SendLine("all went fine, trust me")
                 .Hold();
         },
         "all went fine, trust me"},
        {"endless final reply",
         [](ScriptedPeer& c, ScriptedPeer& d) {
             TakeUpload(d);
             Endless(StoreSent(c, d.Port()).SendLine("150 go ahead"));
         },
         ""},
        {"oversized final reply",
         [](ScriptedPeer& c, ScriptedPeer& d) {
             TakeUpload(d);
             Oversized(StoreSent(c, d.Port()).SendLine("150 go ahead"), "226");
         },
         ""},
    });
}

// A silent server holds a cycle for the link's idle limit, so the silences run side by side,
// each in a work directory of its own.
TEST_F(FtpPeerFaults, SilenceAtAnyStageEndsTheCycleAfterTheIdleLimit) {
    const std::vector<FtpFault> faults = {
        {"silent greeting", [](ScriptedPeer& c, ScriptedPeer&) { c.Hold(); }, "", 1,
         " took the connection but sent no reply within 60 s"},
        // Each byte well within the idle limit, the whole greeting far beyond it.
        {"greeting trickled a byte a second",
         [](ScriptedPeer& c, ScriptedPeer&) {
             c.Trickle("220 " + std::string(120, 'x') + "\r\n", 1000).Hold();
         },
         "", 1, " took the connection but sent no reply within 60 s"},
        // Another service on the FTP port: its banner reads as the start of a multi-line
        // reply ("SSH-"), and then it waits for the client to speak.
        {"banner of another service, then silence",
         [](ScriptedPeer& c, ScriptedPeer&) { c.SendLine("SSH-2.0-OpenSSH_9.2").Hold(); }, ""},
        {"silent after USER", [](ScriptedPeer& c, ScriptedPeer&) { UserSent(c).Hold(); }, ""},
        {"silent after PASV",
         [](ScriptedPeer& c, ScriptedPeer&) { LoggedOn(c).Expect("PASV").Hold(); }, ""},
        {"no final reply after the upload",
         [](ScriptedPeer& c, ScriptedPeer& d) {
             TakeUpload(d);
             StoreSent(c, d.Port()).SendLine("150 go ahead").Hold();
         },
         ""},
        {"active mode: the server never connects",
         [](ScriptedPeer& c, ScriptedPeer&) {
             LoggedOn(c)
                 .ExpectPrefix("PORT 127,0,0,1,")
                 .SendLine("200 PORT ok")
                 .ExpectPrefix("STOR ")
                 .SendLine("150 connecting")
                 .Hold();
         },
         "", 0},
    };
    std::vector<std::future<CaseResult>> running;
    for (size_t i = 0; i < faults.size(); ++i) {
        running.push_back(std::async(std::launch::async, [&, i] {
            return RunCase(*servers, faults[i], 100 + static_cast<int>(i));
        }));
    }
    for (size_t i = 0; i < faults.size(); ++i) {
        const CaseResult r = running[i].get();
        Check(faults[i], r, kSilentBound);
    }
}

}  // namespace
}  // namespace orvex::test
