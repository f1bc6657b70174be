#include <QCheckBox>
#include <QRadioButton>

#include <gtest/gtest.h>

#include "PageRig.h"
#include "settings/SettingsFile.h"
#include "ui/dialogs/QtFilePicker.h"
#include "ui/pages/EmailPage.h"
#include "ui/pages/LocalSettingsPage.h"
#include "ui/pages/OptionsPage.h"
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

}  // namespace
}  // namespace orvex::test
