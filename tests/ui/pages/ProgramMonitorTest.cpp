#include <cstdlib>
#include <memory>

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include "PageRig.h"
#include "XvfbServer.h"
#include "monitor/MonitoredPrograms.h"
#include "settings/SettingsFile.h"
#include "ui/dialogs/AddRemoveProgramsDlg.h"
#include "ui/pages/ProcessMonitorPage.h"

namespace orvex::test {
namespace {

std::vector<TopLevelWindow> Windows(const std::vector<std::string>& titles) {
    std::vector<TopLevelWindow> windows;
    unsigned long id = 1;
    for (const std::string& title : titles) {
        windows.push_back({id++, title, true});
    }
    return windows;
}

std::vector<std::string> Rows(QTreeWidget* table, int column) {
    std::vector<std::string> rows;
    for (int i = 0; i < table->topLevelItemCount(); ++i) {
        rows.push_back(table->topLevelItem(i)->text(column).toStdString());
    }
    return rows;
}

void Select(QListWidget* list, const std::vector<std::string>& titles) {
    list->clearSelection();
    for (const std::string& title : titles) {
        auto items = list->findItems(QString::fromStdString(title), Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1) << title;
        items[0]->setSelected(true);
    }
}

class ProgramMonitorTest : public ::testing::Test {
protected:
    void WriteSection(const std::vector<std::string>& entries) {
        rig.state.Ini().WriteSection("Programs", entries);
    }
    PageRig rig;
};

TEST_F(ProgramMonitorTest, TableListsEveryEntryWithTheStatesOfTheLastRebuild) {
    rig.state.EditSettings([](AppSettings& s) { s.StatusIndicators = "RUNNING/NOT RUNNING"; });
    WriteSection({"Programs0=alpha console", "Programs1=", "Programs2=Zeta Server"});
    RefreshProgramList(rig.state.Ini(), "RUNNING/NOT RUNNING", rig.state.Programs,
                       [](const std::string& title) { return title == "alpha console"; });
    CProcessMonitor page(rig.context);
    auto* table = Child<QTreeWidget>(&page, "ProgramTable");
    ASSERT_EQ(table->columnCount(), 3);
    EXPECT_EQ(table->headerItem()->text(0), "Program Tag");
    EXPECT_EQ(table->headerItem()->text(1), "Program Window Name");
    EXPECT_EQ(table->headerItem()->text(2), "Status");
    EXPECT_EQ(table->columnWidth(0), 80);
    EXPECT_EQ(table->columnWidth(1), 180);
    EXPECT_GE(table->columnWidth(2), 70);

    // Nothing before the page is first shown.
    page.RefreshIfShown();
    EXPECT_EQ(table->topLevelItemCount(), 0);

    page.OnSetActive();
    EXPECT_EQ(Rows(table, 0), (std::vector<std::string>{"%P0", "%P1", "%P2"}));
    EXPECT_EQ(Rows(table, 1), (std::vector<std::string>{"alpha console", "", "Zeta Server"}));
    EXPECT_EQ(Rows(table, 2), (std::vector<std::string>{"RUNNING", "NOT RUNNING", "NOT RUNNING"}));

    // The timer shows the list's states as they are now; the table is refilled per refresh.
    RefreshProgramList(rig.state.Ini(), "RUNNING/NOT RUNNING", rig.state.Programs,
                       [](const std::string&) { return true; });
    page.RefreshStatusColumn();
    EXPECT_EQ(Rows(table, 2), (std::vector<std::string>{"RUNNING", "NOT RUNNING", "RUNNING"}));
    WriteSection({"Programs0=beta"});
    page.RefreshIfShown();
    EXPECT_EQ(Rows(table, 1), std::vector<std::string>{"beta"});
    EXPECT_EQ(Rows(table, 2), std::vector<std::string>{"NOT RUNNING"});
}

TEST_F(ProgramMonitorTest, StatusTimerRunsEverySecondOnceThePageWasShown) {
    rig.state.EditSettings([](AppSettings& s) { s.StatusIndicators = "ON/OFF"; });
    WriteSection({"Programs0=watched"});
    CProcessMonitor page(rig.context);
    auto* timer = page.findChild<QTimer*>();
    ASSERT_NE(timer, nullptr);
    EXPECT_FALSE(timer->isActive());
    page.OnSetActive();
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), 1000);
    auto* table = Child<QTreeWidget>(&page, "ProgramTable");
    EXPECT_EQ(Rows(table, 2), std::vector<std::string>{"OFF"});

    RefreshProgramList(rig.state.Ini(), "ON/OFF", rig.state.Programs,
                       [](const std::string&) { return true; });
    QTest::qWait(1300);
    EXPECT_EQ(Rows(table, 2), std::vector<std::string>{"ON"});
}

TEST_F(ProgramMonitorTest, StatusTimerSleepsWhileThePageIsHidden) {
    rig.state.EditSettings([](AppSettings& s) { s.StatusIndicators = "ON/OFF"; });
    WriteSection({"Programs0=watched"});
    CProcessMonitor page(rig.context);
    auto* timer = page.findChild<QTimer*>();
    auto* table = Child<QTreeWidget>(&page, "ProgramTable");
    // Shown before its first activation, the page starts nothing.
    page.show();
    EXPECT_FALSE(timer->isActive());
    page.OnSetActive();
    EXPECT_TRUE(timer->isActive());
    page.hide();
    EXPECT_FALSE(timer->isActive());

    // What changed while hidden shows as soon as the page is back, not a second later.
    RefreshProgramList(rig.state.Ini(), "ON/OFF", rig.state.Programs,
                       [](const std::string&) { return true; });
    EXPECT_EQ(Rows(table, 2), std::vector<std::string>{"OFF"});
    page.show();
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(Rows(table, 2), std::vector<std::string>{"ON"});
}

TEST_F(ProgramMonitorTest, OkStoresTheMonitoredTitlesInAlphabeticalOrder) {
    WriteSection({"Programs0=Old Editor"});
    CAddRemoveProgramsDlg dialog(rig.state, nullptr, [] {
        return Windows({"Zeta Server", "alpha console", "Mail Reader"});
    });
    EXPECT_EQ(dialog.windowTitle(), "Add/Remove Programs");
    auto* unmonitored = Child<QListWidget>(&dialog, "ProgramsUnmonitored");
    auto* monitored = Child<QListWidget>(&dialog, "ProgramsMonitored");
    EXPECT_EQ(dialog.UnmonitoredTitles(),
              (std::vector<std::string>{"alpha console", "Mail Reader", "Zeta Server"}));
    EXPECT_EQ(unmonitored->selectionMode(), QAbstractItemView::ExtendedSelection);

    Select(unmonitored, {"Zeta Server", "alpha console"});
    Child<QPushButton>(&dialog, "Add")->click();
    Select(monitored, {"Old Editor"});
    Child<QPushButton>(&dialog, "Remove")->click();
    EXPECT_EQ(dialog.MonitoredTitles(), (std::vector<std::string>{"alpha console", "Zeta Server"}));
    EXPECT_EQ(dialog.UnmonitoredTitles(), (std::vector<std::string>{"Mail Reader", "Old Editor"}));
    dialog.accept();

    EXPECT_EQ(rig.state.Ini().GetSection("Programs", 3000),
              (std::vector<std::string>{"Programs0=alpha console", "Programs1=Zeta Server"}));
    EXPECT_EQ(rig.state.Ini().GetString("LocalSettings", "StatusIndicators", ""), "");
}

TEST_F(ProgramMonitorTest, MoveButtonsAreEnabledWhileTheirListHasItems) {
    CAddRemoveProgramsDlg dialog(rig.state, nullptr, [] { return Windows({"one", "two"}); });
    auto* add = Child<QPushButton>(&dialog, "Add");
    auto* addAll = Child<QPushButton>(&dialog, "AddAll");
    auto* remove = Child<QPushButton>(&dialog, "Remove");
    auto* removeAll = Child<QPushButton>(&dialog, "RemoveAll");
    EXPECT_TRUE(add->isEnabled() && addAll->isEnabled());
    EXPECT_FALSE(remove->isEnabled() || removeAll->isEnabled());
    addAll->click();
    EXPECT_EQ(dialog.MonitoredTitles(), (std::vector<std::string>{"one", "two"}));
    EXPECT_FALSE(add->isEnabled() || addAll->isEnabled());
    EXPECT_TRUE(remove->isEnabled() && removeAll->isEnabled());
    removeAll->click();
    EXPECT_TRUE(dialog.MonitoredTitles().empty());
    EXPECT_FALSE(remove->isEnabled() || removeAll->isEnabled());
    dialog.accept();
    EXPECT_TRUE(rig.state.Ini().GetSection("Programs", 3000).empty());
}

TEST_F(ProgramMonitorTest, CancelWritesNothingAndKeepsTheIndicatorPair) {
    rig.state.EditSettings([](AppSettings& s) { s.StatusIndicators = "TRUE/FALSE"; });
    WriteSection({"Programs0=kept"});
    rig.state.Ini().WriteString("LocalSettings", "StatusIndicators", "TRUE/FALSE");
    const std::string before = ReadFile(rig.state.IniPath);
    {
        CAddRemoveProgramsDlg dialog(rig.state, nullptr, [] { return Windows({"new one"}); });
        Child<QPushButton>(&dialog, "AddAll")->click();
        auto* pairs = Child<QComboBox>(&dialog, "StatusIndicator");
        pairs->setCurrentIndex(1);
        emit pairs->activated(1);
        Child<QPushButton>(&dialog, "Cancel")->click();
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
    }
    EXPECT_EQ(ReadFile(rig.state.IniPath), before);
    EXPECT_EQ(rig.state.Settings().StatusIndicators, "TRUE/FALSE");
}

TEST_F(ProgramMonitorTest, IndicatorListOffersBuiltInThenExtraPairs) {
    rig.state.EditSettings([](AppSettings& s) { s.StatusIndicators = "up"; });
    rig.state.Ini().WriteSection("StatusIndicators",
                                 {"Pair0=UP/DOWN", "Pair1=on/off", "Pair2=YES/NO"});
    CAddRemoveProgramsDlg dialog(rig.state, nullptr, [] { return Windows({}); });
    auto* pairs = Child<QComboBox>(&dialog, "StatusIndicator");
    std::vector<std::string> items;
    for (int i = 0; i < pairs->count(); ++i) {
        items.push_back(pairs->itemText(i).toStdString());
    }
    EXPECT_EQ(items, (std::vector<std::string>{"TRUE/FALSE", "ON/OFF", "RUNNING/NOT RUNNING",
                                               "ACTIVE/INACTIVE", "OPENED/CLOSED",
                                               "POSITIVE/NEGATIVE", "UP/DOWN", "YES/NO"}));
    // The current pair picks the first item it begins, without regard to case.
    EXPECT_EQ(pairs->currentText(), "UP/DOWN");

    pairs->setCurrentIndex(2);
    emit pairs->activated(2);
    dialog.accept();
    EXPECT_EQ(rig.state.Settings().StatusIndicators, "RUNNING/NOT RUNNING");
    EXPECT_EQ(rig.state.Ini().GetString("LocalSettings", "StatusIndicators", ""),
              "RUNNING/NOT RUNNING");
}

TEST(WindowTitleCollectionTest, OffersTaskbarWindowsUpToTwentyAndNotPrefixesOfMonitoredOnes) {
    std::vector<TopLevelWindow> windows = Windows({"Editor", "", "tool palette"});
    windows[2].taskbar = false;
    windows.push_back({9, std::string(kMaxValueLength + 1, 'x'), true});
    EXPECT_EQ(CollectWindowTitles(windows), std::vector<std::string>{"Editor"});

    std::vector<std::string> many;
    for (int i = 0; i < 30; ++i) {
        many.push_back("window " + std::to_string(i));
    }
    const std::vector<std::string> collected = CollectWindowTitles(Windows(many));
    ASSERT_EQ(collected.size(), kMaxOfferedWindows);
    EXPECT_EQ(collected.back(), "window 19");

    EXPECT_EQ(UnmonitoredTitles({"ALPHA", "alpha console", "Beta", "Beta", "gamma"},
                                {"Alpha Console", "delta"}),
              (std::vector<std::string>{"gamma", "Beta"}));
}

// Windows of the test's own on a private X server.
class ProgramMonitorX11Test : public ProgramMonitorTest {
protected:
    static void SetUpTestSuite() { server_ = new XvfbServer(); }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override {
        if (!server_->Started()) {
            GTEST_SKIP() << "no private X server (Xvfb): " << server_->Error();
        }
        display_ = std::make_unique<DisplayOverride>(server_->Display());
    }
    void TearDown() override { display_.reset(); }
    static XvfbServer* server_;
    std::unique_ptr<DisplayOverride> display_;
};

XvfbServer* ProgramMonitorX11Test::server_ = nullptr;

TEST_F(ProgramMonitorX11Test, OpenWindowsAreOfferedExceptPrefixesOfMonitoredTitles) {
    WriteSection({"Programs0=alpha console"});
    TestWindow console(server_->Display(), "alpha console");
    TestWindow prefix(server_->Display(), "ALPHA");
    TestWindow other(server_->Display(), "Beta Tool");
    TestWindow hidden(server_->Display(), "hidden", false);

    CAddRemoveProgramsDlg dialog(rig.state);
    EXPECT_EQ(dialog.UnmonitoredTitles(), std::vector<std::string>{"Beta Tool"});
    EXPECT_EQ(dialog.MonitoredTitles(), std::vector<std::string>{"alpha console"});
}

TEST_F(ProgramMonitorX11Test, OkThroughThePageRebuildsTheListAndTheTable) {
    rig.state.EditSettings([](AppSettings& s) { s.StatusIndicators = "RUNNING/NOT RUNNING"; });
    TestWindow console(server_->Display(), "alpha console");
    TestWindow zeta(server_->Display(), "Zeta Server");
    CProcessMonitor page(rig.context);
    page.OnSetActive();
    auto* table = Child<QTreeWidget>(&page, "ProgramTable");
    EXPECT_EQ(table->topLevelItemCount(), 0);

    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<CAddRemoveProgramsDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        Child<QPushButton>(dialog, "AddAll")->click();
        Child<QPushButton>(dialog, "OK")->click();
    });
    Child<QPushButton>(&page, "AddRemove")->click();

    EXPECT_EQ(Rows(table, 0), (std::vector<std::string>{"%P0", "%P1"}));
    EXPECT_EQ(Rows(table, 1), (std::vector<std::string>{"alpha console", "Zeta Server"}));
    EXPECT_EQ(Rows(table, 2), (std::vector<std::string>{"RUNNING", "RUNNING"}));
    EXPECT_EQ(rig.state.Programs.Size(), 2u);
}

}  // namespace
}  // namespace orvex::test
