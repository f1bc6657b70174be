// The service front end without servers: its timer, command line, unattended answers, the
// hand-over of worker calls to the loop, and the loop's handling of signals and boxes.

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <thread>

#include <gtest/gtest.h>

#include "ManualClock.h"
#include "RecordingHost.h"
#include "TempDir.h"
#include "app/ExitRoutine.h"
#include "log/EventLog.h"
#include "platform/Profile.h"
#include "service/CommandLine.h"
#include "service/DeadlineTimer.h"
#include "platform/HandOverHost.h"
#include "service/Service.h"
#include "settings/SettingsFile.h"

namespace orvex::test {
namespace {

using std::chrono::milliseconds;

TEST(DeadlineTimer, FiresEveryPeriodFromWhenItWasTakenAndStopsWhenKilled) {
    DeadlineTimer timer;
    EXPECT_EQ(timer.WaitMs(std::chrono::steady_clock::now()), -1);
    EXPECT_FALSE(timer.Kill());

    ASSERT_TRUE(timer.Set(1000));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_GT(timer.WaitMs(start), 0);
    EXPECT_LE(timer.WaitMs(start), 1000);
    EXPECT_FALSE(timer.TakeDue(start));

    // A loop that comes late fires once, not once per missed period.
    const auto late = start + milliseconds(5500);
    EXPECT_TRUE(timer.TakeDue(late));
    EXPECT_FALSE(timer.TakeDue(late));
    EXPECT_EQ(timer.WaitMs(late), 1000);
    EXPECT_TRUE(timer.TakeDue(late + milliseconds(1000)));

    // Arming again replaces the period.
    timer.Set(60000);
    EXPECT_GT(timer.WaitMs(std::chrono::steady_clock::now()), 59000);
    EXPECT_TRUE(timer.Kill());
    EXPECT_EQ(timer.WaitMs(late), -1);
    EXPECT_FALSE(timer.TakeDue(late + milliseconds(100000)));
}

TEST(ServiceCommandLine, ReadsTheFolderAndOneModeAndRefusesTheRest) {
    using Mode = ServiceOptions::Mode;
    ServiceOptions plain = ParseServiceOptions({});
    EXPECT_EQ(plain.mode, Mode::Service);
    EXPECT_TRUE(plain.error.empty());

    ServiceOptions once = ParseServiceOptions({"--config", "/srv/orvex", "--once", "--once"});
    EXPECT_EQ(once.mode, Mode::Once);
    EXPECT_EQ(once.configDir, "/srv/orvex");
    EXPECT_TRUE(once.error.empty());
    EXPECT_EQ(ParseServiceOptions({"--print-config", "--config=/a b"}).configDir, "/a b");

    EXPECT_EQ(ParseServiceOptions({"--config"}).error, "--config needs a folder");
    EXPECT_EQ(ParseServiceOptions({"--config="}).error, "--config needs a folder");
    EXPECT_EQ(ParseServiceOptions({"-once"}).error, "unknown option -once");
    EXPECT_EQ(ParseServiceOptions({"--offline", "--once"}).error,
              "--offline and --once cannot be combined");
}

TEST(ServiceAnswers, QuestionsTakeTheirDefaultButtonAndEveryBoxIsOneLine) {
    MessageBoxRequest exitAnyway;
    exitAnyway.text = ExitRoutine::kExitAnywayQuestion;
    exitAnyway.caption = "Orvex Error";
    exitAnyway.buttons = MsgButtons::YesNo;
    EXPECT_EQ(UnattendedAnswer(exitAnyway), MsgAnswer::Yes);
    EXPECT_EQ(BoxLine(exitAnyway, MsgAnswer::Yes),
              "Orvex Error: There was an error uploading page. Exit anyway? [answered Yes]");

    MessageBoxRequest transfer;
    transfer.buttons = MsgButtons::YesNo;
    transfer.defaultButton = 2;
    EXPECT_EQ(UnattendedAnswer(transfer), MsgAnswer::No);
    transfer.buttons = MsgButtons::YesNoCancel;
    transfer.defaultButton = 3;
    EXPECT_EQ(UnattendedAnswer(transfer), MsgAnswer::Cancel);
    transfer.defaultButton = 7;
    EXPECT_EQ(UnattendedAnswer(transfer), MsgAnswer::Cancel);

    MessageBoxRequest report;
    report.text = "first\r\nsecond\n";
    EXPECT_EQ(UnattendedAnswer(report), MsgAnswer::Ok);
    EXPECT_EQ(BoxLine(report, MsgAnswer::Ok), "Orvex: first  second ");
}

class ServiceLoopTest : public ::testing::Test {
protected:
    void SetUp() override {
        Profile ini(work.File("Orvex.ini"));
        for (const auto& [key, value] : {std::pair{"FTPServer", "127.0.0.1"},
                                         {"SiteName", "Home"},
                                         {"UserID", "tester"},
                                         {"OnlineFile", "online.htm"},
                                         {"OfflineFile", "offline.htm"},
                                         {"RemoteFile", "index.html"},
                                         {"Port", "21"}}) {
            ini.WriteString(kSectionLocal, key, value);
        }
        std::string password = "secret";
        EncodePassword(password, PasswordKey());
        ini.WriteString(kSectionLocal, "Password", password);
        ini.WriteString(kSectionPreferences, "IsUpdateOnStart", "0");
        ini.WriteString(kSectionPreferences, "RefreshIntv", "0");
        ASSERT_EQ(::pipe(signals), 0);
    }
    void TearDown() override {
        ::close(signals[0]);
        ::close(signals[1]);
    }

    void Send(unsigned char signo) { ASSERT_EQ(::write(signals[1], &signo, 1), 1); }
    std::string Lines() const {
        std::string all;
        for (const std::string& line : lines) {
            all += line + "\n";
        }
        return all;
    }

    TempDir work;
    AppState state{work.Path(), work.File("Orvex.ini")};
    HandOverHost workerHost;
    ManualClock clock{1700000000};
    std::vector<std::string> lines;
    Service service{state, workerHost, clock,
                    [this](const std::string& line) { lines.push_back(line); }};
    int signals[2] = {-1, -1};
};

TEST_F(ServiceLoopTest, HangupReloadsAndStopWithoutOfflinePageEndsAtOnce) {
    ASSERT_TRUE(service.LoadSettings());
    Profile(work.File("Orvex.ini")).WriteString(kSectionPreferences, "Timeout", "42");
    Send(SIGHUP);
    Send(SIGTERM);
    EXPECT_EQ(service.Run(signals[0]), 0);
    EXPECT_TRUE(service.Ended());
    EXPECT_EQ(state.Settings().Timeout, 42);
    EXPECT_NE(Lines().find("Settings reloaded from " + work.File("Orvex.ini") + ".\n"),
              std::string::npos)
        << Lines();
    EXPECT_FALSE(service.Timer().Armed());

    // A file that lost its server keeps the settings in use.
    Profile(work.File("Orvex.ini")).WriteString(kSectionLocal, "FTPServer", "");
    service.Reload();
    EXPECT_EQ(state.Settings().FTPServer, "127.0.0.1");
    EXPECT_NE(Lines().find("the settings in use are kept"), std::string::npos);
}

TEST_F(ServiceLoopTest, ABoxAboutTheLogItselfIsPrintedOnceAndNeverLoops) {
    Profile ini(work.File("Orvex.ini"));
    ini.WriteString(kSectionPreferences, "IsLogging", "1");
    ini.WriteString(kSectionPreferences, "LogFilename", "");
    ASSERT_TRUE(service.LoadSettings());
    service.OwnHost().Status(HostMessage::Coded("P10009 Requesting WAN IP address..."));
    ASSERT_EQ(lines.size(), 2u) << Lines();
    EXPECT_EQ(lines[0], std::string("Orvex: ") + kLogNameMissingText);
    EXPECT_EQ(lines[1], "P10009 Requesting WAN IP address...");
}

TEST_F(ServiceLoopTest, FtpServerMissingLeavesTheFileAsItWas) {
    Profile(work.File("Orvex.ini")).WriteString(kSectionLocal, "FTPServer", "");
    const std::string before = ReadFile(work.File("Orvex.ini"));
    EXPECT_FALSE(service.LoadSettings());
    EXPECT_EQ(ReadFile(work.File("Orvex.ini")), before);
}

}  // namespace
}  // namespace orvex::test
