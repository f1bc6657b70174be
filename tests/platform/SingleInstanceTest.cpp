#include "platform/SingleInstance.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include <gtest/gtest.h>

#include "TempDir.h"

namespace orvex {
namespace {

TEST(SingleInstance, SecondHolderInAnotherProcessIsRefusedUntilTheFirstEnds) {
    test::TempDir dir;
    setenv("XDG_RUNTIME_DIR", dir.Path().c_str(), 1);
    {
        SingleInstance first;
        ASSERT_EQ(first.Acquire(), SingleInstance::Result::First);
        pid_t child = fork();
        if (child == 0) {
            SingleInstance second;
            _exit(second.Acquire() == SingleInstance::Result::AlreadyRunning ? 0 : 1);
        }
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    SingleInstance again;
    EXPECT_EQ(again.Acquire(), SingleInstance::Result::First);
    unsetenv("XDG_RUNTIME_DIR");
}

}  // namespace
}  // namespace orvex
