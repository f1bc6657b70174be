#pragma once

#include <QPointer>
#include <QWidget>

#include <array>
#include <memory>
#include <string>

#include "app/AppCore.h"
#include "ui/KeyringStore.h"
#include "app/WindowPort.h"
#include "platform/Clock.h"
#include "platform/DesktopLauncher.h"
#include "ui/MessageBoxes.h"
#include "ui/PageContext.h"
#include "ui/QtWindowTimer.h"

class QAction;
class QPushButton;
class QTabWidget;

namespace orvex {

class CEmailPage;
class HelpWindow;
class CLocalSettings;
class COptionsPage;
class CProcessMonitor;
class CProxyPage;
class CRemotePage;
class GuiThreadHost;
class SheetPage;
class ShutdownWindow;
class TrayIcon;

// What the main window works with besides the program's state; replaceable for tests.
struct SheetServices {
    Clock& clock;
    DesktopLauncher& launcher;
    FilePicker& picker;
    MessageBoxes& boxes;  // every message box of the window's thread
    QString version;      // shown by the About box
};

// The main window "Orvex": seven pages, the menu bar, the Refresh, Save and Exit buttons and the
// notification icon. It carries out what the program's logic (AppCore) asks of the window,
// and every command and close request goes through that logic. It loads the settings and
// arms the show phase while it is created, and stays hidden until that phase fires.
class CMainSheet : public QWidget, public WindowPort {
    Q_OBJECT
public:
    // `workerHost` is what the cycles report through; the sheet attaches its own Host to it
    // and detaches it when the window is destroyed.
    CMainSheet(AppState& state, GuiThreadHost& workerHost, SheetServices services);
    ~CMainSheet() override;

    static constexpr int kPageCount = 8;

    AppCore& Core() { return *core_; }
    MessageBoxes& Boxes() { return services_.boxes; }
    // The Host of the window's own thread: message boxes, and the cycle messages handled at
    // once.
    Host& WindowHost();
    TrayIcon& Tray() { return *tray_; }
    QTabWidget* Tabs() const { return tabs_; }
    SheetPage* Page(int index) const { return pages_.at(static_cast<size_t>(index)); }
    CRemotePage* StatusPage() const { return remotePage_; }
    QPushButton* RefreshButton() const { return refreshButton_; }
    QPushButton* SaveButton() const { return saveButton_; }
    QPushButton* ExitButton() const { return exitButton_; }
    ShutdownWindow* Shutdown() const;
    QAction* MenuAction(const QString& text) const;
    // The window was destroyed (it is deleted once control is back in the event loop).
    bool IsDestroyed() const { return destroyed_; }

    // Commands of the menus, the buttons and the notification icon.
    void RefreshCommand();
    void SaveCommand();
    bool ExitCommand();
    void CopyLanAddress();
    void CopyWanAddress();
    void ShowAbout();
    // The Help menu: the introduction. F1: the help on the page shown.
    void ShowHelp();
    void ShowPageHelp();
    // A topic of the help pages ("Settings.htm#ftp").
    void ShowHelpTopic(const std::string& topic);
    HelpWindow* Help() const;
    void OpenHomePage();
    // A second copy of the program asked for the window.
    void ShowFromOtherCopy();
    // The desktop session ends: runs the offline publication when it is set; true when the
    // session may end.
    bool QueryEndSession();
    bool EndSessionAwaitsCycle() const;

    // WindowPort
    void MinimizeWindow() override;
    void RestoreWindow() override;
    bool WindowVisible() const override;
    void DestroyWindow() override;
    void ActivatePage(orvex::Page page) override;
    bool HasUnsavedChanges() const override;
    void MarkPagesSaved() override;
    FtpPageFields& FtpPage() override;
    void StatusFieldsChanged(const StatusFields& fields) override;
    void RefreshProgramMonitor() override;
    void UpdateTrayIcon() override;
    void ShowShutdownWindow(bool show) override;
    void EnableRefreshButton(bool enable) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    class SheetHost;

    void BuildMenuBar();
    void BuildPages();
    void UpdateSaveButton();
    void HideBehindIcon();
    void CopyAddress(const std::string& address, bool reportAlways);

    AppState& state_;
    GuiThreadHost& workerHost_;
    SheetServices services_;
    std::unique_ptr<SheetHost> windowHost_;
    QtWindowTimer timer_;
    // Before the core, which uses it.
    KeyringStore keyring_;
    std::unique_ptr<AppCore> core_;
    std::unique_ptr<PageContext> context_;

    QTabWidget* tabs_ = nullptr;
    std::array<SheetPage*, kPageCount> pages_{};
    CLocalSettings* ftpPage_ = nullptr;
    CRemotePage* remotePage_ = nullptr;
    CProcessMonitor* monitorPage_ = nullptr;
    QPushButton* refreshButton_ = nullptr;
    QPushButton* saveButton_ = nullptr;
    QPushButton* exitButton_ = nullptr;
    TrayIcon* tray_ = nullptr;
    QPointer<ShutdownWindow> shutdown_;
    QPointer<HelpWindow> help_;
    bool destroyed_ = false;
};

}  // namespace orvex
