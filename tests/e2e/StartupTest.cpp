#include <gtest/gtest.h>

#include "ProgramRun.h"
#include "TempDir.h"

namespace orvex::test {
namespace {

TEST(Startup, FirstStartWritesDefaultsStaysUpAndASecondCopyExitsWithOne) {
    TempDir work;
    TempDir runtime;
    ProgramRun first(work.Path(), runtime.Path());
    ASSERT_TRUE(WaitFor(10000, [&] {
        return ReadFile(work.File("Orvex.ini")).find("MaxLog=0") != std::string::npos;
    })) << "no settings file written";
    const std::string ini = ReadFile(work.File("Orvex.ini"));
    EXPECT_EQ(ini.rfind("[LocalSettings]\r\nFTPServer=enter.your.ftp.site\r\n", 0), 0u) << ini;
    // The instance socket is opened once the window is up, which may come after the settings.
    EXPECT_TRUE(WaitFor(10000, [&] {
        return FileExists(runtime.File("orvex-" + std::to_string(getuid()) + "/Orvex"));
    }));

    TempDir otherWork;
    ProgramRun second(otherWork.Path(), runtime.Path());
    EXPECT_EQ(second.WaitExit(10000), 1);
    EXPECT_FALSE(FileExists(otherWork.File("Orvex.ini")));
    EXPECT_TRUE(first.Running());
}

TEST(Startup, CopiesWithSeparateRuntimeDirectoriesRunSideBySide) {
    TempDir work;
    TempDir runtimeA;
    TempDir runtimeB;
    ProgramRun a(work.Path(), runtimeA.Path());
    ASSERT_TRUE(WaitFor(10000, [&] { return FileExists(work.File("Orvex.ini")); }));
    TempDir work2;
    ProgramRun b(work2.Path(), runtimeB.Path());
    EXPECT_TRUE(WaitFor(10000, [&] { return FileExists(work2.File("Orvex.ini")); }));
    EXPECT_TRUE(a.Running());
    EXPECT_TRUE(b.Running());
}

}  // namespace
}  // namespace orvex::test
