#pragma once

#include <memory>
#include <string>
#include <vector>

#include "settings/AppSettings.h"
#include "ui/PageContext.h"
#include "ui/SheetPage.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace orvex {

class CommitEdit;
class UpDownEdit;

// The "Advanced Options" page: schedule, time-out, error reporting, logging and where the WAN
// address comes from. The settings
// record is the only copy of its values: every activation loads the controls from it and
// every handler writes into it.
class COptionsPage : public SheetPage {
    Q_OBJECT
public:
    COptionsPage(PageContext& context, QWidget* parent = nullptr);

    void OnSetActive() override;

    static constexpr const char* kIntervalMessage = "Please enter a value between 30 and 9999";
    static constexpr const char* kServicesAnswered = "What the WAN address services answered:";
    static constexpr const char* kSourcesAnswered = "What each WAN address source answered:";
    static constexpr const char* kMetricsMessage =
        "Please enter a loopback address and port, such as 127.0.0.1:9101 (another address can "
        "be written into Orvex.ini by hand)";

    // The Test button's lookup is still asking.
    bool ServiceTestRunning() const { return serviceTest_ != nullptr; }

private:
    // Loads every control from the settings, applies the enable rule and shows the fields.
    void Activate();
    void ApplyEnableRule();
    void StoreFlag(int AppSettings::*setting, bool checked);
    void CommitNumber(UpDownEdit* field, int AppSettings::*setting);
    void CommitInterval();
    void PickLogFile();
    void CommitServices();
    // The metrics address: empty or a loopback host:port; anything else is refused here.
    void CommitMetricsAddress();
    // Asks every WAN address service in the fields now, on a thread of its own, and shows
    // what each answered.
    void TestServices();
    void ShowServiceAnswers(const std::vector<std::string>& lines);

    PageContext& context_;
    QCheckBox* updateOnStart_;
    QCheckBox* updateOnShut_;
    QCheckBox* minimizeOnStart_;
    QCheckBox* notifyOnShut_;
    QCheckBox* suppressErrors_;
    QCheckBox* updateOnNa_;
    QCheckBox* enableIpv6_;
    UpDownEdit* startupDelay_;
    UpDownEdit* interval_;
    UpDownEdit* timeout_;
    QCheckBox* logging_;
    UpDownEdit* purgeDays_;
    CommitEdit* logName_;
    QPushButton* pickLog_;
    QLabel* purgeLabel_;
    QLabel* logNameLabel_;
    CommitEdit* wanUrl_;
    CommitEdit* wanFallback_;
    // The address sources: their order, the router (UPnP description, NAT-PMP gateway) and
    // the DNS questions.
    CommitEdit* sources_;
    CommitEdit* upnpUrl_;
    CommitEdit* natPmpGateway_;
    CommitEdit* dnsLookups_;
    QPushButton* testServices_;
    QCheckBox* useKeyring_;
    CommitEdit* metricsAddress_;
    std::shared_ptr<struct ServiceTest> serviceTest_;
    // The interval's message box is open; its own loss of focus is no new commit.
    bool checkingInterval_ = false;
    bool checkingMetrics_ = false;
};

}  // namespace orvex
