#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "TempDir.h"
#include "platform/ChildProcess.h"

namespace orvex {
namespace {

ChildRequest Shell(const std::string& script, long boundMs = 5000) {
    ChildRequest request;
    request.arguments = {"/bin/sh", "-c", script};
    request.boundMs = boundMs;
    return request;
}

bool Exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

TEST(ChildProcessTest, RunsWithTheGivenEnvironmentFolderAndCapturedOutput) {
    test::TempDir dir;
    ::setenv("ORVEX_CHILD_TEST", "program's own", 1);
    ChildRequest request = Shell("echo \"$ORVEX_CHILD_TEST|$EXTRA|$(pwd)\"; echo err >&2; exit 4");
    request.environment = {{"ORVEX_CHILD_TEST", "given"}, {"EXTRA", "x y"}};
    request.workDir = dir.Path();
    const ChildResult result = RunChild(request);
    ::unsetenv("ORVEX_CHILD_TEST");
    EXPECT_EQ(result.outcome, ChildResult::Outcome::kExited);
    EXPECT_EQ(result.status, 4);
    EXPECT_EQ(result.output, "given|x y|" + dir.Path() + "\nerr\n");
}

TEST(ChildProcessTest, OutputIsBoundedAndNeverBlocksTheChild) {
    ChildRequest request = Shell("head -c 1000000 /dev/zero | tr '\\0' a; kill -TERM $$");
    request.outputLimit = 10;
    const ChildResult result = RunChild(request);
    EXPECT_EQ(result.outcome, ChildResult::Outcome::kSignalled);
    EXPECT_EQ(result.status, 15);
    EXPECT_EQ(result.output, std::string(10, 'a'));
}

// At the bound the whole group goes, with what the child started in the background.
TEST(ChildProcessTest, BoundKillsTheWholeGroup) {
    test::TempDir dir;
    const auto start = std::chrono::steady_clock::now();
    const ChildResult result = RunChild(
        Shell("(sleep 1; touch '" + dir.File("late") + "') & echo started; sleep 30", 300));
    EXPECT_EQ(result.outcome, ChildResult::Outcome::kTimedOut);
    EXPECT_EQ(result.output, "started\n");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    EXPECT_FALSE(Exists(dir.File("late")));
}

TEST(ChildProcessTest, ProgramThatIsNotThereIsNotStarted) {
    ChildRequest request;
    request.arguments = {"/nonexistent/program"};
    EXPECT_EQ(RunChild(request).outcome, ChildResult::Outcome::kNotStarted);
    EXPECT_EQ(StartChild(request), ENOENT);
    request.arguments = {"/bin/true"};
    EXPECT_EQ(StartChild(request), 0);
}

}  // namespace
}  // namespace orvex
