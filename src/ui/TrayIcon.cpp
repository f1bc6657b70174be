#include "ui/TrayIcon.h"

#include <QMenu>
#include <QSystemTrayIcon>

#include "ui/UiResources.h"

namespace orvex {

TrayIcon::TrayIcon(QObject* parent)
    : QObject(parent), icon_(new QSystemTrayIcon(this)), menu_(new QMenu("&Icon")) {
    icon_->setToolTip("Orvex");
    icon_->setIcon(ProgramIcon());
    menu_->addAction("Re&store", this, &TrayIcon::RestoreRequested);
    menu_->addAction("&Refresh", this, &TrayIcon::RefreshRequested);
    menu_->addAction("&Shutdown", this, &TrayIcon::ShutdownRequested);
    menu_->addSeparator();
    menu_->addAction("&Copy LAN IP to clipboard", this, &TrayIcon::CopyLanRequested);
    menu_->addAction("Copy &WAN IP to clipboard", this, &TrayIcon::CopyWanRequested);
    menu_->addSeparator();
    menu_->addAction("&About Orvex...", this, &TrayIcon::AboutRequested);
    icon_->setContextMenu(menu_);
    connect(icon_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason why) {
                if (why == QSystemTrayIcon::DoubleClick) {
                    emit RestoreRequested();
                }
            });
}

TrayIcon::~TrayIcon() {
    icon_->hide();
    delete menu_;
}

bool TrayIcon::Available() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayIcon::Add() {
    icon_->show();
}

void TrayIcon::Remove() {
    icon_->hide();
}

bool TrayIcon::Shown() const {
    return icon_->isVisible();
}

void TrayIcon::Notify(const QString& title, const QString& text, bool error) {
    lastNotification_ = title + "\n" + text;
    icon_->showMessage(title, text, error ? QSystemTrayIcon::Critical : QSystemTrayIcon::Warning,
                       30000);
}

void TrayIcon::Update(int cycleSucceeded) {
    if (cycleSucceeded == 1) {
        icon_->setIcon(ProgramIcon());
        shownIcon_ = 1;
    } else if (cycleSucceeded == 0) {
        icon_->setIcon(PendingIcon());
        shownIcon_ = 0;
    }
}

}  // namespace orvex
