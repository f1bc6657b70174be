#include "ui/pages/ProxyPage.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/AppState.h"
#include "platform/Host.h"
#include "platform/Profile.h"
#include "settings/SettingsFile.h"
#include "ui/pages/PageWidgets.h"

namespace orvex {

namespace {

constexpr const char* kProxyWarning =
    "WARNING: If you are not familiar with Proxy Servers or Firewalls please leave this box "
    "unchecked. Incorrect settings may cause Orvex to not function properly. Are you sure you "
    "want to enable this feature?";

}  // namespace

CProxyPage::CProxyPage(PageContext& context, QWidget* parent)
    : SheetPage("Proxy/Firewall", parent), context_(context) {
    auto* outer = new QVBoxLayout(this);
    QGroupBox* group = MakeGroup("Proxy/Firewall Settings", this);
    outer->addWidget(group);
    outer->addStretch(1);
    auto* layout = new QVBoxLayout(group);

    useProxy_ = new QCheckBox("&Enable Proxy settings", group);
    useProxy_->setObjectName("UseProxy");
    layout->addWidget(useProxy_);

    auto* fields = new QGridLayout();
    fields->setVerticalSpacing(2);
    auto addField = [&](const char* label, const char* name, int row, int column,
                        QLabel** labelOut) {
        const bool secret = std::string(name) == "ProxyPass";
        auto* edit = new CommitEdit(secret ? kMaxPasswordLength : kMaxValueLength,
                                    secret ? Accepts::PrintableAscii : Accepts::AnyText, group);
        edit->setObjectName(name);
        auto* text = new QLabel(label, group);
        text->setBuddy(edit);
        fields->addWidget(text, row, column);
        fields->addWidget(edit, row + 1, column);
        if (labelOut != nullptr) {
            *labelOut = text;
        }
        return edit;
    };
    QLabel* httpLabel = nullptr;
    QLabel* ftpLabel = nullptr;
    host_ = addField("Proxy/Firewall Host:", "ProxyAddress", 0, 0, &hostLabel_);
    httpPort_ = addField("HTTP proxy port:", "HTTPProxyPort", 0, 1, &httpLabel);
    ftpPort_ = addField("FTP    proxy port:", "FTPProxyPort", 0, 2, &ftpLabel);
    user_ = addField("User ID:", "ProxyUser", 2, 0, &userLabel_);
    account_ = addField("Account", "ProxyAccount", 2, 1, &accountLabel_);
    password_ = addField("Password", "ProxyPass", 2, 2, &passwordLabel_);
    password_->setEchoMode(QLineEdit::Password);
    fields->setColumnStretch(0, 2);
    fields->setColumnStretch(1, 1);
    fields->setColumnStretch(2, 1);
    layout->addLayout(fields);

    logonGroup_ = MakeGroup("FTP Logon Type", group);
    auto* columns = new QHBoxLayout(logonGroup_);
    auto* left = new QVBoxLayout();
    auto* right = new QVBoxLayout();
    columns->addLayout(left);
    columns->addLayout(right);
    logonTypes_ = new QButtonGroup(this);
    for (size_t i = 0; i < kLogonTypeLabels.size(); ++i) {
        auto* button = new QRadioButton(kLogonTypeLabels[i], logonGroup_);
        button->setObjectName(QString("LogonType%1").arg(i));
        logonTypes_->addButton(button, static_cast<int>(i));
        logonButtons_[i] = button;
        (i < 5 ? left : right)->addWidget(button);
    }
    passive_ = new QCheckBox("&Passive Mode", logonGroup_);
    passive_->setObjectName("ProxyPassive");
    right->addWidget(passive_);
    right->addStretch(1);
    layout->addWidget(logonGroup_);

    connect(useProxy_, &QCheckBox::clicked, this, &CProxyPage::OnUseProxyClicked);
    for (auto [edit, setting] :
         {std::pair{host_, &AppSettings::ProxyAddress}, std::pair{user_, &AppSettings::ProxyUser},
          std::pair{account_, &AppSettings::ProxyAccount},
          std::pair{password_, &AppSettings::ProxyPass}}) {
        connect(edit, &QLineEdit::textEdited, this, [this] { SetModified(); });
        connect(edit, &CommitEdit::FocusLost, this,
                [this, edit = edit, setting = setting] { CommitText(edit, setting); });
    }
    connect(httpPort_, &QLineEdit::textEdited, this, [this] {
        const std::string port = httpPort_->Text();
        context_.state.EditSettings([&](AppSettings& s) { s.HTTPProxyPort = port; });
        SetModified();
    });
    connect(ftpPort_, &QLineEdit::textEdited, this, [this] {
        const int port = AsciiToInt(ftpPort_->Text());
        context_.state.EditSettings([port](AppSettings& s) { s.FTPProxyPort = port; });
        SetModified();
    });
    connect(logonTypes_, &QButtonGroup::idClicked, this, [this](int type) {
        context_.state.EditSettings([type](AppSettings& s) { s.LogonType = type; });
        Activate();
        SetModified();
    });
    connect(passive_, &QCheckBox::clicked, this, [this](bool checked) {
        context_.state.EditSettings(
            [checked](AppSettings& s) { s.ProxyPassive = checked ? 1 : 0; });
        SetModified();
    });

    Activate();
}

void CProxyPage::OnSetActive() {
    SheetPage::OnSetActive();
    Activate();
}

void CProxyPage::Activate() {
    const AppSettings settings = context_.state.Settings();
    host_->SetText(settings.ProxyAddress);
    user_->SetText(settings.ProxyUser);
    account_->SetText(settings.ProxyAccount);
    password_->SetText(settings.ProxyPass);
    httpPort_->SetText(settings.HTTPProxyPort);
    ftpPort_->SetText(std::to_string(settings.FTPProxyPort));
    passive_->setChecked(settings.ProxyPassive == 1);
    useProxy_->setChecked(settings.UseProxy == 1);
    if (settings.LogonType >= 0 && settings.LogonType < static_cast<int>(logonButtons_.size())) {
        logonButtons_[static_cast<size_t>(settings.LogonType)]->setChecked(true);
    } else {
        // An exclusive group cannot be emptied while it is exclusive.
        logonTypes_->setExclusive(false);
        for (QRadioButton* button : logonButtons_) {
            button->setChecked(false);
        }
        logonTypes_->setExclusive(true);
    }
    ApplyEnableRule(settings);
}

void CProxyPage::ApplyEnableRule(const AppSettings& settings) {
    const bool enable = useProxy_->isChecked();
    for (QWidget* widget :
         std::initializer_list<QWidget*>{hostLabel_, userLabel_, accountLabel_, passwordLabel_,
                                         logonGroup_, host_, httpPort_, ftpPort_, passive_}) {
        widget->setEnabled(enable);
    }
    for (QRadioButton* button : logonButtons_) {
        button->setEnabled(enable);
    }
    // The firewall logon fields mean nothing without a firewall logon.
    const bool logon = enable && settings.LogonType != 0;
    for (QWidget* widget : std::initializer_list<QWidget*>{user_, account_, password_}) {
        widget->setEnabled(logon);
    }
}

void CProxyPage::OnUseProxyClicked() {
    const bool ticked = useProxy_->isChecked();
    context_.state.EditSettings([ticked](AppSettings& s) { s.UseProxy = ticked ? 1 : 0; });
    if (ticked) {
        MessageBoxRequest box;
        box.text = kProxyWarning;
        box.caption = "Important";
        box.buttons = MsgButtons::YesNo;
        box.icon = MsgIcon::Warning;
        box.defaultButton = 2;
        if (context_.boxes.MessageBox(box) != MsgAnswer::Yes) {
            useProxy_->setChecked(false);
            context_.state.EditSettings([](AppSettings& s) { s.UseProxy = 0; });
            return;
        }
    }
    Activate();
    SetModified();
}

void CProxyPage::CommitText(CommitEdit* edit, std::string AppSettings::*setting) {
    const std::string value = edit->TrimText();
    context_.state.EditSettings([&](AppSettings& s) { s.*setting = value; });
}

}  // namespace orvex
