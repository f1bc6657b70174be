#include "platform/Profile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include <functional>
#include <vector>

#include <gtest/gtest.h>

#include "TempDir.h"

namespace orvex {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

TEST(Profile, FirstWriteCreatesPrivateFileWithSectionAndKey) {
    TempDir dir;
    Profile ini(dir.File("a.ini"));
    ASSERT_TRUE(ini.WriteString("Sec", "Key", "value"));
    EXPECT_EQ(ReadFile(dir.File("a.ini")), "[Sec]\r\nKey=value\r\n");
    struct stat st {};
    ASSERT_EQ(stat(dir.File("a.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(Profile, ReadsWithoutRegardToCaseTrimmedAndUnquoted) {
    TempDir dir;
    WriteFile(dir.File("a.ini"),
              "; comment\n[ local ]\n  Name =  \"quoted value\"  \nOther= x \n[Next]\nName=no\n");
    Profile ini(dir.File("a.ini"));
    EXPECT_EQ(ini.GetString("LOCAL", "name", "d"), "quoted value");
    EXPECT_EQ(ini.GetString("local", "OTHER", "d"), "x");
    EXPECT_EQ(ini.GetString("local", "missing", "dflt"), "dflt");
    EXPECT_EQ(ini.GetString("absent", "name", "dflt"), "dflt");
    EXPECT_EQ(Profile(dir.File("none.ini")).GetString("a", "b", "dflt"), "dflt");
}

TEST(Profile, ValueCutToBufferSize) {
    TempDir dir;
    Profile ini(dir.File("a.ini"));
    ini.WriteString("S", "K", std::string(300, 'v'));
    EXPECT_EQ(ini.GetString("S", "K", "", 255).size(), 254u);
    // Stored whole; only the read is limited.
    EXPECT_EQ(ini.GetString("S", "K", "", 1000).size(), 300u);
}

TEST(Profile, WriteKeepsEveryOtherLineByteForByte) {
    TempDir dir;
    const std::string before =
        "; my settings\r\n"
        "[LocalSettings]\r\n"
        "FTPServer = ftp.example.net\r\n"
        "\r\n"
        "   ; indented comment\r\n"
        "siteName=Home\r\n"
        "[Preferences]\r\n"
        "RefreshIntv=45\r\n";
    WriteFile(dir.File("a.ini"), before);
    Profile ini(dir.File("a.ini"));
    ASSERT_TRUE(ini.WriteString("localsettings", "SITENAME", "Away"));
    ASSERT_TRUE(ini.WriteString("Preferences", "Timeout", "20"));
    EXPECT_EQ(ReadFile(dir.File("a.ini")),
              "; my settings\r\n"
              "[LocalSettings]\r\n"
              "FTPServer = ftp.example.net\r\n"
              "\r\n"
              "   ; indented comment\r\n"
              "siteName=Away\r\n"
              "[Preferences]\r\n"
              "RefreshIntv=45\r\n"
              "Timeout=20\r\n");
}

// Rewriting is a flush to the disk: a write that changes no byte must not replace the file
// (a replaced file is a new one, with another inode).
TEST(Profile, WriteThatChangesNothingLeavesTheFileUntouched) {
    struct Case {
        const char* name;
        std::function<bool(Profile&)> write;
        bool replaced;
    };
    const std::vector<Case> cases = {
        {"same value",
         [](Profile& p) { return p.WriteString("IPAddress", "lastwanip", "1.2.3.4"); }, false},
        {"other value",
         [](Profile& p) { return p.WriteString("IPAddress", "LastWANIP", "5.6.7.8"); }, true},
        {"same section",
         [](Profile& p) {
             return p.WriteSection("IPAddress", {"LastWANIP=1.2.3.4", "X=1"});
         },
         false},
        {"section with one more key",
         [](Profile& p) {
             return p.WriteSection("IPAddress", {"LastWANIP=1.2.3.4", "X=1", "Y=2"});
         },
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.File("a.ini");
        WriteFile(path, "[IPAddress]\r\nLastWANIP=1.2.3.4\r\nX=1\r\n[Other]\r\nA=b\r\n");
        struct stat before {};
        ASSERT_EQ(::stat(path.c_str(), &before), 0);
        Profile ini(path);
        ASSERT_TRUE(c.write(ini));
        struct stat after {};
        ASSERT_EQ(::stat(path.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino != before.st_ino, c.replaced);
    }
}

TEST(Profile, NewKeyGoesBeforeTrailingBlankLinesAndKeepsUnixLineEnds) {
    TempDir dir;
    WriteFile(dir.File("a.ini"), "[A]\nx=1\n\n[B]\ny=2");
    Profile ini(dir.File("a.ini"));
    ini.WriteString("A", "z", "3");
    ini.WriteString("B", "w", "4");
    ini.WriteString("C", "v", "5");
    EXPECT_EQ(ReadFile(dir.File("a.ini")), "[A]\nx=1\nz=3\n\n[B]\ny=2\nw=4\n[C]\nv=5\n");
}

TEST(Profile, LineBreakInAValueCannotAddKeysOrSections) {
    TempDir dir;
    Profile ini(dir.File("a.ini"));
    ini.WriteString("IPAddress", "LastWANIP", "1.2.3.4\r\n[LocalSettings]\r\nFTPServer=evil");
    ini.WriteSection("Programs", {"Program0=a\nProgram9=b"});
    EXPECT_EQ(ReadFile(dir.File("a.ini")),
              "[IPAddress]\r\nLastWANIP=1.2.3.4\r\n[Programs]\r\nProgram0=a\r\n");
}

TEST(Profile, WriteAfterALastLineEndingInALoneCarriageReturnCanBeReadBack) {
    TempDir dir;
    WriteFile(dir.File("a.ini"), "[S]\na=1\r");
    Profile ini(dir.File("a.ini"));
    ASSERT_TRUE(ini.WriteString("S", "b", "2"));
    ASSERT_TRUE(ini.WriteString("New", "k", "v"));
    EXPECT_EQ(ini.GetString("S", "a", ""), "1");
    EXPECT_EQ(ini.GetString("S", "b", ""), "2");
    EXPECT_EQ(ini.GetString("New", "k", ""), "v");

    // A lone CR ending the last line stays part of that line when a line follows it.
    WriteFile(dir.File("b.ini"), "[S]\nnote=x\r");
    Profile other(dir.File("b.ini"));
    ASSERT_TRUE(other.WriteString("T", "k", "v"));
    EXPECT_EQ(ReadFile(dir.File("b.ini")), "[S]\nnote=x\r\r\n[T]\nk=v\n");
}

TEST(Profile, EightBitValuesRoundTripUnconverted) {
    TempDir dir;
    Profile ini(dir.File("a.ini"));
    const std::string bytes = "\xC3\xA9\xFD\x80\x41";
    ini.WriteString("S", "K", bytes);
    EXPECT_EQ(ini.GetString("S", "K", ""), bytes);
}

TEST(Profile, SectionsListedWrittenAndErased) {
    TempDir dir;
    WriteFile(dir.File("a.ini"), "[Programs]\nProgram0=Editor\n; note\nProgram1=\n[Other]\nk=v\n");
    Profile ini(dir.File("a.ini"));
    EXPECT_EQ(ini.GetSection("programs", 3000),
              (std::vector<std::string>{"Program0=Editor", "Program1="}));
    // Entries that do not fit the buffer are cut.
    EXPECT_EQ(ini.GetSection("Programs", 10), (std::vector<std::string>{"Program0"}));

    ASSERT_TRUE(ini.WriteSection("Programs", {"Program0=alpha", "Program1=beta"}));
    EXPECT_EQ(ini.GetSection("Programs", 3000),
              (std::vector<std::string>{"Program0=alpha", "Program1=beta"}));
    EXPECT_EQ(ini.GetString("Other", "k", ""), "v");

    ASSERT_TRUE(ini.EraseSection("PROGRAMS"));
    EXPECT_TRUE(ini.GetSection("Programs", 3000).empty());
    EXPECT_EQ(ReadFile(dir.File("a.ini")), "[Other]\nk=v\n");
}

TEST(Profile, FailedWriteLeavesTheFileAsItWas) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "root writes into read-only folders";
    }
    TempDir dir;
    WriteFile(dir.File("a.ini"), "[S]\nK=old\n");
    chmod(dir.Path().c_str(), 0500);
    Profile ini(dir.File("a.ini"));
    EXPECT_FALSE(ini.WriteString("S", "K", "new"));
    chmod(dir.Path().c_str(), 0700);
    EXPECT_EQ(ReadFile(dir.File("a.ini")), "[S]\nK=old\n");
}

// The file holds scrambled passwords: whatever permissions it was given by hand, and whichever
// way it is replaced (a rename, in place for a hard-linked file, through a link), every kind
// of write, one that changes no byte included, leaves it 0600 with its owner and group.
TEST(Profile, EveryWriteLeavesTheFilePrivate) {
    struct Setup {
        const char* name;
        mode_t mode;
        bool hardLinked;
        bool throughSymlink;
    };
    const std::vector<std::function<bool(Profile&)>> writes = {
        [](Profile& ini) { return ini.WriteString("S", "K", "new"); },
        [](Profile& ini) { return ini.WriteSection("S", {"K=new"}); },
        [](Profile& ini) { return ini.EraseSection("Other"); },
        // Changes no byte: the contents stay, the permissions do not.
        [](Profile& ini) { return ini.WriteString("S", "K", "old"); },
        [](Profile& ini) { return ini.WriteSection("Other", {"x=1"}); },
    };
    const size_t kChangingWrites = 3;
    for (const Setup& setup : {Setup{"readable by all", 0644, false, false},
                               Setup{"readable by the group", 0640, false, false},
                               Setup{"writable by the group", 0660, false, false},
                               Setup{"hard-linked", 0644, true, false},
                               Setup{"behind a symbolic link", 0644, false, true}}) {
        for (size_t w = 0; w < writes.size(); ++w) {
            SCOPED_TRACE(std::string(setup.name) + ", write " + std::to_string(w));
            TempDir dir;
            const std::string file = dir.File("Orvex.ini");
            WriteFile(file, "[S]\nK=old\n[Other]\nx=1\n");
            ASSERT_EQ(::chmod(file.c_str(), setup.mode), 0);
            if (setup.hardLinked) {
                ASSERT_EQ(::link(file.c_str(), dir.File("copy.ini").c_str()), 0);
            }
            std::string path = file;
            if (setup.throughSymlink) {
                path = dir.File("link.ini");
                ASSERT_EQ(::symlink(file.c_str(), path.c_str()), 0);
            }
            struct stat before {};
            ASSERT_EQ(::stat(file.c_str(), &before), 0);
            Profile ini(path);
            ASSERT_TRUE(writes[w](ini));
            struct stat after {};
            ASSERT_EQ(::stat(file.c_str(), &after), 0);
            EXPECT_EQ(after.st_mode & 07777, 0600u);
            EXPECT_EQ(after.st_uid, before.st_uid);
            EXPECT_EQ(after.st_gid, before.st_gid);
            EXPECT_EQ(ReadFile(file) == "[S]\nK=old\n[Other]\nx=1\n", w >= kChangingWrites);
        }
    }
}

TEST(Profile, AtoiReadsLikeTheCLibrary) {
    EXPECT_EQ(AsciiToInt("  42abc"), 42);
    EXPECT_EQ(AsciiToInt("-7"), -7);
    EXPECT_EQ(AsciiToInt("+8"), 8);
    EXPECT_EQ(AsciiToInt("abc"), 0);
    EXPECT_EQ(AsciiToInt(""), 0);
    EXPECT_EQ(AsciiToInt("99999999999"), 2147483647);
}

}  // namespace
}  // namespace orvex
