#include "ui/dialogs/DynamicDnsEntryDlg.h"

#include <climits>
#include <vector>

#include <QComboBox>
#include <QCompleter>
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

constexpr Choice kFamilies[] = {
    {kDdnsFamily4, "IPv4"}, {kDdnsFamily6, "IPv6"}, {kDdnsFamilyBoth, "IPv4 and IPv6"}};

// Every text field an entry has, in the dialog's order, with what it takes.
struct FieldSpec {
    const char* key;
    size_t maxBytes;
    Accepts accepts;
};
const FieldSpec kFieldSpecs[] = {
    {"Server", kMaxValueLength, Accepts::AnyText},
    {"Hosts", kMaxValueLength, Accepts::AnyText},
    {"User", kMaxValueLength, Accepts::AnyText},
    {"Password", kMaxDdnsPasswordLength, Accepts::PrintableAscii},
    {"URL", kMaxValueLength, Accepts::AnyText},
    {"Expect", kMaxValueLength, Accepts::AnyText},
    {"Zone", kMaxValueLength, Accepts::AnyText},
    {"TSIGName", kMaxValueLength, Accepts::AnyText},
    {"TSIGSecret", kMaxTsigSecretLength, Accepts::PrintableAscii},
    {"TTL", 10, Accepts::Digits},
    {"Command", kMaxValueLength, Accepts::AnyText},
};

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

// The TTL field's number; 0 (out of range) when it holds none or one beyond an int.
int TtlFromText(const std::string& text) {
    if (text.empty() || text.size() > 10) {
        return 0;
    }
    const long long value = std::stoll(text);
    return value > INT_MAX ? 0 : static_cast<int>(value);
}

}  // namespace

CDynamicDnsEntryDlg::CDynamicDnsEntryDlg(const DynamicDnsEntry& entry, Host& boxes, QWidget* parent)
    : QDialog(parent), original_(entry), boxes_(boxes) {
    setWindowTitle("Dynamic DNS Entry");
    setObjectName("DynamicDnsEntryDlg");

    auto* layout = new QVBoxLayout(this);
    form_ = new QFormLayout();
    layout->addLayout(form_);

    protocol_ = new QComboBox(this);
    protocol_->setObjectName("Protocol");
    for (const DdnsKind& kind : DynamicDnsKinds()) {
        protocol_->addItem(QString::fromStdString(kind.label), QString::fromStdString(kind.stored));
    }
    // Typing a part of a provider's name filters the list.
    protocol_->setEditable(true);
    protocol_->setInsertPolicy(QComboBox::NoInsert);
    protocol_->completer()->setCompletionMode(QCompleter::PopupCompletion);
    protocol_->completer()->setFilterMode(Qt::MatchContains);
    protocol_->completer()->setCaseSensitivity(Qt::CaseInsensitive);
    form_->addRow("&Provider:", protocol_);
    hint_ = new QLabel(this);
    hint_->setObjectName("ProtocolHint");
    hint_->setWordWrap(true);
    hint_->setOpenExternalLinks(true);
    form_->addRow(hint_);

    for (const FieldSpec& field : kFieldSpecs) {
        fields_[field.key] = AddField(field.key, field.maxBytes, field.accepts);
    }
    fields_["Hosts"]->setPlaceholderText("home.example.net, nas.example.net");
    fields_["Password"]->setEchoMode(QLineEdit::Password);
    fields_["TSIGSecret"]->setEchoMode(QLineEdit::Password);
    CommitEdit* ttl = fields_["TTL"];
    ttl->setMaximumWidth(ttl->fontMetrics().horizontalAdvance("00000000000") + 12);

    family_ = new QComboBox(this);
    family_->setObjectName("Family");
    for (const Choice& choice : kFamilies) {
        family_->addItem(choice.shown, choice.stored);
    }
    form_->addRow("&Addresses:", family_);
    suffix_ = new CommitEdit(kMaxValueLength, Accepts::AnyText, this);
    suffix_->setObjectName("Suffix");
    suffix_->setPlaceholderText("empty: this machine; ::1234 or a MAC: another one");
    suffix_->setToolTip(
        "Publishes another machine of this network over IPv6: its interface identifier or MAC "
        "address, joined to this machine's /64 prefix.");
    form_->addRow("IPv6 su&ffix:", suffix_);

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
        const DdnsKind* kind = ChosenKind();
        emit HelpRequested(kind == nullptr ? "DynamicDns.htm#page"
                                           : QString::fromStdString(kind->help));
    };
    connect(help, &QPushButton::clicked, this, askHelp);
    connect(new QShortcut(QKeySequence(Qt::Key_F1), this), &QShortcut::activated, this, askHelp);
    connect(protocol_, &QComboBox::currentIndexChanged, this,
            &CDynamicDnsEntryDlg::ShowProtocolFields);

    // Every field shows the entry's value, hidden or not, so switching protocols back and
    // forth loses nothing typed.
    protocol_->setCurrentIndex(protocol_->findData(QString::fromStdString(entry.Protocol)));
    family_->setCurrentIndex(family_->findData(QString::fromStdString(entry.Family)));
    fields_["Server"]->SetText(entry.Server);
    fields_["Hosts"]->SetText(entry.Hosts);
    fields_["User"]->SetText(entry.User);
    fields_["Password"]->SetText(entry.Password);
    fields_["URL"]->SetText(entry.URL);
    fields_["Expect"]->SetText(entry.Expect);
    fields_["Zone"]->SetText(entry.Zone);
    fields_["TSIGName"]->SetText(entry.TSIGName);
    fields_["TSIGSecret"]->SetText(entry.TSIGSecret);
    fields_["TTL"]->SetText(std::to_string(entry.TTL));
    fields_["Command"]->SetText(entry.Command);
    suffix_->SetText(entry.Suffix);
    ShowProtocolFields();
    setMinimumWidth(440);
}

CommitEdit* CDynamicDnsEntryDlg::AddField(const char* name, size_t maxBytes, Accepts accepts) {
    auto* edit = new CommitEdit(maxBytes, accepts, this);
    edit->setObjectName(name);
    form_->addRow(QString(name) + ":", edit);
    return edit;
}

const DdnsKind* CDynamicDnsEntryDlg::ChosenKind() const {
    if (protocol_->currentIndex() < 0) {
        return nullptr;
    }
    return FindDynamicDnsKind(protocol_->currentData().toString().toStdString());
}

void CDynamicDnsEntryDlg::ShowProtocolFields() {
    const DdnsKind* kind = ChosenKind();
    for (const auto& [key, edit] : fields_) {
        const DdnsField* field = kind != nullptr ? kind->Field(key) : nullptr;
        form_->setRowVisible(edit, field != nullptr);
        if (field == nullptr) {
            continue;
        }
        if (auto* label = qobject_cast<QLabel*>(form_->labelForField(edit))) {
            label->setText(QString::fromStdString(field->label));
        }
        edit->setToolTip(QString::fromStdString(field->hint));
        if (key != "Hosts") {
            // Examples show in the empty field; other hints only as the tool tip.
            const bool example = key == "URL" || key == "Server" || key == "Zone";
            edit->setPlaceholderText(example ? QString::fromStdString(field->hint) : QString());
        }
    }
    if (kind == nullptr) {
        hint_->setText("Please choose a provider.");
    } else if (kind->docs.empty()) {
        hint_->setText(QString::fromStdString(kind->about));
    } else {
        hint_->setText(QString::fromStdString(kind->about).toHtmlEscaped() + " <a href=\"" +
                       QString::fromStdString(kind->docs).toHtmlEscaped() +
                       "\">The provider's instructions</a>");
    }
    if (isVisible()) {
        adjustSize();  // the dialog shrinks and grows with its rows
    }
}

DynamicDnsEntry CDynamicDnsEntryDlg::Entry() const {
    DynamicDnsEntry e = original_;
    const DdnsKind* kind = ChosenKind();
    if (kind == nullptr) {
        return e;  // an unknown provider from the file stays as it was
    }
    e.Protocol = kind->stored;
    if (family_->currentIndex() >= 0) {
        e.Family = family_->currentData().toString().toStdString();
    }
    auto shown = [&](const char* key) {
        CommitEdit* edit = fields_.at(key);
        return form_->isRowVisible(edit) ? TrimBlanks(edit->Text()) : std::string();
    };
    e.Server = shown("Server");
    e.Hosts = NormalHosts(shown("Hosts"));
    e.User = shown("User");
    // Passwords and secrets are taken as typed: a blank may belong to them.
    CommitEdit* password = fields_.at("Password");
    e.Password = form_->isRowVisible(password) ? password->Text() : std::string();
    e.URL = shown("URL");
    e.Expect = shown("Expect");
    e.Zone = shown("Zone");
    e.TSIGName = shown("TSIGName");
    e.TSIGSecret = shown("TSIGSecret");
    if (form_->isRowVisible(fields_.at("TTL"))) {
        e.TTL = TtlFromText(shown("TTL"));
    }
    e.Command = shown("Command");
    e.Suffix = TrimBlanks(suffix_->Text());
    if (e.Protocol == original_.Protocol &&
        (kind->sender == DdnsSender::kCommand || !kind->generic)) {
        // Written by hand, never shown here, and still used (a command gets ORVEX_SERVER and
        // ORVEX_ZONE; a provider's Server replaces its documented address): an edit keeps
        // them.
        if (kind->Field("Server") == nullptr) {
            e.Server = original_.Server;
        }
        if (kind->Field("Zone") == nullptr) {
            e.Zone = original_.Zone;
        }
    }
    return e;
}

void CDynamicDnsEntryDlg::accept() {
    const std::vector<DynamicDnsProblem> problems = CheckDynamicDnsEntry(Entry());
    if (!problems.empty()) {
        MessageBoxRequest box;
        box.text = problems.front().prompt;
        box.caption = "Dynamic DNS Entry";
        box.icon = MsgIcon::Warning;
        boxes_.MessageBox(box);
        if (auto* field = findChild<QWidget*>(QString::fromStdString(problems.front().field))) {
            field->setFocus();
        }
        return;
    }
    QDialog::accept();
}

}  // namespace orvex
