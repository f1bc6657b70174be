#include "platform/TlsSession.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include "TempDir.h"
#include "TestCertificates.h"

namespace orvex {
namespace {

using test::TempDir;
using test::TestCertificates;

// A loopback listener whose one-connection-at-a-time server side runs on a thread of its own.
class LocalPeer {
public:
    LocalPeer() {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&local), sizeof local);
        ::listen(listener_, 4);
        socklen_t size = sizeof local;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&local), &size);
        port_ = ntohs(local.sin_port);
    }
    ~LocalPeer() {
        Join();
        ::close(listener_);
    }

    // Serves `connections` connections in turn, each with `serve`.
    void Run(std::function<void(int fd, int index)> serve, int connections = 1) {
        thread_ = std::thread([this, serve, connections] {
            for (int i = 0; i < connections; ++i) {
                int fd = ::accept(listener_, nullptr, nullptr);
                if (fd < 0) {
                    return;
                }
                serve(fd, i);
                ::close(fd);
            }
        });
    }
    void Join() {
        if (thread_.joinable()) {
            thread_.join();
        }
    }

    // A client socket connected to the peer (the caller closes it).
    int Dial() const {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in target{};
        target.sin_family = AF_INET;
        target.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        target.sin_port = htons(port_);
        EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&target), sizeof target), 0);
        return fd;
    }

private:
    int listener_ = -1;
    uint16_t port_ = 0;
    std::thread thread_;
};

class TlsSessionTest : public ::testing::Test {
protected:
    TlsSessionTest() : certs_(dir_.Path()) {}
    void SetUp() override { ASSERT_TRUE(certs_.Ok()) << certs_.Error(); }

    TlsOptions Trusting() const { return TlsOptions{true, certs_.CaFile()}; }

    // Serves one TLS connection with `leaf`'s certificate: says "hello", echoes one read,
    // then waits for the client's close.
    void ServeEcho(LocalPeer& peer, const std::string& leaf) {
        peer.Run([this, leaf](int fd, int) {
            TlsSession server;
            if (!server.Accept(fd, certs_.CertFile(leaf), certs_.KeyFile(leaf), 5000)) {
                return;
            }
            server.Write("hello", 5, 5000);
            char buffer[64];
            size_t got = 0;
            if (server.Read(buffer, sizeof buffer, 5000, &got) == TlsIo::kOk) {
                server.Write(buffer, got, 5000);
            }
            serverSawClose_ = server.Read(buffer, sizeof buffer, 5000, &got) == TlsIo::kClosed;
            server.Close(1000);
        });
    }

    TempDir dir_;
    TestCertificates certs_;
    bool serverSawClose_ = false;
};

std::string ReadAll(TlsSession& session, size_t want) {
    std::string text;
    char buffer[64];
    while (text.size() < want) {
        size_t got = 0;
        if (session.Read(buffer, sizeof buffer, 5000, &got) != TlsIo::kOk) {
            break;
        }
        text.append(buffer, got);
    }
    return text;
}

TEST_F(TlsSessionTest, TalksBothWaysAndClosesCleanlyByNameAndByAddress) {
    for (const std::string name : {"localhost", "127.0.0.1"}) {
        SCOPED_TRACE(name);
        LocalPeer peer;
        ServeEcho(peer, "server");
        int fd = peer.Dial();
        TlsSession client;
        ASSERT_TRUE(client.Connect(fd, name, Trusting(), 5000)) << client.Error();
        EXPECT_TRUE(client.Version() == "TLSv1.3" || client.Version() == "TLSv1.2");
        EXPECT_EQ(ReadAll(client, 5), "hello");
        ASSERT_EQ(client.Write("ping", 4, 5000), TlsIo::kOk);
        EXPECT_EQ(ReadAll(client, 4), "ping");
        EXPECT_TRUE(client.Close(2000));
        EXPECT_FALSE(client.Established());
        peer.Join();
        EXPECT_TRUE(serverSawClose_);
        ::close(fd);
    }
}

// Each refusal names its reason in the certificate check's own words; without verification
// the same servers are accepted.
TEST_F(TlsSessionTest, CertificateChecksRefuseWithTheReasonUnlessVerificationIsOff) {
    struct Case {
        std::string leaf;
        std::string name;
        std::string caFile;
        std::string reason;
    };
    const Case cases[] = {
        {"other", "localhost", certs_.CaFile(), "hostname mismatch"},
        {"other", "127.0.0.1", certs_.CaFile(), "IP address mismatch"},
        {"expired", "localhost", certs_.CaFile(), "certificate has expired"},
        {"stranger", "localhost", certs_.CaFile(), "unable to get local issuer certificate"},
        {"server", "localhost", "", "unable to get local issuer certificate"},
    };
    // The system store must not happen to trust the test CA.
    ::unsetenv("SSL_CERT_FILE");
    ::unsetenv("SSL_CERT_DIR");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.leaf + " as " + c.name);
        for (bool verify : {true, false}) {
            LocalPeer peer;
            ServeEcho(peer, c.leaf);
            int fd = peer.Dial();
            TlsSession client;
            bool ok = client.Connect(fd, c.name, TlsOptions{verify, c.caFile}, 5000);
            if (verify) {
                EXPECT_FALSE(ok);
                EXPECT_TRUE(client.VerifyFailed());
                EXPECT_EQ(client.Error(), c.reason);
            } else {
                EXPECT_TRUE(ok) << client.Error();
                EXPECT_EQ(ReadAll(client, 5), "hello");
                client.Close(1000);
            }
            ::close(fd);
            peer.Join();
        }
    }
}

// The system store is a folder of certificates named by their subject's hash (SSL_CERT_DIR)
// and a bundle (SSL_CERT_FILE), read only when the folder lacks an issuer: either one that
// holds the issuer is enough.
TEST_F(TlsSessionTest, SystemStoreFollowsSslCertFileAndSslCertDir) {
    // A folder holding the test CA under its hash name, as the system's folder does.
    const std::string hashed = dir_.File("hashed");
    const std::string empty = dir_.File("empty");
    ::mkdir(hashed.c_str(), 0700);
    ::mkdir(empty.c_str(), 0700);
    {
        std::unique_ptr<FILE, int (*)(FILE*)> pem(std::fopen(certs_.CaFile().c_str(), "r"),
                                                  std::fclose);
        ASSERT_TRUE(pem);
        X509* ca = PEM_read_X509(pem.get(), nullptr, nullptr, nullptr);
        ASSERT_NE(ca, nullptr);
        char name[16];
        std::snprintf(name, sizeof name, "%08lx.0", X509_subject_name_hash(ca));
        X509_free(ca);
        test::WriteFile(hashed + "/" + name, test::ReadFile(certs_.CaFile()));
    }
    const std::string stranger = dir_.File("stranger-ca.pem");
    struct Case {
        const char* name;
        std::string bundle;
        std::string folder;
        bool trusted;
    };
    const std::vector<Case> cases = {
        {"issuer in the bundle", certs_.CaFile(), empty, true},
        {"issuer in the folder", dir_.File("none.pem"), hashed, true},
        {"issuer in the folder, another in the bundle", stranger, hashed, true},
        {"issuer in neither", stranger, empty, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ::setenv("SSL_CERT_FILE", c.bundle.c_str(), 1);
        ::setenv("SSL_CERT_DIR", c.folder.c_str(), 1);
        LocalPeer peer;
        ServeEcho(peer, "server");
        int fd = peer.Dial();
        TlsSession client;
        EXPECT_EQ(client.Connect(fd, "localhost", TlsOptions{true, ""}, 5000), c.trusted)
            << client.Error();
        EXPECT_EQ(client.VerifyFailed(), !c.trusted);
        client.Close(1000);
        ::close(fd);
        peer.Join();
    }
    ::unsetenv("SSL_CERT_FILE");
    ::unsetenv("SSL_CERT_DIR");
}

TEST_F(TlsSessionTest, UnreadableCaFileIsReportedBeforeAnyHandshake) {
    LocalPeer peer;
    peer.Run([](int, int) {});
    int fd = peer.Dial();
    TlsSession client;
    EXPECT_FALSE(client.Connect(fd, "localhost", TlsOptions{true, dir_.File("none.pem")}, 1000));
    EXPECT_NE(client.Error().find("cannot read trusted certificates from"), std::string::npos);
    EXPECT_FALSE(client.VerifyFailed());
    ::close(fd);
}

// What a connection trusts is read again when it changes between connections: a CA file
// rewritten in place, and the system store moved by SSL_CERT_FILE.
TEST_F(TlsSessionTest, ChangedTrustTakesEffectAtTheNextConnection) {
    ::unsetenv("SSL_CERT_FILE");
    ::unsetenv("SSL_CERT_DIR");
    const std::string caFile = dir_.File("trusted.pem");
    auto connects = [&](const std::string& file) {
        LocalPeer peer;
        ServeEcho(peer, "server");
        int fd = peer.Dial();
        TlsSession client;
        const bool ok = client.Connect(fd, "localhost", TlsOptions{true, file}, 5000);
        if (ok) {
            client.Close(1000);
        }
        ::close(fd);
        peer.Join();
        return ok;
    };
    test::WriteFile(caFile, test::ReadFile(dir_.File("stranger-ca.pem")));
    EXPECT_FALSE(connects(caFile));
    EXPECT_FALSE(connects(caFile));
    test::WriteFile(caFile, test::ReadFile(certs_.CaFile()));
    EXPECT_TRUE(connects(caFile));

    EXPECT_FALSE(connects(""));
    ::setenv("SSL_CERT_FILE", certs_.CaFile().c_str(), 1);
    EXPECT_TRUE(connects(""));
    ::unsetenv("SSL_CERT_FILE");
    EXPECT_FALSE(connects(""));
}

// Connections on several threads at once share one set-up (the sanitizer builds watch this).
TEST_F(TlsSessionTest, ConnectionsOnSeveralThreadsAtOnce) {
    constexpr int kThreads = 4;
    LocalPeer peers[kThreads];
    bool ok[kThreads] = {};
    std::vector<std::thread> clients;
    for (int i = 0; i < kThreads; ++i) {
        peers[i].Run([this](int fd, int) {
            TlsSession server;
            if (server.Accept(fd, certs_.CertFile("server"), certs_.KeyFile("server"), 5000)) {
                server.Write("hello", 5, 5000);
                server.Close(1000);
            }
        });
        clients.emplace_back([&, i] {
            int fd = peers[i].Dial();
            TlsSession client;
            ok[i] =
                client.Connect(fd, "localhost", Trusting(), 5000) && ReadAll(client, 5) == "hello";
            client.Close(1000);
            ::close(fd);
        });
    }
    for (int i = 0; i < kThreads; ++i) {
        clients[i].join();
        peers[i].Join();
        EXPECT_TRUE(ok[i]) << "connection " << i;
    }
}

// A second connection offering the first one's session is resumed by a server that shares
// its set-up, and a fresh handshake is not.
TEST_F(TlsSessionTest, SecondConnectionResumesTheFirstOnesSession) {
    LocalPeer peer;
    bool resumed[2] = {};
    TlsSession first;
    peer.Run(
        [this, &resumed, &first](int fd, int index) {
            TlsSession second;
            TlsSession& server = index == 0 ? first : second;
            if (!server.Accept(fd, certs_.CertFile("server"), certs_.KeyFile("server"), 5000,
                               index == 0 ? nullptr : &first)) {
                return;
            }
            resumed[index] = server.Resumed();
            server.Write("hi", 2, 5000);
        },
        2);
    int controlFd = peer.Dial();
    TlsSession control;
    ASSERT_TRUE(control.Connect(controlFd, "localhost", Trusting(), 5000)) << control.Error();
    // Reading lets the session tickets of TLS 1.3, which follow the handshake, arrive.
    EXPECT_EQ(ReadAll(control, 2), "hi");
    EXPECT_FALSE(control.Resumed());

    int dataFd = peer.Dial();
    TlsSession data;
    ASSERT_TRUE(data.ConnectResuming(dataFd, control, 5000)) << data.Error();
    EXPECT_TRUE(data.Resumed());
    EXPECT_EQ(ReadAll(data, 2), "hi");
    data.Close(1000);
    control.Close(1000);
    peer.Join();
    ::close(dataFd);
    ::close(controlFd);
    EXPECT_FALSE(resumed[0]);
    EXPECT_TRUE(resumed[1]);
}

// A silent peer, one that hangs up and one that speaks plain text all end the handshake
// within its limit with a reason.
TEST_F(TlsSessionTest, HandshakeFailsInBoundedTimeWithAReason) {
    struct Case {
        const char* what;
        std::function<void(int)> serve;
        std::string error;
    };
    const Case cases[] = {
        {"silent", [](int) { std::this_thread::sleep_for(std::chrono::milliseconds(3000)); },
         "TLS handshake: no answer within 1 s"},
        {"hangs up", [](int fd) { ::shutdown(fd, SHUT_RDWR); },
         "the peer closed the connection during the TLS handshake"},
        {"plain text",
         [](int fd) {
             const char greeting[] = "220 plain server ready\r\n";
             ::send(fd, greeting, sizeof greeting - 1, MSG_NOSIGNAL);
             std::this_thread::sleep_for(std::chrono::milliseconds(300));
         },
         "TLS handshake failed: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LocalPeer peer;
        peer.Run([&c](int fd, int) { c.serve(fd); });
        int fd = peer.Dial();
        TlsSession client;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(client.Connect(fd, "localhost", Trusting(), 500));
        // Bounded by the 500 ms limit, with room for a loaded machine; the silent peer holds
        // the handshake for longer than this bound.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2500));
        EXPECT_EQ(client.Error().substr(0, c.error.size()), c.error);
        EXPECT_FALSE(client.VerifyFailed());
        EXPECT_EQ(client.Write("x", 1, 100), TlsIo::kError);
        peer.Join();
        ::close(fd);
    }
}

TEST_F(TlsSessionTest, ReadWaitsNoLongerThanItsLimit) {
    LocalPeer peer;
    peer.Run([this](int fd, int) {
        TlsSession server;
        server.Accept(fd, certs_.CertFile("server"), certs_.KeyFile("server"), 5000);
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
    });
    int fd = peer.Dial();
    TlsSession client;
    ASSERT_TRUE(client.Connect(fd, "localhost", Trusting(), 5000)) << client.Error();
    char buffer[8];
    size_t got = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(client.Read(buffer, sizeof buffer, 200, &got), TlsIo::kTimedOut);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(600));
    // The peer then goes without a close_notify: an end of stream all the same.
    EXPECT_EQ(client.Read(buffer, sizeof buffer, 3000, &got), TlsIo::kClosed);
    peer.Join();
    ::close(fd);
}

}  // namespace
}  // namespace orvex
