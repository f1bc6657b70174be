#pragma once

#include "settings/AppSettings.h"
#include "ui/PageContext.h"
#include "ui/SheetPage.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace orvex {

class CommitEdit;

// The "E-Mail Options" page. The settings record is the only copy of its values: every
// activation loads the controls from it and every handler writes into it.
class CEmailPage : public SheetPage {
    Q_OBJECT
public:
    CEmailPage(PageContext& context, QWidget* parent = nullptr);

    void OnSetActive() override;

private:
    // Loads every control from the settings, applies the enable rule and shows the fields.
    void Activate();
    void ApplyEnableRule();
    void OnEnableMailClicked();
    void CommitText(CommitEdit* edit, std::string AppSettings::*setting);
    void StoreFlag(int AppSettings::*setting, int value);
    void PickMessageFile();
    void OpenSmtpLogon();
    void CommitPort();
    void OnSecurityChosen(int security);

    PageContext& context_;
    QCheckBox* enableMail_;
    QCheckBox* changeOnly_;
    CommitEdit* server_;
    CommitEdit* port_;
    QComboBox* security_;
    QLabel* portLabel_;
    QLabel* securityLabel_;
    CommitEdit* from_;
    QRadioButton* mailTo_;
    QRadioButton* mailBcc_;
    CommitEdit* recipients_;
    CommitEdit* subject_;
    CommitEdit* messageFile_;
    QPushButton* pickMessage_;
    QCheckBox* attachment_;
    QCheckBox* smtpAuth_;
    QPushButton* smtpSettings_;
    QLabel* serverLabel_;
    QLabel* fromLabel_;
    QLabel* subjectLabel_;
    QLabel* messageLabel_;
    QLabel* recipientsNote_;
};

}  // namespace orvex
