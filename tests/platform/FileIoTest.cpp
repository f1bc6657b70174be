#include "platform/FileIo.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include <gtest/gtest.h>

#include "TempDir.h"

namespace orvex {
namespace {

using test::FileExists;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

struct stat StatOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st;
}

TEST(ReadFileBounded, StopsAtTheLimitAndAtTheFirstNul) {
    TempDir dir;
    WriteFile(dir.File("t"), std::string("abc\0def", 7));
    std::string text = "old";
    ASSERT_TRUE(ReadFileBounded(dir.File("t"), 100, &text));
    EXPECT_EQ(text, "abc");
    WriteFile(dir.File("t"), std::string(5000, 'x'));
    ASSERT_TRUE(ReadFileBounded(dir.File("t"), 4096, &text));
    EXPECT_EQ(text.size(), 4096u);

    errno = 0;
    EXPECT_FALSE(ReadFileBounded(dir.File("missing"), 10, &text));
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(text.size(), 4096u) << "a failed read leaves the text alone";
}

TEST(ReplaceFile, NewAndPlainFilesAreReplacedWholeKeepingTheirPermissions) {
    TempDir dir;
    const std::string path = dir.File("page.html");
    ReplaceOptions privateFile;
    privateFile.newFileMode = 0600;
    ASSERT_EQ(ReplaceFile(path, "first", privateFile), ReplaceResult::kOk);
    EXPECT_EQ(ReadFile(path), "first");
    EXPECT_EQ(StatOf(path).st_mode & 07777, 0600u);

    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    const ino_t before = StatOf(path).st_ino;
    ASSERT_EQ(ReplaceFile(path, "second, longer"), ReplaceResult::kOk);
    EXPECT_EQ(ReadFile(path), "second, longer");
    EXPECT_EQ(StatOf(path).st_mode & 07777, 0640u);
    EXPECT_NE(StatOf(path).st_ino, before) << "a plain file is replaced by a rename";
}

TEST(ReplaceFile, TemporaryFileIsHiddenBesideTheFileAndAStaleOneIsRemoved) {
    TempDir dir;
    const std::string path = dir.File("Orvex.ini");
    EXPECT_EQ(ReplacementTempPath(path), dir.File(".Orvex.ini.orvex-new"));
    // Left by a crash, even as a link that must not be written through.
    WriteFile(dir.File("victim"), "untouched");
    ASSERT_EQ(::symlink("victim", ReplacementTempPath(path).c_str()), 0);
    ASSERT_EQ(ReplaceFile(path, "[S]\r\n"), ReplaceResult::kOk);
    EXPECT_EQ(ReadFile(path), "[S]\r\n");
    EXPECT_EQ(ReadFile(dir.File("victim")), "untouched");
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Orvex.ini", "victim"}));
}

TEST(ReplaceFile, LinksAreFollowedAndKept) {
    TempDir dir;
    ASSERT_TRUE(std::filesystem::create_directory(dir.File("webroot")));
    const std::string target = dir.File("webroot/index.html");
    WriteFile(target, "old");
    // A relative link, through a second link.
    ASSERT_EQ(::symlink("webroot/index.html", dir.File("inner").c_str()), 0);
    ASSERT_EQ(::symlink(dir.File("inner").c_str(), dir.File("copy.html").c_str()), 0);
    ASSERT_EQ(ReplaceFile(dir.File("copy.html"), "new"), ReplaceResult::kOk);
    EXPECT_EQ(ReadFile(target), "new");
    struct stat st {};
    ASSERT_EQ(::lstat(dir.File("copy.html").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_FALSE(FileExists(dir.File("webroot/.index.html.orvex-new")));

    // A link whose target does not exist yet creates the target.
    ASSERT_EQ(::symlink("webroot/later.txt", dir.File("later").c_str()), 0);
    ASSERT_EQ(ReplaceFile(dir.File("later"), "1.2.3.4"), ReplaceResult::kOk);
    EXPECT_EQ(ReadFile(dir.File("webroot/later.txt")), "1.2.3.4");

    // Hard links keep sharing the file.
    ASSERT_EQ(::link(target.c_str(), dir.File("hard.html").c_str()), 0);
    ASSERT_EQ(ReplaceFile(dir.File("hard.html"), "shared"), ReplaceResult::kOk);
    EXPECT_EQ(ReadFile(target), "shared");
    EXPECT_EQ(StatOf(target).st_nlink, 2u);
    ASSERT_EQ(ReplaceFile(target, "short"), ReplaceResult::kOk);
    EXPECT_EQ(ReadFile(dir.File("hard.html")), "short") << "the rest of the old text is cut";
}

TEST(ReplaceFile, ReadOnlyFileIsLeftAloneUnlessItIsTheProgramsOwn) {
    TempDir dir;
    const std::string path = dir.File("copy.txt");
    WriteFile(path, "192.0.2.1");
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    EXPECT_TRUE(IsReadOnlyFile(path));
    errno = 0;
    EXPECT_EQ(ReplaceFile(path, "203.0.113.7"), ReplaceResult::kOpenFailed);
    EXPECT_EQ(errno, EACCES);
    EXPECT_EQ(ReadFile(path), "192.0.2.1");

    ReplaceOptions own;
    own.replaceReadOnly = true;
    EXPECT_EQ(ReplaceFile(path, "203.0.113.7", own), ReplaceResult::kOk);
    EXPECT_EQ(ReadFile(path), "203.0.113.7");
    EXPECT_FALSE(IsReadOnlyFile(dir.File("missing")));
}

TEST(ReplaceFile, OwnerAndGroupStay) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only the superuser can make a file another user's";
    }
    TempDir dir;
    const std::string path = dir.File("Orvex.ini");
    WriteFile(path, "[S]\r\n");
    ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
    ASSERT_EQ(ReplaceFile(path, "[T]\r\n"), ReplaceResult::kOk);
    EXPECT_EQ(ReadFile(path), "[T]\r\n");
    EXPECT_EQ(StatOf(path).st_uid, 65534u);
    EXPECT_EQ(StatOf(path).st_gid, 65534u);
}

TEST(ReplaceFile, DevicesAndFoldersAreNotReplaced) {
    EXPECT_EQ(ReplaceFile("/dev/null", "bytes"), ReplaceResult::kOk);
    TempDir dir;
    ASSERT_TRUE(std::filesystem::create_directory(dir.File("Online.txt")));
    errno = 0;
    EXPECT_EQ(ReplaceFile(dir.File("Online.txt"), "page"), ReplaceResult::kOpenFailed);
    EXPECT_EQ(errno, EISDIR);
    errno = 0;
    EXPECT_EQ(ReplaceFile(dir.File("gone/x.html"), "page"), ReplaceResult::kOpenFailed);
    EXPECT_EQ(errno, ENOENT);
}

}  // namespace
}  // namespace orvex
