#include "ui/dialogs/NotifyChannelDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

#include "platform/Clock.h"
#include "platform/Host.h"
#include "platform/TextUtil.h"
#include "settings/NotifySettings.h"
#include "settings/SettingsFile.h"

namespace orvex {

namespace {

// What each kind needs, shown under the choice.
const char* KindHint(const std::string& kind) {
    if (kind == kNotifyNtfy) {
        return "A push message to an ntfy topic. Server: empty for the public ntfy.sh, or your "
               "own. Access token: only for a protected topic.";
    }
    if (kind == kNotifyGotify) {
        return "A message to your Gotify server, sent with an application token created in its "
               "Apps list.";
    }
    if (kind == kNotifyTelegram) {
        return "A message from your bot (its token from BotFather) to a chat id. Server: empty "
               "for the public Bot API.";
    }
    if (kind == kNotifyDiscord) {
        return "A message through a channel's webhook (Channel settings, Integrations, "
               "Webhooks). The URL holds its token.";
    }
    if (kind == kNotifySlack) {
        return "A message through an incoming webhook of your Slack app. The URL holds its "
               "token.";
    }
    if (kind == kNotifyMatrix) {
        return "A text message in a room (its id starts with \"!\"), sent with the access token "
               "of the account that posts.";
    }
    if (kind == kNotifyPushover) {
        return "A push message to your user key, sent with an application token.";
    }
    if (kind == kNotifyWebhook) {
        return "A JSON object (event, host, wan, wan6, lan, lan6, time, title, text) posted to "
               "your URL. User name and password: basic authentication; a password alone is "
               "sent as a bearer token.";
    }
    if (kind == kNotifyPing) {
        return "A cron monitor's check: the URL is called after every refresh, and URL/fail "
               "after a failed one. Nothing else is sent.";
    }
    return "Please choose a kind.";
}

}  // namespace

CNotifyChannelDlg::CNotifyChannelDlg(const NotifyChannel& channel, Host& boxes, RunMaker makeRun,
                                     QWidget* parent)
    : QDialog(parent), original_(channel), boxes_(boxes), makeRun_(std::move(makeRun)) {
    setWindowTitle("Notification Channel");
    setObjectName("NotifyChannelDlg");

    auto* layout = new QVBoxLayout(this);
    form_ = new QFormLayout();
    layout->addLayout(form_);

    kind_ = new QComboBox(this);
    kind_->setObjectName("Kind");
    for (const NotifyKindInfo& info : NotifyKinds()) {
        kind_->addItem(info.label, info.kind);
    }
    form_->addRow("&Kind:", kind_);
    hint_ = new QLabel(this);
    hint_->setObjectName("KindHint");
    hint_->setWordWrap(true);
    form_->addRow(hint_);

    server_ = AddField("Server", "&Server:", kMaxValueLength, Accepts::AnyText);
    target_ = AddField("Target", "&Target:", kMaxValueLength, Accepts::AnyText);
    user_ = AddField("User", "&User name:", kMaxValueLength, Accepts::AnyText);
    password_ = AddField("Password", "T&oken:", kMaxNotifySecretLength, Accepts::PrintableAscii);
    password_->setEchoMode(QLineEdit::Password);
    url_ = AddField("URL", "U&RL:", kMaxValueLength, Accepts::AnyText);
    title_ = AddField("Title", "T&itle:", kMaxValueLength, Accepts::AnyText);
    title_->setPlaceholderText("%H");
    template_ = AddField("Template", "Te&mplate file:", kMaxValueLength, Accepts::AnyText);
    template_->setPlaceholderText("empty: \"%H is online at %WI (LAN %I)\"");

    events_ = new QWidget(this);
    auto* events = new QHBoxLayout(events_);
    events->setContentsMargins(0, 0, 0, 0);
    change_ = new QCheckBox("&change", events_);
    change_->setObjectName("EventChange");
    change_->setToolTip("When an address differs from the last one sent on this channel.");
    cycle_ = new QCheckBox("ever&y refresh", events_);
    cycle_->setObjectName("EventCycle");
    failure_ = new QCheckBox("&failure", events_);
    failure_->setObjectName("EventFailure");
    failure_->setToolTip("When a step of a refresh failed: the message names it and why.");
    offline_ = new QCheckBox("off&line", events_);
    offline_->setObjectName("EventOffline");
    offline_->setToolTip("At exit, with the offline publication.");
    for (QCheckBox* box : {change_, cycle_, failure_, offline_}) {
        events->addWidget(box);
    }
    events->addStretch(1);
    form_->addRow("&Events:", events_);

    test_ = new QPushButton("Send &test", this);
    test_->setObjectName("SendTest");
    test_->setAutoDefault(false);
    testResult_ = new QLabel(this);
    testResult_->setObjectName("TestResult");
    testResult_->setWordWrap(true);
    testResult_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* testRow = new QHBoxLayout();
    testRow->addWidget(test_);
    testRow->addWidget(testResult_, 1);
    layout->addLayout(testRow);

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
    connect(ok, &QPushButton::clicked, this, &CNotifyChannelDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CNotifyChannelDlg::reject);
    connect(test_, &QPushButton::clicked, this, &CNotifyChannelDlg::SendTest);
    auto askHelp = [this] {
        const QString kind = kind_->currentData().toString();
        emit HelpRequested(kind.isEmpty() ? "Notifications.htm#page" : "Notifications.htm#" + kind);
    };
    connect(help, &QPushButton::clicked, this, askHelp);
    connect(new QShortcut(QKeySequence(Qt::Key_F1), this), &QShortcut::activated, this, askHelp);
    connect(kind_, &QComboBox::currentIndexChanged, this, &CNotifyChannelDlg::ShowKindFields);

    // Every field shows the channel's value, hidden or not, so switching kinds back and forth
    // loses nothing typed.
    kind_->setCurrentIndex(kind_->findData(QString::fromStdString(channel.Kind)));
    server_->SetText(channel.Server);
    target_->SetText(channel.Target);
    user_->SetText(channel.User);
    password_->SetText(channel.Password);
    url_->SetText(channel.URL);
    title_->SetText(channel.Title);
    template_->SetText(channel.Template);
    change_->setChecked(NotifiesOf(channel, kEventChange));
    cycle_->setChecked(NotifiesOf(channel, kEventCycle));
    failure_->setChecked(NotifiesOf(channel, kEventFailure));
    offline_->setChecked(NotifiesOf(channel, kEventOffline));
    ShowKindFields();
    setMinimumWidth(480);
}

CNotifyChannelDlg::~CNotifyChannelDlg() {
    if (testThread_.joinable()) {
        testThread_.join();
    }
}

CommitEdit* CNotifyChannelDlg::AddField(const char* name, const char* label, size_t maxBytes,
                                        Accepts accepts) {
    auto* edit = new CommitEdit(maxBytes, accepts, this);
    edit->setObjectName(name);
    form_->addRow(label, edit);
    return edit;
}

void CNotifyChannelDlg::ShowKindFields() {
    const std::string kind = kind_->currentData().toString().toStdString();
    const NotifyKindInfo* info = FindNotifyKind(kind);
    const unsigned fields = info != nullptr ? info->fields : 0;
    const std::pair<CommitEdit*, NotifyField> rows[] = {
        {server_, kFieldServer},     {target_, kFieldTarget}, {user_, kFieldUser},
        {password_, kFieldPassword}, {url_, kFieldURL},       {title_, kFieldTitle},
        {template_, kFieldTemplate}};
    for (const auto& [edit, field] : rows) {
        form_->setRowVisible(edit, (fields & field) != 0);
    }
    form_->setRowVisible(events_, (fields & kFieldEvents) != 0);
    if (info != nullptr) {
        auto label = [&](QWidget* field, const QString& text) {
            if (auto* shown = qobject_cast<QLabel*>(form_->labelForField(field))) {
                shown->setText(text);
            }
        };
        label(target_, QString(info->targetLabel) + ":");
        label(password_, QString(info->passwordLabel) + ":");
        server_->setPlaceholderText(*info->defaultServer != '\0'
                                        ? QString("empty: ") + info->defaultServer
                                        : QString("https://push.example.net"));
    }
    hint_->setText(KindHint(kind));
    if (isVisible()) {
        adjustSize();  // the dialog shrinks and grows with its rows
    }
}

NotifyChannel CNotifyChannelDlg::Channel() const {
    NotifyChannel c = original_;
    const QString kind = kind_->currentData().toString();
    if (kind.isEmpty()) {
        return c;  // an unknown kind from the file stays as it was
    }
    c.Kind = kind.toStdString();
    auto shown = [&](CommitEdit* edit) {
        return form_->isRowVisible(edit) ? TrimBlanks(edit->Text()) : std::string();
    };
    c.Server = shown(server_);
    c.Target = shown(target_);
    c.User = shown(user_);
    c.Password = form_->isRowVisible(password_) ? password_->Text() : std::string();
    c.URL = shown(url_);
    c.Title = shown(title_);
    c.Template = shown(template_);
    if (form_->isRowVisible(events_)) {
        std::string events;
        const std::pair<QCheckBox*, const char*> boxes[] = {{change_, kEventChange},
                                                            {cycle_, kEventCycle},
                                                            {failure_, kEventFailure},
                                                            {offline_, kEventOffline}};
        for (const auto& [box, name] : boxes) {
            if (box->isChecked()) {
                events += (events.empty() ? "" : ",") + std::string(name);
            }
        }
        c.Events = events;
    }
    return c;
}

void CNotifyChannelDlg::accept() {
    const auto problems = NotifyChannelProblems(Channel(), 0);
    if (!problems.empty()) {
        // The key without its number names the field to mend.
        std::string field = problems[0].first;
        while (!field.empty() && field.back() >= '0' && field.back() <= '9') {
            field.pop_back();
        }
        QString label = ToQ(field);
        if (auto* edit = findChild<QWidget*>(ToQ(field))) {
            if (auto* shown = qobject_cast<QLabel*>(form_->labelForField(edit))) {
                label = shown->text().remove('&').remove(':');
            }
        }
        MessageBoxRequest box;
        box.text = FromQ(label) + ": " + problems[0].second + ".";
        box.caption = "Notification Channel";
        box.icon = MsgIcon::Warning;
        boxes_.MessageBox(box);
        if (auto* edit = findChild<QWidget*>(ToQ(field))) {
            edit->setFocus();
        }
        return;
    }
    QDialog::accept();
}

void CNotifyChannelDlg::SendTest() {
    if (testThread_.joinable()) {
        testThread_.join();  // the last one has answered: the button was disabled until then
    }
    test_->setEnabled(false);
    testResult_->setText("Sending...");
    const NotifyChannel channel = Channel();
    const notify::Run run = makeRun_();
    // The answer may take up to Timeout; the window goes on meanwhile. The dialog waits for
    // the thread before it goes, so the answer always finds it.
    testThread_ = std::thread([this, channel, run] {
        SystemClock clock;
        const notify::TestResult result = notify::SendTestMessage(channel, run, clock);
        QMetaObject::invokeMethod(
            this, [this, ok = result.ok, text = ToQ(result.text)] { ShowTestAnswer(ok, text); },
            Qt::QueuedConnection);
    });
}

void CNotifyChannelDlg::ShowTestAnswer(bool ok, const QString& text) {
    test_->setEnabled(true);
    testResult_->setText(ok ? text : "Not delivered: " + text);
    emit TestAnswered(ok, text);
}

}  // namespace orvex
