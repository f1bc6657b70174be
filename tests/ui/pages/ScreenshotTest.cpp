#include <cstdlib>

#include <QDir>
#include <QPixmap>
#include <QTest>

#include <gtest/gtest.h>

#include "PageRig.h"
#include "monitor/MonitoredPrograms.h"
#include "settings/SettingsFile.h"
#include "ui/dialogs/AddRemoveProgramsDlg.h"
#include "ui/dialogs/DynamicDnsEntryDlg.h"
#include "ui/dialogs/SmtpAuthDlg.h"
#include "ui/pages/DynamicDnsPage.h"
#include "ui/pages/EmailPage.h"
#include "ui/pages/LocalSettingsPage.h"
#include "ui/pages/OptionsPage.h"
#include "ui/pages/ProcessMonitorPage.h"
#include "ui/pages/ProxyPage.h"

namespace orvex::test {
namespace {

// Pictures of the pages and dialogs for the documentation, taken only when
// ORVEX_SCREENSHOT_DIR names the folder to put them in.
class ScreenshotTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* dir = std::getenv("ORVEX_SCREENSHOT_DIR");
        if (dir == nullptr || *dir == '\0') {
            GTEST_SKIP() << "set ORVEX_SCREENSHOT_DIR to take screenshots";
        }
        dir_ = dir;
        QDir().mkpath(QString::fromStdString(dir_));
        rig.window.ftp = &ftp_;
        rig.commands.LoadAtStart();
        rig.state.EditSettings([](AppSettings& s) {
            s.IsLogging = 1;
            s.IsUpdateOnStart = 1;
            s.UseProxy = 1;
            s.LogonType = 6;
            s.ProxyAddress = "firewall.example.net";
            s.ProxyUser = "fireuser";
            s.ProxyPass = "secret";
            s.EnableMail = 1;
            s.EmailOnIPChangeOnly = 1;
            s.EnableSMTPAuth = 1;
            s.EmailServer = "smtp.example.net";
            s.EmailFrom = "orvex@example.net";
            s.EmailTo = "friends@example.net; me@example.org";
            s.EmailSubject = "Where to find my machine";
            s.EmailInput = ".\\samples\\email.htm";
            s.StatusIndicators = "RUNNING/NOT RUNNING";
        });
    }

    void Save(QWidget* widget, const std::string& name, QSize size = QSize(470, 360)) {
        widget->resize(size);
        widget->show();
        QTest::qWait(50);
        ASSERT_TRUE(widget->grab().save(QString::fromStdString(dir_ + "/" + name + ".png")));
        widget->hide();
    }

    PageRig rig;
    CLocalSettings ftp_{rig.context};
    std::string dir_;
};

TEST_F(ScreenshotTest, PagesAndDialogs) {
    FtpPageValues values = ftp_.TakeValues();
    values.EnableFTP = 1;
    ftp_.ShowValues(values);
    ftp_.OnSetActive();
    Save(&ftp_, "page-ftp");

    COptionsPage options(rig.context);
    options.OnSetActive();
    Save(&options, "page-advanced-options");

    rig.state.Ini().WriteSection(
        "Programs", {"Programs0=alpha console", "Programs1=", "Programs2=Zeta Server"});
    RefreshProgramList(rig.state.Ini(), "RUNNING/NOT RUNNING", rig.state.Programs,
                       [](const std::string& title) { return title == "alpha console"; });
    CProcessMonitor monitor(rig.context);
    monitor.OnSetActive();
    Save(&monitor, "page-program-monitor");

    CProxyPage proxy(rig.context);
    proxy.OnSetActive();
    Save(&proxy, "page-proxy-firewall");

    CEmailPage email(rig.context);
    email.OnSetActive();
    Save(&email, "page-email-options");

    DynamicDnsEntry dyndns2;
    dyndns2.Server = "members.example.net";
    dyndns2.Hosts = "home.example.net";
    dyndns2.User = "jane";
    dyndns2.Password = "secret";
    dyndns2.LastAddress = "203.0.113.7";
    dyndns2.LastUpdate = "2026-12-06T18:30:00Z";
    DynamicDnsEntry rfc2136;
    rfc2136.Protocol = kDdnsRfc2136;
    rfc2136.Server = "ns1.example.org";
    rfc2136.Zone = "example.org";
    rfc2136.Hosts = "nas.example.org,www.example.org";
    rfc2136.TSIGName = "orvex-home";
    rfc2136.TSIGSecret = "c2VjcmV0IGtleSBvZiB0aGUgc2NyZWVuc2hvdA==";
    rfc2136.Family = kDdnsFamilyBoth;
    DynamicDnsEntry command;
    command.Protocol = kDdnsCommand;
    command.Command = "/usr/local/bin/home-address.sh";
    rig.state.EditSettings([&](AppSettings& s) { s.DynamicDns = {dyndns2, rfc2136, command}; });
    CDynamicDnsPage ddns(rig.context);
    ddns.OnSetActive();
    Save(&ddns, "page-dynamic-dns");

    CDynamicDnsEntryDlg entry(rfc2136, rig.host);
    entry.show();
    Save(&entry, "dialog-dynamic-dns-entry", entry.sizeHint());

    CAddRemoveProgramsDlg programs(rig.state, nullptr, [] {
        return std::vector<TopLevelWindow>{
            {1, "Mail Reader", true}, {2, "Terminal", true}, {3, "Media Player", true}};
    });
    Save(&programs, "dialog-add-remove-programs", programs.sizeHint());

    rig.state.Ini().WriteString("Preferences", "EmailAccount", "orvex@example.net");
    std::string password = "mail pass";
    EncodePassword(password, PasswordKey());
    rig.state.Ini().WriteString("Preferences", "EmailPassword", password);
    CSmtpAuthDlg smtp(rig.state);
    Save(&smtp, "dialog-smtp-authentication", smtp.sizeHint());
}

}  // namespace
}  // namespace orvex::test
