#pragma once

#include <QDialog>

#include <string>

namespace orvex {

class AppState;
class CommitEdit;

// "SMTP Authentication": the SMTP logon name and password. It reads and writes them in the
// settings file itself (the password scrambled), since Save never writes them.
class CSmtpAuthDlg : public QDialog {
    Q_OBJECT
public:
    explicit CSmtpAuthDlg(AppState& state, QWidget* parent = nullptr);

    // OK: stores both values in the file and in the settings record, then closes.
    void accept() override;

private:
    AppState& state_;
    std::string key_;
    CommitEdit* account_;
    CommitEdit* password_;
};

}  // namespace orvex
