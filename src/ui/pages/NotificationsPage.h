#pragma once

#include "notify/Notifier.h"
#include "settings/AppSettings.h"
#include "ui/PageContext.h"
#include "ui/SheetPage.h"
#include "ui/pages/SettingsList.h"

class QPushButton;
class QTreeWidget;

namespace orvex {

class CNotifyChannelDlg;

// The "Notifications" page: the push, chat and webhook channels told where this machine can be
// reached, one row per channel, with the buttons that add, edit and remove them. The settings
// record is the only copy of the channels: every activation shows them from it and every change
// is made in it at once.
class CNotificationsPage : public SheetPage {
    Q_OBJECT
public:
    CNotificationsPage(PageContext& context, QWidget* parent = nullptr);

    void OnSetActive() override;

    // Opens "Notification Channel" for a new channel, or for the channel at `row`.
    void AddChannel();
    void EditChannel(int row);
    // Asks first; the channel goes only on Yes.
    void RemoveChannel(int row);

    // What a test message from the dialog is sent with: the addresses and settings now.
    notify::Run TestRun() const;

signals:
    // The channel dialog asks for a help topic.
    void HelpRequested(const QString& topic);

protected:
    // The cycles record what each channel last sent; the page shows it when it comes into view.
    void showEvent(QShowEvent* event) override;

private:
    // The settings' channels, as this page edits them.
    SettingsList<NotifyChannel> Channels() const;
    void FillTable(int selectRow);
    int Run(CNotifyChannelDlg& dialog);
    void UpdateButtons();
    int SelectedRow() const;

    PageContext& context_;
    QTreeWidget* table_;
    QPushButton* add_;
    QPushButton* edit_;
    QPushButton* remove_;
};

}  // namespace orvex
