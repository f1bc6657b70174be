#pragma once

#include <QDialog>

#include <functional>
#include <string>
#include <thread>

#include "notify/Notifier.h"
#include "settings/NotifyChannel.h"
#include "ui/pages/PageWidgets.h"

class QCheckBox;
class QComboBox;
class QFormLayout;
class QLabel;
class QPushButton;

namespace orvex {

class Host;

// "Notification Channel": one channel of the Notifications page. It shows the fields of the
// chosen kind only; OK refuses a channel that cannot send with a box that says why (the check
// orvexd --check makes), and stores nothing itself: the page takes Channel() after OK.
// "Send test" sends a test message at once, off the window's thread, and shows the answer.
class CNotifyChannelDlg : public QDialog {
    Q_OBJECT
public:
    // What a test message needs of the program's state (addresses, site name, Timeout, TLS).
    using RunMaker = std::function<notify::Run()>;

    CNotifyChannelDlg(const NotifyChannel& channel, Host& boxes, RunMaker makeRun,
                      QWidget* parent = nullptr);
    // Waits for a test message still under way (bounded by Timeout).
    ~CNotifyChannelDlg() override;

    void accept() override;

    // The channel as the dialog shows it: the fields of the chosen kind as typed (trimmed),
    // those of the other kinds empty, the last result as it came in.
    NotifyChannel Channel() const;

    // Sends the channel as shown a test message; TestAnswered comes when the answer does.
    void SendTest();

signals:
    // F1 or "Help": the help on the chosen kind ("Notifications.htm#telegram", ...).
    void HelpRequested(const QString& topic);
    void TestAnswered(bool ok, const QString& text);

private:
    void ShowKindFields();
    void ShowTestAnswer(bool ok, const QString& text);
    CommitEdit* AddField(const char* name, const char* label, size_t maxBytes, Accepts accepts);

    NotifyChannel original_;
    Host& boxes_;
    RunMaker makeRun_;
    QFormLayout* form_;
    QComboBox* kind_;
    QLabel* hint_;
    CommitEdit* server_;
    CommitEdit* target_;
    CommitEdit* user_;
    CommitEdit* password_;
    CommitEdit* url_;
    CommitEdit* title_;
    CommitEdit* template_;
    QWidget* events_;
    QCheckBox* change_;
    QCheckBox* cycle_;
    QCheckBox* failure_;
    QCheckBox* offline_;
    QPushButton* test_;
    QLabel* testResult_;
    std::thread testThread_;
};

}  // namespace orvex
