#pragma once

#include "settings/AppSettings.h"
#include "ui/PageContext.h"
#include "ui/SheetPage.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace orvex {

class CommitEdit;

// The "FTP" page. Its fields are the working copy of the FTP connection settings; the
// settings record gets them only when they are committed (before a refresh, on Save).
class CLocalSettings : public SheetPage, public FtpPageFields {
    Q_OBJECT
public:
    CLocalSettings(PageContext& context, QWidget* parent = nullptr);

    // FtpPageFields: the working copy of the FTP connection fields.
    FtpPageValues TakeValues() override;
    void ShowValues(const FtpPageValues& values) override;
    // Enables or disables the FTP fields by EnableFTP (start-up).
    void ApplyEnableRule();

    void OnSetActive() override;

private:
    // Reads every control into the page's fields, as typed.
    void ReadControls();
    void ShowFields();
    void OnEnableFtpClicked();
    void OnChangeOnlyClicked();
    // A new Security choice proposes its usual port when the port is the old choice's usual
    // one (or empty); a port the user chose stays.
    void OnSecurityChosen(int index);
    // Trims one field once the focus leaves it.
    void CommitField(CommitEdit* edit, std::string FtpPageValues::*field);
    void PickTemplate(std::string FtpPageValues::*field);

    PageContext& context_;
    FtpPageValues values_;

    QCheckBox* enableFtp_;
    QCheckBox* changeOnly_;
    CommitEdit* siteName_;
    CommitEdit* onlineFile_;
    CommitEdit* offlineFile_;
    CommitEdit* remoteFile_;
    CommitEdit* server_;
    CommitEdit* user_;
    CommitEdit* password_;
    CommitEdit* port_;
    QComboBox* security_;
    QPushButton* pickOnline_;
    QPushButton* pickOffline_;
    QLabel* onlineLabel_;
    QLabel* offlineLabel_;
    QLabel* remoteLabel_;
    QLabel* serverLabel_;
    QLabel* userLabel_;
    QLabel* passwordLabel_;
    QLabel* portLabel_;
    QLabel* securityLabel_;
};

}  // namespace orvex
