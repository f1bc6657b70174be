#include "version/HelpViewer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "TempDir.h"

namespace orvex {
namespace {

using test::FileExists;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

class RecordingLauncher : public DesktopLauncher {
public:
    bool Open(const std::string& target) override {
        opened.push_back(target);
        return answer;
    }
    bool answer = true;
    std::vector<std::string> opened;
};

TEST(HelpViewerTest, OpensTheIntroductionTopicEveryTime) {
    TempDir dir;
    WriteFile(dir.File("Intro.htm"), "<html></html>");
    RecordingLauncher launcher;
    HelpViewer viewer(launcher, {dir.File("nowhere"), dir.Path()});
    EXPECT_TRUE(viewer.ShowHelp());
    EXPECT_TRUE(viewer.ShowHelp());
    EXPECT_EQ(launcher.opened, std::vector<std::string>(2, dir.File("Intro.htm")));
}

TEST(HelpViewerTest, MissingTopicMakesHelpUnavailableForTheRestOfTheRun) {
    TempDir dir;
    RecordingLauncher launcher;
    HelpViewer viewer(launcher, {dir.Path()});
    EXPECT_FALSE(viewer.ShowHelp());
    WriteFile(dir.File("Intro.htm"), "<html></html>");
    EXPECT_FALSE(viewer.ShowHelp());
    EXPECT_TRUE(launcher.opened.empty());
}

TEST(HelpViewerTest, ViewerThatCannotStartIsNotAskedAgain) {
    TempDir dir;
    WriteFile(dir.File("Intro.htm"), "<html></html>");
    RecordingLauncher launcher;
    launcher.answer = false;
    HelpViewer viewer(launcher, {dir.Path()});
    EXPECT_FALSE(viewer.ShowHelp());
    launcher.answer = true;
    EXPECT_FALSE(viewer.ShowHelp());
    EXPECT_EQ(launcher.opened.size(), 1u);
}

TEST(HelpViewerTest, ShippedIntroductionIsFound) {
    RecordingLauncher launcher;
    HelpViewer viewer(launcher);
    ASSERT_TRUE(viewer.ShowHelp());
    ASSERT_EQ(launcher.opened.size(), 1u);
    EXPECT_NE(ReadFile(launcher.opened[0]).find("<title>"), std::string::npos);
}

// Waits for a file written by a program started in the background.
std::string WaitForFile(const std::string& path) {
    for (int i = 0; i < 500 && !FileExists(path); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::string text = ReadFile(path);
    for (int i = 0; i < 100 && (text.empty() || text.back() != '\n'); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        text = ReadFile(path);
    }
    return text;
}

TEST(DesktopLauncherTest, OpenerGetsTheTargetAsItsOnlyArgumentWithoutBeingWaitedFor) {
    TempDir dir;
    const std::string opener = dir.File("opener");
    // Records its arguments and its open descriptors, then lives on like a browser would.
    WriteFile(opener,
              "#!/bin/sh\nfor a in \"$@\"; do printf '[%s]' \"$a\"; done > \"$0.args\"\n"
              "ls -l /proc/$$/fd/ > \"$0.fds\"\necho >> \"$0.args\"\nsleep 5\n");
    ::chmod(opener.c_str(), 0755);
    XdgLauncher launcher(opener);
    const auto started = std::chrono::steady_clock::now();
    // A descriptor of the program without close-on-exec, such as a library might leave.
    WriteFile(dir.File("held-open"), "");
    const int inherited = ::open(dir.File("held-open").c_str(), O_RDONLY);
    EXPECT_TRUE(launcher.Open("/tmp/a help page; $(touch x).htm"));
    ::close(inherited);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    EXPECT_EQ(WaitForFile(opener + ".args"), "[/tmp/a help page; $(touch x).htm]\n");
    const std::string fds = ReadFile(opener + ".fds");
    EXPECT_NE(fds.find(opener), std::string::npos) << fds;  // the shell reading the script
    EXPECT_EQ(fds.find("held-open"), std::string::npos) << fds;
}

TEST(DesktopLauncherTest, ReportsWhatCannotBeStarted) {
    TempDir dir;
    WriteFile(dir.File("not-executable"), "#!/bin/sh\n");
    EXPECT_FALSE(XdgLauncher(dir.File("missing")).Open("/tmp/x.htm"));
    EXPECT_FALSE(XdgLauncher(dir.File("not-executable")).Open("/tmp/x.htm"));
    EXPECT_FALSE(XdgLauncher(dir.Path()).Open("/tmp/x.htm"));
    EXPECT_FALSE(XdgLauncher("no-such-opener-program").Open("/tmp/x.htm"));
    // An opener would take these for options or have nothing to open.
    EXPECT_FALSE(XdgLauncher("/bin/true").Open("--help"));
    EXPECT_FALSE(XdgLauncher("/bin/true").Open(""));
    EXPECT_TRUE(XdgLauncher("true").Open("/tmp/x.htm"));
    EXPECT_EQ(FindExecutable("sh").empty(), false);
}

}  // namespace
}  // namespace orvex
