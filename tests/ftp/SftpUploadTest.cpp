#include "ftp/SftpUpload.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <string>

#include "FtpTestSupport.h"
#include "ScriptedPeer.h"
#include "ServerProcess.h"
#include "TempDir.h"

namespace orvex {
namespace {

using test::ServerProcess;

// The fingerprint ssh-keygen shows for a private key file's public half.
std::string KeygenFingerprint(const std::string& keyFile) {
    const std::string command = "ssh-keygen -l -E sha256 -f '" + keyFile + "' 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    char line[512] = {};
    if (!pipe || std::fgets(line, sizeof line, pipe.get()) == nullptr) {
        return {};
    }
    // "256 SHA256:... comment (ECDSA)"
    std::string text(line);
    const size_t start = text.find("SHA256:");
    return start == std::string::npos ? "" : text.substr(start, text.find(' ', start) - start);
}

TEST(SftpUrl, MapsRemoteFileToAnEscapedPathFromTheHomeFolder) {
    EXPECT_EQ(SftpUrl("host", 22, "page.htm"), "sftp://host:22/~/page.htm");
    EXPECT_EQ(SftpUrl("host", 2222, "web\\sub/my page.htm"),
              "sftp://host:2222/~/web/sub/my%20page.htm");
    EXPECT_EQ(SftpUrl("host", 22, "/var/www/p.htm"), "sftp://host:22/var/www/p.htm");
    EXPECT_EQ(SftpUrl("::1", 22, "a#b?.htm"), "sftp://[::1]:22/~/a%23b%3F.htm");
}

// An SFTP server (asyncssh) per test: sshd would need a system account with a password.
class SftpUploadTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::mkdir(dir_.File("root").c_str(), 0755);
        ::mkdir(dir_.File("root/site").c_str(), 0755);
        test::WriteFile(dir_.File("page.htm"), "<p>online</p>\n");
        StartServer("hostkey-a");
    }

    void StartServer(const std::string& keyName) {
        server_.reset();
        server_ = std::make_unique<ServerProcess>(
            test::kPython,
            std::vector<std::string>{test::PeerScript("sftp_server.py"), "--root",
                                     dir_.File("root"), "--user", "tester", "--password", "secret",
                                     "--host-key", dir_.File(keyName)});
        ASSERT_TRUE(server_->Ready()) << server_->Log();
    }

    SftpUploadParams Params(const std::string& remote) const {
        SftpUploadParams p;
        p.host = "127.0.0.1";
        p.port = server_->Port();
        p.user = "tester";
        p.password = "secret";
        p.remoteFile = remote;
        p.localPath = dir_.File("page.htm");
        p.timeoutSeconds = 5;
        return p;
    }

    test::TempDir dir_;
    std::unique_ptr<ServerProcess> server_;
};

// The same pinning either way the host key reaches the check: libcurl's callback, or (as
// where its SSH back end has no callback) the known-hosts file beside the settings file,
// which then names the accepted key.
class SftpHostKeyTest : public SftpUploadTest, public ::testing::WithParamInterface<bool> {
protected:
    SftpUploadParams Params(const std::string& remote) const {
        SftpUploadParams p = SftpUploadTest::Params(remote);
        p.forceKnownHostsFile = GetParam();
        p.knownHostsFile = dir_.File("Orvex.known_hosts");
        return p;
    }
    // Whether the known-hosts file names the server with the public half of `keyName`.
    bool KnownHostsNames(const std::string& keyName) const {
        const std::string known = dir_.File("Orvex.known_hosts");
        return test::ReadFile(known).rfind("127.0.0.1 ", 0) == 0 &&
               KeygenFingerprint(known) == KeygenFingerprint(dir_.File(keyName));
    }
};

TEST_P(SftpHostKeyTest, FirstUseLearnsTheHostKeyWhichThenMustMatch) {
    SftpUploadResult first = SftpUpload(Params("site\\page.htm"));
    ASSERT_TRUE(first.ok) << first.error;
    EXPECT_EQ(test::ReadFile(dir_.File("root/site/page.htm")), "<p>online</p>\n");
    EXPECT_EQ(first.offeredHostKey, KeygenFingerprint(dir_.File("hostkey-a")));
    EXPECT_EQ(KnownHostsNames("hostkey-a"), GetParam());

    SftpUploadParams pinned = Params("top.htm");
    pinned.knownHostKey = first.offeredHostKey;
    SftpUploadResult second = SftpUpload(pinned);
    EXPECT_TRUE(second.ok) << second.error;
    EXPECT_TRUE(test::FileExists(dir_.File("root/top.htm")));

    // The server now answers with another key: nothing is sent.
    StartServer("hostkey-b");
    pinned.port = server_->Port();
    pinned.remoteFile = "changed.htm";
    SftpUploadResult third = SftpUpload(pinned);
    EXPECT_FALSE(third.ok);
    EXPECT_TRUE(third.hostKeyChanged);
    EXPECT_EQ(third.offeredHostKey, KeygenFingerprint(dir_.File("hostkey-b")));
    EXPECT_NE(third.offeredHostKey, first.offeredHostKey);
    EXPECT_FALSE(test::FileExists(dir_.File("root/changed.htm")));

    // Emptying the stored key accepts the new one; the known-hosts file follows it.
    SftpUploadParams accepted = Params("accepted.htm");
    SftpUploadResult fourth = SftpUpload(accepted);
    EXPECT_TRUE(fourth.ok) << fourth.error;
    EXPECT_EQ(fourth.offeredHostKey, third.offeredHostKey);
    EXPECT_TRUE(test::FileExists(dir_.File("root/accepted.htm")));
    EXPECT_EQ(KnownHostsNames("hostkey-b"), GetParam());
    EXPECT_FALSE(KnownHostsNames("hostkey-a"));
}

INSTANTIATE_TEST_SUITE_P(Ways, SftpHostKeyTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "KnownHostsFile" : "Callback";
                         });

TEST_F(SftpUploadTest, RefusalsCarryLibcurlsWords) {
    SftpUploadParams wrong = Params("page.htm");
    wrong.password = "nope";
    SftpUploadResult refused = SftpUpload(wrong);
    EXPECT_FALSE(refused.ok);
    EXPECT_FALSE(refused.hostKeyChanged);
    EXPECT_FALSE(refused.error.empty());

    SftpUploadResult missingFolder = SftpUpload(Params("no-such-folder/page.htm"));
    EXPECT_FALSE(missingFolder.ok);
    EXPECT_FALSE(missingFolder.error.empty());

    // No way to see the host key (no callback, no known-hosts file): SFTP is refused.
    SftpUploadParams unchecked = Params("unchecked.htm");
    unchecked.forceKnownHostsFile = true;
    SftpUploadResult refusedUnchecked = SftpUpload(unchecked);
    EXPECT_FALSE(refusedUnchecked.ok);
    EXPECT_NE(refusedUnchecked.error.find("SFTP is refused"), std::string::npos)
        << refusedUnchecked.error;
    EXPECT_FALSE(test::FileExists(dir_.File("root/unchecked.htm")));

    SftpUploadParams noFile = Params("page.htm");
    noFile.localPath = dir_.File("absent.htm");
    SftpUploadResult local = SftpUpload(noFile);
    EXPECT_FALSE(local.ok);
    EXPECT_EQ(local.error, "cannot read " + dir_.File("absent.htm"));
}

TEST(SftpStall, SilentServerFailsWithinTheTimeout) {
    test::TempDir dir;
    test::WriteFile(dir.File("page.htm"), "x");
    test::ScriptedPeer silent;
    silent.Hold();
    silent.Start();
    SftpUploadParams p;
    p.host = "127.0.0.1";
    p.port = silent.Port();
    p.user = "tester";
    p.password = "secret";
    p.remoteFile = "page.htm";
    p.localPath = dir.File("page.htm");
    p.timeoutSeconds = 2;
    const long long start = test::NowMs();
    SftpUploadResult result = SftpUpload(p);
    EXPECT_FALSE(result.ok);
    EXPECT_LT(test::ElapsedMs(start), 4000);
    EXPECT_FALSE(result.error.empty());
    silent.Stop();
}

}  // namespace
}  // namespace orvex
