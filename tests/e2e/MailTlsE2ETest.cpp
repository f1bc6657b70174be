// The built programs, set up through Orvex.ini alone, mail through STARTTLS on the submission
// port 587 and through TLS from the first byte on port 465 of 127.0.0.1, logging on with each
// method the server offers, and trusting the server's certificate through TLSCAFile.

#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "ProgramRun.h"
#include "ServerProcess.h"
#include "ServiceRun.h"
#include "TempDir.h"
#include "UploadSettings.h"
#include "TestCertificates.h"
#include "platform/Profile.h"
#include "settings/AppSettings.h"
#include "settings/SettingsFile.h"

namespace orvex::test {
namespace {

enum class FrontEnd { kDesktop, kService };

struct SecureMailCase {
    FrontEnd frontEnd;
    int security;  // EmailSecurity
    int port;
    const char* mechanism;  // the only one the server offers
};

// Every security with every logon method; each front end meets both securities.
const SecureMailCase kCases[] = {
    {FrontEnd::kService, kEmailSecurityStartTls, 587, "CRAM-MD5"},
    {FrontEnd::kDesktop, kEmailSecurityStartTls, 587, "LOGIN"},
    {FrontEnd::kService, kEmailSecurityStartTls, 587, "PLAIN"},
    {FrontEnd::kDesktop, kEmailSecurityTls, 465, "CRAM-MD5"},
    {FrontEnd::kService, kEmailSecurityTls, 465, "LOGIN"},
    {FrontEnd::kDesktop, kEmailSecurityTls, 465, "PLAIN"},
};

std::string Describe(const SecureMailCase& c) {
    return std::string(c.frontEnd == FrontEnd::kDesktop ? "orvex" : "orvexd") + ", " +
           (c.security == kEmailSecurityTls ? "SSL/TLS" : "STARTTLS") + " on " +
           std::to_string(c.port) + ", " + c.mechanism;
}

// A "key: value" line of a saved envelope.
std::string EnvelopeValue(const std::string& envelope, const std::string& key) {
    std::istringstream in(envelope);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(key + ": ", 0) == 0) {
            return line.substr(key.size() + 2);
        }
    }
    return "<none>";
}

class SecureMailE2ETest : public ::testing::Test {
protected:
    SecureMailE2ETest()
        : certs(certDir.Path()),
          ftp(kPython, {PeerScript("ftp_server.py"), "--root", ftpRoot.Path(), "--user", "tester",
                        "--password", "secret", "--quiet"}),
          echo(kPython, {PeerScript("echo_page.py")}) {}

    void SetUp() override {
        ASSERT_TRUE(certs.Ok()) << certs.Error();
        ASSERT_TRUE(ftp.Ready()) << ftp.Log();
        ASSERT_TRUE(echo.Ready()) << echo.Log();
    }

    // A fresh work folder set up as a user who filled in every page would have it.
    void Configure(TempDir& work, const SecureMailCase& c) {
        WriteFile(work.File("online.htm"), "<p>%H is %S at %WI</p>");
        WriteFile(work.File("offline.htm"), "<p>%H is %S</p>");
        WriteFile(work.File("mail.htm"), "Reach %H at %WI");
        Profile ini(work.File("Orvex.ini"));
        std::string mailPassword = "letmein";
        EncodePassword(mailPassword, PasswordKey());
        const char* P = kSectionPreferences;
        WriteUploadSettings(ini, ftp.Port(), "secret", LoopbackUrl(echo.Port()));
        ini.WriteString(P, "IsLogging", "1");
        ini.WriteString(P, "LogFilename", "Orvex.log");
        ini.WriteString(P, "IsUpdateOnStart", "1");
        ini.WriteString(P, "IsUpdateOnShut", "0");
        ini.WriteString(P, "SuppressError", "1");
        ini.WriteString(P, "RefreshIntv", "0");
        ini.WriteString(P, "Timeout", "5");
        ini.WriteString(P, "EnableMail", "1");
        ini.WriteString(P, "EmailServer", "localhost");
        ini.WriteString(P, "EmailFrom", "home@orvex.test");
        ini.WriteString(P, "EmailTo", "friend@orvex.test");
        ini.WriteString(P, "EmailSubject", "Where I am");
        ini.WriteString(P, "EmailInput", "mail.htm");
        ini.WriteString(P, "EnableSMTPAuth", "1");
        ini.WriteString(P, "EmailAccount", "joe");
        ini.WriteString(P, "EmailPassword", mailPassword);
        ini.WriteString(P, "EmailPort", std::to_string(c.port));
        ini.WriteString(P, "EmailSecurity", std::to_string(c.security));
        ini.WriteString(P, "TLSVerify", "1");
        ini.WriteString(P, "TLSCAFile", certs.CaFile());
    }

    TempDir certDir;
    TestCertificates certs;
    TempDir ftpRoot;
    ServerProcess ftp;
    ServerProcess echo;
};

TEST_F(SecureMailE2ETest, ConfiguredStartMailsThroughStartTlsAnd465WithEachLogon) {
    for (const SecureMailCase& c : kCases) {
        SCOPED_TRACE(Describe(c));
        TempDir mailDir;
        ServerProcess smtp(kPython, {PeerScript("smtp_server.py"), mailDir.Path(), "--port",
                                     std::to_string(c.port), "--user", "joe", "--password",
                                     "letmein", "--mechanisms", c.mechanism,
                                     c.security == kEmailSecurityTls ? "--tls" : "--starttls",
                                     certs.CertFile("server"), certs.KeyFile("server")});
        if (!smtp.Ready()) {
            GTEST_SKIP() << "port " << c.port << " of 127.0.0.1 cannot be bound here (run as "
                         << "root): " << smtp.Log();
        }
        TempDir work;
        TempDir runtime;
        Configure(work, c);
        const std::string envelope = mailDir.File("1.env");
        std::string output;
        if (c.frontEnd == FrontEnd::kService) {
            const ServiceResult result = RunService(work.Path(), runtime.Path(), {"--once"});
            EXPECT_EQ(result.code, 0) << result.out << result.err;
            output = result.out;
        } else {
            ProgramRun run(work.Path(), runtime.Path());
            EXPECT_TRUE(WaitFor(30000, [&] { return FileExists(envelope); }));
            EXPECT_TRUE(WaitFor(30000, [&] {
                return ReadFile(work.File("Orvex.log")).find("System Online:") != std::string::npos;
            }));
            EXPECT_TRUE(run.Running());
        }
        const std::string log = ReadFile(work.File("Orvex.log"));
        ASSERT_TRUE(FileExists(envelope)) << output << log << smtp.Log();
        EXPECT_NE(log.find("Successfully sent email.\r\n"), std::string::npos) << log;
        EXPECT_EQ(log.find("Email not sent"), std::string::npos) << log;
        const std::string env = ReadFile(envelope);
        EXPECT_EQ(EnvelopeValue(env, "mechanism"), c.mechanism) << env;
        EXPECT_EQ(EnvelopeValue(env, "login"), "joe");
        EXPECT_EQ(EnvelopeValue(env, "rcpt"), "friend@orvex.test");
        EXPECT_NE(ReadFile(mailDir.File("1.eml")).find("Reach Home at 127.0.0.1"),
                  std::string::npos);
        EXPECT_EQ(ReadFile(ftpRoot.File("index.html")), "<p>Home is Online at 127.0.0.1</p>");
    }
}

}  // namespace
}  // namespace orvex::test
