#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <gtest/gtest.h>

#include "PageRig.h"
#include "settings/SettingsFile.h"
#include "ui/dialogs/SmtpAuthDlg.h"
#include "ui/pages/EmailPage.h"

namespace orvex::test {
namespace {

constexpr const char* kWarning =
    "WARNING: Enabling this feature will cause Orvex to send an E-Mail after every refresh. "
    "Selecting 'E-Mail on IP change only' will prevent unnecessary E-Mailing by only notifying "
    "recipients when an IP address changes.";

class EmailPageTest : public ::testing::Test {
protected:
    PageRig rig;
    CEmailPage page{rig.context};
    QLineEdit* Field(const char* name) { return Child<QLineEdit>(&page, name); }
    QCheckBox* Check(const char* name) { return Child<QCheckBox>(&page, name); }
    QPushButton* SettingsButton() { return Child<QPushButton>(&page, "SmtpSettings"); }
};

TEST_F(EmailPageTest, SettingsButtonNeedsMailingAndAuthentication) {
    rig.state.EditSettings([](AppSettings& s) { s.EmailOnIPChangeOnly = 1; });
    page.OnSetActive();
    EXPECT_FALSE(SettingsButton()->isEnabled());
    EXPECT_FALSE(Check("EnableSMTPAuth")->isEnabled());

    Check("EnableMail")->click();
    EXPECT_TRUE(Check("EnableSMTPAuth")->isEnabled());
    EXPECT_TRUE(Field("EmailTo")->isEnabled());
    EXPECT_FALSE(SettingsButton()->isEnabled());

    Check("EnableSMTPAuth")->click();
    EXPECT_EQ(rig.state.Settings().EnableSMTPAuth, 1);
    EXPECT_TRUE(SettingsButton()->isEnabled());

    Check("EnableMail")->click();
    EXPECT_EQ(rig.state.Settings().EnableMail, 0);
    EXPECT_FALSE(SettingsButton()->isEnabled());
    EXPECT_FALSE(Field("EmailServer")->isEnabled());
    EXPECT_FALSE(Child<QRadioButton>(&page, "MailBcc")->isEnabled());
}

TEST_F(EmailPageTest, WarnsOnlyWhenEveryRefreshWouldSendMail) {
    page.OnSetActive();
    Check("EnableMail")->click();
    ASSERT_EQ(rig.host.MessageBoxTexts().size(), 1u);
    EXPECT_EQ(rig.host.MessageBoxTexts()[0], kWarning);
    EXPECT_EQ(rig.host.Events()[0].box.caption, "Important");
    EXPECT_EQ(rig.host.Events()[0].box.buttons, MsgButtons::Ok);
    EXPECT_EQ(rig.host.Events()[0].box.icon, MsgIcon::Warning);
    EXPECT_EQ(rig.state.Settings().EnableMail, 1);
    EXPECT_TRUE(page.IsModified());

    Check("EmailOnIPChangeOnly")->click();
    EXPECT_EQ(rig.state.Settings().EmailOnIPChangeOnly, 1);
    Check("EnableMail")->click();  // cleared: no warning
    Check("EnableMail")->click();  // ticked with change-only on: no warning either
    EXPECT_EQ(rig.state.Settings().EnableMail, 1);
    EXPECT_EQ(rig.host.MessageBoxTexts().size(), 1u);
}

TEST_F(EmailPageTest, FieldsAndChoicesGoStraightIntoTheSettings) {
    rig.state.EditSettings([](AppSettings& s) { s.EnableMail = 1; });
    page.OnSetActive();

    Retype(Field("EmailTo"), "  a@example.org; b@example.org ");
    LeaveField(Field("EmailTo"));
    EXPECT_EQ(rig.state.Settings().EmailTo, "a@example.org; b@example.org");
    Retype(Field("EmailTo"), QString(300, 'r'));
    LeaveField(Field("EmailTo"));
    EXPECT_EQ(rig.state.Settings().EmailTo, std::string(kMaxValueLength, 'r'));

    Child<QRadioButton>(&page, "MailBcc")->click();
    EXPECT_EQ(rig.state.Settings().IsMailTo, 1);
    Check("IsMsgAttachment")->click();
    EXPECT_EQ(rig.state.Settings().IsMsgAttachment, 1);
    EXPECT_TRUE(page.IsModified());
}

TEST_F(EmailPageTest, MessageFilePickerStoresTheChosenFile) {
    rig.state.EditSettings([](AppSettings& s) {
        s.EnableMail = 1;
        s.EmailInput = "old.htm";
    });
    page.OnSetActive();
    Child<QPushButton>(&page, "PickEmailInput")->click();
    EXPECT_EQ(rig.state.Settings().EmailInput, "old.htm");
    EXPECT_FALSE(page.IsModified());

    rig.picker.answers.push_back(rig.dir.File("mail.htm"));
    Child<QPushButton>(&page, "PickEmailInput")->click();
    EXPECT_EQ(rig.state.Settings().EmailInput, rig.dir.File("mail.htm"));
    EXPECT_EQ(Text(Field("EmailInput")), rig.dir.File("mail.htm"));
    EXPECT_TRUE(page.IsModified());
    EXPECT_EQ(rig.picker.dialogs.back().filter, "");
    EXPECT_EQ(rig.picker.dialogs.back().initialName, "");
    EXPECT_TRUE(rig.picker.dialogs.back().several);
}

// Closes the modal SMTP logon dialog once it is up, after typing into it.
void AnswerSmtpDialog(const QString& account, const QString& password, bool ok) {
    QTimer::singleShot(0, [=] {
        auto* dialog = qobject_cast<CSmtpAuthDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        Retype(Child<QLineEdit>(dialog, "EmailAccount"), account);
        Retype(Child<QLineEdit>(dialog, "EmailPassword"), password);
        Child<QPushButton>(dialog, ok ? "OK" : "Cancel")->click();
    });
}

TEST_F(EmailPageTest, SmtpLogonDialogKeepsItsValuesInTheFileItself) {
    const std::string key = PasswordKey();
    std::string scrambled = "old-pass";
    EncodePassword(scrambled, key);
    rig.state.Ini().WriteString("Preferences", "EmailAccount", "old-user");
    rig.state.Ini().WriteString("Preferences", "EmailPassword", scrambled);
    rig.state.EditSettings([](AppSettings& s) {
        s.EnableMail = 1;
        s.EnableSMTPAuth = 1;
    });
    page.OnSetActive();

    {
        CSmtpAuthDlg dialog(rig.state, &page);
        EXPECT_EQ(dialog.windowTitle(), "SMTP Authentication");
        EXPECT_EQ(Text(Child<QLineEdit>(&dialog, "EmailAccount")), "old-user");
        EXPECT_EQ(Text(Child<QLineEdit>(&dialog, "EmailPassword")), "old-pass");
        EXPECT_EQ(Child<QLineEdit>(&dialog, "EmailPassword")->echoMode(), QLineEdit::Password);
    }

    AnswerSmtpDialog("ignored", "ignored", false);
    SettingsButton()->click();
    EXPECT_EQ(rig.state.Ini().GetString("Preferences", "EmailAccount", ""), "old-user");
    EXPECT_EQ(rig.state.Settings().EmailAccount, "");

    AnswerSmtpDialog("new user", "n3w pass", true);
    SettingsButton()->click();
    // The account as typed; the password scrambled in the file and plain in memory.
    EXPECT_EQ(rig.state.Ini().GetString("Preferences", "EmailAccount", ""), "new user");
    std::string stored = rig.state.Ini().GetString("Preferences", "EmailPassword", "");
    EXPECT_NE(stored, "n3w pass");
    DecodePassword(stored, key);
    EXPECT_EQ(stored, "n3w pass");
    EXPECT_EQ(rig.state.Settings().EmailAccount, "new user");
    EXPECT_EQ(rig.state.Settings().EmailPassword, "n3w pass");
}

TEST_F(EmailPageTest, SecurityChoiceProposesItsPortAndBadPortsAreRefused) {
    rig.state.EditSettings([](AppSettings& s) { s.EnableMail = 1; });
    page.OnSetActive();
    auto* security = Child<QComboBox>(&page, "EmailSecurity");
    EXPECT_EQ(Text(Field("EmailPort")), "25");
    EXPECT_EQ(security->currentText(), "None");
    EXPECT_TRUE(security->isEnabled());

    security->setCurrentIndex(1);
    emit security->activated(1);
    EXPECT_EQ(rig.state.Settings().EmailSecurity, kEmailSecurityStartTls);
    EXPECT_EQ(rig.state.Settings().EmailPort, 587);
    EXPECT_EQ(Text(Field("EmailPort")), "587");
    security->setCurrentIndex(2);
    emit security->activated(2);
    EXPECT_EQ(rig.state.Settings().EmailPort, 465);
    EXPECT_TRUE(page.IsModified());

    // A port the user chose is kept when the security changes.
    Retype(Field("EmailPort"), "2525");
    LeaveField(Field("EmailPort"));
    security->setCurrentIndex(1);
    emit security->activated(1);
    EXPECT_EQ(rig.state.Settings().EmailPort, 2525);

    Retype(Field("EmailPort"), "70000");
    LeaveField(Field("EmailPort"));
    EXPECT_EQ(rig.state.Settings().EmailPort, 2525);
    ASSERT_EQ(rig.host.MessageBoxTexts().size(), 1u);
    EXPECT_EQ(rig.host.MessageBoxTexts()[0], "Please enter a mail server port from 1 to 65535.");
    EXPECT_EQ(Text(Field("EmailPort")), "70000");  // kept for the user to mend
}

TEST_F(EmailPageTest, LogonDialogWarnsOfCleartextPasswordsOnlyWithoutTls) {
    {
        CSmtpAuthDlg dialog(rig.state, &page);
        auto* warning = dialog.findChild<QLabel*>("CleartextWarning");
        ASSERT_NE(warning, nullptr);
        EXPECT_TRUE(warning->text().contains("readable"));
    }
    rig.state.EditSettings([](AppSettings& s) { s.EmailSecurity = kEmailSecurityStartTls; });
    CSmtpAuthDlg dialog(rig.state, &page);
    EXPECT_EQ(dialog.findChild<QLabel*>("CleartextWarning"), nullptr);
}

}  // namespace
}  // namespace orvex::test
