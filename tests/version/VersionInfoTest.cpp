#include "version/VersionInfo.h"

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>

#include <gtest/gtest.h>

#include "TempDir.h"

namespace orvex {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

std::string RunAndRead(const std::string& program) {
    std::string output;
    FILE* pipe = ::popen(("'" + program + "'").c_str(), "r");
    if (pipe == nullptr) {
        return output;
    }
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        output += buffer;
    }
    ::pclose(pipe);
    return output;
}

std::string CopyProbe(const TempDir& dir, const std::string& name) {
    const std::string path = dir.File(name);
    std::filesystem::copy_file(ORVEX_VERSION_PROBE, path);
    ::chmod(path.c_str(), 0755);
    return path;
}

TEST(VersionInfoTest, RecordOfAProgramFileGivesVersionAndTranslation) {
    VersionInfo info("/proc/self/exe");
    ASSERT_FALSE(info.Failed());
    EXPECT_EQ(info.Translation(), "040904b0");
    EXPECT_EQ(info.ProductVersion(), "1.69d");
    EXPECT_EQ(info.QueryValue("ProductName"), "Orvex");
    EXPECT_EQ(info.QueryValue("NoSuchValue"), "");
}

TEST(VersionInfoTest, ProgramFindsItsVersionOnlyUnderItsOwnName) {
    TempDir dir;
    EXPECT_EQ(RunAndRead(CopyProbe(dir, "orvex")), "1.69d 040904b0\n");
    EXPECT_EQ(RunAndRead(CopyProbe(dir, "Orvex")), "1.69d 040904b0\n");
    EXPECT_EQ(RunAndRead(CopyProbe(dir, "orvex-1.69d")), "N/A \n");
    EXPECT_EQ(RunAndRead(CopyProbe(dir, "Orvex.exe")), "N/A \n");
}

TEST(VersionInfoTest, ModuleNameMatchesTheProgramFileWithoutExeAndCase) {
    // This test program runs as "test_version".
    EXPECT_EQ(FindModuleFile("test_version.exe"), "/proc/self/exe");
    EXPECT_EQ(FindModuleFile("TEST_VERSION.EXE"), "/proc/self/exe");
    EXPECT_EQ(FindModuleFile("test_version"), "/proc/self/exe");
    EXPECT_EQ(FindModuleFile("Orvex.exe"), "");
    EXPECT_EQ(FindModuleFile(".exe"), "");
    EXPECT_EQ(FindModuleFile("/usr/bin/orvex"), "/usr/bin/orvex");
    EXPECT_EQ(ProgramVersion(), "N/A");
}

TEST(VersionInfoTest, FilesWithoutAReadableRecordGiveNA) {
    TempDir dir;
    WriteFile(dir.File("text"), "ORVEX VERSION RECORD 1\n");
    WriteFile(dir.File("fake-elf"), std::string("\x7f"
                                                "ELF\x02\x01\x01",
                                                7) +
                                        std::string(200, '\xff'));
    const std::string self = ReadFile("/proc/self/exe");
    WriteFile(dir.File("truncated"), self.substr(0, self.size() / 2));
    for (const std::string& path : {dir.File("missing"), dir.File("text"), dir.File("fake-elf"),
                                    dir.File("truncated"), std::string("/bin/sh")}) {
        VersionInfo info(path);
        EXPECT_TRUE(info.Failed()) << path;
        EXPECT_EQ(info.ProductVersion(), "N/A") << path;
        EXPECT_EQ(info.QueryValue("ProductName"), "N/A") << path;
    }
}

TEST(VersionInfoTest, TheProgramCarriesTheRecordWhenBuilt) {
#ifdef ORVEX_BINARY
    if (!test::FileExists(ORVEX_BINARY)) {
        GTEST_SKIP() << "the program is not built";
    }
    EXPECT_EQ(VersionInfo(ORVEX_BINARY).ProductVersion(), "1.69d");
#else
    GTEST_SKIP() << "this build leaves the program out";
#endif
}

}  // namespace
}  // namespace orvex
