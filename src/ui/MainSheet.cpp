#include "ui/MainSheet.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QShortcut>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "platform/HelpPages.h"
#include "ui/AboutBox.h"
#include "ui/GuiThreadHost.h"
#include "ui/HelpWindow.h"
#include "ui/pages/RemotePage.h"
#include "ui/ShutdownWindow.h"
#include "ui/TrayIcon.h"
#include "ui/UiResources.h"
#include "ui/WebAddress.h"
#include "ui/pages/DynamicDnsPage.h"
#include "ui/pages/EmailPage.h"
#include "ui/pages/LocalSettingsPage.h"
#include "ui/pages/NotificationsPage.h"
#include "ui/pages/OptionsPage.h"
#include "ui/pages/ProcessMonitorPage.h"
#include "ui/pages/ProxyPage.h"

namespace orvex {

namespace {

// The help on each page, in page order, for F1.
constexpr std::array<const char*, CMainSheet::kPageCount> kPageHelp = {
    "Settings.htm#ftp",   "Settings.htm#options", "Window.htm#status", "Settings.htm#monitor",
    "Settings.htm#proxy", "Settings.htm#email",   "DynamicDns.htm",    "Notifications.htm"};

}  // namespace

// The window's Host on its own thread: the cycle messages go straight to the logic, boxes are
// shown over the window.
class CMainSheet::SheetHost : public Host {
public:
    explicit SheetHost(CMainSheet& sheet) : sheet_(sheet) {}

    void Status(const HostMessage& message) override { sheet_.core_->OnStatusMessage(message); }
    void Cycle(CycleCode code) override { sheet_.core_->OnCycleCode(code); }
    void ExitRequest() override { sheet_.core_->OnExitMessage(); }
    MsgAnswer MessageBox(const MessageBoxRequest& request) override {
        // Hidden behind its icon, the window would give no sign of why nothing moves while
        // a report waits for its OK.
        if (!sheet_.isVisible() && !sheet_.destroyed_ && sheet_.tray_->Shown() &&
            request.buttons == MsgButtons::Ok) {
            sheet_.tray_->Notify(QString::fromStdString(request.caption),
                                 QString::fromStdString(request.text),
                                 request.icon == MsgIcon::Error);
        }
        QWidget* parent = sheet_.isVisible() && !sheet_.destroyed_ ? &sheet_ : nullptr;
        return sheet_.services_.boxes.Ask(request, parent);
    }
    void ActivatePage(orvex::Page page) override { sheet_.ActivatePage(page); }

private:
    CMainSheet& sheet_;
};

CMainSheet::CMainSheet(AppState& state, GuiThreadHost& workerHost, SheetServices services)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint),
      state_(state),
      workerHost_(workerHost),
      services_(std::move(services)),
      windowHost_(std::make_unique<SheetHost>(*this)),
      timer_([this] { core_->Schedule().OnTimer(); }) {
    setWindowTitle("Orvex");
    setWindowIcon(ProgramIcon());

    core_ = std::make_unique<AppCore>(state_, *this, timer_, *windowHost_, workerHost_,
                                      services_.clock);
    context_ = std::make_unique<PageContext>(PageContext{state_, core_->Schedule(), *windowHost_,
                                                         services_.picker, state_.Programs,
                                                         state_.WorkDir});
    tray_ = new TrayIcon(this);
    connect(tray_, &TrayIcon::RestoreRequested, this, &CMainSheet::RestoreWindow);
    connect(tray_, &TrayIcon::RefreshRequested, this, &CMainSheet::RefreshCommand);
    connect(tray_, &TrayIcon::ShutdownRequested, this, &CMainSheet::ExitCommand);
    connect(tray_, &TrayIcon::CopyLanRequested, this, &CMainSheet::CopyLanAddress);
    connect(tray_, &TrayIcon::CopyWanRequested, this, &CMainSheet::CopyWanAddress);
    connect(tray_, &TrayIcon::AboutRequested, this, &CMainSheet::ShowAbout);

    BuildMenuBar();
    BuildPages();
    auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(f1, &QShortcut::activated, this, &CMainSheet::ShowPageHelp);

    workerHost_.Attach(windowHost_.get());

    core_->Settings().SetSecretStore(&keyring_);
    core_->Settings().LoadAtStart();
    ftpPage_->ApplyEnableRule();
    pages_[0]->OnSetActive();
    connect(tabs_, &QTabWidget::currentChanged, this, [this](int index) {
        if (index >= 0 && index < kPageCount) {
            pages_[static_cast<size_t>(index)]->OnSetActive();
        }
    });
    // The show phase brings the window up (or hides it behind the icon) a moment from now.
    core_->Schedule().Begin();
    state_.Flags.ManualRefresh = 0;
}

CMainSheet::~CMainSheet() {
    workerHost_.Detach();
    timer_.Kill();
    delete shutdown_.data();
    delete help_.data();
    // The pages work with the context and the logic; they go first.
    delete tabs_;
    tabs_ = nullptr;
}

void CMainSheet::BuildMenuBar() {
    auto* bar = new QMenuBar(this);
    QMenu* file = bar->addMenu("&File");
    file->addAction("&Refresh", this, &CMainSheet::RefreshCommand);
    file->addAction("&Save", this, &CMainSheet::SaveCommand);
    file->addAction("E&xit", this, &CMainSheet::ExitCommand);
    QMenu* edit = bar->addMenu("&Edit");
    edit->addAction("&Copy LAN IP to clipboard", this, &CMainSheet::CopyLanAddress);
    edit->addAction("Copy &WAN IP to clipboard", this, &CMainSheet::CopyWanAddress);
    QMenu* help = bar->addMenu("&Help");
    help->addAction("&Orvex Help", this, &CMainSheet::ShowHelp);
    help->addAction("&About", this, &CMainSheet::ShowAbout);
    help->addSeparator();
    help->addAction("Orvex on the &Web", this, &CMainSheet::OpenHomePage);

    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(bar);
    // The window keeps the size of its pages: it cannot be resized or maximised.
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CMainSheet::BuildPages() {
    tabs_ = new QTabWidget(this);
    // Every caption stays in view; the window is as wide as its tabs need.
    tabs_->setUsesScrollButtons(false);
    ftpPage_ = new CLocalSettings(*context_, tabs_);
    remotePage_ = new CRemotePage(tabs_);
    monitorPage_ = new CProcessMonitor(*context_, tabs_);
    auto* dynamicDnsPage = new CDynamicDnsPage(*context_, tabs_);
    connect(dynamicDnsPage, &CDynamicDnsPage::HelpRequested, this,
            [this](const QString& topic) { ShowHelpTopic(topic.toStdString()); });
    auto* notificationsPage = new CNotificationsPage(*context_, tabs_);
    connect(notificationsPage, &CNotificationsPage::HelpRequested, this,
            [this](const QString& topic) { ShowHelpTopic(topic.toStdString()); });
    pages_ = {ftpPage_,
              new COptionsPage(*context_, tabs_),
              remotePage_,
              monitorPage_,
              new CProxyPage(*context_, tabs_),
              new CEmailPage(*context_, tabs_),
              dynamicDnsPage,
              notificationsPage};
    for (SheetPage* page : pages_) {
        tabs_->addTab(page, page->Caption());
        connect(page, &SheetPage::ModifiedChanged, this, &CMainSheet::UpdateSaveButton);
    }
    tabs_->setCurrentIndex(0);

    refreshButton_ = new QPushButton("&Refresh", this);
    saveButton_ = new QPushButton("&Save", this);
    exitButton_ = new QPushButton("E&xit", this);
    for (QPushButton* button : {refreshButton_, saveButton_, exitButton_}) {
        button->setAutoDefault(false);
    }
    connect(refreshButton_, &QPushButton::clicked, this, &CMainSheet::RefreshCommand);
    connect(saveButton_, &QPushButton::clicked, this, &CMainSheet::SaveCommand);
    connect(exitButton_, &QPushButton::clicked, this, &CMainSheet::ExitCommand);
    saveButton_->setEnabled(false);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(refreshButton_);
    buttons->addWidget(saveButton_);
    buttons->addWidget(exitButton_);
    auto* layout = static_cast<QVBoxLayout*>(this->layout());
    layout->addWidget(tabs_);
    layout->addLayout(buttons);
}

Host& CMainSheet::WindowHost() {
    return *windowHost_;
}

ShutdownWindow* CMainSheet::Shutdown() const {
    return shutdown_.data();
}

QAction* CMainSheet::MenuAction(const QString& text) const {
    QList<QAction*> actions = findChildren<QAction*>();
    actions += tray_->Menu()->actions();
    for (QAction* action : actions) {
        if (action->text() == text) {
            return action;
        }
    }
    return nullptr;
}

void CMainSheet::UpdateSaveButton() {
    saveButton_->setEnabled(HasUnsavedChanges());
}

void CMainSheet::RefreshCommand() {
    if (!destroyed_) {
        core_->Schedule().RefreshCommand();
    }
}

void CMainSheet::SaveCommand() {
    if (!destroyed_) {
        core_->Settings().Save();
    }
}

bool CMainSheet::ExitCommand() {
    return !destroyed_ && core_->Exit().ExitProgram();
}

void CMainSheet::CopyAddress(const std::string& address, bool reportAlways) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    if (address.empty() && (reportAlways || state_.Settings().SuppressError == 0)) {
        MessageBoxRequest box;
        box.text = "Unable to obtain IP address";
        box.caption = "Error";
        windowHost_->MessageBox(box);
    }
    clipboard->setText(QString::fromStdString(address));
    QApplication::beep();
}

void CMainSheet::CopyLanAddress() {
    CopyAddress(state_.Addresses.CurrentLANIP(), false);
}

void CMainSheet::CopyWanAddress() {
    CopyAddress(state_.Addresses.CurrentWANIP(), true);
}

void CMainSheet::ShowAbout() {
    CAboutBox about(services_.version, services_.launcher, *windowHost_,
                    isVisible() ? this : nullptr);
    about.exec();
}

void CMainSheet::ShowHelp() {
    ShowHelpTopic(kHelpTopic);
}

void CMainSheet::ShowPageHelp() {
    const int page = tabs_->currentIndex();
    ShowHelpTopic(page >= 0 && page < kPageCount ? kPageHelp[static_cast<size_t>(page)]
                                                 : kHelpTopic);
}

void CMainSheet::ShowHelpTopic(const std::string& topic) {
    if (destroyed_) {
        return;
    }
    if (!help_) {
        help_ = new HelpWindow(DefaultHelpDirs(), services_.launcher, *windowHost_);
    }
    help_->ShowTopic(topic);
}

HelpWindow* CMainSheet::Help() const {
    return help_.data();
}

void CMainSheet::OpenHomePage() {
    OpenWebAddress(kHomePage, services_.launcher, *windowHost_);
}

void CMainSheet::ShowFromOtherCopy() {
    // Back as the icon would bring it, the icon going with it.
    RestoreWindow();
}

bool CMainSheet::QueryEndSession() {
    return destroyed_ || core_->Exit().OnQueryEndSession();
}

bool CMainSheet::EndSessionAwaitsCycle() const {
    return !destroyed_ && core_->Exit().EndSessionAwaitsCycle();
}

void CMainSheet::closeEvent(QCloseEvent* event) {
    // The close box is one more way to the exit routine, which destroys the window itself.
    event->ignore();
    ExitCommand();
}

void CMainSheet::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || destroyed_) {
        return;
    }
    if (isMinimized()) {
        if (TrayIcon::Available()) {
            // Hiding from inside the state change confuses some window managers.
            QTimer::singleShot(0, this, [this] {
                if (isMinimized() && !destroyed_) {
                    HideBehindIcon();
                }
            });
        }
    } else if (isVisible()) {
        tray_->Remove();
    }
}

void CMainSheet::HideBehindIcon() {
    // The minimised state stays until the window is shown again: taking it back now, while
    // the window manager still holds the window iconified, would map it again, and the
    // hidden window would leave an empty frame on the screen.
    hide();
    tray_->Add();
    UpdateTrayIcon();
}

void CMainSheet::MinimizeWindow() {
    if (destroyed_) {
        return;
    }
    // Without a notification area the icon would be the only way back, so minimise as usual.
    if (TrayIcon::Available()) {
        HideBehindIcon();
    } else if (isVisible()) {
        showMinimized();
    } else {
        // Some window managers map a never-shown window of this kind normally whatever its
        // initial state says; shown first, it minimises as asked.
        show();
        QTimer::singleShot(0, this, [this] {
            if (!destroyed_) {
                showMinimized();
            }
        });
    }
}

void CMainSheet::RestoreWindow() {
    if (destroyed_) {
        return;
    }
    setWindowState(windowState() & ~Qt::WindowMinimized);
    showNormal();
    raise();
    activateWindow();
    tray_->Remove();
}

bool CMainSheet::WindowVisible() const {
    return isVisible();
}

void CMainSheet::DestroyWindow() {
    if (destroyed_) {
        return;
    }
    destroyed_ = true;
    // From here on a late worker reaches nothing.
    workerHost_.Detach();
    timer_.Kill();
    tray_->Remove();
    if (shutdown_) {
        shutdown_->hide();
    }
    if (help_) {
        help_->hide();
    }
    hide();
    // The logic that asked for this is still on the stack; the object goes once it returns.
    deleteLater();
}

void CMainSheet::ActivatePage(orvex::Page page) {
    const int index = static_cast<int>(page);
    if (index >= 0 && index < kPageCount) {
        tabs_->setCurrentIndex(index);
    }
}

bool CMainSheet::HasUnsavedChanges() const {
    for (const SheetPage* page : pages_) {
        if (page->IsModified()) {
            return true;
        }
    }
    return false;
}

void CMainSheet::MarkPagesSaved() {
    for (int i = 0; i < kPageCount; ++i) {
        if (i != static_cast<int>(orvex::Page::ProgramMonitor)) {
            pages_[static_cast<size_t>(i)]->SetModified(false);
        }
    }
    UpdateSaveButton();
}

FtpPageFields& CMainSheet::FtpPage() {
    return *ftpPage_;
}

void CMainSheet::StatusFieldsChanged(const StatusFields& fields) {
    remotePage_->SetFields(fields);
}

void CMainSheet::RefreshProgramMonitor() {
    monitorPage_->RefreshIfShown();
}

void CMainSheet::UpdateTrayIcon() {
    tray_->Update(state_.Flags.CycleSucceeded.load());
}

void CMainSheet::ShowShutdownWindow(bool show) {
    if (show) {
        if (!shutdown_) {
            shutdown_ = new ShutdownWindow(nullptr);
        }
        if (!destroyed_) {
            shutdown_->show();
        }
    } else if (shutdown_) {
        shutdown_->hide();
    }
}

void CMainSheet::EnableRefreshButton(bool enable) {
    refreshButton_->setEnabled(enable);
}

}  // namespace orvex
