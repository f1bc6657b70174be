#include <functional>
#include <map>
#include <set>

#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QDateTime>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include "PageRig.h"
#include "app/AppState.h"
#include "settings/DynamicDnsKinds.h"
#include "settings/DynamicDnsSettings.h"
#include "settings/SettingsFile.h"
#include "ui/dialogs/DynamicDnsEntryDlg.h"
#include "ui/pages/DynamicDnsPage.h"

namespace orvex::test {
namespace {

const std::vector<const char*> kTextFields = {"Server",     "Hosts",  "User",   "Password",
                                              "URL",        "Expect", "Zone",   "TSIGName",
                                              "TSIGSecret", "TTL",    "Command"};

void Choose(QComboBox* combo, const char* stored) {
    ASSERT_NE(combo, nullptr);
    const int index = combo->findData(QString(stored));
    ASSERT_GE(index, 0) << stored;
    combo->setCurrentIndex(index);
}

void Type(QWidget* dialog, const char* field, const QString& text) {
    Retype(Child<QLineEdit>(dialog, field), text);
}

// Fills the entry dialog once it is up and presses OK (or Cancel). A dialog that refuses OK
// is cancelled, so a test never hangs on it.
void AnswerEntryDialog(std::function<void(QWidget*)> fill, bool ok = true) {
    QTimer::singleShot(0, [=] {
        auto* dialog = qobject_cast<CDynamicDnsEntryDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        fill(dialog);
        Child<QPushButton>(dialog, ok ? "OK" : "Cancel")->click();
        if (dialog->isVisible()) {
            ADD_FAILURE() << "the dialog refused OK";
            dialog->reject();
        }
    });
}

void FillDyndns2(QWidget* dialog) {
    Choose(Child<QComboBox>(dialog, "Protocol"), kDdnsDyndns2);
    Type(dialog, "Server", "members.example.net");
    Type(dialog, "Hosts", " home.example.net ,  nas.example.net");
    Type(dialog, "User", "jane");
    Type(dialog, "Password", "pa ss!word");
}

DynamicDnsEntry Rfc2136Entry() {
    DynamicDnsEntry e;
    e.Protocol = kDdnsRfc2136;
    e.Server = "ns1.example.net:5353";
    e.Zone = "example.net";
    e.Hosts = "home.example.net";
    e.TSIGName = "orvex-home";
    e.TSIGSecret = "c2VjcmV0IGtleSBmb3IgdGhlIHRlc3RzIG9mIHRoZSBwYWdl";
    e.TTL = 600;
    e.Family = kDdnsFamilyBoth;
    return e;
}

TEST(DynamicDnsEntryDlgTest, ShowsOnlyTheFieldsOfTheChosenProtocolAndKeepsWhatWasTyped) {
    RecordingHost boxes;
    CDynamicDnsEntryDlg dialog(DynamicDnsEntry{}, boxes);
    const std::map<std::string, std::set<std::string>> shown = {
        {kDdnsDyndns2, {"Server", "Hosts", "User", "Password"}},
        {kDdnsUrl, {"URL", "Expect", "Hosts", "User", "Password"}},
        {kDdnsRfc2136, {"Server", "Zone", "Hosts", "TSIGName", "TSIGSecret", "TTL"}},
        {kDdnsCommand, {"Command", "Hosts", "User", "Password"}}};
    for (const auto& [protocol, fields] : shown) {
        Choose(Child<QComboBox>(&dialog, "Protocol"), protocol.c_str());
        for (const char* field : kTextFields) {
            EXPECT_EQ(Child<QLineEdit>(&dialog, field)->isVisibleTo(&dialog),
                      fields.count(field) == 1)
                << protocol << " " << field;
        }
        EXPECT_TRUE(Child<QComboBox>(&dialog, "Family")->isVisibleTo(&dialog));
    }
    EXPECT_EQ(Child<QLineEdit>(&dialog, "Password")->echoMode(), QLineEdit::Password);
    EXPECT_EQ(Child<QLineEdit>(&dialog, "TSIGSecret")->echoMode(), QLineEdit::Password);

    // Typed under one protocol, still there after a look at another; only the chosen
    // protocol's fields make the entry.
    FillDyndns2(&dialog);
    Choose(Child<QComboBox>(&dialog, "Protocol"), kDdnsCommand);
    Type(&dialog, "Command", "/usr/local/bin/hook.sh");
    Choose(Child<QComboBox>(&dialog, "Protocol"), kDdnsDyndns2);
    DynamicDnsEntry entry = dialog.Entry();
    EXPECT_EQ(entry.Protocol, kDdnsDyndns2);
    EXPECT_EQ(entry.Server, "members.example.net");
    EXPECT_EQ(entry.Hosts, "home.example.net,nas.example.net");
    EXPECT_EQ(entry.Password, "pa ss!word");
    EXPECT_EQ(entry.Command, "");
    Choose(Child<QComboBox>(&dialog, "Protocol"), kDdnsCommand);
    entry = dialog.Entry();
    EXPECT_EQ(entry.Command, "/usr/local/bin/hook.sh");
    EXPECT_EQ(entry.Password, "pa ss!word");
    EXPECT_EQ(entry.Server, "");

    // A password takes a provider's token (256 characters), the secret its own length.
    Choose(Child<QComboBox>(&dialog, "Protocol"), kDdnsDyndns2);
    Type(&dialog, "Password", QString(300, 'p'));
    EXPECT_EQ(dialog.Entry().Password, std::string(kMaxDdnsPasswordLength, 'p'));
    Choose(Child<QComboBox>(&dialog, "Protocol"), kDdnsRfc2136);
    Type(&dialog, "TSIGSecret", QString(200, 'A'));
    EXPECT_EQ(dialog.Entry().TSIGSecret.size(), kMaxTsigSecretLength);

    // Help opens at the chosen protocol.
    QSignalSpy help(&dialog, &CDynamicDnsEntryDlg::HelpRequested);
    Child<QPushButton>(&dialog, "Help")->click();
    ASSERT_EQ(help.count(), 1);
    EXPECT_EQ(help.at(0).at(0).toString(), "DynamicDns.htm#rfc2136");
}

TEST(DynamicDnsEntryDlgTest, IncompleteEntriesAreRefusedWithWhatIsWrong) {
    // In the dialog: OK with a field missing says so and stays open; a TTL beyond an int is
    // out of range, not held at the limit.
    RecordingHost boxes;
    CDynamicDnsEntryDlg dialog(Rfc2136Entry(), boxes);
    Type(&dialog, "TTL", "9999999999");
    dialog.accept();
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    ASSERT_EQ(boxes.MessageBoxTexts().size(), 1u);
    EXPECT_EQ(boxes.MessageBoxTexts()[0], "Please enter a TTL from 1 to 2147483647 seconds.");
    Type(&dialog, "TTL", "2147483647");
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Entry().TTL, 2147483647);
}

TEST(DynamicDnsEntryDlgTest, OffersEveryProviderThenTheFourKindsWithOnlyTheirFields) {
    RecordingHost boxes;
    CDynamicDnsEntryDlg dialog(DynamicDnsEntry{}, boxes);
    auto* providers = Child<QComboBox>(&dialog, "Protocol");
    const std::vector<DdnsKind>& kinds = DynamicDnsKinds();
    ASSERT_GT(kinds.size(), 25u) << "the catalog was found";
    ASSERT_EQ(providers->count(), static_cast<int>(kinds.size()));
    for (int i = 0; i < providers->count(); ++i) {
        EXPECT_EQ(providers->itemData(i).toString().toStdString(), kinds[i].stored);
    }
    EXPECT_EQ(providers->itemText(providers->count() - 4), "dyndns2 (other provider)");
    EXPECT_EQ(providers->itemText(providers->count() - 1), "Command");

    Choose(providers, "duckdns");
    for (const char* field : kTextFields) {
        const bool shown = std::string(field) == "Hosts" || std::string(field) == "Password";
        EXPECT_EQ(Child<QLineEdit>(&dialog, field)->isVisibleTo(&dialog), shown) << field;
    }
    Type(&dialog, "Hosts", "myhome");
    Type(&dialog, "Password", QString(256, 't'));
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted) << boxes.MessageBoxTexts().size();
    EXPECT_EQ(dialog.Entry().Protocol, "duckdns");
    EXPECT_EQ(dialog.Entry().Password.size(), 256u);

    // Typing a part of a name filters the list.
    providers->completer()->setCompletionPrefix("flare");
    EXPECT_EQ(providers->completer()->completionCount(), 1);
    EXPECT_EQ(providers->completer()->currentCompletion(), "Cloudflare");
}

TEST(DynamicDnsEntryDlgTest, AnEntryOfAnUnknownProtocolIsKeptUntilOneIsChosen) {
    DynamicDnsEntry odd = Rfc2136Entry();
    odd.Protocol = "carrier-pigeon";
    odd.Family = "7";
    RecordingHost boxes;
    CDynamicDnsEntryDlg dialog(odd, boxes);
    EXPECT_EQ(Child<QComboBox>(&dialog, "Protocol")->currentIndex(), -1);
    EXPECT_FALSE(Child<QLineEdit>(&dialog, "Zone")->isVisibleTo(&dialog));
    EXPECT_TRUE(SameDynamicDnsTarget(dialog.Entry(), odd));
    dialog.accept();
    EXPECT_EQ(boxes.MessageBoxTexts(),
              std::vector<std::string>{"Please choose the provider of this entry."});

    Choose(Child<QComboBox>(&dialog, "Protocol"), kDdnsRfc2136);
    EXPECT_EQ(Text(Child<QLineEdit>(&dialog, "Zone")), "example.net");
    dialog.accept();
    EXPECT_EQ(boxes.MessageBoxTexts().back(),
              "Please choose the addresses to publish: IPv4, IPv6 or both.");
    Choose(Child<QComboBox>(&dialog, "Family"), kDdnsFamily6);
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST(DynamicDnsEntryDlgTest, EditingACommandKeepsTheServerAndZoneWrittenByHand) {
    DynamicDnsEntry hook;
    hook.Protocol = kDdnsCommand;
    hook.Command = "/usr/local/bin/update-my-name";
    hook.Server = "ns1.example.net";
    hook.Zone = "example.net";
    RecordingHost boxes;
    CDynamicDnsEntryDlg dialog(hook, boxes);
    Type(&dialog, "Command", "/usr/local/bin/update-my-name --quiet");
    dialog.accept();
    ASSERT_EQ(dialog.result(), QDialog::Accepted)
        << ::testing::PrintToString(boxes.MessageBoxTexts());
    EXPECT_EQ(dialog.Entry().Server, "ns1.example.net");
    EXPECT_EQ(dialog.Entry().Zone, "example.net");
}

class DynamicDnsPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        rig.window.pages = {&page};
        rig.commands.LoadAtStart();
        page.OnSetActive();
    }
    QTreeWidget* Table() { return Child<QTreeWidget>(&page, "DynamicDnsTable"); }
    QPushButton* Button(const char* name) { return Child<QPushButton>(&page, name); }
    std::vector<DynamicDnsEntry> Entries() { return rig.state.Settings().DynamicDns; }
    void Select(int row) { Table()->setCurrentItem(Table()->topLevelItem(row)); }

    PageRig rig;
    CDynamicDnsPage page{rig.context};
};

TEST_F(DynamicDnsPageTest, AddEditAndRemoveChangeTheSettingsAndMarkThePage) {
    EXPECT_EQ(page.Caption(), "Dynamic DNS");
    EXPECT_FALSE(Button("EditEntry")->isEnabled());
    EXPECT_FALSE(Button("RemoveEntry")->isEnabled());

    AnswerEntryDialog([](QWidget* d) { FillDyndns2(d); }, false);
    Button("AddEntry")->click();
    EXPECT_TRUE(Entries().empty());
    EXPECT_FALSE(page.IsModified());

    AnswerEntryDialog([](QWidget* d) { FillDyndns2(d); });
    Button("AddEntry")->click();
    ASSERT_EQ(Entries().size(), 1u);
    EXPECT_EQ(Entries()[0].Hosts, "home.example.net,nas.example.net");
    EXPECT_EQ(Entries()[0].Password, "pa ss!word");
    EXPECT_TRUE(page.IsModified());
    ASSERT_EQ(Table()->topLevelItemCount(), 1);
    EXPECT_EQ(Table()->topLevelItem(0)->text(0), "home.example.net, nas.example.net");
    EXPECT_EQ(Table()->topLevelItem(0)->text(1), "dyndns2");
    EXPECT_EQ(Table()->topLevelItem(0)->text(3), "not yet");
    EXPECT_TRUE(Button("EditEntry")->isEnabled());

    // A cycle has updated the entry since; the page follows without losing the selection.
    rig.state.EditSettings([](AppSettings& s) {
        s.DynamicDns[0].LastAddress = "203.0.113.7";
        s.DynamicDns[0].LastUpdate = "2026-12-01T10:00:00Z";
    });
    page.RefreshLastUpdates();
    EXPECT_EQ(Table()->topLevelItem(0)->text(3),
              QDateTime(QDate(2026, 12, 1), QTime(10, 0), Qt::UTC)
                  .toLocalTime()
                  .toString("yyyy-MM-dd HH:mm"));
    EXPECT_TRUE(Table()->topLevelItem(0)->isSelected());
    EXPECT_EQ(Table()->topLevelItem(0)->text(2), "203.0.113.7") << "the addresses last sent";
    // A later failure shows in words, with when the entry is tried again.
    ddns::UpdateMemory::Record failure = rig.state.DynamicDnsMemory.Find(Entries()[0]);
    failure.failed = true;
    failure.failedAt = 1796000000;
    failure.failedWhy = "update.example.net:443 refused the connection";
    rig.state.DynamicDnsMemory.Store(failure);
    page.RefreshLastUpdates();
    const auto local = [](std::time_t t) {
        return QDateTime::fromSecsSinceEpoch(t).toLocalTime().toString("yyyy-MM-dd HH:mm");
    };
    EXPECT_EQ(Table()->topLevelItem(0)->text(3),
              "failed " + local(1796000000) +
                  ": update.example.net:443 refused the connection; tried again after " +
                  local(1796000000 + 300));
    failure.failed = false;
    rig.state.DynamicDnsMemory.Store(failure);
    page.SetModified(false);

    // Cancel, and OK without a change, leave the entry and its last result alone.
    AnswerEntryDialog([](QWidget* d) { Type(d, "User", "someone else"); }, false);
    Button("EditEntry")->click();
    AnswerEntryDialog([](QWidget*) {});
    Button("EditEntry")->click();
    EXPECT_EQ(Entries()[0].User, "jane");
    EXPECT_EQ(Entries()[0].LastAddress, "203.0.113.7");
    EXPECT_FALSE(page.IsModified());

    // A changed entry is new to the provider: sent again at the next cycle.
    AnswerEntryDialog([](QWidget* d) {
        Type(d, "User", "joe");
        Choose(Child<QComboBox>(d, "Family"), kDdnsFamilyBoth);
    });
    Button("EditEntry")->click();
    EXPECT_EQ(Entries()[0].User, "joe");
    EXPECT_EQ(Entries()[0].Family, kDdnsFamilyBoth);
    EXPECT_EQ(Entries()[0].LastAddress, "");
    EXPECT_EQ(Entries()[0].LastUpdate, "");
    EXPECT_TRUE(page.IsModified());
    EXPECT_EQ(Table()->topLevelItem(0)->text(2), "IPv4, IPv6");

    page.SetModified(false);
    rig.host.QueueAnswer(MsgAnswer::No);
    Button("RemoveEntry")->click();
    EXPECT_EQ(Entries().size(), 1u);
    EXPECT_FALSE(page.IsModified());
    rig.host.QueueAnswer(MsgAnswer::Yes);
    Button("RemoveEntry")->click();
    EXPECT_TRUE(Entries().empty());
    EXPECT_TRUE(page.IsModified());
    EXPECT_EQ(Table()->topLevelItemCount(), 0);
    EXPECT_EQ(rig.host.MessageBoxTexts().back(),
              "Remove the dynamic DNS entry for home.example.net, nas.example.net?");
    EXPECT_FALSE(Button("RemoveEntry")->isEnabled());
}

TEST_F(DynamicDnsPageTest, UpAndDownReorderTheEntriesWithTheirResults) {
    DynamicDnsEntry first = Rfc2136Entry();
    first.LastUpdate = "2026-12-01T10:00:00Z";
    DynamicDnsEntry second;
    second.Protocol = kDdnsCommand;
    second.Command = "hook.sh";
    DynamicDnsEntry third;
    third.Protocol = kDdnsUrl;
    third.URL = "https://update.example.net/u?token=s3cret&ip=%WI";
    rig.state.EditSettings([&](AppSettings& s) { s.DynamicDns = {first, second, third}; });
    page.OnSetActive();
    // Entries without host names are named by what they run or ask, never by a URL's token.
    EXPECT_EQ(Table()->topLevelItem(1)->text(0), "hook.sh");
    EXPECT_EQ(Table()->topLevelItem(2)->text(0), "update.example.net");
    Select(0);
    EXPECT_FALSE(Button("MoveUp")->isEnabled());
    EXPECT_TRUE(Button("MoveDown")->isEnabled());

    Button("MoveDown")->click();
    ASSERT_EQ(Entries().size(), 3u);
    EXPECT_EQ(Entries()[0].Command, "hook.sh");
    EXPECT_EQ(Entries()[1].LastUpdate, "2026-12-01T10:00:00Z");
    EXPECT_TRUE(page.IsModified());
    // The moved entry stays selected.
    Button("MoveDown")->click();
    EXPECT_EQ(Entries()[2].Protocol, kDdnsRfc2136);
    EXPECT_FALSE(Button("MoveDown")->isEnabled());
    Button("MoveUp")->click();
    EXPECT_EQ(Entries()[1].Protocol, kDdnsRfc2136);
}

TEST_F(DynamicDnsPageTest, EntriesSurviveSaveAndRestartWithSecretsScrambled) {
    AnswerEntryDialog([](QWidget* d) { FillDyndns2(d); });
    Button("AddEntry")->click();
    AnswerEntryDialog([](QWidget* d) {
        const DynamicDnsEntry e = Rfc2136Entry();
        Choose(Child<QComboBox>(d, "Protocol"), kDdnsRfc2136);
        Type(d, "Server", QString::fromStdString(e.Server));
        Type(d, "Zone", QString::fromStdString(e.Zone));
        Type(d, "Hosts", QString::fromStdString(e.Hosts));
        Type(d, "TSIGName", QString::fromStdString(e.TSIGName));
        Type(d, "TSIGSecret", QString::fromStdString(e.TSIGSecret));
        Type(d, "TTL", "600");
        Choose(Child<QComboBox>(d, "Family"), kDdnsFamilyBoth);
    });
    Button("AddEntry")->click();
    ASSERT_EQ(Entries().size(), 2u);
    EXPECT_TRUE(rig.window.HasUnsavedChanges());
    rig.commands.Save();
    EXPECT_FALSE(page.IsModified());

    const std::string saved = ReadFile(rig.dir.File("Orvex.ini"));
    EXPECT_NE(saved.find("[DynamicDNS]\r\nCount=2\r\nProtocol1=dyndns2\r\n"), std::string::npos)
        << saved;
    EXPECT_EQ(saved.find("pa ss!word"), std::string::npos) << "password in clear";
    EXPECT_EQ(saved.find(Rfc2136Entry().TSIGSecret), std::string::npos) << "secret in clear";

    AppState restarted(rig.dir.Path(), rig.dir.File("Orvex.ini"));
    PageContext context{restarted,  rig.scheduler,      rig.host,
                        rig.picker, restarted.Programs, rig.dir.Path()};
    SettingsCommands commands(restarted, rig.window, rig.scheduler, PasswordKey());
    commands.LoadAtStart();
    CDynamicDnsPage again(context);
    again.OnSetActive();
    const std::vector<DynamicDnsEntry> loaded = restarted.Settings().DynamicDns;
    ASSERT_EQ(loaded.size(), 2u);
    EXPECT_TRUE(SameDynamicDnsTarget(loaded[0], Entries()[0]));
    EXPECT_TRUE(SameDynamicDnsTarget(loaded[1], Rfc2136Entry()));
    EXPECT_EQ(loaded[0].Password, "pa ss!word");
    EXPECT_EQ(Child<QTreeWidget>(&again, "DynamicDnsTable")->topLevelItemCount(), 2);
}

TEST_F(DynamicDnsPageTest, AddStopsAtTheNumberOfEntriesTheFileReadsBack) {
    DynamicDnsEntry command;
    command.Protocol = kDdnsCommand;
    std::vector<DynamicDnsEntry> many;
    for (size_t i = 0; i < kMaxDynamicDnsEntries; ++i) {
        command.Command = "hook.sh " + std::to_string(i);
        many.push_back(command);
    }
    ASSERT_TRUE(WriteDynamicDnsEntries(rig.state.Ini(), PasswordKey(), many));
    EXPECT_EQ(ReadDynamicDnsEntries(rig.state.Ini(), PasswordKey()).size(), kMaxDynamicDnsEntries);
    rig.state.EditSettings([&](AppSettings& s) { s.DynamicDns = many; });
    page.OnSetActive();
    EXPECT_FALSE(Button("AddEntry")->isEnabled());
    page.AddEntry();  // no dialog comes up
    EXPECT_EQ(Entries().size(), kMaxDynamicDnsEntries);
}

}  // namespace
}  // namespace orvex::test
