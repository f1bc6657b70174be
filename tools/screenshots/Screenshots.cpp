// Takes the shell's screenshots on a private desktop: ui_screenshots <folder>.

#include <stdlib.h>

#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTest>

#include <cstdio>

#include "ShellTestSupport.h"
#include "TestDesktop.h"
#include "ui/AboutBox.h"
#include "ui/HelpWindow.h"
#include "platform/StatusTexts.h"
#include "ui/pages/RemotePage.h"
#include "ui/ShutdownWindow.h"
#include "ui/TrayIcon.h"

namespace {

// The window with its frame, as the screen shows it.
QPixmap GrabFramed(QWidget& window) {
    QTest::qWait(800);
    const QRect frame = window.frameGeometry();
    return QGuiApplication::primaryScreen()->grabWindow(0, frame.x(), frame.y(), frame.width(),
                                                        frame.height());
}

bool Save(const QPixmap& shot, const QString& folder, const char* name) {
    const QString path = folder + "/" + name;
    const bool saved = shot.save(path);
    std::printf("%s %s\n", saved ? "wrote" : "FAILED", path.toUtf8().constData());
    return saved;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: ui_screenshots <folder>\n");
        return 2;
    }
    orvex::test::TestDesktop desktop;
    if (!desktop.Ready()) {
        std::fprintf(stderr, "no desktop: %s\n", desktop.Error().c_str());
        return 1;
    }
    ::setenv("DISPLAY", desktop.Display().c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    QApplication app(argc, argv);
    const QString folder = argv[1];
    using orvex::test::PumpUntil;

    orvex::test::ShellFixture f;
    orvex::CMainSheet& sheet = f.MakeSheet();
    f.WaitShown();
    (void)QTest::qWaitForWindowExposed(&sheet);
    sheet.move(40, 40);
    bool ok = Save(GrabFramed(sheet), folder, "main-window.png");

    f.state->Addresses.SetCurrentLANIP("192.168.1.20");
    f.state->Addresses.SetCurrentWANIP("203.0.113.7");
    f.state->Flags.CycleSucceeded = 1;
    sheet.WindowHost().Status(orvex::HostMessage::Coded(orvex::status::kSystemOnline));
    sheet.ActivatePage(orvex::Page::Status);
    ok = Save(GrabFramed(sheet), folder, "status-page.png") && ok;

    orvex::CAboutBox about("1.69d", f.launcher, sheet.WindowHost());
    about.show();
    (void)QTest::qWaitForWindowExposed(&about);
    ok = Save(GrabFramed(about), folder, "about-box.png") && ok;
    about.hide();

    sheet.ActivatePage(orvex::Page::Options);
    sheet.ShowPageHelp();
    if (orvex::HelpWindow* help = sheet.Help()) {
        help->move(60, 60);
        (void)QTest::qWaitForWindowExposed(help);
        ok = Save(GrabFramed(*help), folder, "help-window.png") && ok;
        help->hide();
    }
    sheet.ActivatePage(orvex::Page::LocalSettings);

    sheet.ShowShutdownWindow(true);
    (void)QTest::qWaitForWindowExposed(sheet.Shutdown());
    ok = Save(GrabFramed(*sheet.Shutdown()), folder, "shutdown-window.png") && ok;
    sheet.ShowShutdownWindow(false);

    // The notification area at the bottom right, with the program icon and then the second
    // icon side by side.
    sheet.MinimizeWindow();
    QRect icon;
    PumpUntil([&] {
        icon = sheet.Tray().Icon()->geometry();
        return icon.isValid() && !icon.isEmpty();
    });
    // The notification area places the icon after embedding it; let it settle.
    QTest::qWait(1000);
    icon = sheet.Tray().Icon()->geometry();
    QScreen* screen = QGuiApplication::primaryScreen();
    // The notification area sits in the screen's corner; a region beyond the screen grabs
    // nothing.
    const QRect area =
        QRect(icon.right() - 79, icon.top() - 16, 80, icon.height() + 16) & screen->geometry();
    const QPixmap published =
        screen->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    f.state->Flags.CycleSucceeded = 0;
    sheet.UpdateTrayIcon();
    QTest::qWait(500);
    const QPixmap pending = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    QPixmap both(area.width() * 2 + 8, area.height());
    both.fill(Qt::white);
    {
        QPainter painter(&both);
        painter.drawPixmap(0, 0, published);
        painter.drawPixmap(area.width() + 8, 0, pending);
    }
    ok = Save(both.scaled(both.size() * 2), folder, "tray-icon.png") && ok;

    f.TearDown();
    return ok ? 0 : 1;
}
