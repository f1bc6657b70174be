#include <QSystemTrayIcon>
#include <QTest>

#include <gtest/gtest.h>

#include "DesktopTest.h"
#include "ShellTestSupport.h"
#include "ui/TrayIcon.h"

namespace orvex::test {
namespace {

TEST(TrayTest, MinimiseHidesBehindTheIconAndDoubleClickBringsTheWindowBack) {
    REQUIRE_DESKTOP();
    ASSERT_TRUE(PumpUntil([] { return TrayIcon::Available(); }));
    ShellFixture f;
    CMainSheet& sheet = f.MakeSheet();
    f.WaitShown();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&sheet));
    EXPECT_FALSE(sheet.Tray().Shown());

    // The minimise button: the window manager iconifies the window.
    ASSERT_TRUE(g_desktop->Run(
        {"xdotool", "windowminimize", std::to_string(static_cast<unsigned long>(sheet.winId()))}));
    ASSERT_TRUE(PumpUntil([&] { return !sheet.isVisible() && sheet.Tray().Shown(); }));
    EXPECT_EQ(sheet.Tray().ShownIcon(), 0) << "no cycle has ended well yet";

    QRect icon;
    ASSERT_TRUE(PumpUntil([&] {
        icon = sheet.Tray().Icon()->geometry();
        return icon.isValid() && !icon.isEmpty();
    })) << "the icon is embedded in the notification area";
    // The notification area places the icon after embedding it; let it settle.
    QTest::qWait(500);
    icon = sheet.Tray().Icon()->geometry();
    const QPoint centre = icon.center();
    ASSERT_TRUE(g_desktop->Run({"xdotool", "mousemove", std::to_string(centre.x()),
                                std::to_string(centre.y()), "click", "--repeat", "2", "--delay",
                                "80", "1"}));
    EXPECT_TRUE(PumpUntil([&] { return sheet.isVisible() && !sheet.Tray().Shown(); }));
    EXPECT_FALSE(sheet.isMinimized());
}

TEST(TrayTest, ReportsWaitingForOkAreAlsoShownFromTheIconWhileTheWindowIsHidden) {
    REQUIRE_DESKTOP();
    ShellFixture f;
    CMainSheet& sheet = f.MakeSheet();
    f.WaitShown();
    MessageBoxRequest box;
    box.text = "There was an error uploading page.";
    box.icon = MsgIcon::Error;
    sheet.WindowHost().MessageBox(box);
    EXPECT_TRUE(sheet.Tray().LastNotification().isEmpty()) << "the window shows the box";

    sheet.MinimizeWindow();
    ASSERT_TRUE(sheet.Tray().Shown());
    MessageBoxRequest question;
    question.text = "Do you want to save your settings?";
    question.buttons = MsgButtons::YesNoCancel;
    sheet.WindowHost().MessageBox(question);
    EXPECT_TRUE(sheet.Tray().LastNotification().isEmpty()) << "questions come from the user";
    sheet.WindowHost().MessageBox(box);
    EXPECT_EQ(sheet.Tray().LastNotification(), "Orvex\nThere was an error uploading page.");
    EXPECT_EQ(f.boxes.Asked().size(), 3u) << "the box is still shown";
}

TEST(TrayTest, ExitFromTheIconMenuClosesTheWindow) {
    REQUIRE_DESKTOP();
    ShellFixture f;
    CMainSheet& sheet = f.MakeSheet();
    f.WaitShown();
    sheet.MinimizeWindow();
    ASSERT_TRUE(sheet.Tray().Shown());
    sheet.MenuAction("&Shutdown")->trigger();
    EXPECT_TRUE(sheet.IsDestroyed());
    EXPECT_FALSE(sheet.Tray().Shown());
}

}  // namespace
}  // namespace orvex::test
