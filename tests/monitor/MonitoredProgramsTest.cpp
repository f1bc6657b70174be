#include "monitor/MonitoredPrograms.h"

#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "TempDir.h"

namespace orvex {
namespace {

using test::ReadFile;
using test::WriteFile;

TEST(Indicators, SplitAtTheFirstSlash) {
    EXPECT_EQ(SplitIndicators("ON/OFF").running, "ON");
    EXPECT_EQ(SplitIndicators("ON/OFF").stopped, "OFF");
    EXPECT_EQ(SplitIndicators("A/B/C").stopped, "B/C");
    EXPECT_EQ(SplitIndicators("UP").running, "");
    EXPECT_EQ(SplitIndicators("UP").stopped, "UP");
}

class ProgramListTest : public ::testing::Test {
protected:
    ProgramListTest() : file_(dir_.File("Orvex.ini")) {}

    WindowFinder Finder() {
        return [this](const std::string& title) { return open_.count(title) > 0; };
    }

    test::TempDir dir_;
    Profile file_;
    std::set<std::string> open_;
    MonitoredPrograms programs_;
};

TEST_F(ProgramListTest, EmptyEntriesAreSkippedWithoutRenumbering) {
    WriteFile(file_.Path(),
              "[Programs]\r\nPrograms0=alpha console\r\nPrograms1=\r\nPrograms2=Zeta Server\r\n");
    open_ = {"Zeta Server"};
    RefreshProgramList(file_, "ON/OFF", programs_, Finder());

    auto list = programs_.Snapshot();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].index, 0);
    EXPECT_EQ(list[0].tag, "%P0");
    EXPECT_EQ(list[0].windowTitle, "alpha console");
    EXPECT_EQ(list[0].status, "OFF");
    EXPECT_EQ(list[1].index, 2);
    EXPECT_EQ(list[1].tag, "%P2");
    EXPECT_EQ(list[1].status, "ON");

    // The table lists every entry, the empty one too.
    auto rows = ReadProgramTable(file_);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1].tag, "%P1");
    EXPECT_EQ(rows[1].windowTitle, "");
}

TEST_F(ProgramListTest, MissingSectionGivesAnEmptyListAndSectionTextIsCut) {
    RefreshProgramList(file_, "ON/OFF", programs_, Finder());
    EXPECT_EQ(programs_.Size(), 0u);

    std::string section = "[Programs]\n";
    for (int i = 0; i < 200; ++i) {
        section += "Programs" + std::to_string(i) + "=Window title " + std::to_string(i) + "\n";
    }
    WriteFile(file_.Path(), section);
    RefreshProgramList(file_, "ON/OFF", programs_, Finder());
    // Each entry takes its length plus one byte of the 3,000-byte section text.
    size_t used = 1;
    for (const auto& p : programs_.Snapshot()) {
        used += std::string("Programs" + std::to_string(p.index) + "=" + p.windowTitle).size() + 1;
    }
    EXPECT_LT(programs_.Size(), 200u);
    EXPECT_LE(used, kProgramListBytes);
    EXPECT_EQ(ReadProgramTable(file_).size(), 200u);
}

TEST_F(ProgramListTest, ShownStatusStaysUntilTheNextRebuild) {
    WriteFile(file_.Path(), "[Programs]\nPrograms0=alpha console\nPrograms1=beta\n");
    open_ = {"alpha console"};
    RefreshProgramList(file_, "RUNNING/NOT RUNNING", programs_, Finder());
    open_.clear();
    EXPECT_TRUE(programs_.IsShownRunning("alpha console", "RUNNING/NOT RUNNING"));
    EXPECT_FALSE(programs_.IsShownRunning("ALPHA CONSOLE", "RUNNING/NOT RUNNING"));
    EXPECT_FALSE(programs_.IsShownRunning("beta", "RUNNING/NOT RUNNING"));
    EXPECT_FALSE(programs_.IsShownRunning("gamma", "RUNNING/NOT RUNNING"));
    // A changed pair no longer matches the stored word.
    EXPECT_FALSE(programs_.IsShownRunning("alpha console", "ON/OFF"));

    RefreshProgramList(file_, "RUNNING/NOT RUNNING", programs_, Finder());
    EXPECT_FALSE(programs_.IsShownRunning("alpha console", "RUNNING/NOT RUNNING"));
}

TEST_F(ProgramListTest, StoredTitlesAreSortedWithoutRegardToCase) {
    WriteFile(file_.Path(), "[Programs]\nPrograms0=old\nPrograms1=older\n[Other]\nk=v\n");
    ASSERT_TRUE(StoreMonitoredTitles(file_, {"Zeta Server", "alpha console"}, "ON/OFF"));
    EXPECT_EQ(file_.GetSection("Programs", 1000),
              (std::vector<std::string>{"Programs0=alpha console", "Programs1=Zeta Server"}));
    EXPECT_EQ(file_.GetString("LocalSettings", "StatusIndicators", ""), "ON/OFF");
    EXPECT_EQ(file_.GetString("Other", "k", ""), "v");

    ASSERT_TRUE(StoreMonitoredTitles(file_, {}, "ON/OFF"));
    EXPECT_TRUE(file_.GetSection("Programs", 1000).empty());
    EXPECT_EQ(ReadFile(file_.Path()).find("[Programs]"), std::string::npos);
}

TEST(MonitoredProgramsHolder, ReplaceAndReadFromSeveralThreads) {
    MonitoredPrograms programs;
    std::thread writer([&] {
        for (int i = 0; i < 500; ++i) {
            programs.Replace(BuildProgramList({"Programs0=a", "Programs1=b"}, "ON/OFF",
                                              [i](const std::string&) { return i % 2 == 0; }));
        }
    });
    for (int i = 0; i < 500; ++i) {
        auto list = programs.Snapshot();
        EXPECT_TRUE(list.empty() || list.size() == 2u);
        programs.IsShownRunning("a", "ON/OFF");
    }
    writer.join();
    EXPECT_EQ(programs.Size(), 2u);
}

}  // namespace
}  // namespace orvex
