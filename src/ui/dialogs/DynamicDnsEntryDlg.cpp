#include "ui/dialogs/DynamicDnsEntryDlg.h"

#include <climits>
#include <vector>

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

#include "platform/Host.h"
#include "platform/TextUtil.h"
#include "settings/SettingsFile.h"

namespace orvex {

namespace {

struct Choice {
    const char* stored;
    const char* shown;
};

constexpr Choice kProtocols[] = {{kDdnsDyndns2, "dyndns2"},
                                 {kDdnsUrl, "URL"},
                                 {kDdnsRfc2136, "DNS UPDATE (RFC 2136)"},
                                 {kDdnsCommand, "Command"}};

constexpr Choice kFamilies[] = {
    {kDdnsFamily4, "IPv4"}, {kDdnsFamily6, "IPv6"}, {kDdnsFamilyBoth, "IPv4 and IPv6"}};

// What each protocol is for, shown under the choice.
const char* ProtocolHint(const std::string& protocol) {
    if (protocol == kDdnsDyndns2) {
        return "The update protocol most providers speak. Server: the provider's update server "
               "(members.example.net; HTTPS unless you write http://).";
    }
    if (protocol == kDdnsUrl) {
        return "A provider's own request. In the URL, %WI stands for the WAN address, %WI6 for "
               "the WAN IPv6 address, %H for the host names, %U and %P for the user name and "
               "password. Expected answer: a text the answer must contain (empty: a success "
               "status is enough).";
    }
    if (protocol == kDdnsRfc2136) {
        return "Your own name server: the A (and AAAA) records of the host names are replaced, "
               "signed with the TSIG key (HMAC-SHA256, the secret in base64).";
    }
    if (protocol == kDdnsCommand) {
        return "Run after every change of address. It finds the addresses in ORVEX_WAN_IP, "
               "ORVEX_WAN_IP6, ORVEX_LAN_IP, ORVEX_LAN_IP6, the host names in ORVEX_HOSTS and "
               "the user name and password in ORVEX_USER and ORVEX_PASSWORD; nothing is put "
               "into the command text.";
    }
    return "Please choose a protocol.";
}

std::vector<std::string> SplitHosts(const std::string& hosts) {
    std::vector<std::string> names;
    size_t start = 0;
    while (true) {
        const size_t comma = hosts.find(',', start);
        names.push_back(TrimBlanks(hosts.substr(start, comma - start)));
        if (comma == std::string::npos) {
            return names;
        }
        start = comma + 1;
    }
}

// The host names as the updaters take them: separated by commas, without blanks or empty
// names (a comma too many is no reason to refuse the entry).
std::string NormalHosts(const std::string& hosts) {
    std::string joined;
    for (const std::string& name : SplitHosts(hosts)) {
        if (!name.empty()) {
            joined += (joined.empty() ? "" : ",") + name;
        }
    }
    return joined;
}

bool IsHostName(const std::string& name) {
    if (name.empty() || name.front() == '.' || name.front() == '-' ||
        name.find("..") != std::string::npos) {
        return false;
    }
    for (char c : name) {
        const bool letterOrDigit =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!letterOrDigit && c != '-' && c != '.' && c != '_') {
            return false;
        }
    }
    return true;
}

std::string LowerWithoutFinalDot(std::string name) {
    if (!name.empty() && name.back() == '.') {
        name.pop_back();
    }
    for (char& c : name) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return name;
}

bool InsideZone(const std::string& host, const std::string& zone) {
    const std::string h = LowerWithoutFinalDot(host);
    const std::string z = LowerWithoutFinalDot(zone);
    return h == z || (h.size() > z.size() && h.compare(h.size() - z.size(), z.size(), z) == 0 &&
                      h[h.size() - z.size() - 1] == '.');
}

bool IsBase64(const std::string& text) {
    if (text.empty() || text.size() % 4 != 0) {
        return false;
    }
    const size_t padding = text.find('=');
    if (padding != std::string::npos &&
        (padding + 2 < text.size() || text.find_first_not_of('=', padding) != std::string::npos)) {
        return false;
    }
    for (size_t i = 0; i < (padding == std::string::npos ? text.size() : padding); ++i) {
        const char c = text[i];
        const bool letterOrDigit =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!letterOrDigit && c != '+' && c != '/') {
            return false;
        }
    }
    return true;
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

// The TTL field's number; 0 (out of range) when it holds none or one beyond an int.
int TtlFromText(const std::string& text) {
    if (text.empty() || text.size() > 10) {
        return 0;
    }
    const long long value = std::stoll(text);
    return value > INT_MAX ? 0 : static_cast<int>(value);
}

}  // namespace

DynamicDnsEntryProblem CheckDynamicDnsEntry(const DynamicDnsEntry& e) {
    const bool dyndns2 = e.Protocol == kDdnsDyndns2;
    const bool url = e.Protocol == kDdnsUrl;
    const bool rfc2136 = e.Protocol == kDdnsRfc2136;
    const bool command = e.Protocol == kDdnsCommand;
    if (!dyndns2 && !url && !rfc2136 && !command) {
        return {"Please choose the protocol of this entry.", "Protocol"};
    }
    auto missing = [&](const std::string& value, const char* what, const char* field) {
        return value.empty()
                   ? DynamicDnsEntryProblem{std::string("Please enter the ") + what + ".", field}
                   : DynamicDnsEntryProblem{};
    };
    std::vector<DynamicDnsEntryProblem> checks;
    if (dyndns2) {
        checks = {missing(e.Server, "update server", "Server"),
                  missing(e.Hosts, "host names", "Hosts"), missing(e.User, "user name", "User"),
                  missing(e.Password, "password", "Password")};
    } else if (url) {
        checks.push_back(missing(e.URL, "URL", "URL"));
        if (!e.URL.empty() && !StartsWithNoCase(e.URL, "https://") &&
            !StartsWithNoCase(e.URL, "http://")) {
            checks.push_back({"The URL must begin with https:// or http://.", "URL"});
        }
        if (e.URL.find("%H") != std::string::npos) {
            checks.push_back(missing(e.Hosts, "host names the URL's %H stands for", "Hosts"));
        }
        if (e.URL.find("%U") != std::string::npos) {
            checks.push_back(missing(e.User, "user name the URL's %U stands for", "User"));
        }
        if (e.URL.find("%P") != std::string::npos) {
            checks.push_back(missing(e.Password, "password the URL's %P stands for", "Password"));
        }
    } else if (rfc2136) {
        checks = {missing(e.Server, "name server", "Server"), missing(e.Zone, "zone", "Zone"),
                  missing(e.Hosts, "host names", "Hosts"),
                  missing(e.TSIGName, "TSIG key name", "TSIGName"),
                  missing(e.TSIGSecret, "TSIG secret", "TSIGSecret")};
    } else {
        checks.push_back(missing(e.Command, "command", "Command"));
    }
    for (const DynamicDnsEntryProblem& problem : checks) {
        if (!problem.text.empty()) {
            return problem;
        }
    }
    if (!e.Hosts.empty()) {
        for (const std::string& name : SplitHosts(e.Hosts)) {
            if (name.empty()) {
                continue;  // a comma too many
            }
            if (!IsHostName(name)) {
                return {"\"" + name +
                            "\" is not a host name. Host names are made of letters, digits, "
                            "hyphens and dots, and several are separated by commas.",
                        "Hosts"};
            }
            if (rfc2136 && !InsideZone(name, e.Zone)) {
                return {"The host name " + name + " does not lie inside the zone " + e.Zone + ".",
                        "Hosts"};
            }
        }
    }
    if (rfc2136) {
        if (!IsBase64(e.TSIGSecret)) {
            return {
                "The TSIG secret must be written in base64, as the name server's key file "
                "gives it.",
                "TSIGSecret"};
        }
        if (e.TTL < 1) {
            return {"Please enter a TTL from 1 to 2147483647 seconds.", "TTL"};
        }
    }
    if (e.Family != kDdnsFamily4 && e.Family != kDdnsFamily6 && e.Family != kDdnsFamilyBoth) {
        return {"Please choose the addresses to publish: IPv4, IPv6 or both.", "Family"};
    }
    return {};
}

CDynamicDnsEntryDlg::CDynamicDnsEntryDlg(const DynamicDnsEntry& entry, Host& boxes, QWidget* parent)
    : QDialog(parent), original_(entry), boxes_(boxes) {
    setWindowTitle("Dynamic DNS Entry");
    setObjectName("DynamicDnsEntryDlg");

    auto* layout = new QVBoxLayout(this);
    form_ = new QFormLayout();
    layout->addLayout(form_);

    protocol_ = new QComboBox(this);
    protocol_->setObjectName("Protocol");
    for (const Choice& choice : kProtocols) {
        protocol_->addItem(choice.shown, choice.stored);
    }
    form_->addRow("&Protocol:", protocol_);
    hint_ = new QLabel(this);
    hint_->setObjectName("ProtocolHint");
    hint_->setWordWrap(true);
    form_->addRow(hint_);

    server_ = AddField("Server", "&Server:", kMaxValueLength, Accepts::AnyText);
    hosts_ = AddField("Hosts", "&Host names:", kMaxValueLength, Accepts::AnyText);
    hosts_->setPlaceholderText("home.example.net, nas.example.net");
    user_ = AddField("User", "&User name:", kMaxValueLength, Accepts::AnyText);
    password_ = AddField("Password", "Pass&word:", kMaxPasswordLength, Accepts::PrintableAscii);
    password_->setEchoMode(QLineEdit::Password);
    url_ = AddField("URL", "U&RL:", kMaxValueLength, Accepts::AnyText);
    url_->setPlaceholderText("https://update.example.net/?domains=%H&ip=%WI");
    expect_ = AddField("Expect", "E&xpected answer:", kMaxValueLength, Accepts::AnyText);
    zone_ = AddField("Zone", "&Zone:", kMaxValueLength, Accepts::AnyText);
    tsigName_ = AddField("TSIGName", "TSIG &key name:", kMaxValueLength, Accepts::AnyText);
    tsigSecret_ =
        AddField("TSIGSecret", "TSIG s&ecret:", kMaxTsigSecretLength, Accepts::PrintableAscii);
    tsigSecret_->setEchoMode(QLineEdit::Password);
    ttl_ = AddField("TTL", "&TTL (seconds):", 10, Accepts::Digits);
    ttl_->setMaximumWidth(ttl_->fontMetrics().horizontalAdvance("00000000000") + 12);
    command_ = AddField("Command", "&Command:", kMaxValueLength, Accepts::AnyText);

    family_ = new QComboBox(this);
    family_->setObjectName("Family");
    for (const Choice& choice : kFamilies) {
        family_->addItem(choice.shown, choice.stored);
    }
    form_->addRow("&Addresses:", family_);

    auto* buttons = new QHBoxLayout();
    auto* help = new QPushButton("&Help", this);
    help->setObjectName("Help");
    help->setAutoDefault(false);
    buttons->addWidget(help);
    buttons->addStretch(1);
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("OK");
    ok->setDefault(true);
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("Cancel");
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addStretch(1);
    layout->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, &CDynamicDnsEntryDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CDynamicDnsEntryDlg::reject);
    auto askHelp = [this] {
        const QString protocol = protocol_->currentData().toString();
        emit HelpRequested(protocol.isEmpty() ? "DynamicDns.htm#page"
                                              : "DynamicDns.htm#" + protocol);
    };
    connect(help, &QPushButton::clicked, this, askHelp);
    connect(new QShortcut(QKeySequence(Qt::Key_F1), this), &QShortcut::activated, this, askHelp);
    connect(protocol_, &QComboBox::currentIndexChanged, this,
            &CDynamicDnsEntryDlg::ShowProtocolFields);

    // Every field shows the entry's value, hidden or not, so switching protocols back and
    // forth loses nothing typed.
    protocol_->setCurrentIndex(protocol_->findData(QString::fromStdString(entry.Protocol)));
    family_->setCurrentIndex(family_->findData(QString::fromStdString(entry.Family)));
    server_->SetText(entry.Server);
    hosts_->SetText(entry.Hosts);
    user_->SetText(entry.User);
    password_->SetText(entry.Password);
    url_->SetText(entry.URL);
    expect_->SetText(entry.Expect);
    zone_->SetText(entry.Zone);
    tsigName_->SetText(entry.TSIGName);
    tsigSecret_->SetText(entry.TSIGSecret);
    ttl_->SetText(std::to_string(entry.TTL));
    command_->SetText(entry.Command);
    ShowProtocolFields();
    setMinimumWidth(440);
}

CommitEdit* CDynamicDnsEntryDlg::AddField(const char* name, const char* label, size_t maxBytes,
                                          Accepts accepts) {
    auto* edit = new CommitEdit(maxBytes, accepts, this);
    edit->setObjectName(name);
    form_->addRow(label, edit);
    return edit;
}

void CDynamicDnsEntryDlg::ShowProtocolFields() {
    const std::string protocol = protocol_->currentData().toString().toStdString();
    const bool dyndns2 = protocol == kDdnsDyndns2;
    const bool url = protocol == kDdnsUrl;
    const bool rfc2136 = protocol == kDdnsRfc2136;
    const bool command = protocol == kDdnsCommand;
    form_->setRowVisible(server_, dyndns2 || rfc2136);
    form_->setRowVisible(hosts_, dyndns2 || url || rfc2136 || command);
    // A URL or a command may take a logon too (%U and %P, ORVEX_USER and ORVEX_PASSWORD),
    // which keeps the password out of the text stored unscrambled.
    form_->setRowVisible(user_, dyndns2 || url || command);
    form_->setRowVisible(password_, dyndns2 || url || command);
    form_->setRowVisible(url_, url);
    form_->setRowVisible(expect_, url);
    form_->setRowVisible(zone_, rfc2136);
    form_->setRowVisible(tsigName_, rfc2136);
    form_->setRowVisible(tsigSecret_, rfc2136);
    form_->setRowVisible(ttl_, rfc2136);
    form_->setRowVisible(command_, command);
    if (auto* label = qobject_cast<QLabel*>(form_->labelForField(server_))) {
        label->setText(rfc2136 ? "Name &server:" : "Update &server:");
    }
    hosts_->setToolTip(command ? "Given to the command as ORVEX_HOSTS."
                       : url   ? "What %H stands for in the URL."
                               : "Separated by commas.");
    user_->setToolTip(command ? "Given to the command as ORVEX_USER."
                      : url   ? "What %U stands for in the URL."
                              : QString());
    password_->setToolTip(command ? "Given to the command as ORVEX_PASSWORD."
                          : url   ? "What %P stands for in the URL."
                                  : QString());
    hint_->setText(ProtocolHint(protocol));
    if (isVisible()) {
        adjustSize();  // the dialog shrinks and grows with its rows
    }
}

DynamicDnsEntry CDynamicDnsEntryDlg::Entry() const {
    DynamicDnsEntry e = original_;
    const QString protocol = protocol_->currentData().toString();
    if (protocol.isEmpty()) {
        return e;  // an unknown protocol from the file stays as it was
    }
    e.Protocol = protocol.toStdString();
    if (family_->currentIndex() >= 0) {
        e.Family = family_->currentData().toString().toStdString();
    }
    auto shown = [&](CommitEdit* edit) {
        return form_->isRowVisible(edit) ? TrimBlanks(edit->Text()) : std::string();
    };
    e.Server = shown(server_);
    e.Hosts = NormalHosts(shown(hosts_));
    e.User = shown(user_);
    // Passwords and secrets are taken as typed: a blank may belong to them.
    e.Password = form_->isRowVisible(password_) ? password_->Text() : std::string();
    e.URL = shown(url_);
    e.Expect = shown(expect_);
    e.Zone = shown(zone_);
    e.TSIGName = shown(tsigName_);
    e.TSIGSecret = shown(tsigSecret_);
    if (form_->isRowVisible(ttl_)) {
        e.TTL = TtlFromText(TrimBlanks(ttl_->Text()));
    }
    e.Command = shown(command_);
    if (e.Protocol == kDdnsCommand && original_.Protocol == kDdnsCommand) {
        // Written by hand, never shown here, and still handed to the command
        // (ORVEX_SERVER, ORVEX_ZONE): an edit keeps them.
        e.Server = original_.Server;
        e.Zone = original_.Zone;
    }
    return e;
}

void CDynamicDnsEntryDlg::accept() {
    const DynamicDnsEntryProblem problem = CheckDynamicDnsEntry(Entry());
    if (!problem.text.empty()) {
        MessageBoxRequest box;
        box.text = problem.text;
        box.caption = "Dynamic DNS Entry";
        box.icon = MsgIcon::Warning;
        boxes_.MessageBox(box);
        if (auto* field = findChild<QWidget*>(QString::fromStdString(problem.field))) {
            field->setFocus();
        }
        return;
    }
    QDialog::accept();
}

}  // namespace orvex
