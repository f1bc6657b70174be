#include "ui/InstanceServer.h"

#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "ShellTestSupport.h"
#include "TempDir.h"
#include "platform/SingleInstance.h"

namespace orvex::test {
namespace {

// Whether the server has closed its end of `fd` (it does once the request is dealt with).
bool ClosedByServer(int fd) {
    pollfd p{fd, POLLIN, 0};
    char byte = 0;
    return ::poll(&p, 1, 0) == 1 && ::recv(fd, &byte, 1, MSG_DONTWAIT) == 0;
}

TEST(InstanceServerTest, EachCallerAsksOnceAndOnlyTheUserMayConnect) {
    TempDir runtime;
    const char* was = std::getenv("XDG_RUNTIME_DIR");
    const std::string before = was != nullptr ? was : "";
    ::setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
    int shows = 0;
    int refreshes = 0;
    InstanceServer server([&] { ++shows; }, [&] { ++refreshes; });
    ASSERT_TRUE(server.Listen());
    struct stat info {};
    ASSERT_EQ(::stat(SingleInstance::SocketPath().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    struct Case {
        std::string sent;
        bool hangUp;  // the caller closes its sending side after the bytes
        int shows;
        int refreshes;
    };
    const std::vector<Case> cases = {
        {"refresh\n", false, 0, 1},
        {"show\n", false, 1, 0},
        {"hello\n", true, 1, 0},
        {"refr", true, 0, 0},                 // hung up before a whole line
        {"", false, 1, 0},                    // said nothing within a second
        {std::string(100, 'a'), false, 1, 0}  // no line at all
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sent);
        shows = refreshes = 0;
        const std::string path = SingleInstance::SocketPath();
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ASSERT_EQ(::send(fd, c.sent.data(), c.sent.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(c.sent.size()));
        if (c.hangUp) {
            ::shutdown(fd, SHUT_WR);
        }
        EXPECT_TRUE(PumpUntil([&] { return ClosedByServer(fd); }));
        ::close(fd);
        EXPECT_EQ(shows, c.shows);
        EXPECT_EQ(refreshes, c.refreshes);
    }

    // The second copy's own way of asking.
    shows = refreshes = 0;
    std::atomic<bool> asked{false};
    std::thread second([&] { asked = SingleInstance::AskFirstCopy("refresh"); });
    PumpUntil([&] { return refreshes == 1; });
    second.join();
    EXPECT_TRUE(asked);
    EXPECT_EQ(refreshes, 1);
    EXPECT_EQ(shows, 0);
    if (was != nullptr) {
        ::setenv("XDG_RUNTIME_DIR", before.c_str(), 1);
    } else {
        ::unsetenv("XDG_RUNTIME_DIR");
    }
}

}  // namespace
}  // namespace orvex::test
