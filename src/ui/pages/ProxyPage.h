#pragma once

#include <array>

#include "settings/AppSettings.h"
#include "ui/PageContext.h"
#include "ui/SheetPage.h"

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QRadioButton;

namespace orvex {

class CommitEdit;

// The "Proxy/Firewall" page. The settings record is the only copy of its values: every
// activation loads the controls from it and every handler writes into it.
class CProxyPage : public SheetPage {
    Q_OBJECT
public:
    CProxyPage(PageContext& context, QWidget* parent = nullptr);

    void OnSetActive() override;

    // The logon types in the order of the radio group; the index is the stored LogonType.
    static constexpr std::array<const char*, 9> kLogonTypeLabels = {
        "None",
        "SITE hostname",
        "USER after logon",
        "Proxy OPEN",
        "Transparent",
        "USER with no logon",
        "USER FireID@Remotehost",
        "USER RemoteID@remoteHost fire ID",
        "USER remoteID@fireID@remoteHost"};

private:
    // Loads every control from the settings, applies the enable rule and shows the fields.
    void Activate();
    void ApplyEnableRule(const AppSettings& settings);
    void OnUseProxyClicked();
    void CommitText(CommitEdit* edit, std::string AppSettings::*setting);

    PageContext& context_;
    QCheckBox* useProxy_;
    CommitEdit* host_;
    CommitEdit* httpPort_;
    CommitEdit* ftpPort_;
    CommitEdit* user_;
    CommitEdit* account_;
    CommitEdit* password_;
    QLabel* hostLabel_;
    QLabel* userLabel_;
    QLabel* accountLabel_;
    QLabel* passwordLabel_;
    QGroupBox* logonGroup_;
    QButtonGroup* logonTypes_;
    std::array<QRadioButton*, 9> logonButtons_{};
    QCheckBox* passive_;
};

}  // namespace orvex
