#include <cctype>

#include <QCheckBox>
#include <QRadioButton>

#include <gtest/gtest.h>

#include "PageRig.h"
#include "settings/SettingsFile.h"
#include "ui/dialogs/QtFilePicker.h"
#include "ui/pages/EmailPage.h"
#include "ui/pages/LocalSettingsPage.h"
#include "ui/pages/OptionsPage.h"
#include "ui/pages/PageWidgets.h"
#include "ui/pages/ProxyPage.h"

namespace orvex::test {
namespace {

// The pages of one run of the program over the rig's settings file.
struct Pages {
    explicit Pages(PageRig& rig)
        : ftp(rig.context), options(rig.context), proxy(rig.context), email(rig.context) {
        rig.window.ftp = &ftp;
        rig.window.pages = {&ftp, &options, &proxy, &email};
        rig.commands.LoadAtStart();
        ftp.ApplyEnableRule();
        for (SheetPage* page : rig.window.pages) {
            page->OnSetActive();
        }
    }
    CLocalSettings ftp;
    COptionsPage options;
    CProxyPage proxy;
    CEmailPage email;
};

void Enter(QWidget* page, const char* name, const QString& text) {
    QLineEdit* edit = Child<QLineEdit>(page, name);
    Retype(edit, text);
    LeaveField(edit);
}

TEST(SettingsRoundTripTest, WhatTheUserEntersOnThePagesIsThereAfterSaveAndRestart) {
    PageRig first;
    {
        Pages pages(first);
        Child<QCheckBox>(&pages.ftp, "EnableFTP")->click();
        Enter(&pages.ftp, "FTPServer", " ftp.example.net ");
        Enter(&pages.ftp, "UserID", "webmaster");
        Enter(&pages.ftp, "Password", "s3cret pass");
        Enter(&pages.ftp, "RemoteFile", "www/where.htm");
        Enter(&pages.ftp, "Port", "2121");

        Enter(&pages.options, "RefreshIntv", "90");
        Child<QCheckBox>(&pages.options, "IsLogging")->click();
        Enter(&pages.options, "LogFilename", "logs/orvex.log");

        first.host.QueueAnswer(MsgAnswer::Yes);
        Child<QCheckBox>(&pages.proxy, "UseProxy")->click();
        Child<QRadioButton>(&pages.proxy, "LogonType6")->click();
        Enter(&pages.proxy, "ProxyAddress", "fw.local");
        Enter(&pages.proxy, "ProxyPass", "fw pass");

        Child<QCheckBox>(&pages.email, "EnableMail")->click();
        Enter(&pages.email, "EmailServer", "smtp.example.net");
        Enter(&pages.email, "EmailTo", "a@example.net;b@example.net");
        Child<QRadioButton>(&pages.email, "MailBcc")->click();

        EXPECT_TRUE(first.window.HasUnsavedChanges());
        first.commands.Save();
        EXPECT_FALSE(first.window.HasUnsavedChanges());
    }

    PageRig second;
    AppState restarted(first.dir.Path(), first.dir.File("Orvex.ini"));
    PageContext context{restarted,     second.scheduler,   second.host,
                        second.picker, restarted.Programs, first.dir.Path()};
    SettingsCommands commands(restarted, second.window, second.scheduler, PasswordKey());
    CLocalSettings ftp(context);
    COptionsPage options(context);
    CProxyPage proxy(context);
    CEmailPage email(context);
    second.window.ftp = &ftp;
    commands.LoadAtStart();
    ftp.ApplyEnableRule();
    for (SheetPage* page : std::initializer_list<SheetPage*>{&ftp, &options, &proxy, &email}) {
        page->OnSetActive();
    }

    EXPECT_TRUE(Child<QCheckBox>(&ftp, "EnableFTP")->isChecked());
    EXPECT_EQ(Text(Child<QLineEdit>(&ftp, "FTPServer")), "ftp.example.net");
    EXPECT_EQ(Text(Child<QLineEdit>(&ftp, "Password")), "s3cret pass");
    EXPECT_EQ(Text(Child<QLineEdit>(&ftp, "Port")), "2121");
    EXPECT_EQ(Text(Child<QLineEdit>(&ftp, "SiteName")), "My FTP Site");
    EXPECT_EQ(Text(Child<QLineEdit>(&options, "RefreshIntv")), "90");
    EXPECT_EQ(Text(Child<QLineEdit>(&options, "LogFilename")), "logs/orvex.log");
    EXPECT_TRUE(Child<QCheckBox>(&options, "IsLogging")->isChecked());
    EXPECT_TRUE(Child<QCheckBox>(&proxy, "UseProxy")->isChecked());
    EXPECT_TRUE(Child<QRadioButton>(&proxy, "LogonType6")->isChecked());
    EXPECT_EQ(Text(Child<QLineEdit>(&proxy, "ProxyPass")), "fw pass");
    EXPECT_EQ(Text(Child<QLineEdit>(&email, "EmailTo")), "a@example.net;b@example.net");
    EXPECT_TRUE(Child<QRadioButton>(&email, "MailBcc")->isChecked());
    EXPECT_EQ(restarted.Settings().RefreshIntv, 90);
    // The connection fields reach the settings record when the FTP page is committed.
    commands.CommitFtpPage();
    EXPECT_EQ(restarted.Settings().Port, 2121);
}

TEST(QtFileFilterTest, WindowsFilterListsBecomeQtNameFilters) {
    EXPECT_EQ(QtFileFilter("HTML Files (*.html;*.htm)|*.html;*.htm|Txt Files (*.txt)|*.txt|All "
                           "Files (*.*)|*.*||")
                  .toStdString(),
              "HTML Files (*.html *.htm);;Txt Files (*.txt);;All Files (*)");
    EXPECT_EQ(QtFileFilter("Log Files (*.log) | *.log").toStdString(), "Log Files (*.log)");
    EXPECT_EQ(QtFileFilter("").toStdString(), "");
}

TEST(PageTextTest, EveryByteComesBackFromTheWidgetsUnchanged) {
    std::string all;
    for (int b = 1; b < 256; ++b) {
        all += static_cast<char>(b);
    }
    for (const std::string& bytes :
         {all, std::string("Caf\xe9 \xc3\xa9t\xc3"), std::string("\xef\x9e\x80 \xed\xa0\x80"),
          std::string("\xc0\xaf \xf4\x90\x80\x80 \xf0\x9f\x98\x80")}) {
        EXPECT_EQ(FromQ(ToQ(bytes)), bytes);
    }
    // Well-formed UTF-8 is shown as the characters it names.
    EXPECT_EQ(ToQ("\xc3\xa9t\xc3\xa9"), QString::fromUtf8("\xc3\xa9t\xc3\xa9"));
}

// Bytes that are no UTF-8 in the settings file: a password scrambled on another computer and a
// site name written by hand in Latin-1. A Save that did not touch them writes them back as
// they were, and an edit of another field changes nothing else.
TEST(SettingsRoundTripTest, BytesThatAreNoUtf8SurviveSave) {
    PageRig rig;
    const std::string key = PasswordKey();
    // A stored password of printable characters that this computer's key decodes to bytes
    // from 0x80 up.
    std::string stored;
    for (size_t i = 0; i < 8; ++i) {
        for (char c = '0'; c <= 'z'; ++c) {
            std::string decoded = stored + c;
            DecodePassword(decoded, key);
            if (std::isalnum(static_cast<unsigned char>(c)) &&
                static_cast<unsigned char>(decoded.back()) >= 0x80) {
                stored += c;
                break;
            }
        }
    }
    ASSERT_EQ(stored.size(), 8u);
    std::string raw = stored;
    DecodePassword(raw, key);
    WriteFile(rig.dir.File("Orvex.ini"),
              "[LocalSettings]\r\nFTPServer=ftp.example.net\r\n"
              "SiteName=Caf\xe9 \xe0 la gare\r\nPassword=" +
                  stored + "\r\nUserID=me\r\nEnableFTP=1\r\n");
    {
        Pages pages(rig);
        EXPECT_EQ(pages.ftp.TakeValues().Password, raw);
        Enter(&pages.ftp, "UserID", "you");
        rig.commands.Save();
    }
    const std::string saved = ReadFile(rig.dir.File("Orvex.ini"));
    EXPECT_NE(saved.find("\r\nPassword=" + stored + "\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("\r\nSiteName=Caf\xe9 \xe0 la gare\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("\r\nUserID=you\r\n"), std::string::npos) << saved;
}

}  // namespace
}  // namespace orvex::test
