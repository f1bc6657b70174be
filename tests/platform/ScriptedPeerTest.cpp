#include "ScriptedPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace orvex::test {
namespace {

int ConnectTo(uint16_t port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

std::string ReadSome(int fd) {
    char buffer[256];
    ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

// The peer is the ground truth of every dialogue test, so it must itself notice mismatches.
TEST(ScriptedPeer, PlaysItsScriptRecordsBytesAndReportsMismatches) {
    ScriptedPeer peer;
    peer.SendLine("220 hello").Expect("USER joe").Expect("PASS x").Close();
    peer.Start();
    int fd = ConnectTo(peer.Port());
    ASSERT_GE(fd, 0);
    EXPECT_EQ(ReadSome(fd), "220 hello\r\n");
    const std::string lines = "USER joe\r\nPASS y\r\n";
    send(fd, lines.data(), lines.size(), 0);
    EXPECT_EQ(ReadSome(fd), "");  // closed by the script
    close(fd);
    EXPECT_FALSE(peer.Finish());
    ASSERT_EQ(peer.Errors().size(), 1u);
    EXPECT_NE(peer.Errors()[0].find("PASS y"), std::string::npos);
    EXPECT_EQ(peer.ReceivedLines(), (std::vector<std::string>{"USER joe", "PASS y"}));
}

TEST(ScriptedPeer, AcceptsSeveralConnectionsAndGivesUpWhenNoLineComes) {
    ScriptedPeer peer;
    peer.SetStepTimeout(200);
    peer.SendLine("one").Close().Accept().Expect("never sent");
    peer.Start();
    int a = ConnectTo(peer.Port());
    EXPECT_EQ(ReadSome(a), "one\r\n");
    close(a);
    int b = ConnectTo(peer.Port());
    EXPECT_FALSE(peer.Finish());
    close(b);
    EXPECT_EQ(peer.Connections(), 2);
}

}  // namespace
}  // namespace orvex::test
