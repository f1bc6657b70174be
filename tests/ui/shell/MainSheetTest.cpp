#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTest>
#include <QTextBrowser>

#include <algorithm>
#include <ctime>
#include <thread>

#include <gtest/gtest.h>

#include "ShellTestSupport.h"
#include "app/ExitRoutine.h"
#include "settings/SettingsFile.h"
#include "ui/HelpWindow.h"
#include "settings/DynamicDnsSettings.h"
#include "ui/pages/DynamicDnsPage.h"
#include "ui/pages/RemotePage.h"
#include "ui/SessionEnd.h"
#include "ui/ShutdownWindow.h"
#include "ui/TrayIcon.h"

namespace orvex::test {
namespace {

// Runs `work` on a thread of its own, as a cycle does, while the window's thread keeps
// handling events; returns once the thread has finished.
void OnWorker(const std::function<void()>& work) {
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        work();
        finished = true;
    });
    PumpUntil([&] { return finished.load(); }, 10000);
    worker.join();
}

std::vector<std::string> LogLines(const std::string& path) {
    std::vector<std::string> lines;
    const std::string text = ReadFile(path);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            end = text.size();
        }
        // "%m/%d/%y %H:%M:%S  " is 19 characters.
        lines.push_back(text.substr(start + 19, end - start - 19));
        start = end + 2;
    }
    return lines;
}

TEST(MainSheetTest, WindowHasItsPagesButtonsAndMenus) {
    ShellFixture f;
    CMainSheet& sheet = f.MakeSheet();
    EXPECT_EQ(sheet.windowTitle(), "Orvex");
    EXPECT_FALSE(sheet.isVisible()) << "hidden until the show phase";
    const QStringList captions{"FTP",
                               "Advanced Options",
                               "Status",
                               "Program Monitor",
                               "Proxy/Firewall",
                               "E-Mail Options",
                               "Dynamic DNS",
                               "Notifications"};
    ASSERT_EQ(sheet.Tabs()->count(), 8);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(sheet.Tabs()->tabText(i), captions[i]);
    }
    EXPECT_EQ(sheet.Tabs()->currentIndex(), 0);
    EXPECT_EQ(sheet.RefreshButton()->text(), "&Refresh");
    EXPECT_EQ(sheet.SaveButton()->text(), "&Save");
    EXPECT_EQ(sheet.ExitButton()->text(), "E&xit");
    EXPECT_FALSE(sheet.SaveButton()->isEnabled());
    for (const char* item :
         {"&Refresh", "&Save", "E&xit", "&Copy LAN IP to clipboard", "Copy &WAN IP to clipboard",
          "&Orvex Help", "&About", "Re&store", "&Shutdown", "&About Orvex..."}) {
        EXPECT_NE(sheet.MenuAction(item), nullptr) << item;
    }
    f.WaitShown();
    EXPECT_TRUE(sheet.isVisible());
}

TEST(MainSheetTest, MinimiseOnStartupWithoutTrayMinimisesNormally) {
    ShellFixture f([](Profile& ini) { ini.WriteInt("Preferences", "IsMinOnStartup", 1); });
    ASSERT_FALSE(TrayIcon::Available());
    CMainSheet& sheet = f.MakeSheet();
    f.WaitShown();
    // Shown first, then minimised a moment later.
    EXPECT_TRUE(PumpUntil([&] { return sheet.isMinimized(); }));
    EXPECT_FALSE(sheet.Tray().Shown());
}

TEST(MainSheetTest, SaveButtonFollowsThePagesMarks) {
    ShellFixture f;
    CMainSheet& sheet = f.MakeSheet();
    sheet.Page(1)->SetModified();
    sheet.Page(3)->SetModified();
    EXPECT_TRUE(sheet.SaveButton()->isEnabled());
    sheet.MarkPagesSaved();
    // The Program Monitor page keeps its mark through a save.
    EXPECT_FALSE(sheet.Page(1)->IsModified());
    EXPECT_TRUE(sheet.Page(3)->IsModified());
    EXPECT_TRUE(sheet.SaveButton()->isEnabled());
    sheet.Page(3)->SetModified(false);
    EXPECT_FALSE(sheet.SaveButton()->isEnabled());
}

TEST(MainSheetTest, WorkerStatusReachesStatusPageAndLogInOrder) {
    ShellFixture f;
    CMainSheet& sheet = f.MakeSheet();
    OnWorker([&] {
        f.workerHost->Status(HostMessage::Coded("P10009 Requesting WAN IP address..."));
        f.workerHost->Status(HostMessage::Coded("P10004 Attempting to connect to FTP Server..."));
        f.workerHost->Status(HostMessage::Reply("530 Login incorrect."));
    });
    EXPECT_EQ(
        LogLines(f.dir.File("Orvex.log")),
        (std::vector<std::string>{"Requesting WAN IP address...",
                                  "Attempting to connect to FTP Server...", "Login incorrect."}));
    sheet.ActivatePage(Page::Status);
    EXPECT_EQ(sheet.StatusPage()->HostMessageControl()->toPlainText(), "Login incorrect.");
}

TEST(MainSheetTest, StatusFieldsWaitUntilThePageIsFirstShown) {
    ShellFixture f;
    CMainSheet& sheet = f.MakeSheet();
    f.state->Addresses.SetCurrentLANIP("192.168.1.20");
    f.state->Addresses.SetCurrentWANIP("203.0.113.7");
    sheet.WindowHost().Status(HostMessage::Coded("P10005 System Online:   "));
    CRemotePage* page = sheet.StatusPage();
    EXPECT_TRUE(page->LanControl()->text().isEmpty());
    EXPECT_TRUE(page->HostMessageControl()->toPlainText().isEmpty());

    sheet.ActivatePage(Page::Status);
    EXPECT_EQ(page->HostMessageControl()->toPlainText(), "System Online:   ");
    EXPECT_EQ(page->LanControl()->text(), "192.168.1.20");
    EXPECT_EQ(page->WanControl()->text(), "203.0.113.7");
    EXPECT_EQ(page->LastRefreshControl()->text().size(), 19);
    EXPECT_EQ(page->NextRefreshControl()->text(), "Not Scheduled to refresh");

    // Once shown, even while another page is active, updates reach the controls at once.
    sheet.ActivatePage(Page::LocalSettings);
    sheet.WindowHost().Status(HostMessage::Reply("550 No such file."));
    EXPECT_EQ(page->HostMessageControl()->toPlainText(), "No such file.");
    EXPECT_EQ(LogLines(f.dir.File("Orvex.log")).front(),
              "System Online:   LAN IP: 192.168.1.20, WAN IP: 203.0.113.7");
}

TEST(MainSheetTest, CycleCodesDriveRefreshButtonAndShutdownWindow) {
    ShellFixture f;
    CMainSheet& sheet = f.MakeSheet();
    OnWorker([&] { f.workerHost->Cycle(CycleCode::DisableRefresh); });
    EXPECT_FALSE(sheet.RefreshButton()->isEnabled());
    OnWorker([&] { f.workerHost->Cycle(CycleCode::EnableRefresh); });
    EXPECT_TRUE(sheet.RefreshButton()->isEnabled());

    OnWorker([&] { f.workerHost->Cycle(CycleCode::ShowShutdownWindow); });
    ASSERT_NE(sheet.Shutdown(), nullptr);
    ShutdownWindow* window = sheet.Shutdown();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), "Orvex Shutdown In Progress");
    window->close();
    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_TRUE(window->isVisible()) << "the user cannot close it";
    OnWorker([&] { f.workerHost->Cycle(CycleCode::HideShutdownWindow); });
    EXPECT_FALSE(window->isVisible());
    OnWorker([&] { f.workerHost->Cycle(CycleCode::ShowShutdownWindow); });
    EXPECT_EQ(sheet.Shutdown(), window) << "made once, reused";
}

TEST(MainSheetTest, CopyAddressCommands) {
    ShellFixture f([](Profile& ini) { ini.WriteInt("Preferences", "SuppressError", 1); });
    CMainSheet& sheet = f.MakeSheet();
    QClipboard* clipboard = QGuiApplication::clipboard();

    clipboard->setText("left over");
    sheet.MenuAction("Copy &WAN IP to clipboard")->trigger();
    EXPECT_EQ(AskedTexts(f.boxes), std::vector<std::string>{"Unable to obtain IP address"});
    EXPECT_EQ(f.boxes.Asked().front().caption, "Error");
    EXPECT_EQ(clipboard->text(), "");

    // The LAN command keeps quiet when errors are suppressed.
    f.boxes.ClearAsked();
    clipboard->setText("left over");
    sheet.CopyLanAddress();
    EXPECT_TRUE(f.boxes.Asked().empty());
    EXPECT_EQ(clipboard->text(), "");

    f.state->Addresses.SetCurrentLANIP("10.0.0.5");
    sheet.CopyLanAddress();
    EXPECT_EQ(clipboard->text(), "10.0.0.5");
}

TEST(MainSheetTest, LanCopyReportsEmptyAddressUnlessSuppressed) {
    ShellFixture f;
    CMainSheet& sheet = f.MakeSheet();
    sheet.CopyLanAddress();
    EXPECT_EQ(AskedTexts(f.boxes), std::vector<std::string>{"Unable to obtain IP address"});
}

TEST(MainSheetTest, SaveQuestionAtExit) {
    struct Case {
        MsgAnswer answer;
        bool destroyed;
        bool saved;
    };
    for (const Case& c : {Case{MsgAnswer::Cancel, false, false}, Case{MsgAnswer::No, true, false},
                          Case{MsgAnswer::Yes, true, true}}) {
        ShellFixture f;
        CMainSheet& sheet = f.MakeSheet();
        f.WaitShown();
        f.state->EditSettings([](AppSettings& s) { s.RefreshIntv = 77; });
        sheet.Page(1)->SetModified();
        f.boxes.QueueAnswer(c.answer);
        // The close box goes the same way as every exit command.
        sheet.close();
        ASSERT_EQ(f.boxes.Asked().size(), 1u);
        const MessageBoxRequest& box = f.boxes.Asked().front();
        EXPECT_EQ(box.text, "Do you want to save your settings?");
        EXPECT_EQ(box.caption, "Exit Orvex");
        EXPECT_EQ(box.buttons, MsgButtons::YesNoCancel);
        EXPECT_EQ(box.icon, MsgIcon::Question);
        EXPECT_EQ(sheet.IsDestroyed(), c.destroyed);
        EXPECT_EQ(sheet.isVisible(), !c.destroyed);
        Profile ini(f.dir.File("Orvex.ini"));
        EXPECT_EQ(ini.GetInt("Preferences", "RefreshIntv", -1), c.saved ? 77 : 0);
    }
}

TEST(MainSheetTest, TransferQuestionWhileAnOfflineCycleRuns) {
    for (MsgAnswer answer : {MsgAnswer::No, MsgAnswer::Yes}) {
        ShellFixture f;
        CMainSheet& sheet = f.MakeSheet();
        f.state->Flags.CycleSucceeded = 1;
        f.state->Flags.CycleBusy = 1;
        f.boxes.QueueAnswer(answer);
        sheet.ExitButton()->click();
        ASSERT_EQ(AskedTexts(f.boxes), std::vector<std::string>{ExitRoutine::kTransferQuestion});
        EXPECT_EQ(f.boxes.Asked().front().defaultButton, 2);
        EXPECT_EQ(f.boxes.Asked().front().icon, MsgIcon::None);
        EXPECT_EQ(sheet.IsDestroyed(), answer == MsgAnswer::Yes);
        f.state->Flags.CycleBusy = 0;
    }
}

TEST(MainSheetTest, ExitAnywayWhenTheFtpFieldsAreMissing) {
    for (MsgAnswer answer : {MsgAnswer::No, MsgAnswer::Yes}) {
        ShellFixture f([](Profile& ini) { ini.WriteInt("Preferences", "IsUpdateOnShut", 1); });
        CMainSheet& sheet = f.MakeSheet();
        f.WaitShown();
        FtpPageValues page = sheet.FtpPage().TakeValues();
        page.FTPServer.clear();
        sheet.FtpPage().ShowValues(page);
        f.state->Flags.CycleSucceeded = 1;
        f.boxes.QueueAnswer(answer);
        sheet.MenuAction("E&xit")->trigger();
        ASSERT_EQ(AskedTexts(f.boxes), std::vector<std::string>{ExitRoutine::kExitAnywayQuestion});
        EXPECT_EQ(f.boxes.Asked().front().caption, "Orvex Error");
        EXPECT_EQ(f.boxes.Asked().front().icon, MsgIcon::Warning);
        EXPECT_EQ(sheet.IsDestroyed(), answer == MsgAnswer::Yes);
        EXPECT_EQ(f.state->Flags.ExitCommitted.load(), answer == MsgAnswer::Yes ? 1 : 0);
        if (answer == MsgAnswer::No) {
            EXPECT_TRUE(sheet.isVisible());
            EXPECT_EQ(sheet.Tabs()->currentIndex(), 2);
            sheet.ActivatePage(Page::LocalSettings);
            EXPECT_EQ(sheet.StatusPage()->HostMessageControl()->toPlainText(),
                      "Local Settings Needed.");
        }
    }
}

TEST(MainSheetTest, ExitMessageAsksAboutUnsavedSettingsASecondTime) {
    ShellFixture f([](Profile& ini) { ini.WriteInt("Preferences", "IsUpdateOnShut", 1); });
    CMainSheet& sheet = f.MakeSheet();
    f.WaitShown();
    f.state->Flags.CycleSucceeded = 1;
    sheet.Page(4)->SetModified();
    f.boxes.QueueAnswer(MsgAnswer::No);
    EXPECT_TRUE(sheet.ExitCommand()) << "the offline publication started";
    EXPECT_FALSE(sheet.IsDestroyed());
    EXPECT_FALSE(sheet.isVisible() && !sheet.isMinimized());

    // The offline cycle is done (or reports so itself first).
    f.boxes.QueueAnswer(MsgAnswer::No);
    QPointer<CMainSheet> alive = &sheet;
    OnWorker([&] { f.workerHost->ExitRequest(); });
    EXPECT_TRUE(PumpUntil([&] { return alive.isNull() || alive->IsDestroyed(); }));
    int saveQuestions = 0;
    for (const std::string& text : AskedTexts(f.boxes)) {
        saveQuestions += text == ExitRoutine::kSaveQuestion ? 1 : 0;
    }
    EXPECT_EQ(saveQuestions, 2);
}

TEST(MainSheetTest, WorkerAfterTheWindowIsGoneTouchesNothing) {
    ShellFixture f;
    QPointer<CMainSheet> sheet = &f.MakeSheet();
    sheet->ExitCommand();
    ASSERT_TRUE(sheet->IsDestroyed());
    PumpUntil([&] { return sheet.isNull(); });
    ASSERT_TRUE(sheet.isNull());

    MsgAnswer answer = MsgAnswer::Yes;
    OnWorker([&] {
        f.workerHost->Status(HostMessage::Coded("P10006 System Offline."));
        f.workerHost->Cycle(CycleCode::DisableRefresh);
        f.workerHost->ActivatePage(Page::Status);
        f.workerHost->ExitRequest();
        MessageBoxRequest box;
        box.buttons = MsgButtons::YesNo;
        answer = f.workerHost->MessageBox(box);
    });
    EXPECT_EQ(answer, MsgAnswer::No);
    EXPECT_FALSE(FileExists(f.dir.File("Orvex.log")));
}

TEST(MainSheetTest, TrayIconFollowsTheLastCycle) {
    ShellFixture f;
    CMainSheet& sheet = f.MakeSheet();
    f.state->Flags.CycleSucceeded = 0;
    sheet.WindowHost().Status(HostMessage::Coded("P10009 Requesting WAN IP address..."));
    EXPECT_EQ(sheet.Tray().ShownIcon(), 0);
    f.state->Flags.CycleSucceeded = 1;
    sheet.UpdateTrayIcon();
    EXPECT_EQ(sheet.Tray().ShownIcon(), 1);
    f.state->Flags.CycleSucceeded = 7;
    sheet.UpdateTrayIcon();
    EXPECT_EQ(sheet.Tray().ShownIcon(), 1);
    EXPECT_EQ(sheet.Tray().Icon()->toolTip(), "Orvex");
}

TEST(MainSheetTest, HelpOpensInTheProgramsOwnWindowWithoutABrowser) {
    ShellFixture f;
    f.launcher.succeed = false;  // no browser on this desktop
    CMainSheet& sheet = f.MakeSheet();
    f.WaitShown();
    sheet.MenuAction("&Orvex Help")->trigger();
    HelpWindow* help = sheet.Help();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(help->windowTitle(), "Orvex Help");
    EXPECT_TRUE(help->Shown().toLocalFile().endsWith("/Intro.htm"));
    EXPECT_EQ(help->Browser()->documentTitle(), "Orvex Help: Introduction");

    // F1 opens the help on the page shown, in the same window.
    sheet.Tabs()->setCurrentIndex(5);
    sheet.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&sheet));
    QTest::keyClick(&sheet, Qt::Key_F1);
    EXPECT_EQ(sheet.Help(), help);
    EXPECT_TRUE(help->Shown().toLocalFile().endsWith("/Settings.htm"));
    EXPECT_EQ(help->Shown().fragment(), "email");
    EXPECT_GT(help->Browser()->verticalScrollBar()->value(), 0) << "scrolled to the section";
    EXPECT_TRUE(f.launcher.Opened().empty());
    EXPECT_TRUE(f.boxes.Asked().empty());
}

TEST(MainSheetTest, DynamicDnsPageMarksTheSheetAndItsHelpExplainsTheProtocols) {
    ShellFixture f([](Profile& ini) {
        DynamicDnsEntry url;
        url.Protocol = kDdnsUrl;
        url.URL = "https://update.example.net/?ip=%WI";
        DynamicDnsEntry command;
        command.Protocol = kDdnsCommand;
        command.Command = "hook.sh";
        WriteDynamicDnsEntries(ini, PasswordKey(), {url, command});
    });
    f.launcher.succeed = false;
    CMainSheet& sheet = f.MakeSheet();
    f.WaitShown();
    sheet.ActivatePage(Page::DynamicDns);
    ASSERT_EQ(sheet.Tabs()->currentIndex(), 6);
    auto* page = qobject_cast<CDynamicDnsPage*>(sheet.Page(6));
    ASSERT_NE(page, nullptr);

    page->MoveEntry(1, -1);
    EXPECT_TRUE(sheet.SaveButton()->isEnabled());
    EXPECT_TRUE(sheet.HasUnsavedChanges());
    sheet.SaveCommand();
    EXPECT_FALSE(sheet.SaveButton()->isEnabled());
    const std::vector<DynamicDnsEntry> saved = ReadDynamicDnsEntries(f.state->Ini(), PasswordKey());
    ASSERT_EQ(saved.size(), 2u);
    EXPECT_EQ(saved[0].Command, "hook.sh");

    sheet.ShowPageHelp();
    HelpWindow* help = sheet.Help();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->Shown().toLocalFile().endsWith("/DynamicDns.htm"));
    EXPECT_EQ(help->Browser()->documentTitle(), "Orvex Help: Dynamic DNS");
    const QString text = help->Browser()->toPlainText();
    for (const char* said :
         {"dyndns2", "%WI6", "%H", "TSIG", "TTL", "25 days", "5 minutes", "badauth", "nohost",
          "abuse", "911", "ORVEX_WAN_IP6", "ORVEX_LAN_IP", "ORVEX_LAN_IP6", "ORVEX_HOSTS"}) {
        EXPECT_TRUE(text.contains(said)) << said;
    }
    // The entry dialog's help goes to its protocol's section.
    emit page->HelpRequested("DynamicDns.htm#url");
    EXPECT_EQ(help->Shown().fragment(), "url");
    EXPECT_TRUE(f.boxes.Asked().empty());
}

// The local time a Status page stamp stands for.
std::time_t StampTime(const std::string& stamp) {
    std::tm local{};
    local.tm_isdst = -1;
    if (strptime(stamp.c_str(), "%m/%d/%y %H:%M:%S", &local) == nullptr) {
        return 0;
    }
    return std::mktime(&local);
}

TEST(MainSheetTest, NextRefreshTimeIsWhenTheScheduleReallyFiresAfterAFailedRefreshAndASave) {
    ShellFixture f([](Profile& ini) {
        ini.WriteInt("Preferences", "IsUpdateOnStart", 1);
        ini.WriteInt("Preferences", "RefreshIntv", 30);
        ini.WriteInt("Preferences", "SuppressError", 1);
    });
    CMainSheet& sheet = f.MakeSheet();
    const auto cyclesLogged = [&](const std::string& text) {
        const auto lines = LogLines(f.dir.File("Orvex.log"));
        return std::count_if(lines.begin(), lines.end(),
                             [&](const std::string& l) { return l.starts_with(text); });
    };
    // The start-up refresh (no FTP) ends well: the next one is 30 minutes away.
    ASSERT_TRUE(PumpUntil([&] { return cyclesLogged("System Online:") == 1; }, 20000));
    ASSERT_TRUE(PumpUntil([&] { return !f.state->Flags.CycleRunning; }));

    // A Refresh that fails (its template is missing).
    f.state->EditSettings([](AppSettings& s) { s.EnableFTP = 1; });
    sheet.RefreshCommand();
    ASSERT_TRUE(PumpUntil(
        [&] { return cyclesLogged("Attempting to connect") == 1 && !f.state->Flags.CycleRunning; },
        20000));
    ASSERT_EQ(cyclesLogged("System Online:"), 1);

    // A new interval, saved: the schedule starts over, and a refresh runs at once.
    f.state->EditSettings([](AppSettings& s) {
        s.EnableFTP = 0;
        s.RefreshIntv = 5;
    });
    f.state->IntervalEdited = true;
    const std::time_t saved = std::time(nullptr);
    sheet.SaveCommand();
    ASSERT_TRUE(PumpUntil(
        [&] { return cyclesLogged("System Online:") == 2 && !f.state->Flags.CycleRunning; },
        20000));
    const std::time_t shown = StampTime(sheet.StatusPage()->Fields().nextRefresh);
    EXPECT_GE(shown, saved + 5 * 60 - 1) << sheet.StatusPage()->Fields().nextRefresh;
    EXPECT_LE(shown, saved + 5 * 60 + 10) << sheet.StatusPage()->Fields().nextRefresh;
}

TEST(MainSheetTest, SigtermEndsTheProgramAfterTheEndOfSessionPath) {
    ShellFixture f;
    QPointer<CMainSheet> sheet = &f.MakeSheet();
    sheet->Page(0)->SetModified();
    SessionEnd session(sheet.data());
    session.OnTerminate();
    // Without the offline publication nothing is asked; the window goes regardless.
    EXPECT_TRUE(f.boxes.Asked().empty());
    EXPECT_TRUE(sheet->IsDestroyed());
}

TEST(MainSheetTest, SigtermDuringACycleWaitsForItThenPublishesTheOfflinePage) {
    ShellFixture f([](Profile& ini) { ini.WriteInt("Preferences", "IsUpdateOnShut", 1); });
    QPointer<CMainSheet> sheet = &f.MakeSheet();
    f.WaitShown();
    ASSERT_TRUE(f.state->Flags.TryClaimCycle()) << "a cycle is running";
    SessionEnd session(sheet.data());
    session.OnTerminate();
    session.OnTerminate();
    PumpUntil([] { return false; }, 5 * SessionEnd::kCyclePollMs);
    ASSERT_FALSE(sheet.isNull());
    EXPECT_FALSE(sheet->IsDestroyed()) << "ended under the running cycle";
    EXPECT_FALSE(FileExists(f.dir.File("Orvex.log")));

    f.state->Flags.ReleaseCycle();
    EXPECT_TRUE(PumpUntil([&] { return sheet.isNull() || sheet->IsDestroyed(); }));
    EXPECT_NE(ReadFile(f.dir.File("Orvex.log")).find("System Offline."), std::string::npos);
    EXPECT_FALSE(f.state->Flags.CycleRunning) << "the offline cycle let go of its claim";
}

}  // namespace
}  // namespace orvex::test
