#pragma once

#include <QObject>
#include <QString>

class QMenu;
class QSystemTrayIcon;

namespace orvex {

// The notification-area icon with its "&Icon" menu: the one place that knows about the tray.
class TrayIcon : public QObject {
    Q_OBJECT
public:
    explicit TrayIcon(QObject* parent = nullptr);
    ~TrayIcon() override;

    // Whether the desktop has a notification area to put the icon in.
    static bool Available();

    void Add();
    void Remove();
    bool Shown() const;
    // The program icon for 1, the second icon for 0; any other value changes nothing.
    void Update(int cycleSucceeded);
    // A balloon from the icon, for news the user must see while the window is hidden.
    void Notify(const QString& title, const QString& text, bool error);
    // The last balloon's title and text (empty before the first).
    const QString& LastNotification() const { return lastNotification_; }
    // 1: program icon, 0: second icon, -1: none chosen yet.
    int ShownIcon() const { return shownIcon_; }

    QMenu* Menu() const { return menu_; }
    QSystemTrayIcon* Icon() const { return icon_; }

signals:
    void RestoreRequested();
    void RefreshRequested();
    void ShutdownRequested();
    void CopyLanRequested();
    void CopyWanRequested();
    void AboutRequested();

private:
    QSystemTrayIcon* icon_;
    QMenu* menu_;
    int shownIcon_ = -1;
    QString lastNotification_;
};

}  // namespace orvex
