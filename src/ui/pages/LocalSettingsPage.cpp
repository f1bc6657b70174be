#include "ui/pages/LocalSettingsPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/AppState.h"
#include "settings/SettingsFile.h"
#include "ui/pages/PageWidgets.h"

namespace orvex {

namespace {

constexpr const char* kTemplateFilter =
    "HTML Files (*.html;*.htm)|*.html;*.htm|Txt Files (*.txt)|*.txt|All Files (*.*)|*.*||";

}  // namespace

CLocalSettings::CLocalSettings(PageContext& context, QWidget* parent)
    : SheetPage("FTP", parent), context_(context) {
    auto* outer = new QVBoxLayout(this);
    QGroupBox* group = MakeGroup("FTP Settings", this);
    outer->addWidget(group);
    outer->addStretch(1);

    auto* grid = new QGridLayout(group);
    grid->setColumnStretch(1, 1);

    enableFtp_ = new QCheckBox("&Enable FTP Uploads", group);
    enableFtp_->setObjectName("EnableFTP");
    changeOnly_ = new QCheckBox("FTP on &IP change only", group);
    changeOnly_->setObjectName("FTPOnIPChangeOnly");
    auto* checks = new QHBoxLayout();
    checks->addWidget(enableFtp_);
    checks->addWidget(changeOnly_);
    checks->addStretch(1);
    grid->addLayout(checks, 0, 0, 1, 3);

    int row = 1;
    auto addField = [&](const char* label, const char* name, size_t maxBytes, Accepts accepts,
                        QLabel** labelOut) {
        auto* edit = new CommitEdit(maxBytes, accepts, group);
        edit->setObjectName(name);
        auto* text = new QLabel(label, group);
        text->setBuddy(edit);
        grid->addWidget(text, row, 0);
        grid->addWidget(edit, row, 1);
        if (labelOut != nullptr) {
            *labelOut = text;
        }
        ++row;
        return edit;
    };
    siteName_ = addField("Site Name:", "SiteName", kMaxValueLength, Accepts::AnyText, nullptr);
    onlineFile_ = addField("Online Filename:", "OnlineFile", kMaxValueLength, Accepts::AnyText,
                           &onlineLabel_);
    offlineFile_ = addField("Offline Filename:", "OfflineFile", kMaxValueLength, Accepts::AnyText,
                            &offlineLabel_);
    remoteFile_ = addField("Remote Filename:", "RemoteFile", kMaxValueLength, Accepts::AnyText,
                           &remoteLabel_);
    server_ = addField("FTP Server Address:", "FTPServer", kMaxValueLength, Accepts::AnyText,
                       &serverLabel_);
    user_ = addField("User ID:", "UserID", kMaxValueLength, Accepts::AnyText, &userLabel_);
    password_ = addField("Password:", "Password", kMaxPasswordLength, Accepts::PrintableAscii,
                         &passwordLabel_);
    password_->setEchoMode(QLineEdit::Password);
    port_ = addField("FTP Port:", "Port", kMaxValueLength, Accepts::Digits, &portLabel_);
    // The Security choice sits beside the port it usually decides.
    grid->removeWidget(port_);
    security_ = new QComboBox(group);
    security_->setObjectName("FTPSecurity");
    security_->addItems({"FTP", "FTPS (explicit)", "FTPS (implicit)", "SFTP"});
    securityLabel_ = new QLabel("&Security:", group);
    securityLabel_->setBuddy(security_);
    auto* portRow = new QHBoxLayout();
    portRow->addWidget(port_, 1);
    portRow->addWidget(securityLabel_);
    portRow->addWidget(security_);
    grid->addLayout(portRow, row - 1, 1);

    pickOnline_ = new QPushButton("...", group);
    pickOnline_->setObjectName("PickOnlineFile");
    pickOffline_ = new QPushButton("...", group);
    pickOffline_->setObjectName("PickOfflineFile");
    for (QPushButton* button : {pickOnline_, pickOffline_}) {
        button->setFixedWidth(button->fontMetrics().horizontalAdvance("...") + 20);
    }
    grid->addWidget(pickOnline_, 2, 2);
    grid->addWidget(pickOffline_, 3, 2);

    connect(enableFtp_, &QCheckBox::clicked, this, &CLocalSettings::OnEnableFtpClicked);
    connect(changeOnly_, &QCheckBox::clicked, this, &CLocalSettings::OnChangeOnlyClicked);
    connect(security_, &QComboBox::activated, this, &CLocalSettings::OnSecurityChosen);
    const std::pair<CommitEdit*, std::string FtpPageValues::*> fields[] = {
        {siteName_, &FtpPageValues::SiteName},       {onlineFile_, &FtpPageValues::OnlineFile},
        {offlineFile_, &FtpPageValues::OfflineFile}, {remoteFile_, &FtpPageValues::RemoteFile},
        {server_, &FtpPageValues::FTPServer},        {user_, &FtpPageValues::UserID},
        {password_, &FtpPageValues::Password},       {port_, &FtpPageValues::Port}};
    for (const auto& [edit, field] : fields) {
        connect(edit, &QLineEdit::textEdited, this, [this] { SetModified(); });
        connect(edit, &CommitEdit::FocusLost, this,
                [this, edit = edit, field = field] { CommitField(edit, field); });
    }
    connect(pickOnline_, &QPushButton::clicked, this,
            [this] { PickTemplate(&FtpPageValues::OnlineFile); });
    connect(pickOffline_, &QPushButton::clicked, this,
            [this] { PickTemplate(&FtpPageValues::OfflineFile); });

    ApplyEnableRule();
}

FtpPageValues CLocalSettings::TakeValues() {
    ReadControls();
    return values_;
}

void CLocalSettings::ShowValues(const FtpPageValues& values) {
    values_ = values;
    ShowFields();
}

void CLocalSettings::ReadControls() {
    values_.SiteName = siteName_->Text();
    values_.OnlineFile = onlineFile_->Text();
    values_.OfflineFile = offlineFile_->Text();
    values_.RemoteFile = remoteFile_->Text();
    values_.FTPServer = server_->Text();
    values_.UserID = user_->Text();
    values_.Password = password_->Text();
    values_.Port = port_->Text();
    values_.EnableFTP = enableFtp_->isChecked() ? 1 : 0;
    values_.FTPOnIPChangeOnly = changeOnly_->isChecked() ? 1 : 0;
    const bool known = values_.FTPSecurity >= 0 && values_.FTPSecurity < security_->count();
    if (known || security_->currentIndex() != 0) {
        values_.FTPSecurity = security_->currentIndex();
    }
}

void CLocalSettings::ShowFields() {
    siteName_->SetText(values_.SiteName);
    onlineFile_->SetText(values_.OnlineFile);
    offlineFile_->SetText(values_.OfflineFile);
    remoteFile_->SetText(values_.RemoteFile);
    server_->SetText(values_.FTPServer);
    user_->SetText(values_.UserID);
    password_->SetText(values_.Password);
    port_->SetText(values_.Port);
    enableFtp_->setChecked(values_.EnableFTP == 1);
    changeOnly_->setChecked(values_.FTPOnIPChangeOnly == 1);
    // A value from a hand-edited file that names no choice shows as plain FTP, and stays as
    // it is until the user chooses.
    const bool known = values_.FTPSecurity >= 0 && values_.FTPSecurity < security_->count();
    security_->setCurrentIndex(known ? values_.FTPSecurity : 0);
}

void CLocalSettings::ApplyEnableRule() {
    const bool enable = values_.EnableFTP == 1;
    for (QWidget* widget : std::initializer_list<QWidget*>{
             onlineLabel_, offlineLabel_, remoteLabel_, serverLabel_, userLabel_, passwordLabel_,
             portLabel_, securityLabel_, onlineFile_, offlineFile_, remoteFile_, server_, user_,
             password_, port_, security_, changeOnly_, pickOnline_, pickOffline_}) {
        widget->setEnabled(enable);
    }
    ShowFields();
}

void CLocalSettings::OnSetActive() {
    SheetPage::OnSetActive();
    ApplyEnableRule();
}

void CLocalSettings::OnEnableFtpClicked() {
    ReadControls();
    const int enable = values_.EnableFTP;
    context_.state.EditSettings([enable](AppSettings& s) { s.EnableFTP = enable; });
    ApplyEnableRule();
    SetModified();
}

void CLocalSettings::OnChangeOnlyClicked() {
    ReadControls();
    const int changeOnly = values_.FTPOnIPChangeOnly;
    context_.state.EditSettings([changeOnly](AppSettings& s) { s.FTPOnIPChangeOnly = changeOnly; });
    SetModified();
}

void CLocalSettings::OnSecurityChosen(int index) {
    const int before = values_.FTPSecurity;
    ReadControls();
    values_.FTPSecurity = index;
    const std::string usualBefore = std::to_string(UsualPort(before));
    if (values_.Port.empty() || values_.Port == usualBefore) {
        values_.Port = std::to_string(UsualPort(index));
    }
    ShowFields();
    if (index != before) {
        SetModified();
    }
}

void CLocalSettings::CommitField(CommitEdit* edit, std::string FtpPageValues::*field) {
    ReadControls();
    values_.*field = edit->TrimText();
}

void CLocalSettings::PickTemplate(std::string FtpPageValues::*field) {
    FileDialogSpec dialog;
    dialog.title = "Open";
    dialog.filter = kTemplateFilter;
    dialog.defaultExtension = "htm";
    dialog.initialName = "*.htm;*.html";
    // Relative template paths are resolved against the start-up directory, so browsing
    // starts there.
    dialog.initialDir = context_.startDir;
    std::optional<std::string> chosen = context_.picker.OpenFile(this, dialog);
    // A path longer than the settings file keeps would be cut at the next load; such a
    // choice is treated as no choice.
    if (!chosen || chosen->size() > kMaxValueLength) {
        return;
    }
    ReadControls();
    values_.*field = *chosen;
    ShowFields();
    SetModified();
}

}  // namespace orvex
