#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include "PageRig.h"
#include "settings/SettingsFile.h"
#include "ui/pages/LocalSettingsPage.h"

namespace orvex::test {
namespace {

FtpPageValues Filled(int enableFtp) {
    FtpPageValues v;
    v.FTPServer = "ftp.example.net";
    v.SiteName = "Home";
    v.UserID = "me";
    v.Password = "secret";
    v.OnlineFile = "on.htm";
    v.OfflineFile = "off.htm";
    v.RemoteFile = "www/page.htm";
    v.Port = "21";
    v.EnableFTP = enableFtp;
    return v;
}

class FtpPageTest : public ::testing::Test {
protected:
    PageRig rig;
    CLocalSettings page{rig.context};
    QLineEdit* Field(const char* name) { return Child<QLineEdit>(&page, name); }
};

TEST_F(FtpPageTest, ClearingEnableFtpDisablesEverythingButTheSiteName) {
    page.ShowValues(Filled(1));
    page.ApplyEnableRule();
    for (const char* name : {"SiteName", "OnlineFile", "OfflineFile", "RemoteFile", "FTPServer",
                             "UserID", "Password", "Port"}) {
        EXPECT_TRUE(Field(name)->isEnabled()) << name;
    }

    Child<QCheckBox>(&page, "EnableFTP")->click();

    EXPECT_EQ(rig.state.Settings().EnableFTP, 0);
    EXPECT_EQ(page.TakeValues().EnableFTP, 0);
    EXPECT_TRUE(page.IsModified());
    EXPECT_TRUE(Field("SiteName")->isEnabled());
    EXPECT_TRUE(Child<QCheckBox>(&page, "EnableFTP")->isEnabled());
    for (const char* name :
         {"OnlineFile", "OfflineFile", "RemoteFile", "FTPServer", "UserID", "Password", "Port"}) {
        EXPECT_FALSE(Field(name)->isEnabled()) << name;
    }
    EXPECT_FALSE(Child<QCheckBox>(&page, "FTPOnIPChangeOnly")->isEnabled());
    EXPECT_FALSE(Child<QPushButton>(&page, "PickOnlineFile")->isEnabled());
    EXPECT_FALSE(Child<QPushButton>(&page, "PickOfflineFile")->isEnabled());
    for (QLabel* label : page.findChildren<QLabel*>()) {
        EXPECT_EQ(label->isEnabled(), label->text() == "Site Name:") << label->text().toStdString();
    }
    // The values survive being disabled.
    EXPECT_EQ(page.TakeValues().FTPServer, "ftp.example.net");
}

TEST_F(FtpPageTest, FieldsAreTrimmedWhenTheyLoseTheFocusThePasswordToo) {
    page.ShowValues(Filled(1));
    page.ApplyEnableRule();

    Retype(Field("FTPServer"), "  ftp.other.org \t");
    Retype(Field("Password"), " pass word  ");
    EXPECT_TRUE(page.IsModified());
    LeaveField(Field("FTPServer"));
    LeaveField(Field("Password"));

    EXPECT_EQ(Text(Field("FTPServer")), "ftp.other.org");
    EXPECT_EQ(Text(Field("Password")), "pass word");
    const FtpPageValues values = page.TakeValues();
    EXPECT_EQ(values.FTPServer, "ftp.other.org");
    EXPECT_EQ(values.Password, "pass word");
    // The page's fields are its own copy: the settings record gets them only when committed.
    EXPECT_EQ(rig.state.Settings().FTPServer, "");
}

TEST_F(FtpPageTest, TypingMarksThePageModifiedAndCheckBoxesStoreAtOnce) {
    page.ShowValues(Filled(1));
    page.ApplyEnableRule();
    QSignalSpy changed(&page, &SheetPage::ModifiedChanged);
    EXPECT_FALSE(page.IsModified());

    Child<QCheckBox>(&page, "FTPOnIPChangeOnly")->click();
    EXPECT_EQ(rig.state.Settings().FTPOnIPChangeOnly, 1);
    EXPECT_TRUE(page.IsModified());
    EXPECT_EQ(changed.count(), 1);

    page.SetModified(false);
    Retype(Field("SiteName"), "x");
    EXPECT_TRUE(page.IsModified());
    // Showing values is no edit.
    page.SetModified(false);
    page.ShowValues(Filled(1));
    EXPECT_FALSE(page.IsModified());
}

TEST_F(FtpPageTest, FieldsKeepWhatTheSettingsFileCanHold) {
    page.ShowValues(Filled(1));
    page.ApplyEnableRule();
    Retype(Field("Password"), QString(30, 'p'));
    EXPECT_EQ(Text(Field("Password")), std::string(kMaxPasswordLength, 'p'));
    Retype(Field("SiteName"), QString(300, 's'));
    EXPECT_EQ(Text(Field("SiteName")), std::string(kMaxValueLength, 's'));
    Retype(Field("Port"), "2x1");
    EXPECT_EQ(Text(Field("Port")), "21");
}

TEST_F(FtpPageTest, SecurityChoiceProposesItsUsualPortAndSaveRefusesItBehindAProxy) {
    page.ShowValues(Filled(1));
    page.ApplyEnableRule();
    rig.window.ftp = &page;
    rig.window.pages = {&page};
    auto* security = Child<QComboBox>(&page, "FTPSecurity");
    ASSERT_EQ(security->count(), 4);
    EXPECT_EQ(security->itemText(0), "FTP");
    EXPECT_EQ(security->itemText(3), "SFTP");

    auto choose = [&](int index) {
        security->setCurrentIndex(index);
        emit security->activated(index);
    };
    choose(kSecurityFtpsImplicit);
    EXPECT_EQ(Text(Field("Port")), "990");
    EXPECT_TRUE(page.IsModified());
    choose(kSecuritySftp);
    EXPECT_EQ(Text(Field("Port")), "22");
    // A port the user typed is theirs: another choice leaves it.
    Retype(Field("Port"), "2222");
    choose(kSecurityFtpsExplicit);
    EXPECT_EQ(Text(Field("Port")), "2222");
    EXPECT_EQ(page.TakeValues().FTPSecurity, kSecurityFtpsExplicit);

    rig.state.EditSettings([](AppSettings& s) {
        s.UseProxy = 1;
        s.LogonType = 2;
    });
    EXPECT_FALSE(rig.commands.Save());
    ASSERT_EQ(rig.host.MessageBoxTexts().size(), 1u);
    EXPECT_NE(rig.host.MessageBoxTexts()[0].find("cannot go through an FTP proxy"),
              std::string::npos);
    EXPECT_EQ(rig.state.Ini().GetString("LocalSettings", "FTPSecurity", "absent"), "absent");
    EXPECT_TRUE(page.IsModified());
    EXPECT_EQ(page.TakeValues().FTPSecurity, kSecurityFtpsExplicit);

    rig.state.EditSettings([](AppSettings& s) { s.LogonType = 0; });
    EXPECT_TRUE(rig.commands.Save());
    EXPECT_EQ(rig.state.Ini().GetString("LocalSettings", "FTPSecurity", ""), "1");
    EXPECT_EQ(rig.state.Ini().GetString("LocalSettings", "Port", ""), "2222");
    EXPECT_EQ(rig.state.Settings().FTPSecurity, kSecurityFtpsExplicit);
}

TEST_F(FtpPageTest, TemplatePickersStartInTheStartupDirectoryAndCancelChangesNothing) {
    page.ShowValues(Filled(1));
    page.ApplyEnableRule();

    rig.picker.answers.push_back(std::nullopt);
    Child<QPushButton>(&page, "PickOnlineFile")->click();
    EXPECT_EQ(Text(Field("OnlineFile")), "on.htm");
    EXPECT_FALSE(page.IsModified());

    rig.picker.answers.push_back(rig.dir.File("templates/offline.html"));
    Child<QPushButton>(&page, "PickOfflineFile")->click();
    EXPECT_EQ(Text(Field("OfflineFile")), rig.dir.File("templates/offline.html"));
    EXPECT_EQ(page.TakeValues().OfflineFile, rig.dir.File("templates/offline.html"));
    EXPECT_TRUE(page.IsModified());

    ASSERT_EQ(rig.picker.dialogs.size(), 2u);
    for (const FileDialogSpec& dialog : rig.picker.dialogs) {
        EXPECT_EQ(dialog.initialDir, rig.dir.Path());
        EXPECT_EQ(dialog.defaultExtension, "htm");
        EXPECT_EQ(dialog.initialName, "*.htm;*.html");
        EXPECT_EQ(dialog.filter,
                  "HTML Files (*.html;*.htm)|*.html;*.htm|Txt Files (*.txt)|*.txt|All Files "
                  "(*.*)|*.*||");
    }
}

}  // namespace
}  // namespace orvex::test
