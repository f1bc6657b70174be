// The Notifications page and its channel dialog, offscreen: the dialog shows the chosen kind's
// fields only and refuses a channel that cannot send, "Send test" answers from the service
// without holding up the window, and the page adds, edits and removes channels in the settings.

#include <functional>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include "../../notify/NotifyServices.h"
#include "PageRig.h"
#include "settings/NotifySettings.h"
#include "settings/SettingsFile.h"
#include "ui/dialogs/NotifyChannelDlg.h"
#include "ui/pages/NotificationsPage.h"

namespace orvex::test {
namespace {

void Choose(QComboBox* combo, const char* stored) {
    ASSERT_NE(combo, nullptr);
    const int index = combo->findData(QString(stored));
    ASSERT_GE(index, 0) << stored;
    combo->setCurrentIndex(index);
}

void Type(QWidget* dialog, const char* field, const QString& text) {
    Retype(Child<QLineEdit>(dialog, field), text);
}

notify::Run NoRun() {
    return notify::Run{};
}

// Fills the channel dialog once it is up and presses OK (or Cancel); a dialog that refuses OK
// is cancelled, so a test never hangs on it.
void AnswerChannelDialog(std::function<void(QWidget*)> fill, bool ok = true) {
    QTimer::singleShot(0, [=] {
        auto* dialog = qobject_cast<CNotifyChannelDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        fill(dialog);
        Child<QPushButton>(dialog, ok ? "OK" : "Cancel")->click();
        if (dialog->isVisible()) {
            ADD_FAILURE() << "the dialog refused OK";
            dialog->reject();
        }
    });
}

TEST(NotifyChannelDlgTest, ShowsOnlyTheChosenKindsFieldsAndRefusesWhatCannotSend) {
    RecordingHost boxes;
    CNotifyChannelDlg dialog(NotifyChannel{}, boxes, NoRun);
    dialog.show();
    const std::pair<const char*, NotifyField> fields[] = {
        {"Server", kFieldServer},     {"Target", kFieldTarget},     {"User", kFieldUser},
        {"Password", kFieldPassword}, {"URL", kFieldURL},           {"Title", kFieldTitle},
        {"Template", kFieldTemplate}, {"EventChange", kFieldEvents}};
    for (const NotifyKindInfo& kind : NotifyKinds()) {
        SCOPED_TRACE(kind.kind);
        Choose(Child<QComboBox>(&dialog, "Kind"), kind.kind);
        for (const auto& [name, bit] : fields) {
            EXPECT_EQ(Child<QWidget>(&dialog, name)->isVisible(), (kind.fields & bit) != 0) << name;
        }
    }

    // Typed in one kind, kept when another is chosen and back; only the shown ones are taken.
    Choose(Child<QComboBox>(&dialog, "Kind"), kNotifyTelegram);
    Type(&dialog, "Target", "-1001234567");
    Choose(Child<QComboBox>(&dialog, "Kind"), kNotifyDiscord);
    EXPECT_EQ(dialog.Channel().Target, "");
    dialog.accept();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(boxes.MessageBoxTexts().back(), "URL: empty; a discord channel needs it.");
    Choose(Child<QComboBox>(&dialog, "Kind"), kNotifyTelegram);
    EXPECT_EQ(dialog.Channel().Target, "-1001234567");
    dialog.accept();
    EXPECT_EQ(boxes.MessageBoxTexts().back(), "Bot token: empty; a telegram channel needs it.");
    Type(&dialog, "Password", "4711:secret");
    Child<QCheckBox>(&dialog, "EventFailure")->setChecked(true);
    Child<QCheckBox>(&dialog, "EventOffline")->setChecked(false);
    EXPECT_EQ(dialog.Channel().Events, "change,failure");
    dialog.accept();
    EXPECT_FALSE(dialog.isVisible());
}

// The test message goes off the window's thread and its answer shows in the dialog: delivered,
// then refused with the service's own words.
TEST(NotifyChannelDlgTest, SendTestShowsTheServicesAnswer) {
    NotifyServices services;
    ASSERT_TRUE(services.Ready()) << services.Log();
    RecordingHost boxes;
    const auto run = [] {
        notify::Run r;
        r.values.siteName = "Home";
        r.values.currentWanIp = "203.0.113.7";
        r.values.currentLanIp = "192.168.1.20";
        r.timeoutSeconds = 5;
        return r;
    };
    CNotifyChannelDlg dialog(services.Channel(kNotifyTelegram), boxes, run);
    QSignalSpy answered(&dialog, &CNotifyChannelDlg::TestAnswered);
    auto* result = Child<QLabel>(&dialog, "TestResult");

    Child<QPushButton>(&dialog, "SendTest")->click();
    EXPECT_FALSE(Child<QPushButton>(&dialog, "SendTest")->isEnabled());
    ASSERT_TRUE(answered.wait(10000));
    EXPECT_EQ(result->text(), "Delivered to Telegram chat -1001234567.");
    ASSERT_EQ(services.Requests().size(), 1u);
    EXPECT_EQ(services.Requests()[0]["text"],
              "Test message from Orvex: Home is online at 203.0.113.7 (LAN 192.168.1.20)");

    services.SetMode("refuse");
    Child<QPushButton>(&dialog, "SendTest")->click();
    ASSERT_TRUE(answered.wait(10000));
    EXPECT_TRUE(result->text().startsWith("Not delivered: ")) << result->text().toStdString();
    EXPECT_TRUE(result->text().contains("(Unauthorized)")) << result->text().toStdString();
    EXPECT_TRUE(Child<QPushButton>(&dialog, "SendTest")->isEnabled());
}

class NotificationsPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        rig.window.pages = {&page};
        rig.commands.LoadAtStart();
        page.OnSetActive();
    }
    QTreeWidget* Table() { return Child<QTreeWidget>(&page, "NotifyTable"); }
    QPushButton* Button(const char* name) { return Child<QPushButton>(&page, name); }
    std::vector<NotifyChannel> Channels() { return rig.state.Settings().Notify; }

    PageRig rig;
    CNotificationsPage page{rig.context};
};

TEST_F(NotificationsPageTest, AddEditRemoveAndSaveTheChannels) {
    EXPECT_EQ(page.Caption(), "Notifications");
    EXPECT_FALSE(Button("EditChannel")->isEnabled());

    AnswerChannelDialog([](QWidget* d) {
        Choose(Child<QComboBox>(d, "Kind"), kNotifyNtfy);
        Type(d, "Target", "orvex-home");
        Type(d, "Password", "tk_secret");
    });
    Button("AddChannel")->click();
    ASSERT_EQ(Channels().size(), 1u);
    EXPECT_EQ(Channels()[0].Events, "change,offline");
    EXPECT_TRUE(page.IsModified());
    ASSERT_EQ(Table()->topLevelItemCount(), 1);
    EXPECT_EQ(Table()->topLevelItem(0)->text(0), "ntfy topic orvex-home");
    EXPECT_EQ(Table()->topLevelItem(0)->text(3), "not yet");

    // A cycle has sent since; an edit makes the channel announce the addresses afresh.
    rig.state.EditSettings(
        [](AppSettings& s) { s.Notify[0].LastSent = "2026-12-01T10:00:00Z 203.0.113.7 x"; });
    AnswerChannelDialog([](QWidget* d) { Type(d, "Target", "orvex-office"); });
    Button("EditChannel")->click();
    EXPECT_EQ(Channels()[0].Target, "orvex-office");
    EXPECT_EQ(Channels()[0].LastSent, "");

    rig.commands.Save();
    const std::string saved = ReadFile(rig.dir.File("Orvex.ini"));
    EXPECT_NE(saved.find("[Notify]"), std::string::npos);
    EXPECT_EQ(saved.find("tk_secret"), std::string::npos) << "token stored in clear";
    EXPECT_EQ(ReadNotifyChannels(rig.state.Ini(), PasswordKey())[0].Password, "tk_secret");

    rig.host.QueueAnswer(MsgAnswer::Yes);
    Button("RemoveChannel")->click();
    EXPECT_TRUE(Channels().empty());
    EXPECT_EQ(rig.host.MessageBoxTexts().back(),
              "Remove the notification channel ntfy topic orvex-office?");
}

}  // namespace
}  // namespace orvex::test
