#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include "PageRig.h"
#include "ServerProcess.h"
#include "platform/Profile.h"
#include "ui/dialogs/QtFilePicker.h"
#include "ui/pages/LocalSettingsPage.h"
#include "ui/pages/OptionsPage.h"
#include "ui/pages/PageWidgets.h"

namespace orvex::test {
namespace {

class OptionsPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        rig.state.EditSettings([](AppSettings& s) {
            s.RefreshIntv = 45;
            s.Timeout = 15;
            s.IsLogging = 1;
            s.LogFilename = "Orvex.log";
        });
    }
    QLineEdit* Field(const char* name) { return Child<QLineEdit>(&page, name); }
    UpDownEdit* UpDown(const char* name) {
        return Child<UpDownEdit>(&page, (std::string(name) + "UpDown").c_str());
    }
    std::vector<std::string> Boxes() { return rig.host.MessageBoxTexts(); }

    PageRig rig;
    COptionsPage page{rig.context};
};

TEST_F(OptionsPageTest, IntervalBelowThirtyIsRefusedWithTheDefaultLookupService) {
    rig.state.DefaultLookupService = true;
    page.show();
    QApplication::setActiveWindow(&page);
    page.OnSetActive();
    Field("RefreshIntv")->setFocus();

    Retype(Field("RefreshIntv"), "10");
    EXPECT_TRUE(rig.state.IntervalEdited);
    EXPECT_TRUE(page.IsModified());
    Child<QCheckBox>(&page, "IsLogging")->setFocus();  // the focus leaves the field

    EXPECT_EQ(Boxes(), std::vector<std::string>{"Please enter a value between 30 and 9999"});
    EXPECT_EQ(rig.host.Events()[0].box.buttons, MsgButtons::Ok);
    EXPECT_EQ(rig.state.Settings().RefreshIntv, 45);
    EXPECT_TRUE(rig.timer.periods.empty());
    EXPECT_EQ(QApplication::focusWidget(), Field("RefreshIntv"));

    Retype(Field("RefreshIntv"), "120");
    LeaveField(Field("RefreshIntv"));
    EXPECT_EQ(rig.state.Settings().RefreshIntv, 120);
    EXPECT_EQ(rig.timer.periods, std::vector<unsigned>{120u * 60000u});
    EXPECT_EQ(Boxes().size(), 1u);
    page.hide();
}

TEST_F(OptionsPageTest, IntervalBelowThirtyIsKeptForAnotherLookupService) {
    rig.state.DefaultLookupService = false;
    page.OnSetActive();
    Retype(Field("RefreshIntv"), "10");
    LeaveField(Field("RefreshIntv"));
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(rig.state.Settings().RefreshIntv, 10);
    EXPECT_EQ(rig.timer.periods, std::vector<unsigned>{10u * 60000u});
    // And the field takes digits only, four of them.
    Retype(Field("RefreshIntv"), "12a345");
    EXPECT_EQ(Text(Field("RefreshIntv")), "1234");
}

TEST_F(OptionsPageTest, UpDownRangesFollowTheLookupServiceWhenFirstShown) {
    rig.state.DefaultLookupService = true;
    rig.state.EditSettings([](AppSettings& s) { s.RefreshIntv = 31; });
    page.OnSetActive();
    UpDown("RefreshIntv")->Step(-1);
    UpDown("RefreshIntv")->Step(-1);
    EXPECT_EQ(Text(Field("RefreshIntv")), "30");
    // An arrow leaves the focus where it was, so its value is committed at once.
    EXPECT_EQ(rig.state.Settings().RefreshIntv, 30);
    EXPECT_TRUE(rig.state.IntervalEdited);
    EXPECT_TRUE(Boxes().empty());

    // The range is fixed at the first display.
    rig.state.DefaultLookupService = false;
    page.OnSetActive();
    UpDown("RefreshIntv")->Step(-1);
    EXPECT_EQ(Text(Field("RefreshIntv")), "30");

    UpDown("Timeout")->Step(1);
    EXPECT_EQ(rig.state.Settings().Timeout, 16);
    Retype(Field("Timeout"), "60");
    UpDown("Timeout")->Step(1);
    EXPECT_EQ(Text(Field("Timeout")), "60");
    // Typed text is not held to the range.
    Retype(Field("InitStartupDelay"), "500x");
    LeaveField(Field("InitStartupDelay"));
    EXPECT_EQ(rig.state.Settings().InitStartupDelay, 500);
}

TEST_F(OptionsPageTest, OtherLookupServiceAllowsAnIntervalOfZero) {
    rig.state.DefaultLookupService = false;
    rig.state.EditSettings([](AppSettings& s) { s.RefreshIntv = 1; });
    page.OnSetActive();
    UpDown("RefreshIntv")->Step(-1);
    UpDown("RefreshIntv")->Step(-1);
    EXPECT_EQ(rig.state.Settings().RefreshIntv, 0);
}

TEST_F(OptionsPageTest, SaveAfterAnIntervalEditStartsARefresh) {
    rig.state.DefaultLookupService = true;
    rig.state.Flags.StartupReady = 1;
    CLocalSettings ftp(rig.context);
    FtpPageValues values;
    values.FTPServer = "ftp.example.net";
    values.SiteName = values.UserID = values.Password = "x";
    values.OnlineFile = values.OfflineFile = values.RemoteFile = "x.htm";
    values.Port = "21";
    ftp.ShowValues(values);
    rig.window.ftp = &ftp;
    rig.window.pages = {&page, &ftp};
    page.OnSetActive();

    rig.commands.Save();
    EXPECT_EQ(rig.launcher.online, 0);

    Retype(Field("RefreshIntv"), "60");
    LeaveField(Field("RefreshIntv"));
    EXPECT_TRUE(page.IsModified());
    rig.commands.Save();
    EXPECT_EQ(rig.launcher.online, 1);
    EXPECT_FALSE(rig.state.IntervalEdited);
    EXPECT_FALSE(page.IsModified());
    EXPECT_EQ(rig.state.Ini().GetInt("Preferences", "RefreshIntv", 0), 60);
}

TEST_F(OptionsPageTest, ClearingLoggingDisablesTheLogControls) {
    page.OnSetActive();
    EXPECT_TRUE(Field("LogFilename")->isEnabled());
    Child<QCheckBox>(&page, "IsLogging")->click();
    EXPECT_EQ(rig.state.Settings().IsLogging, 0);
    EXPECT_TRUE(page.IsModified());
    EXPECT_FALSE(Field("LogFilename")->isEnabled());
    EXPECT_FALSE(Child<QPushButton>(&page, "PickLogFilename")->isEnabled());
    EXPECT_FALSE(Field("MaxLog")->isEnabled());
    EXPECT_FALSE(UpDown("MaxLog")->isEnabled());
    for (QLabel* label : page.findChildren<QLabel*>()) {
        if (label->text() == "Log Filename:" || label->text() == "Purge Logs After (Days)") {
            EXPECT_FALSE(label->isEnabled());
        }
    }
    EXPECT_TRUE(Field("RefreshIntv")->isEnabled());
}

TEST_F(OptionsPageTest, CancellingTheLogPickerStillCommitsTheTrimmedName) {
    page.OnSetActive();
    Retype(Field("LogFilename"), "  events.log ");
    Child<QPushButton>(&page, "PickLogFilename")->click();
    EXPECT_EQ(rig.state.Settings().LogFilename, "events.log");
    EXPECT_EQ(Text(Field("LogFilename")), "events.log");
    const FileDialogSpec dialog = rig.picker.dialogs.at(0);
    EXPECT_EQ(dialog.filter, "Log Files (*.log) | *.log");
    EXPECT_EQ(dialog.defaultExtension, "Log");
    EXPECT_EQ(dialog.initialName, "*.log");

    rig.picker.answers.push_back(rig.dir.File("logs/orvex.log"));
    Child<QPushButton>(&page, "PickLogFilename")->click();
    EXPECT_EQ(rig.state.Settings().LogFilename, rig.dir.File("logs/orvex.log"));
}

TEST_F(OptionsPageTest, CheckBoxesStoreTheirStateAtOnce) {
    page.OnSetActive();
    const std::pair<const char*, int AppSettings::*> boxes[] = {
        {"IsUpdateOnStart", &AppSettings::IsUpdateOnStart},
        {"IsUpdateOnShut", &AppSettings::IsUpdateOnShut},
        {"IsMinOnStartup", &AppSettings::IsMinOnStartup},
        {"NotifyErrorOnShut", &AppSettings::NotifyErrorOnShut},
        {"SuppressError", &AppSettings::SuppressError},
        {"UpdateOnNAIP", &AppSettings::UpdateOnNAIP}};
    for (const auto& [name, setting] : boxes) {
        const int before = rig.state.Settings().*setting;
        Child<QCheckBox>(&page, name)->click();
        EXPECT_EQ(rig.state.Settings().*setting, before == 1 ? 0 : 1) << name;
    }
    EXPECT_EQ(Child<QCheckBox>(&page, "UpdateOnNAIP")->text(), "Update on \"N/A\" WAN IP");
}

TEST_F(OptionsPageTest, TestButtonAsksEveryServiceNowAndShowsWhatEachAnswered) {
    ServerProcess echo(kPython, {PeerScript("echo_page.py")});
    ASSERT_TRUE(echo.Ready()) << echo.Log();
    rig.state.EditSettings([](AppSettings& s) {
        s.StartDelimiter = "REMOTE_ADDR:";
        s.EndDelimiter = "<br>";
        s.Timeout = 5;
    });
    page.show();
    const std::string echoUrl = "http://127.0.0.1:" + std::to_string(echo.Port()) + "/";
    Retype(Field("WANIPURL"), QString::fromStdString(echoUrl));
    Retype(Field("WANIPFallback"), "http://127.0.0.1:1/ " + QString::fromStdString(echoUrl));
    LeaveField(Field("WANIPFallback"));
    EXPECT_TRUE(page.IsModified());
    Child<QPushButton>(&page, "TestServices")->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !page.ServiceTestRunning(); }, 20000));
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0], std::string(COptionsPage::kServicesAnswered) + "\n\n" + echoUrl +
                              ": 127.0.0.1\nhttp://127.0.0.1:1/: no answer\n" + echoUrl +
                              ": 127.0.0.1");
    EXPECT_EQ(rig.state.Settings().WANIPURL, echoUrl);
    EXPECT_FALSE(rig.state.DefaultLookupService);
}

TEST_F(OptionsPageTest, TestButtonShowsEachSourceAndTheReachabilitySentence) {
    ServerProcess router(kPython, {PeerScript("upnp_gateway.py"), "--address", "100.64.1.2"});
    ServerProcess dns(kPython, {PeerScript("dns_echo.py"), "--address", "203.0.113.7"});
    ASSERT_TRUE(router.Ready() && dns.Ready());
    rig.state.EditSettings([](AppSettings& s) { s.Timeout = 2; });
    page.show();
    const std::string upnpUrl =
        "http://127.0.0.1:" + std::to_string(router.Port()) + "/rootDesc.xml";
    Retype(Field("WANIPSources"), "upnp dns");
    Retype(Field("UPnPURL"), QString::fromStdString(upnpUrl));
    Retype(Field("DNSLookups"),
           QString::fromStdString("myip.opendns.com/A/IN@127.0.0.1:" + std::to_string(dns.Port())));
    LeaveField(Field("DNSLookups"));
    Child<QPushButton>(&page, "TestServices")->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !page.ServiceTestRunning(); }, 20000));
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0],
              std::string(COptionsPage::kSourcesAnswered) +
                  "\nupnp: 100.64.1.2 (a shared address)\ndns: 203.0.113.7\nThe router's WAN "
                  "address 100.64.1.2 is shared: this line is behind carrier-grade NAT, so "
                  "203.0.113.7 cannot be reached from outside; IPv6 or a tunnel can.");

    rig.commands.Save();
    Profile ini(rig.dir.File("Orvex.ini"));
    EXPECT_EQ(ini.GetString("Preferences", "WANIPSources", "none"), "upnp dns");
    EXPECT_EQ(ini.GetString("Preferences", "UPnPURL", "none"), upnpUrl);
    EXPECT_EQ(ini.GetString("Preferences", "NATPMPGateway", "none"), "none");
    // An emptied list is the web services again.
    Retype(Field("WANIPSources"), "");
    LeaveField(Field("WANIPSources"));
    EXPECT_EQ(rig.state.Settings().WANIPSources, "web");
}

TEST_F(OptionsPageTest, SaveWritesTheServicesOnlyWhenThePageChangedThem) {
    page.show();
    rig.commands.Save();
    EXPECT_EQ(ReadFile(rig.dir.File("Orvex.ini")).find("WANIP"), std::string::npos)
        << "a file that never held them stays without them";
    Retype(Field("WANIPURL"), "http://echo.example.net/ip");
    LeaveField(Field("WANIPURL"));
    rig.commands.Save();
    Profile ini(rig.dir.File("Orvex.ini"));
    EXPECT_EQ(ini.GetString("LocalSettings", "WANIPURL", "none"), "http://echo.example.net/ip");
    EXPECT_EQ(ini.GetString("Preferences", "WANIPFallback", "none"), "none");
}

// Set up as the pages ask: the log may be a file still to be created, the mail message may be
// chosen among several files, and the initial names list the matching files first.
TEST_F(OptionsPageTest, PickersLetTheUserChooseWhatEachFieldNeeds) {
    page.OnSetActive();
    Child<QPushButton>(&page, "PickLogFilename")->click();
    const FileDialogSpec logDialog = rig.picker.dialogs.at(0);
    EXPECT_FALSE(logDialog.mustExist);
    QFileDialog log;
    SetUpFileDialog(log, logDialog);
    EXPECT_EQ(log.fileMode(), QFileDialog::AnyFile);
    EXPECT_EQ(log.selectedNameFilter(), "*.log");
    EXPECT_EQ(log.nameFilters(), (QStringList{"*.log", "Log Files (*.log)"}));

    FileDialogSpec templates;
    templates.filter = "HTML Files (*.html;*.htm)|*.html;*.htm|All Files (*.*)|*.*||";
    templates.initialName = "*.htm;*.html";
    QFileDialog pages;
    SetUpFileDialog(pages, templates);
    EXPECT_EQ(pages.fileMode(), QFileDialog::ExistingFile);
    EXPECT_EQ(pages.selectedNameFilter(), "*.htm *.html");

    FileDialogSpec mail;
    mail.several = true;
    QFileDialog message;
    SetUpFileDialog(message, mail);
    EXPECT_EQ(message.fileMode(), QFileDialog::ExistingFiles);
}

TEST_F(OptionsPageTest, StartUpDelayFromTheFileIsShownWhole) {
    rig.state.EditSettings([](AppSettings& s) { s.InitStartupDelay = 123456; });
    page.OnSetActive();
    EXPECT_EQ(Text(Field("InitStartupDelay")), "123456");
    // Leaving the field commits what it shows, not a cut value.
    Field("InitStartupDelay")->setFocus();
    LeaveField(Field("InitStartupDelay"));
    EXPECT_EQ(rig.state.Settings().InitStartupDelay, 123456);
}

}  // namespace
}  // namespace orvex::test
