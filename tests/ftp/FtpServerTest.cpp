#include <gtest/gtest.h>

#include <sys/stat.h>

#include <memory>
#include <string>

#include "FtpTestSupport.h"
#include "ServerProcess.h"
#include "TempDir.h"
#include "ftp/FtpLink.h"

namespace orvex {
namespace {

// One pyftpdlib server for the whole suite, with a throwaway user on a temporary root.
class FtpServerTest : public ::testing::TestWithParam<int> {
protected:
    static void SetUpTestSuite() {
        root_ = std::make_unique<test::TempDir>();
        ::mkdir((root_->Path() + "/site").c_str(), 0755);
        server_ = std::make_unique<test::ServerProcess>(
            test::kPython,
            std::vector<std::string>{test::PeerScript("ftp_server.py"), "--root", root_->Path(),
                                     "--user", "tester", "--password", "secret"});
    }
    static void TearDownTestSuite() {
        server_.reset();
        root_.reset();
    }

    FtpLogonParams Params() const {
        FtpLogonParams p;
        p.Host = "127.0.0.1";
        p.Port = server_->Port();
        p.User = "tester";
        p.Password = "secret";
        return p;
    }

    static std::unique_ptr<test::TempDir> root_;
    static std::unique_ptr<test::ServerProcess> server_;
    test::TempDir work;
};

std::unique_ptr<test::TempDir> FtpServerTest::root_;
std::unique_ptr<test::ServerProcess> FtpServerTest::server_;

TEST_P(FtpServerTest, UploadAndDownloadAreByteIdentical) {
    ASSERT_TRUE(server_->Ready());
    const int passive = GetParam();
    const std::string name = passive ? "passive.bin" : "active.bin";
    const std::string content = test::PatternBytes(3 * 1024 * 1024 + 17);
    ::mkdir(work.File("out").c_str(), 0755);
    test::WriteFile(work.File("out/page.bin"), content);

    CFtpLink link(15, work.Path());
    ASSERT_TRUE(link.Logon(Params())) << link.ReplyText() << link.FailureDetail();
    link.Command("TYPE A");
    link.Command("REST 0");
    ASSERT_TRUE(link.Command("CWD site")) << link.ReplyText();
    // A relative local name with the user's backslash resolves against the work directory.
    ASSERT_TRUE(link.Transfer(name, "out\\page.bin", passive, 0))
        << link.ReplyText() << link.FailureDetail();
    EXPECT_EQ(link.ReplyText().substr(0, 3), "226");
    EXPECT_TRUE(test::ReadFile(root_->Path() + "/site/" + name) == content);

    ASSERT_TRUE(link.Transfer(name, "back.bin", passive, 1))
        << link.ReplyText() << link.FailureDetail();
    EXPECT_TRUE(test::ReadFile(work.File("back.bin")) == content);
    link.Quit();

    const std::string log = server_->Log();
    EXPECT_NE(log.find(passive ? "<- PASV" : "<- PORT 127,0,0,1,"), std::string::npos);
    EXPECT_NE(log.find("<- STOR " + name), std::string::npos);
}

TEST_P(FtpServerTest, EmptyFileAndMissingRemoteFile) {
    ASSERT_TRUE(server_->Ready());
    const int passive = GetParam();
    test::WriteFile(work.File("empty.txt"), "");
    CFtpLink link(15, work.Path());
    ASSERT_TRUE(link.Logon(Params())) << link.FailureDetail();
    const std::string name = passive ? "empty-p.txt" : "empty-a.txt";
    EXPECT_TRUE(link.Transfer(name, "empty.txt", passive, 0)) << link.ReplyText();
    EXPECT_TRUE(test::FileExists(root_->Path() + "/" + name));
    EXPECT_EQ(test::ReadFile(root_->Path() + "/" + name), "");
    EXPECT_FALSE(link.Transfer("no-such-file", "got.txt", passive, 1));
    EXPECT_EQ(link.ReplyText().substr(0, 3), "550");
    // The link goes on working after a refused transfer.
    EXPECT_TRUE(link.Command("NOOP")) << link.ReplyText();
    link.Quit();
}

INSTANTIATE_TEST_SUITE_P(Modes, FtpServerTest, ::testing::Values(1, 0),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(info.param ? "Passive" : "Active");
                         });

// The same server software listening on ::1 only: reached by "localhost" (whose IPv4 address
// refuses) and by the bracketed literal; the data connections use the extended commands.
TEST_P(FtpServerTest, ServerOnIpv6LoopbackUsesTheExtendedCommands) {
    test::TempDir root;
    test::ServerProcess server(test::kPython,
                               {test::PeerScript("ftp_server.py"), "--root", root.Path(), "--user",
                                "tester", "--password", "secret", "--bind", "::1"});
    ASSERT_TRUE(server.Ready()) << server.Log();
    const int passive = GetParam();
    const std::string content = test::PatternBytes(300 * 1024 + 3);
    test::WriteFile(work.File("page.htm"), content);
    for (const std::string host : {"localhost", "[::1]"}) {
        CFtpLink link(15, work.Path());
        FtpLogonParams params = Params();
        params.Host = host;
        params.Port = server.Port();
        ASSERT_TRUE(link.Logon(params)) << host << ": " << link.FailureDetail();
        ASSERT_TRUE(link.Transfer("up.htm", "page.htm", passive, 0))
            << link.ReplyText() << link.FailureDetail();
        EXPECT_TRUE(test::ReadFile(root.Path() + "/up.htm") == content);
        ASSERT_TRUE(link.Transfer("up.htm", "back.htm", passive, 1)) << link.ReplyText();
        EXPECT_TRUE(test::ReadFile(work.File("back.htm")) == content);
        link.Quit();
    }
    const std::string log = server.Log();
    EXPECT_NE(log.find(passive ? "<- EPSV" : "<- EPRT |2|::1|"), std::string::npos) << log;
    EXPECT_EQ(log.find("<- PASV"), std::string::npos);
    EXPECT_EQ(log.find("<- PORT"), std::string::npos);
}

}  // namespace
}  // namespace orvex
