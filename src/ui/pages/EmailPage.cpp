#include "ui/pages/EmailPage.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/AppState.h"
#include "platform/Host.h"
#include "settings/SettingsFile.h"
#include "ui/dialogs/SmtpAuthDlg.h"
#include "ui/pages/PageWidgets.h"

namespace orvex {

namespace {

constexpr const char* kMailWarning =
    "WARNING: Enabling this feature will cause Orvex to send an E-Mail after every refresh. "
    "Selecting 'E-Mail on IP change only' will prevent unnecessary E-Mailing by only notifying "
    "recipients when an IP address changes.";

constexpr const char* kPortRange = "Please enter a mail server port from 1 to 65535.";

// The port a provider expects for each kind of security, proposed when the user chooses one
// while the port is still the standard one of another kind.
int ProposedPort(int security, int port) {
    if (security == kEmailSecurityStartTls && port == 25) {
        return 587;
    }
    if (security == kEmailSecurityTls && (port == 25 || port == 587)) {
        return 465;
    }
    return port;
}

}  // namespace

CEmailPage::CEmailPage(PageContext& context, QWidget* parent)
    : SheetPage("E-Mail Options", parent), context_(context) {
    auto* outer = new QVBoxLayout(this);
    QGroupBox* group = MakeGroup("E-Mail Settings", this);
    outer->addWidget(group);
    outer->addStretch(1);
    auto* layout = new QVBoxLayout(group);

    enableMail_ = new QCheckBox("&Enable IP Address Emailing", group);
    enableMail_->setObjectName("EnableMail");
    changeOnly_ = new QCheckBox("E-Mail on IP change only", group);
    changeOnly_->setObjectName("EmailOnIPChangeOnly");
    auto* checks = new QHBoxLayout();
    checks->addWidget(enableMail_);
    checks->addWidget(changeOnly_);
    checks->addStretch(1);
    layout->addLayout(checks);

    auto* grid = new QGridLayout();
    grid->setColumnStretch(1, 1);
    auto makeEdit = [&](const char* name) {
        auto* edit = new CommitEdit(kMaxValueLength, Accepts::AnyText, group);
        edit->setObjectName(name);
        return edit;
    };
    auto makeLabel = [&](const char* text, QWidget* buddy) {
        auto* label = new QLabel(text, group);
        label->setBuddy(buddy);
        return label;
    };
    server_ = makeEdit("EmailServer");
    serverLabel_ = makeLabel("SMTP Mail Server:", server_);
    port_ = new CommitEdit(5, Accepts::Digits, group);
    port_->setObjectName("EmailPort");
    port_->setMaximumWidth(port_->fontMetrics().horizontalAdvance("0000000") + 12);
    portLabel_ = makeLabel("Port:", port_);
    security_ = new QComboBox(group);
    security_->setObjectName("EmailSecurity");
    security_->addItems({"None", "STARTTLS", "SSL/TLS"});
    securityLabel_ = makeLabel("Security:", security_);
    auto* serverRow = new QHBoxLayout();
    serverRow->addWidget(server_, 1);
    serverRow->addWidget(portLabel_);
    serverRow->addWidget(port_);
    auto* securityRow = new QHBoxLayout();
    securityRow->addWidget(security_);
    securityRow->addStretch(1);
    from_ = makeEdit("EmailFrom");
    fromLabel_ = makeLabel("From:", from_);
    recipients_ = makeEdit("EmailTo");
    subject_ = makeEdit("EmailSubject");
    subjectLabel_ = makeLabel("Subject:", subject_);
    messageFile_ = makeEdit("EmailInput");
    messageLabel_ = makeLabel("Mail Message File:", messageFile_);

    mailTo_ = new QRadioButton("To:", group);
    mailTo_->setObjectName("MailTo");
    mailBcc_ = new QRadioButton("BCC:", group);
    mailBcc_->setObjectName("MailBcc");
    auto* recipientKind = new QButtonGroup(this);
    recipientKind->addButton(mailTo_, 0);
    recipientKind->addButton(mailBcc_, 1);
    auto* kinds = new QHBoxLayout();
    kinds->addWidget(mailTo_);
    kinds->addWidget(mailBcc_);
    recipientsNote_ = new QLabel("(Separate recipients with semi-colons)", group);

    pickMessage_ = new QPushButton("...", group);
    pickMessage_->setObjectName("PickEmailInput");
    pickMessage_->setFixedWidth(pickMessage_->fontMetrics().horizontalAdvance("...") + 20);

    grid->addWidget(serverLabel_, 0, 0);
    grid->addLayout(serverRow, 0, 1, 1, 2);
    grid->addWidget(securityLabel_, 1, 0);
    grid->addLayout(securityRow, 1, 1, 1, 2);
    grid->addWidget(fromLabel_, 2, 0);
    grid->addWidget(from_, 2, 1, 1, 2);
    grid->addLayout(kinds, 3, 0);
    grid->addWidget(recipients_, 3, 1, 1, 2);
    grid->addWidget(recipientsNote_, 4, 1, 1, 2);
    grid->addWidget(subjectLabel_, 5, 0);
    grid->addWidget(subject_, 5, 1, 1, 2);
    grid->addWidget(messageLabel_, 6, 0);
    grid->addWidget(messageFile_, 6, 1);
    grid->addWidget(pickMessage_, 6, 2);
    layout->addLayout(grid);

    attachment_ = new QCheckBox("Send Message as attachment", group);
    attachment_->setObjectName("IsMsgAttachment");
    layout->addWidget(attachment_);
    smtpAuth_ = new QCheckBox("My SMTP server requires authentication", group);
    smtpAuth_->setObjectName("EnableSMTPAuth");
    smtpSettings_ = new QPushButton("Settings...", group);
    smtpSettings_->setObjectName("SmtpSettings");
    auto* auth = new QHBoxLayout();
    auth->addWidget(smtpAuth_);
    auth->addStretch(1);
    auth->addWidget(smtpSettings_);
    layout->addLayout(auth);

    connect(enableMail_, &QCheckBox::clicked, this, &CEmailPage::OnEnableMailClicked);
    connect(changeOnly_, &QCheckBox::clicked, this, [this](bool checked) {
        StoreFlag(&AppSettings::EmailOnIPChangeOnly, checked ? 1 : 0);
    });
    connect(recipientKind, &QButtonGroup::idClicked, this,
            [this](int kind) { StoreFlag(&AppSettings::IsMailTo, kind); });
    connect(attachment_, &QCheckBox::clicked, this,
            [this](bool checked) { StoreFlag(&AppSettings::IsMsgAttachment, checked ? 1 : 0); });
    connect(smtpAuth_, &QCheckBox::clicked, this, [this](bool checked) {
        StoreFlag(&AppSettings::EnableSMTPAuth, checked ? 1 : 0);
        Activate();
    });
    for (auto [edit, setting] :
         {std::pair{server_, &AppSettings::EmailServer}, std::pair{from_, &AppSettings::EmailFrom},
          std::pair{recipients_, &AppSettings::EmailTo},
          std::pair{subject_, &AppSettings::EmailSubject},
          std::pair{messageFile_, &AppSettings::EmailInput}}) {
        connect(edit, &QLineEdit::textEdited, this, [this] { SetModified(); });
        connect(edit, &CommitEdit::FocusLost, this,
                [this, edit = edit, setting = setting] { CommitText(edit, setting); });
    }
    connect(port_, &QLineEdit::textEdited, this, [this] { SetModified(); });
    connect(port_, &CommitEdit::FocusLost, this, &CEmailPage::CommitPort);
    connect(security_, &QComboBox::activated, this, &CEmailPage::OnSecurityChosen);
    connect(pickMessage_, &QPushButton::clicked, this, &CEmailPage::PickMessageFile);
    connect(smtpSettings_, &QPushButton::clicked, this, &CEmailPage::OpenSmtpLogon);

    Activate();
}

void CEmailPage::OnSetActive() {
    SheetPage::OnSetActive();
    Activate();
}

void CEmailPage::Activate() {
    const AppSettings settings = context_.state.Settings();
    from_->SetText(settings.EmailFrom);
    messageFile_->SetText(settings.EmailInput);
    server_->SetText(settings.EmailServer);
    port_->SetText(std::to_string(settings.EmailPort));
    security_->setCurrentIndex(settings.EmailSecurity >= kEmailSecurityNone &&
                                       settings.EmailSecurity <= kEmailSecurityTls
                                   ? settings.EmailSecurity
                                   : kEmailSecurityNone);
    subject_->SetText(settings.EmailSubject);
    recipients_->SetText(settings.EmailTo);
    enableMail_->setChecked(settings.EnableMail == 1);
    smtpAuth_->setChecked(settings.EnableSMTPAuth == 1);
    (settings.IsMailTo == 1 ? mailBcc_ : mailTo_)->setChecked(true);
    attachment_->setChecked(settings.IsMsgAttachment == 1);
    changeOnly_->setChecked(settings.EmailOnIPChangeOnly == 1);
    ApplyEnableRule();
}

void CEmailPage::ApplyEnableRule() {
    const bool enable = enableMail_->isChecked();
    for (QWidget* widget : std::initializer_list<QWidget*>{
             serverLabel_, fromLabel_,   subjectLabel_, messageLabel_,  recipientsNote_,
             server_,      portLabel_,   port_,         securityLabel_, security_,
             from_,        recipients_,  subject_,      messageFile_,   mailTo_,
             mailBcc_,     pickMessage_, attachment_,   changeOnly_,    smtpAuth_}) {
        widget->setEnabled(enable);
    }
    smtpSettings_->setEnabled(enable && smtpAuth_->isChecked());
}

void CEmailPage::OnEnableMailClicked() {
    const bool ticked = enableMail_->isChecked();
    context_.state.EditSettings([ticked](AppSettings& s) { s.EnableMail = ticked ? 1 : 0; });
    if (ticked && context_.state.Settings().EmailOnIPChangeOnly == 0) {
        MessageBoxRequest box;
        box.text = kMailWarning;
        box.caption = "Important";
        box.buttons = MsgButtons::Ok;
        box.icon = MsgIcon::Warning;
        context_.boxes.MessageBox(box);
    }
    Activate();
    SetModified();
}

void CEmailPage::StoreFlag(int AppSettings::*setting, int value) {
    context_.state.EditSettings([&](AppSettings& s) { s.*setting = value; });
    SetModified();
}

void CEmailPage::CommitText(CommitEdit* edit, std::string AppSettings::*setting) {
    const std::string value = edit->TrimText();
    context_.state.EditSettings([&](AppSettings& s) { s.*setting = value; });
}

void CEmailPage::PickMessageFile() {
    FileDialogSpec dialog;
    dialog.title = "Open";
    dialog.defaultExtension = "All Files";
    dialog.initialDir = context_.startDir;
    dialog.several = true;  // the message is the first file chosen
    std::optional<std::string> chosen = context_.picker.OpenFile(this, dialog);
    // A path longer than the settings file keeps would be cut at the next load; such a
    // choice is treated as no choice.
    if (chosen && chosen->size() <= kMaxValueLength) {
        context_.state.EditSettings([&](AppSettings& s) { s.EmailInput = *chosen; });
        SetModified();
    }
    Activate();
}

void CEmailPage::CommitPort() {
    const std::string text = port_->TrimText();
    const long port = text.empty() || text.size() > 5 ? 0 : std::stol(text);
    if (port < 1 || port > 65535) {
        // The typed text stays for the user to mend; the stored port is unchanged.
        MessageBoxRequest box;
        box.text = kPortRange;
        box.buttons = MsgButtons::Ok;
        box.icon = MsgIcon::Warning;
        context_.boxes.MessageBox(box);
        return;
    }
    context_.state.EditSettings([port](AppSettings& s) { s.EmailPort = static_cast<int>(port); });
}

void CEmailPage::OnSecurityChosen(int security) {
    context_.state.EditSettings([security](AppSettings& s) {
        s.EmailSecurity = security;
        s.EmailPort = ProposedPort(security, s.EmailPort);
    });
    port_->SetText(std::to_string(context_.state.Settings().EmailPort));
    SetModified();
}

void CEmailPage::OpenSmtpLogon() {
    CSmtpAuthDlg dialog(context_.state, this);
    dialog.exec();
}

}  // namespace orvex
