#include "log/LogPurge.h"

#include <algorithm>
#include <cerrno>

#include <gtest/gtest.h>

#include "LogTestSupport.h"
#include "ManualClock.h"
#include "RecordingHost.h"
#include "TempDir.h"

namespace orvex {
namespace {

using test::FileExists;
using test::LogLine;
using test::LogLines;
using test::ReadFile;
using test::WriteFile;

TEST(LogDates, Validity) {
    for (const char* valid :
         {"20040229", "20000229", "20040400", "20040131", "20041231", "20040430", "20000000"}) {
        EXPECT_TRUE(IsValidLogDate(valid)) << valid;
    }
    for (const char* invalid : {"20030229", "21000229", "20041301", "20040431", "20040230",
                                "2004043", "200404301", "2004O430", "20 40430", ""}) {
        EXPECT_FALSE(IsValidLogDate(invalid)) << invalid;
    }
    EXPECT_EQ(LogLineDate("04/27/04 13:05:09  x"), "20040427");
    EXPECT_EQ(LogLineDate("04-27-04"), "20040427");  // separators are not checked
    EXPECT_FALSE(IsValidLogDate(LogLineDate("04/27/")));
}

TEST(LogDates, DayNumbersCountDaysAcrossMonthAndYearEnds) {
    EXPECT_EQ(LogDayNumber(20040301) - LogDayNumber(20040228), 2);  // leap year
    EXPECT_EQ(LogDayNumber(20030301) - LogDayNumber(20030228), 1);
    EXPECT_EQ(LogDayNumber(20050101) - LogDayNumber(20041231), 1);
    EXPECT_EQ(LogDayNumber(20040427) - LogDayNumber(20040423), 4);
    EXPECT_EQ(LogDayNumber(20990101) - LogDayNumber(20000101), 36160);
    EXPECT_EQ(LogDayNumber(20040501) - LogDayNumber(20040400), 31);
}

class LogPurgeTest : public ::testing::Test {
protected:
    LogPurgeTest() : clock_(test::UtcTimeOf(2004, 4, 27, 12, 0, 0)) {
        settings_.IsLogging = 1;
        settings_.LogFilename = "Orvex.log";
        settings_.MaxLog = 3;
        settings_.workDir = dir_.Path();
    }
    ~LogPurgeTest() override { detail::SetPurgeRenameForTest(nullptr); }

    std::string LogPath() const { return dir_.File("Orvex.log"); }
    void Log(const std::string& text) { LogEvent(text, settings_, host_, clock_); }

    static std::vector<std::string> Texts(const std::vector<std::string>& lines) {
        std::vector<std::string> texts;
        for (const auto& line : lines) {
            texts.push_back(line.size() > 19 ? line.substr(19) : line);
        }
        return texts;
    }

    test::TempDir dir_;
    test::ManualClock clock_;
    test::RecordingHost host_;
    LogSettings settings_;
};

TEST_F(LogPurgeTest, YoungFirstLineKeepsTheLogAsItIs) {
    const std::string log = "hand-written note\r\n" + LogLine("04/24/04", "three days old") +
                            LogLine("01/01/03", "older, but not first");
    WriteFile(LogPath(), log);
    EXPECT_EQ(PurgeLog(settings_, clock_), PurgeResult::kNothingToDo);
    EXPECT_EQ(ReadFile(LogPath()), log);

    settings_.MaxLog = 0;
    WriteFile(LogPath(), LogLine("01/01/03", "old"));
    Log("event");
    EXPECT_EQ(LogLines(ReadFile(LogPath())).size(), 2u);
}

TEST_F(LogPurgeTest, OldFirstLineRewritesKeepingYoungDatedLinesWhole) {
    const std::string longText(300, 'x');
    WriteFile(LogPath(), "hand-written note\r\n" + LogLine("04/23/04", "four days old") +
                             LogLine("04/24/04", "three days old") + "\r\n" +
                             LogLine("02/29/03", "no such day") + LogLine("04/25/04", longText) +
                             LogLine("04/31/04", "no such day") +
                             LogLine("13/01/04", "no such month") +
                             LogLine("04/30/04", "written after today"));
    Log("event");

    auto lines = LogLines(ReadFile(LogPath()));
    EXPECT_EQ(Texts(lines),
              (std::vector<std::string>{"three days old", longText, "written after today",
                                        "Cleaning Log File...", "event"}));
    EXPECT_FALSE(FileExists(LogPath() + ".tmp"));
    EXPECT_TRUE(host_.Events().empty());
    const std::string bytes = ReadFile(LogPath());
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), static_cast<long>(lines.size()));
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\r'), static_cast<long>(lines.size()));
}

TEST_F(LogPurgeTest, TodayIsTheUtcDate) {
    // 02:00 UTC on the 28th is still the 27th in New York: the line is 4 days old by UTC.
    test::ScopedTimeZone zone("EST5EDT,M4.1.0,M10.5.0");
    clock_.Set(test::UtcTimeOf(2004, 4, 28, 2, 0, 0));
    WriteFile(LogPath(), LogLine("04/24/04", "old by UTC"));
    Log("event");
    auto lines = LogLines(ReadFile(LogPath()));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "04/27/04 22:00:00  Cleaning Log File...");
    EXPECT_EQ(lines[1], "04/27/04 22:00:00  event");
}

int FailingRename(const char*, const char*) {
    errno = EIO;
    return -1;
}

TEST_F(LogPurgeTest, InterruptedRewriteLosesNothing) {
    const std::string log = LogLine("04/01/04", "old") + LogLine("04/26/04", "young");
    WriteFile(LogPath(), log);
    detail::SetPurgeRenameForTest(FailingRename);
    Log("first event");

    // The log is whole (with the notice); the event is reported instead of logged.
    auto lines = LogLines(ReadFile(LogPath()));
    EXPECT_EQ(Texts(lines), (std::vector<std::string>{"old", "young", "Cleaning Log File..."}));
    EXPECT_FALSE(FileExists(LogPath() + ".tmp"));
    EXPECT_EQ(host_.Statuses(), std::vector<std::string>{"Error opening log file."});

    // A crash after the temporary file was written leaves it behind; the next purge replaces it.
    detail::SetPurgeRenameForTest(nullptr);
    WriteFile(LogPath() + ".tmp", LogLine("04/27/04", "stale copy"));
    Log("second event");
    EXPECT_EQ(Texts(LogLines(ReadFile(LogPath()))),
              (std::vector<std::string>{"young", "Cleaning Log File...", "Cleaning Log File...",
                                        "second event"}));
    EXPECT_FALSE(FileExists(LogPath() + ".tmp"));
}

TEST_F(LogPurgeTest, NothingToDoWithoutALogOrWithoutALimit) {
    EXPECT_EQ(PurgeLog(settings_, clock_), PurgeResult::kNothingToDo);
    EXPECT_FALSE(FileExists(LogPath()));

    WriteFile(LogPath(), LogLine("01/01/03", "old"));
    settings_.MaxLog = -1;
    EXPECT_EQ(PurgeLog(settings_, clock_), PurgeResult::kNothingToDo);
    settings_.MaxLog = 3;
    EXPECT_EQ(PurgeLog(settings_, clock_), PurgeResult::kPurged);
}

}  // namespace
}  // namespace orvex
