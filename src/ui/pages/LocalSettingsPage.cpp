#include "ui/pages/LocalSettingsPage.h"

#include <QCheckBox>
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
}

void CLocalSettings::ApplyEnableRule() {
    const bool enable = values_.EnableFTP == 1;
    for (QWidget* widget : std::initializer_list<QWidget*>{
             onlineLabel_, offlineLabel_, remoteLabel_, serverLabel_, userLabel_, passwordLabel_,
             portLabel_, onlineFile_, offlineFile_, remoteFile_, server_, user_, password_, port_,
             changeOnly_, pickOnline_, pickOffline_}) {
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
