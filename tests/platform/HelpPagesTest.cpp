#include "platform/HelpPages.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "TempDir.h"
#include "platform/DesktopLauncher.h"

namespace orvex {
namespace {

using test::FileExists;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

TEST(HelpPagesTest, FirstFolderHoldingThePageWins) {
    TempDir a;
    TempDir b;
    WriteFile(b.File("Intro.htm"), "<html></html>");
    EXPECT_EQ(FindHelpPage({a.File("nowhere"), a.Path(), b.Path()}, "Intro.htm"),
              b.File("Intro.htm"));
    WriteFile(a.File("Intro.htm"), "<html></html>");
    EXPECT_EQ(FindHelpPage({a.Path(), b.Path()}, "Intro.htm"), a.File("Intro.htm"));
}

TEST(HelpPagesTest, MissingPageIsLookedForAgainAtTheNextCall) {
    TempDir dir;
    EXPECT_EQ(FindHelpPage({dir.Path()}, "Intro.htm"), "");
    WriteFile(dir.File("Intro.htm"), "<html></html>");
    EXPECT_EQ(FindHelpPage({dir.Path()}, "Intro.htm"), dir.File("Intro.htm"));
}

TEST(HelpPagesTest, OnlyPlainPageNamesInAbsoluteFolders) {
    TempDir dir;
    WriteFile(dir.File("Intro.htm"), "<html></html>");
    EXPECT_EQ(FindHelpPage({"relative"}, "Intro.htm"), "");
    EXPECT_EQ(FindHelpPage({dir.Path()}, ""), "");
    EXPECT_EQ(FindHelpPage({dir.File("sub")}, "../Intro.htm"), "");
    EXPECT_EQ(FindHelpPage({dir.Path()}, "."), "");  // a folder, not a page
}

TEST(HelpPagesTest, ShippedPagesAreFound) {
    for (const char* page : {"Intro.htm", "Settings.htm", "Window.htm"}) {
        const std::string path = FindHelpPage(DefaultHelpDirs(), page);
        ASSERT_FALSE(path.empty()) << page;
        EXPECT_NE(ReadFile(path).find("<title>"), std::string::npos) << page;
    }
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
