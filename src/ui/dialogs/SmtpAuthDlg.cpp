#include "ui/dialogs/SmtpAuthDlg.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/AppState.h"
#include "settings/SettingsFile.h"
#include "ui/pages/PageWidgets.h"

namespace orvex {

CSmtpAuthDlg::CSmtpAuthDlg(AppState& state, QWidget* parent)
    : QDialog(parent), state_(state), key_(PasswordKey()) {
    setWindowTitle("SMTP Authentication");
    setObjectName("SmtpAuthDlg");

    auto* layout = new QVBoxLayout(this);
    auto* group = new QGroupBox("Logon Information", this);
    auto* form = new QFormLayout(group);
    account_ = new CommitEdit(kMaxValueLength, Accepts::AnyText, group);
    account_->setObjectName("EmailAccount");
    password_ = new CommitEdit(kMaxPasswordLength, Accepts::PrintableAscii, group);
    password_->setObjectName("EmailPassword");
    password_->setEchoMode(QLineEdit::Password);
    form->addRow("Account Name", account_);
    form->addRow("Password", password_);
    layout->addWidget(group);
    if (state_.Settings().EmailSecurity == kEmailSecurityNone) {
        // Said here, where the password is typed, rather than in a box at every cycle.
        auto* warning = new QLabel(
            "Warning: with Security set to \"None\" on the E-Mail page, LOGIN and PLAIN send "
            "this password readable to anyone on the way. Choose STARTTLS or SSL/TLS if your "
            "server offers them.",
            this);
        warning->setObjectName("CleartextWarning");
        warning->setWordWrap(true);
        layout->addWidget(warning);
    }

    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("OK");
    ok->setDefault(true);
    auto* cancel = new QPushButton("&Cancel", this);
    cancel->setObjectName("Cancel");
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, &CSmtpAuthDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CSmtpAuthDlg::reject);

    MailCredentials logon = ReadMailCredentials(state_.Ini(), key_);
    const AppSettings settings = state_.Settings();
    if (settings.UseKeyring == 1) {
        // The keyring holds the password; the file's is empty.
        logon.password = settings.EmailPassword;
    }
    account_->SetText(logon.account);
    password_->SetText(logon.password);
    setMinimumWidth(320);
}

void CSmtpAuthDlg::accept() {
    const MailCredentials logon{account_->Text(), password_->Text()};
    WriteMailCredentials(state_.Ini(), key_, logon);
    state_.EditSettings([&](AppSettings& s) {
        s.EmailAccount = logon.account;
        s.EmailPassword = logon.password;
    });
    QDialog::accept();
}

}  // namespace orvex
