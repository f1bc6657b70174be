#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "FtpTestSupport.h"
#include "ScriptedPeer.h"
#include "TempDir.h"
#include "ftp/FtpLink.h"

namespace orvex {
namespace {

using test::ScriptedPeer;

TEST(FtpPasvTest, AddressAndPortFromTheReply) {
    std::string host;
    int port = 0;
    ASSERT_TRUE(
        ftp::ParsePasvReply("227 Entering Passive Mode (192,168,1,2,19,137)", &host, &port));
    EXPECT_EQ(host, "192.168.1.2");
    EXPECT_EQ(port, 5001);
    ASSERT_TRUE(ftp::ParsePasvReply("227 =(10,0,0,9,0,21).(x)", &host, &port));
    EXPECT_EQ(host, "10.0.0.9");
    EXPECT_EQ(port, 21);
    EXPECT_FALSE(ftp::ParsePasvReply("227 Entering Passive Mode 192,168,1,2,19,137", &host, &port));
    EXPECT_FALSE(ftp::ParsePasvReply("227 (192,168,1,2,19,137", &host, &port));
    EXPECT_EQ(ftp::PortArgument("10.0.0.5", 5001), "10,0,0,5,19,137");

    // Numbers written with leading zeros or blanks are the same numbers.
    for (const char* reply : {"227 Entering Passive Mode (192,168,001,002,019,137)",
                              "227 Entering Passive Mode ( 192, 168,  1,2 ,19,137 )"}) {
        SCOPED_TRACE(reply);
        ASSERT_TRUE(ftp::ParsePasvReply(reply, &host, &port));
        EXPECT_EQ(host, "192.168.1.2");
        EXPECT_EQ(port, 5001);
    }
    // Anything but six numbers from 0 to 255 leaves no usable port.
    for (const char* reply :
         {"227 (192,168,1,256,19,137)", "227 (192,168,1,2,19,1370)", "227 (192,168,1,2,19)",
          "227 (192,168,1,2,19,137,1)", "227 (192,168,1,-2,19,137)", "227 (192,168,1,2,19,)"}) {
        SCOPED_TRACE(reply);
        ASSERT_TRUE(ftp::ParsePasvReply(reply, &host, &port));
        EXPECT_EQ(port, -1);
    }
}

TEST(FtpPasvTest, ExtendedPassivePortAndActiveArgument) {
    int port = 0;
    ASSERT_TRUE(ftp::ParseEpsvReply("229 Entering Extended Passive Mode (|||6446|)", &port));
    EXPECT_EQ(port, 6446);
    ASSERT_TRUE(ftp::ParseEpsvReply("229 ok (!!!21!)", &port));
    EXPECT_EQ(port, 21);
    for (const char* bad :
         {"229 Entering Extended Passive Mode", "229 (||6446|)", "229 (|||6446)", "229 (|||0|)",
          "229 (|||65536|)", "229 (|||-5|)", "229 (|2|::1|6446|)", "229 (   6446 )", "229 (|||"}) {
        EXPECT_FALSE(ftp::ParseEpsvReply(bad, &port)) << bad;
    }
    EXPECT_EQ(ftp::EprtArgument("::1", 6446), "|2|::1|6446|");
    EXPECT_EQ(ftp::EprtArgument("10.0.0.5", 21), "|1|10.0.0.5|21|");
}

class FtpTransferTest : public ::testing::Test {
protected:
    // Greeting and a one-line logon; the transfer steps follow.
    void LogonSteps(ScriptedPeer& control) {
        control.SendLine("220 hi").Expect("USER joe").SendLine("230 in");
    }
    // Passive set-up steps naming the data peer.
    void PassiveSteps(ScriptedPeer& control, ScriptedPeer& data) {
        control.Expect("TYPE I").SendLine("200 binary");
        control.Expect("PASV").SendComputed(
            [&data] { return test::PasvReplyFor(data.Port()) + "\r\n"; });
    }
    void LogOn(ScriptedPeer& control) {
        FtpLogonParams params;
        params.Host = "127.0.0.1";
        params.Port = control.Port();
        params.User = "joe";
        ASSERT_TRUE(link.Logon(params)) << link.FailureDetail();
    }
    bool SentAny(const ScriptedPeer& peer, const std::string& prefix) {
        auto lines = peer.ReceivedLines();
        return std::any_of(lines.begin(), lines.end(),
                           [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
    }

    test::TempDir dir;
    CFtpLink link{15, dir.Path()};
};

TEST_F(FtpTransferTest, MissingLocalFileSendsNothing) {
    ScriptedPeer control;
    LogonSteps(control);
    control.ReadToEnd();
    control.Start();
    LogOn(control);
    EXPECT_FALSE(link.Transfer("index.html", "missing.txt", 1, 0));
    EXPECT_EQ(link.ReplyText(), "");
    EXPECT_EQ(link.LocalFailure(), FtpLocalFailure::kLocalFile);
    link.CloseControl();
    EXPECT_TRUE(control.Finish()) << control.Report();
    EXPECT_EQ(control.ReceivedLines(), std::vector<std::string>{"USER joe"});
}

TEST_F(FtpTransferTest, PassiveUploadsArriveWhole) {
    // Empty, small sizes, exactly one pass and one byte more; the caller's TYPE A does not
    // stop TYPE I from going out.
    for (size_t size :
         {size_t{0}, size_t{8192}, size_t{10000}, ftp::kDataPassSize, ftp::kDataPassSize + 1}) {
        SCOPED_TRACE(size);
        const std::string content = test::PatternBytes(size);
        test::WriteFile(dir.File("page.txt"), content);
        ScriptedPeer control, data;
        data.Accept().ReadToEnd();
        LogonSteps(control);
        control.Expect("TYPE A").SendLine("200 ascii");
        PassiveSteps(control, data);
        control.Expect("STOR index.html").SendLine("150 go").SendLine("226 done").ReadToEnd();
        control.Start();
        data.Start();
        CFtpLink fresh(15, dir.Path());
        FtpLogonParams params;
        params.Host = "127.0.0.1";
        params.Port = control.Port();
        params.User = "joe";
        ASSERT_TRUE(fresh.Logon(params));
        EXPECT_TRUE(fresh.Command("TYPE A"));
        EXPECT_TRUE(fresh.Transfer("index.html", "page.txt", 1, 0)) << fresh.FailureDetail();
        EXPECT_EQ(fresh.ReplyText(), "226 done");
        fresh.CloseControl();
        EXPECT_TRUE(data.Finish()) << data.Report();
        EXPECT_TRUE(data.Received() == content);
        EXPECT_TRUE(control.Finish()) << control.Report();
    }
}

TEST_F(FtpTransferTest, UploadToASlowReaderArrivesUnchanged) {
    // The socket fills up and takes part of a buffer now and then; the rest is sent again.
    const std::string content = test::PatternBytes(6 * 1024 * 1024 + 123);
    test::WriteFile(dir.File("big.bin"), content);
    ScriptedPeer control, data;
    data.Accept().Pause(300).ReadToEnd();
    LogonSteps(control);
    PassiveSteps(control, data);
    control.Expect("STOR big.bin").SendLine("150 go").SendLine("226 done").ReadToEnd();
    control.Start();
    data.Start();
    LogOn(control);
    EXPECT_TRUE(link.Transfer("big.bin", "big.bin", 1, 0)) << link.FailureDetail();
    link.CloseControl();
    EXPECT_TRUE(data.Finish(30000)) << data.Report();
    EXPECT_EQ(data.Received().size(), content.size());
    EXPECT_TRUE(data.Received() == content);
    EXPECT_TRUE(control.Finish()) << control.Report();
}

TEST_F(FtpTransferTest, PassiveDownloadReplacesTheLocalFile) {
    const std::string content = test::PatternBytes(12345);
    test::WriteFile(dir.File("copy.bin"), std::string(50000, 'z'));
    ScriptedPeer control, data;
    data.Accept().Send(content).Close();
    LogonSteps(control);
    PassiveSteps(control, data);
    control.Expect("RETR site/index.html").SendLine("125 sending").SendLine("226 done");
    control.ReadToEnd();
    control.Start();
    data.Start();
    LogOn(control);
    EXPECT_TRUE(link.Transfer("site/index.html", "copy.bin", 1, 1)) << link.FailureDetail();
    EXPECT_TRUE(test::ReadFile(dir.File("copy.bin")) == content);
    link.CloseControl();
    EXPECT_TRUE(data.Finish()) << data.Report();
    EXPECT_TRUE(control.Finish()) << control.Report();
}

TEST_F(FtpTransferTest, ActiveUploadNamesTheListeningPort) {
    const std::string content = test::PatternBytes(9000);
    test::WriteFile(dir.File("page.txt"), content);
    std::string arrived;
    std::string portLine;
    ScriptedPeer control;
    LogonSteps(control);
    control.Expect("TYPE I").SendLine("200 binary").ReadLine();
    control.Do([&](int fd) {
        portLine = control.ReceivedLines().back();
        ::send(fd, "200 port ok\r\n", 13, MSG_NOSIGNAL);
    });
    control.Expect("STOR index.html").SendLine("150 connecting");
    control.Do([&](int) {
        int dataFd = test::ConnectLoopback(test::PortOfPortLine(portLine));
        timeval limit{10, 0};
        ::setsockopt(dataFd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        char buffer[4096];
        ssize_t n;
        while ((n = ::recv(dataFd, buffer, sizeof buffer, 0)) > 0) {
            arrived.append(buffer, static_cast<size_t>(n));
        }
        ::close(dataFd);
    });
    control.SendLine("226 done").ReadToEnd();
    control.Start();
    LogOn(control);
    EXPECT_TRUE(link.Transfer("index.html", "page.txt", 0, 0)) << link.FailureDetail();
    link.CloseControl();
    EXPECT_TRUE(control.Finish()) << control.Report();
    EXPECT_EQ(portLine.rfind("PORT 127,0,0,1,", 0), 0u) << portLine;
    EXPECT_TRUE(arrived == content);
}

TEST_F(FtpTransferTest, RefusalsKeepTheServersLine) {
    test::WriteFile(dir.File("page.txt"), "hello");
    struct Case {
        const char* pasvReply;  // nullptr: a data peer's address
        const char* storReply;
        const char* finalReply;
        const char* expected;
    };
    const Case cases[] = {
        {"227 Entering Passive Mode 127,0,0,1,4,1", nullptr, nullptr,
         "227 Entering Passive Mode 127,0,0,1,4,1"},
        {nullptr, "550 denied", nullptr, "550 denied"},
        {nullptr, "226 already?", nullptr, "226 already?"},
        {nullptr, "150 go", "426 aborted", "426 aborted"},
        {nullptr, "150 go", "451 local error", "451 local error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        ScriptedPeer control, data;
        data.Accept().ReadToEnd();
        LogonSteps(control);
        control.Expect("TYPE I").SendLine("200 binary").Expect("PASV");
        if (c.pasvReply) {
            control.SendLine(c.pasvReply);
        } else {
            control.SendComputed([&data] { return test::PasvReplyFor(data.Port()) + "\r\n"; });
            control.Expect("STOR index.html").SendLine(c.storReply);
            if (c.finalReply) {
                control.SendLine(c.finalReply);
            }
        }
        control.ReadToEnd();
        control.Start();
        data.Start();
        CFtpLink fresh(15, dir.Path());
        FtpLogonParams params;
        params.Host = "127.0.0.1";
        params.Port = control.Port();
        params.User = "joe";
        ASSERT_TRUE(fresh.Logon(params));
        EXPECT_FALSE(fresh.Transfer("index.html", "page.txt", 1, 0));
        EXPECT_EQ(fresh.ReplyText(), c.expected);
        fresh.CloseControl();
        EXPECT_TRUE(control.Finish()) << control.Report();
        EXPECT_EQ(SentAny(control, "STOR"), c.pasvReply == nullptr);
        data.Stop();
    }
}

// The server hangs up after TYPE I, after PASV, after STOR and after the preliminary reply.
TEST_F(FtpTransferTest, HangUpAtEachStepIsLocalFailure) {
    test::WriteFile(dir.File("page.txt"), test::PatternBytes(5000));
    for (int step = 0; step < 4; ++step) {
        SCOPED_TRACE(step);
        ScriptedPeer control, data;
        data.Accept().ReadToEnd();
        LogonSteps(control);
        control.Expect("TYPE I");
        if (step >= 1) {
            control.SendLine("200 binary").Expect("PASV");
        }
        if (step >= 2) {
            control.SendComputed([&data] { return test::PasvReplyFor(data.Port()) + "\r\n"; });
            control.Expect("STOR index.html");
        }
        if (step >= 3) {
            control.SendLine("150 go");
        }
        control.Close();
        control.Start();
        data.Start();
        CFtpLink fresh(15, dir.Path());
        fresh.SetIdleLimitMs(2000);
        FtpLogonParams params;
        params.Host = "127.0.0.1";
        params.Port = control.Port();
        params.User = "joe";
        ASSERT_TRUE(fresh.Logon(params));
        EXPECT_FALSE(fresh.Transfer("index.html", "page.txt", 1, 0));
        EXPECT_EQ(fresh.ReplyText(), "");
        EXPECT_EQ(fresh.LocalFailure(), FtpLocalFailure::kConnection);
        EXPECT_TRUE(control.Finish()) << control.Report();
        data.Stop();
    }
}

TEST_F(FtpTransferTest, StalledDataConnectionsFailWithinTheIdleLimit) {
    test::WriteFile(dir.File("page.txt"), "x");
    test::SilentListener silent;
    // 0: PASV names a port that never completes the handshake; 1: the data peer accepts and
    // then sends nothing; 2: active mode and the server never connects.
    for (int kind = 0; kind < 3; ++kind) {
        SCOPED_TRACE(kind);
        ScriptedPeer control, data;
        data.Accept().Hold();
        LogonSteps(control);
        control.Expect("TYPE I").SendLine("200 binary");
        if (kind == 0) {
            control.Expect("PASV").SendLine(test::PasvReplyFor(silent.Port()));
        } else if (kind == 1) {
            control.Expect("PASV").SendComputed(
                [&data] { return test::PasvReplyFor(data.Port()) + "\r\n"; });
        } else {
            control.ExpectPrefix("PORT 127,0,0,1,").SendLine("200 ok");
        }
        control.ReadLine().SendLine("150 go").Hold();
        control.Start();
        data.Start();
        CFtpLink fresh(15, dir.Path());
        fresh.SetIdleLimitMs(500);
        FtpLogonParams params;
        params.Host = "127.0.0.1";
        params.Port = control.Port();
        params.User = "joe";
        ASSERT_TRUE(fresh.Logon(params));
        const long long start = test::NowMs();
        EXPECT_FALSE(fresh.Transfer("index.html", "down.txt", kind != 2, 1));
        EXPECT_LT(test::ElapsedMs(start), 4000);
        EXPECT_EQ(fresh.ReplyText(), "");
        EXPECT_EQ(fresh.LocalFailure(), FtpLocalFailure::kConnection);
        fresh.CloseControl();
        control.Stop();
        data.Stop();
    }
}

// A whole transfer has one bound that grows with the file: a data connection that trickles its
// bytes, each well within the idle limit, still ends when the bound is spent.
TEST_F(FtpTransferTest, TrickledDataConnectionFailsWithinTheTransferBound) {
    ScriptedPeer control, data;
    data.Accept().Trickle(std::string(60, 'x'), 100).Close();
    LogonSteps(control);
    control.Expect("TYPE I").SendLine("200 binary").Expect("PASV");
    control.SendComputed([&data] { return test::PasvReplyFor(data.Port()) + "\r\n"; });
    control.Expect("RETR index.html").SendLine("150 go").Hold();
    control.Start();
    data.Start();
    CFtpLink fresh(15, dir.Path());
    fresh.SetIdleLimitMs(1000);
    FtpLogonParams params;
    params.Host = "127.0.0.1";
    params.Port = control.Port();
    params.User = "joe";
    ASSERT_TRUE(fresh.Logon(params));
    const long long start = test::NowMs();
    EXPECT_FALSE(fresh.Transfer("index.html", "down.txt", true, true));
    EXPECT_LT(test::ElapsedMs(start), 3000);
    EXPECT_EQ(fresh.ReplyText(), "");
    EXPECT_EQ(fresh.FailureDetail(), "the transfer was not done within 1 s");
    fresh.CloseControl();
    control.Stop();
    data.Stop();
}

TEST(FtpTransferLimitTest, GrowsWithTheFileFromTheFloor) {
    EXPECT_EQ(ftp::TransferLimitMs(60000, 0), 60000);
    EXPECT_EQ(ftp::TransferLimitMs(60000, ftp::kSlowestBytesPerSecond * 10), 70000);
    EXPECT_EQ(ftp::TransferLimitMs(1000, ftp::kSlowestBytesPerSecond / 2), 1500);
    EXPECT_EQ(ftp::TransferLimitMs(1000, UINT64_MAX), kMaxDeadlineMs);
}

// The server's side of a passive connection is closed: the server says so itself, and its
// final reply is what the caller gets, not a local failure.
TEST_F(FtpTransferTest, RefusedPassiveConnectionEndsWithTheServersFinalReply) {
    test::WriteFile(dir.File("page.txt"), "hello");
    ScriptedPeer control;
    const uint16_t closedPort = test::ClosedLoopbackPort();
    LogonSteps(control);
    control.Expect("TYPE I").SendLine("200 binary");
    control.Expect("PASV").SendLine(test::PasvReplyFor(closedPort));
    control.Expect("STOR index.html")
        .SendLine("150 Opening data connection.")
        .SendLine("425 Cannot open data connection.")
        .ReadToEnd();
    control.Start();
    LogOn(control);
    EXPECT_FALSE(link.Transfer("index.html", "page.txt", 1, 0));
    EXPECT_EQ(link.ReplyText(), "425 Cannot open data connection.");
    EXPECT_EQ(link.LocalFailure(), FtpLocalFailure::kNone);
    link.CloseControl();
    EXPECT_TRUE(control.Finish()) << control.Report();
}

TEST_F(FtpTransferTest, ZeroPaddedPassiveAddressIsUsedAndABadOneFailsLocally) {
    const std::string content = test::PatternBytes(3000);
    test::WriteFile(dir.File("page.txt"), content);
    ScriptedPeer control, data;
    data.Accept().ReadToEnd();
    LogonSteps(control);
    control.Expect("TYPE I").SendLine("200 binary");
    control.Expect("PASV").SendComputed([&data] {
        char port[16];
        std::snprintf(port, sizeof port, "%03d,%03d", data.Port() / 256, data.Port() % 256);
        return "227 Entering Passive Mode (127,000,000,001," + std::string(port) + ")\r\n";
    });
    control.Expect("STOR index.html").SendLine("150 go").SendLine("226 done");
    control.Expect("TYPE I").SendLine("200 binary");
    control.Expect("PASV").SendLine("227 Entering Passive Mode (127,0,0,256,4,1)");
    control.Expect("STOR second.html").ReadToEnd();
    control.Start();
    data.Start();
    LogOn(control);
    EXPECT_TRUE(link.Transfer("index.html", "page.txt", 1, 0)) << link.FailureDetail();
    EXPECT_EQ(link.ReplyText(), "226 done");
    EXPECT_FALSE(link.Transfer("second.html", "page.txt", 1, 0));
    EXPECT_EQ(link.ReplyText(), "");
    EXPECT_EQ(link.LocalFailure(), FtpLocalFailure::kConnection);
    link.CloseControl();
    EXPECT_TRUE(data.Finish()) << data.Report();
    EXPECT_TRUE(data.Received() == content);
    EXPECT_TRUE(control.Finish()) << control.Report();
}

// A PASV reply naming another machine than the control connection's peer: straight to the
// server the data connection goes to the peer; through a proxy (logon type 3, OPEN) the
// proxy relays the data, so the reply's address is used as given. The data peer listens only
// where the connection must go.
struct PassiveRouteCase {
    const char* name;
    int logonType;
    const char* dataPeerAddress;
    const char* replaced;  // what ReplacedPassiveAddress reports
};

class PassiveRoute : public ::testing::TestWithParam<PassiveRouteCase> {};

TEST_P(PassiveRoute, DataConnectionGoesToTheControlPeerUnlessAProxyRelaysIt) {
    const PassiveRouteCase& c = GetParam();
    test::TempDir dir;
    test::WriteFile(dir.File("page.txt"), "hello");
    ScriptedPeer data(c.dataPeerAddress, 0);
    ASSERT_NE(data.Port(), 0);
    ScriptedPeer control;
    control.SendLine("220 hi");
    if (c.logonType == 3) {
        control.Expect("OPEN ftp.example.net").SendLine("220 open");
    }
    control.Expect("USER joe").SendLine("230 in");
    for (const char* name : {"index.html", "again.html"}) {
        control.Expect("TYPE I").SendLine("200 binary");
        control.Expect("PASV").SendComputed([&data] {
            return "227 Entering Passive Mode (127,0,0,2," + std::to_string(data.Port() / 256) +
                   "," + std::to_string(data.Port() % 256) + ")\r\n";
        });
        control.Expect(std::string("STOR ") + name).SendLine("150 go").SendLine("226 done");
        data.Accept().ReadToEnd();
    }
    control.ReadToEnd();
    control.Start();
    data.Start();

    FtpLogonParams params;
    params.Host = c.logonType == 0 ? "127.0.0.1" : "ftp.example.net";
    params.Port = c.logonType == 0 ? control.Port() : 21;
    params.User = "joe";
    params.FirewallHost = "127.0.0.1";
    params.FirewallPort = control.Port();
    params.LogonType = c.logonType;
    CFtpLink link(15, dir.Path());
    ASSERT_TRUE(link.Logon(params)) << link.FailureDetail();
    EXPECT_TRUE(link.Transfer("index.html", "page.txt", 1, 0)) << link.FailureDetail();
    EXPECT_TRUE(link.Transfer("again.html", "page.txt", 1, 0)) << link.FailureDetail();
    EXPECT_EQ(link.ReplacedPassiveAddress(), c.replaced);
    link.CloseControl();
    EXPECT_TRUE(data.Finish()) << data.Report();
    EXPECT_EQ(data.Received(), "hellohello");
    EXPECT_TRUE(control.Finish()) << control.Report();
}

INSTANTIATE_TEST_SUITE_P(LogonTypes, PassiveRoute,
                         ::testing::Values(PassiveRouteCase{"Direct", 0, "127.0.0.1", "127.0.0.2"},
                                           PassiveRouteCase{"ThroughAProxy", 3, "127.0.0.2", ""}),
                         [](const ::testing::TestParamInfo<PassiveRouteCase>& info) {
                             return info.param.name;
                         });

}  // namespace
}  // namespace orvex
