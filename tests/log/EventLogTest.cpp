#include "log/EventLog.h"

#include <filesystem>
#include <regex>
#include <thread>

#include <gtest/gtest.h>

#include "LogTestSupport.h"
#include "ManualClock.h"
#include "RecordingHost.h"
#include "TempDir.h"
#include "log/LogPurge.h"

namespace orvex {
namespace {

using test::FileExists;
using test::LocalTimeOf;
using test::ReadFile;
using test::WriteFile;

class EventLogTest : public ::testing::Test {
protected:
    EventLogTest() : clock_(LocalTimeOf(2005, 1, 1, 0, 0, 0)) {
        settings_.IsLogging = 1;
        settings_.LogFilename = "logs\\Orvex.log";
        settings_.workDir = dir_.Path();
        std::filesystem::create_directory(dir_.File("logs"));
    }

    std::string LogPath() const { return dir_.File("logs/Orvex.log"); }
    void Log(const std::string& text) { LogEvent(text, settings_, host_, clock_); }

    test::TempDir dir_;
    test::ManualClock clock_;
    test::RecordingHost host_;
    LogSettings settings_;
};

TEST_F(EventLogTest, LinesAreStampedEndInCrLfAndAreOnlyAppended) {
    Log("System Online:   LAN IP: 10.0.0.5, WAN IP: 203.0.113.7");
    EXPECT_EQ(ReadFile(LogPath()),
              "01/01/05 00:00:00  System Online:   LAN IP: 10.0.0.5, WAN IP: 203.0.113.7\r\n");

    WriteFile(LogPath(), "kept by hand\n");
    clock_.Set(LocalTimeOf(2004, 4, 27, 13, 5, 9));
    Log("Login incorrect.");
    Log("");  // no line, not even a bare stamp
    EXPECT_EQ(ReadFile(LogPath()), "kept by hand\n04/27/04 13:05:09  Login incorrect.\r\n");
    EXPECT_TRUE(host_.Events().empty());
}

TEST_F(EventLogTest, LoggingOffTouchesNothing) {
    settings_.IsLogging = 0;
    settings_.MaxLog = 3;
    Log("text");
    EXPECT_FALSE(FileExists(LogPath()));

    const std::string old = test::LogLine("01/01/03", "very old");
    WriteFile(LogPath(), old);
    Log("text");
    settings_.LogFilename.clear();
    Log("text");
    EXPECT_EQ(ReadFile(LogPath()), old);
    EXPECT_TRUE(host_.Events().empty());
}

TEST_F(EventLogTest, EmptyLogNameAsksEveryTime) {
    settings_.LogFilename.clear();
    Log("one");
    Log("two");
    auto events = host_.Events();
    ASSERT_EQ(events.size(), 2u);
    for (const auto& e : events) {
        EXPECT_EQ(e.kind, test::RecordingHost::Event::kMessageBox);
        EXPECT_EQ(e.box.text, "Please specify log name file or disable logging.");
        EXPECT_EQ(e.box.buttons, MsgButtons::Ok);
        EXPECT_EQ(e.box.icon, MsgIcon::None);
    }
}

TEST_F(EventLogTest, LogThatCannotBeOpenedIsSkippedSilently) {
    settings_.LogFilename = "no-such-folder/Orvex.log";
    Log("text");
    EXPECT_FALSE(FileExists(dir_.File("no-such-folder")));
    EXPECT_TRUE(host_.Events().empty());
}

// A host whose status display logs every message, as the main window does.
class LoggingHost : public test::RecordingHost {
public:
    LoggingHost(const LogSettings& settings, Clock& clock) : settings_(settings), clock_(clock) {}
    void Status(const HostMessage& message) override {
        RecordingHost::Status(message);
        LogEvent("Unable to resolve hostname/Connection Timeout", settings_, *this, clock_);
    }

private:
    const LogSettings& settings_;
    Clock& clock_;
};

TEST_F(EventLogTest, FailedWriteIsReportedOnceAndNeverLoops) {
    settings_.LogFilename = "/dev/full";
    LoggingHost host(settings_, clock_);
    LogEvent("text", settings_, host, clock_);
    EXPECT_EQ(host.Statuses(), std::vector<std::string>{"Error opening log file."});
}

TEST_F(EventLogTest, EventsFromSeveralThreadsStayWholeLines) {
    settings_.MaxLog = 3;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([this, t] {
            for (int i = 0; i < 100; ++i) {
                Log("thread " + std::to_string(t) + " event " + std::to_string(i));
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    auto lines = test::LogLines(ReadFile(LogPath()));
    ASSERT_EQ(lines.size(), 400u);
    const std::regex shape(R"(01/01/05 00:00:00  thread \d event \d+)");
    for (const auto& line : lines) {
        EXPECT_TRUE(std::regex_match(line, shape)) << line;
    }
}

}  // namespace
}  // namespace orvex
