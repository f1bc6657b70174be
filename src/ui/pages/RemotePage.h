#pragma once

#include "app/WindowPort.h"
#include "ui/SheetPage.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace orvex {

// The "Status" page: the latest host message, the two addresses and the refresh times. Its
// fields wait until the page has first been shown; after that every update shows at once.
class CRemotePage : public SheetPage {
    Q_OBJECT
public:
    explicit CRemotePage(QWidget* parent = nullptr);

    void SetFields(const StatusFields& fields);
    const StatusFields& Fields() const { return fields_; }
    void OnSetActive() override;

    QPlainTextEdit* HostMessageControl() const { return hostMessage_; }
    QLineEdit* LanControl() const { return lan_; }
    QLineEdit* WanControl() const { return wan_; }
    QLabel* ReachabilityControl() const { return reach_; }
    QLineEdit* Lan6Control() const { return lan6_; }
    QLineEdit* Wan6Control() const { return wan6_; }
    QLineEdit* LastRefreshControl() const { return lastRefresh_; }
    QLineEdit* NextRefreshControl() const { return nextRefresh_; }

private:
    void ShowFields();

    StatusFields fields_;
    QPlainTextEdit* hostMessage_;
    QLineEdit* lan_;
    QLineEdit* wan_;
    // The reachability sentence under the WAN address; hidden when there is none.
    QLabel* reach_;
    QLineEdit* lan6_;
    QLineEdit* wan6_;
    QLabel* lan6Label_;
    QLabel* wan6Label_;
    QLineEdit* lastRefresh_;
    QLineEdit* nextRefresh_;
};

}  // namespace orvex
