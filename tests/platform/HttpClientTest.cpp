#include "platform/HttpClient.h"

#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "LoopbackListener.h"
#include "platform/CurlLibrary.h"
#include "ServerProcess.h"
#include "TempDir.h"
#include "TestCertificates.h"

namespace orvex {
namespace {

using nlohmann::json;
using test::PeerScript;
using test::ServerProcess;
using test::TempDir;
using test::TestCertificates;

// A loopback port nobody listens on.
int RefusedPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

// The servers every test of the suite shares: plain HTTP, HTTPS with a trusted certificate,
// and HTTPS with certificates the client must not accept.
class HttpClientTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // The client honours the usual proxy variables; the tests' servers are all local.
        for (const char* name :
             {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
            ::unsetenv(name);
        }
        dir_ = new TempDir;
        certs_ = new TestCertificates(dir_->Path());
        plain_ = Start({});
        secure_ = Start({"--tls", certs_->CertFile("server"), certs_->KeyFile("server")});
        stranger_ = Start({"--tls", certs_->CertFile("stranger"), certs_->KeyFile("stranger")});
        expired_ = Start({"--tls", certs_->CertFile("expired"), certs_->KeyFile("expired")});
    }
    static void TearDownTestSuite() {
        for (ServerProcess* server : {plain_, secure_, stranger_, expired_}) {
            delete server;
        }
        delete certs_;
        delete dir_;
    }
    static ServerProcess* Start(std::vector<std::string> args) {
        args.insert(args.begin(), PeerScript("http_server.py"));
        return new ServerProcess(test::kPython, args);
    }

    void SetUp() override {
        ASSERT_TRUE(certs_->Ok()) << certs_->Error();
        for (ServerProcess* server : {plain_, secure_, stranger_, expired_}) {
            ASSERT_TRUE(server->Ready());
        }
    }

    static std::string Url(const ServerProcess* server, const std::string& path,
                           const std::string& name = "127.0.0.1") {
        const std::string scheme = server == plain_ ? "http" : "https";
        return scheme + "://" + name + ":" + std::to_string(server->Port()) + path;
    }
    static HttpRequest Get(const std::string& url) {
        HttpRequest request;
        request.url = url;
        request.timeoutSeconds = 10;
        request.tls.caFile = certs_->CaFile();
        return request;
    }
    // The request as the server saw it (its echo).
    static json Echo(const HttpResponse& response) {
        return json::parse(response.body, nullptr, false);
    }
    static std::string SentHeader(const json& echo, const std::string& name) {
        if (echo.is_object()) {
            for (const auto& header : echo["headers"]) {
                if (strcasecmp(header[0].get<std::string>().c_str(), name.c_str()) == 0) {
                    return header[1];
                }
            }
        }
        return "(absent)";
    }

    static inline TempDir* dir_ = nullptr;
    static inline TestCertificates* certs_ = nullptr;
    static inline ServerProcess* plain_ = nullptr;
    static inline ServerProcess* secure_ = nullptr;
    static inline ServerProcess* stranger_ = nullptr;
    static inline ServerProcess* expired_ = nullptr;
};

TEST_F(HttpClientTest, MethodsHeadersAndBodiesArriveIntactOverHttpAndHttps) {
    struct Case {
        HttpMethod method;
        const char* name;
        std::string body;
        std::vector<std::pair<std::string, std::string>> headers;
        std::string user;
    };
    const std::vector<Case> cases = {
        {HttpMethod::kGet, "GET", "", {{"X-Auth-Key", "k3y"}}, ""},
        {HttpMethod::kPost, "POST", "{\"a\":1}", {{"Content-Type", "application/json"}}, ""},
        {HttpMethod::kPut, "PUT", "name=v\xC3\xA9", {{"X-Empty", ""}}, "user"},
        {HttpMethod::kPatch, "PATCH", "patch", {}, ""},
        {HttpMethod::kDelete, "DELETE", "", {{"Authorization", "Bearer t0ken"}}, ""},
        {HttpMethod::kPut, "PUT", "", {}, ""},
    };
    for (const ServerProcess* server : {plain_, secure_}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(Url(server, "/") + " " + c.name + " " + c.body);
            HttpRequest request = Get(Url(server, "/api/v1/zone?x=1"));
            request.method = c.method;
            request.body = c.body;
            request.headers = c.headers;
            request.user = c.user;
            request.password = "p:ss";
            const HttpResponse response = SendHttp(request);
            ASSERT_TRUE(response.Ok()) << HttpFailureSentence(response);
            EXPECT_EQ(HttpFailureSentence(response), "");
            const json echo = Echo(response);
            ASSERT_TRUE(echo.is_object()) << response.body;
            EXPECT_EQ(echo["method"], c.name);
            EXPECT_EQ(echo["path"], "/api/v1/zone?x=1");
            EXPECT_EQ(echo["body"], c.body);
            EXPECT_EQ(SentHeader(echo, "User-Agent"), HttpUserAgent());
            EXPECT_EQ(HttpUserAgent(), std::string("Orvex/") + ORVEX_VERSION_TEXT);
            for (const auto& [name, value] : c.headers) {
                EXPECT_EQ(SentHeader(echo, name), value);
            }
            if (!c.user.empty()) {
                EXPECT_EQ(SentHeader(echo, "Authorization"), "Basic dXNlcjpwOnNz");
            } else if (c.headers.empty() || c.headers[0].first != "Authorization") {
                EXPECT_EQ(SentHeader(echo, "Authorization"), "(absent)");
            }
            EXPECT_EQ(SentHeader(echo, "Expect"), "(absent)");
        }
    }
}

TEST_F(HttpClientTest, AnswerStatusAndHeadersComeBackWithLowerCaseNames) {
    const HttpResponse response =
        SendHttp(Get(Url(plain_,
                         "/?status=201&header=X-Request-ID:abc&header=Retry-After:%2030"
                         "&body=made")));
    ASSERT_TRUE(response.Ok());
    EXPECT_EQ(response.status, 201);
    EXPECT_EQ(response.reason, "Created");
    EXPECT_EQ(response.body, "made");
    EXPECT_EQ(response.Header("X-REQUEST-ID"), "abc");
    EXPECT_EQ(response.Header("retry-after"), "30");
    EXPECT_EQ(response.Header("absent"), "");
    for (const auto& [name, value] : response.headers) {
        EXPECT_EQ(name.find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ"), std::string::npos) << name;
    }
}

TEST_F(HttpClientTest, RedirectsAreFollowedAtMostFiveTimesAndHttpsNeverTurnsToHttp) {
    struct Case {
        std::string url;
        bool reached;
        std::string sentence;  // "" for a 2xx answer
        std::string finalPath;
    };
    const std::string toPlain = "/?redirect=" + Url(plain_, "/landed");
    const std::string toSecure = "/?redirect=" + Url(secure_, "/landed");
    const std::string where = "127.0.0.1:" + std::to_string(secure_->Port());
    const std::vector<Case> cases = {
        {Url(plain_, toPlain), true, "", "/landed"},
        {Url(plain_, toSecure), true, "", "/landed"},
        {Url(secure_, toSecure), true, "", "/landed"},
        {Url(secure_, toPlain), false,
         "talking to " + where + " failed: it redirected to " + Url(plain_, "") +
             ", which a request over https does not follow",
         ""},
        {Url(secure_, "/?via=301&redirect=" + Url(plain_, "/landed")), false, "", ""},
        {Url(secure_, "/chain?hops=5"), true, "", "/chain?hops=0"},
        {Url(plain_, "/chain?hops=5&via=307"), true, "", "/chain?hops=0&via=307"},
        {Url(secure_, "/chain?hops=6"), false,
         "talking to " + where + " failed: more than 5 redirects", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        const HttpResponse response = SendHttp(Get(c.url));
        EXPECT_EQ(response.reached, c.reached);
        if (c.reached) {
            ASSERT_TRUE(response.Ok()) << HttpFailureSentence(response);
            EXPECT_EQ(Echo(response)["path"], c.finalPath);
        } else if (!c.sentence.empty()) {
            EXPECT_EQ(HttpFailureSentence(response), c.sentence);
        } else {
            EXPECT_NE(HttpFailureSentence(response).find("which a request over https does not"),
                      std::string::npos);
        }
    }
}

TEST_F(HttpClientTest, CredentialsGoToTheFirstHostOnly) {
    // localhost and 127.0.0.1 are one machine but two hosts.
    for (const auto& [target, sent] : {std::pair{Url(plain_, "/landed"), true},
                                       std::pair{Url(plain_, "/landed", "localhost"), false}}) {
        HttpRequest request = Get(Url(plain_, "/?redirect=" + target));
        request.user = "user";
        request.password = "secret";
        const HttpResponse response = SendHttp(request);
        ASSERT_TRUE(response.Ok()) << HttpFailureSentence(response);
        EXPECT_EQ(SentHeader(Echo(response), "Authorization") != "(absent)", sent) << target;
    }
}

TEST_F(HttpClientTest, BodyIsCappedAndEveryWaitIsBoundedByTheTimeout) {
    HttpRequest capped = Get(Url(plain_, "/?size=100000"));
    capped.maxBodyBytes = 1000;
    HttpResponse response = SendHttp(capped);
    ASSERT_TRUE(response.Ok()) << HttpFailureSentence(response);
    EXPECT_EQ(response.body, std::string(1000, 'x'));
    EXPECT_TRUE(response.bodyCut);

    capped.url = Url(secure_, "/?size=1000");
    response = SendHttp(capped);
    EXPECT_EQ(response.body.size(), 1000u);
    EXPECT_FALSE(response.bodyCut);

    struct Case {
        std::string url;
        std::string sentence;
        std::string bodyStart;  // what arrived before the bound ran out
    };
    const std::vector<Case> cases = {
        {Url(plain_, "/?stall=20"),
         "127.0.0.1:" + std::to_string(plain_->Port()) +
             " took the connection but sent no reply within 1 s",
         ""},
        {Url(plain_, "/?trickle=1&body=start"), "", "start<!-- filler -->"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        HttpRequest request = Get(c.url);
        request.timeoutSeconds = 1;
        const auto start = std::chrono::steady_clock::now();
        response = SendHttp(request);
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_LT(took, std::chrono::seconds(5));
        EXPECT_FALSE(response.reached);
        EXPECT_EQ(response.failure.kind, FailureClass::kNoReply);
        if (!c.sentence.empty()) {
            EXPECT_EQ(HttpFailureSentence(response), c.sentence);
        }
        EXPECT_EQ(response.body.substr(0, c.bodyStart.size()), c.bodyStart);
        if (!c.bodyStart.empty()) {
            EXPECT_EQ(response.status, 200);
        }
    }
}

TEST_F(HttpClientTest, FailuresAreToldInTheSharedSentences) {
    const int refused = RefusedPort();
    // It takes the connection, and a TLS handshake then waits for its first words in vain.
    test::LoopbackListener silent("127.0.0.1");
    ASSERT_TRUE(silent.Ready());
    const std::string silentWhere = "127.0.0.1:" + std::to_string(silent.Port());
    const std::string badCa = dir_->File("missing-ca.pem");
    struct Case {
        std::string url;
        bool verify;
        std::string caFile;
        FailureClass kind;
        std::string sentence;
    };
    const std::vector<Case> cases = {
        {"http://127.0.0.1:" + std::to_string(refused) + "/", true, "", FailureClass::kRefused,
         "127.0.0.1:" + std::to_string(refused) + " refused the connection"},
        {"https://nothing.invalid/ip", true, "", FailureClass::kNameNotFound,
         "host name not found: nothing.invalid"},
        {Url(stranger_, "/"), true, certs_->CaFile(), FailureClass::kCertificate,
         "the certificate of 127.0.0.1 was not accepted: unable to get local issuer "
         "certificate"},
        {Url(expired_, "/"), true, certs_->CaFile(), FailureClass::kCertificate,
         "the certificate of 127.0.0.1 was not accepted: certificate has expired"},
        {Url(secure_, "/"), true, "", FailureClass::kCertificate,
         "the certificate of 127.0.0.1 was not accepted: unable to get local issuer "
         "certificate"},
        {Url(secure_, "/"), true, badCa, FailureClass::kTls, ""},
        {"https://" + silentWhere + "/", true, "", FailureClass::kNoAnswer,
         "no answer from " + silentWhere + " within 1 s"},
        {Url(stranger_, "/"), false, "", FailureClass::kNone, ""},
        {Url(expired_, "/?status=403"), false, "", FailureClass::kNone,
         "127.0.0.1:" + std::to_string(expired_->Port()) +
             " answered with an error: 403 "
             "Forbidden"},
        {"ftp://127.0.0.1/", true, "", FailureClass::kOther,
         "not a usable address (only http and https are spoken)"},
        {"http://bad host/", true, "", FailureClass::kOther,
         "not a usable address (URL using bad/illegal format or missing URL)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url + " " + c.caFile);
        HttpRequest request = Get(c.url);
        request.tls = {c.verify, c.caFile};
        request.timeoutSeconds = 1;
        const HttpResponse response = SendHttp(request);
        EXPECT_EQ(response.failure.kind, c.kind) << response.failure.detail;
        EXPECT_EQ(response.reached, c.kind == FailureClass::kNone);
        if (c.kind == FailureClass::kTls) {
            EXPECT_NE(HttpFailureSentence(response).find("cannot read trusted certificates from " +
                                                         badCa),
                      std::string::npos)
                << HttpFailureSentence(response);
        } else {
            EXPECT_EQ(HttpFailureSentence(response), c.sentence);
        }
    }
}

// Whether the process maps libcurl now, as the kernel sees it.
bool LibcurlMapped() {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        if (line.find("libcurl") != std::string::npos) {
            return true;
        }
    }
    return false;
}

TEST_F(HttpClientTest, LibcurlIsLetGoBetweenCyclesAndLoadedAgainForTheNextRequest) {
    std::unique_ptr<CurlLease> held;
    struct Step {
        const char* what;
        std::function<void()> act;
        bool loaded;  // afterwards, libcurl is loaded and mapped
    };
    auto send = [](const std::string& url, int timeoutSeconds, bool ok) {
        return [url, timeoutSeconds, ok] {
            HttpRequest request = Get(url);
            request.timeoutSeconds = timeoutSeconds;
            EXPECT_EQ(SendHttp(request).Ok(), ok) << url;
        };
    };
    auto release = [](bool unloaded) {
        return [unloaded] { EXPECT_EQ(ReleaseIdleCurl(), unloaded); };
    };
    const std::vector<Step> steps = {
        {"a request loads it", send(Url(plain_, "/"), 10, true), true},
        {"an idle release lets it go", release(true), false},
        {"https after a reload", send(Url(secure_, "/"), 10, true), true},
        {"a held lease keeps it", [&] { held = std::make_unique<CurlLease>(); }, true},
        {"release refused while held", release(false), true},
        {"the lease ends", [&] { held.reset(); }, true},
        {"released again", release(true), false},
        // The name was looked up before time ran out: nothing of libcurl is left running.
        {"a time-out after the lookup", send(Url(plain_, "/?stall=20"), 1, false), true},
        {"is let go as well", release(true), false},
        {"kept for good", [&] { CurlLease().KeepLoaded(); }, true},
        {"release then keeps it", release(false), true},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.act();
        EXPECT_EQ(CurlIsLoaded(), step.loaded);
        EXPECT_EQ(LibcurlMapped(), step.loaded);
    }
}

TEST(HttpUrlTest, SchemeIsAddedOnlyWhereNoneIsWritten) {
    EXPECT_EQ(UrlWithScheme("members.example.net/nic/update", "https"),
              "https://members.example.net/nic/update");
    EXPECT_EQ(UrlWithScheme("http://example.net", "https"), "http://example.net");
    EXPECT_EQ(UrlWithScheme("HTTP://example.net", "https"), "HTTP://example.net");
    EXPECT_EQ(UrlWithScheme("dyn.example.net/u?back=http://x", "https"),
              "https://dyn.example.net/u?back=http://x");
}

}  // namespace
}  // namespace orvex
