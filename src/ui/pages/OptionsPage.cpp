#include "ui/pages/OptionsPage.h"

#include <algorithm>
#include <mutex>
#include <thread>

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "address/WanAddress.h"
#include "address/WanSources.h"
#include "app/AppState.h"
#include "app/Scheduler.h"
#include "platform/Host.h"
#include "platform/ListenAddress.h"
#include "platform/Profile.h"
#include "settings/SettingsFile.h"
#include "ui/pages/PageWidgets.h"

namespace orvex {

COptionsPage::COptionsPage(PageContext& context, QWidget* parent)
    : SheetPage("Advanced Options", parent), context_(context) {
    auto* outer = new QVBoxLayout(this);

    QGroupBox* preferences = MakeGroup("Preferences", this);
    auto* prefs = new QGridLayout(preferences);
    auto makeCheck = [&](const char* text, const char* name, QWidget* parent) {
        auto* check = new QCheckBox(text, parent);
        check->setObjectName(name);
        return check;
    };
    updateOnStart_ = makeCheck("Update on startup", "IsUpdateOnStart", preferences);
    updateOnShut_ = makeCheck("Update on shutdown", "IsUpdateOnShut", preferences);
    minimizeOnStart_ = makeCheck("Minimize on startup", "IsMinOnStartup", preferences);
    notifyOnShut_ = makeCheck("Error notify on shutdown", "NotifyErrorOnShut", preferences);
    suppressErrors_ = makeCheck("Suppress error messages", "SuppressError", preferences);
    updateOnNa_ = makeCheck("Update on \"N/A\" WAN IP", "UpdateOnNAIP", preferences);
    enableIpv6_ = makeCheck("Enable IPv6", "EnableIPv6", preferences);
    int row = 0;
    for (QCheckBox* check : {updateOnStart_, updateOnShut_, minimizeOnStart_, notifyOnShut_,
                             suppressErrors_, updateOnNa_, enableIpv6_}) {
        prefs->addWidget(check, row++, 0);
    }

    auto makeNumber = [&](size_t maxBytes, Accepts accepts, const char* name, QWidget* parent) {
        auto* field = new UpDownEdit(maxBytes, accepts, parent);
        field->Edit()->setObjectName(name);
        field->setObjectName(QString(name) + "UpDown");
        field->setFixedWidth(field->Edit()->fontMetrics().horizontalAdvance("00000") + 40);
        return field;
    };
    startupDelay_ = makeNumber(4, Accepts::AnyText, "InitStartupDelay", preferences);
    interval_ = makeNumber(4, Accepts::Digits, "RefreshIntv", preferences);
    timeout_ = makeNumber(kMaxValueLength, Accepts::Digits, "Timeout", preferences);
    startupDelay_->SetRange(0, 100);
    interval_->SetRange(0, 9999);
    timeout_->SetRange(0, 60);
    const std::pair<const char*, UpDownEdit*> numbers[] = {
        {"Delay initial update        (Seconds)", startupDelay_},
        {"Refresh interval       (Minutes)", interval_},
        {"Conn. timeout      (Seconds)", timeout_}};
    row = 0;
    for (const auto& [text, field] : numbers) {
        auto* label = new QLabel(text, preferences);
        label->setBuddy(field->Edit());
        prefs->addWidget(label, row, 1);
        prefs->addWidget(field, row, 2);
        ++row;
    }
    prefs->setColumnStretch(0, 1);
    prefs->setColumnMinimumWidth(1, 10);
    outer->addWidget(preferences);

    QGroupBox* logging = MakeGroup("Logging", this);
    auto* logs = new QGridLayout(logging);
    logging_ = makeCheck("Enable Logging", "IsLogging", logging);
    purgeDays_ = makeNumber(kMaxValueLength, Accepts::AnyText, "MaxLog", logging);
    purgeDays_->SetRange(0, 999);
    purgeLabel_ = new QLabel("Purge Logs After (Days)", logging);
    purgeLabel_->setBuddy(purgeDays_->Edit());
    logName_ = new CommitEdit(kMaxValueLength, Accepts::AnyText, logging);
    logName_->setObjectName("LogFilename");
    logNameLabel_ = new QLabel("Log Filename:", logging);
    logNameLabel_->setBuddy(logName_);
    pickLog_ = new QPushButton("...", logging);
    pickLog_->setObjectName("PickLogFilename");
    pickLog_->setFixedWidth(pickLog_->fontMetrics().horizontalAdvance("...") + 20);
    auto* purgeRow = new QHBoxLayout();
    purgeRow->addWidget(purgeLabel_);
    purgeRow->addWidget(purgeDays_);
    purgeRow->addStretch(1);
    logs->addWidget(logging_, 0, 0);
    logs->addLayout(purgeRow, 0, 1, 1, 2);
    logs->addWidget(logNameLabel_, 1, 0);
    logs->addWidget(logName_, 1, 1);
    logs->addWidget(pickLog_, 1, 2);
    logs->setColumnStretch(1, 1);
    outer->addWidget(logging);

    // Where the WAN address comes from: WANIPURL, then the fallbacks.
    QGroupBox* services = MakeGroup("WAN address services", this);
    auto* lookup = new QGridLayout(services);
    wanUrl_ = new CommitEdit(kMaxValueLength, Accepts::AnyText, services);
    wanUrl_->setObjectName("WANIPURL");
    wanUrl_->setPlaceholderText("empty: the built-in public services");
    wanFallback_ = new CommitEdit(kMaxValueLength, Accepts::AnyText, services);
    wanFallback_->setObjectName("WANIPFallback");
    wanFallback_->setPlaceholderText("none");
    testServices_ = new QPushButton("&Test", services);
    testServices_->setObjectName("TestServices");
    auto* firstLabel = new QLabel("Ask:", services);
    firstLabel->setBuddy(wanUrl_);
    auto* thenLabel = new QLabel("Then:", services);
    thenLabel->setBuddy(wanFallback_);
    lookup->addWidget(firstLabel, 0, 0);
    lookup->addWidget(wanUrl_, 0, 1);
    lookup->addWidget(testServices_, 0, 2);
    lookup->addWidget(thenLabel, 1, 0);
    lookup->addWidget(wanFallback_, 1, 1, 1, 2);
    auto addField = [&](const char* label, const char* name, const char* placeholder, int row) {
        auto* field = new CommitEdit(kMaxValueLength, Accepts::AnyText, services);
        field->setObjectName(name);
        field->setPlaceholderText(placeholder);
        auto* text = new QLabel(label, services);
        text->setBuddy(field);
        lookup->addWidget(text, row, 0);
        lookup->addWidget(field, row, 1, 1, 2);
        return field;
    };
    sources_ =
        addField("Sources:", "WANIPSources", "web (in order, any of: web upnp natpmp dns)", 2);
    upnpUrl_ = addField("UPnP router:", "UPnPURL",
                        "empty: discovery (http://192.168.1.1:5000/rootDesc.xml)", 3);
    natPmpGateway_ =
        addField("NAT-PMP router:", "NATPMPGateway", "empty: the default gateway, port 5351", 4);
    dnsLookups_ = addField("DNS questions:", "DNSLookups",
                           "empty: built-in (name/type/class@server[:port] ...)", 5);
    lookup->setColumnStretch(1, 1);
    outer->addWidget(services);

    // Where the passwords are kept, and where monitoring finds the metrics.
    QGroupBox* keeping = MakeGroup("Passwords and monitoring", this);
    auto* keep = new QGridLayout(keeping);
    useKeyring_ = makeCheck("Keep passwords in the desktop keyring (else scrambled in Orvex.ini)",
                            "UseKeyring", keeping);
    metricsAddress_ = new CommitEdit(kMaxValueLength, Accepts::AnyText, keeping);
    metricsAddress_->setObjectName("MetricsAddress");
    metricsAddress_->setPlaceholderText("off; e.g. 127.0.0.1:9101");
    auto* metricsLabel = new QLabel("Metrics at:", keeping);
    metricsLabel->setBuddy(metricsAddress_);
    keep->addWidget(useKeyring_, 0, 0, 1, 2);
    keep->addWidget(metricsLabel, 1, 0);
    keep->addWidget(metricsAddress_, 1, 1);
    keep->setColumnStretch(1, 1);
    outer->addWidget(keeping);
    outer->addStretch(1);
    connect(metricsAddress_, &QLineEdit::textEdited, this, [this] { SetModified(); });
    connect(metricsAddress_, &CommitEdit::FocusLost, this, &COptionsPage::CommitMetricsAddress);
    for (CommitEdit* field :
         {wanUrl_, wanFallback_, sources_, upnpUrl_, natPmpGateway_, dnsLookups_}) {
        connect(field, &QLineEdit::textEdited, this, [this] { SetModified(); });
        connect(field, &CommitEdit::FocusLost, this, &COptionsPage::CommitServices);
    }
    connect(testServices_, &QPushButton::clicked, this, &COptionsPage::TestServices);

    const std::pair<QCheckBox*, int AppSettings::*> flags[] = {
        {updateOnStart_, &AppSettings::IsUpdateOnStart},
        {updateOnShut_, &AppSettings::IsUpdateOnShut},
        {minimizeOnStart_, &AppSettings::IsMinOnStartup},
        {notifyOnShut_, &AppSettings::NotifyErrorOnShut},
        {suppressErrors_, &AppSettings::SuppressError},
        {updateOnNa_, &AppSettings::UpdateOnNAIP},
        {enableIpv6_, &AppSettings::EnableIPv6},
        {useKeyring_, &AppSettings::UseKeyring}};
    for (const auto& [check, setting] : flags) {
        connect(check, &QCheckBox::clicked, this,
                [this, setting = setting](bool checked) { StoreFlag(setting, checked); });
    }
    connect(logging_, &QCheckBox::clicked, this, [this](bool checked) {
        context_.state.EditSettings([checked](AppSettings& s) { s.IsLogging = checked ? 1 : 0; });
        Activate();
        SetModified();
    });

    const std::pair<UpDownEdit*, int AppSettings::*> plainNumbers[] = {
        {startupDelay_, &AppSettings::InitStartupDelay},
        {timeout_, &AppSettings::Timeout},
        {purgeDays_, &AppSettings::MaxLog}};
    for (const auto& [field, setting] : plainNumbers) {
        connect(field->Edit(), &QLineEdit::textEdited, this, [this] { SetModified(); });
        connect(field->Edit(), &CommitEdit::FocusLost, this,
                [this, field = field, setting = setting] { CommitNumber(field, setting); });
        // The arrows leave the focus where it was, so their value is committed at once;
        // otherwise it would be shown but never stored.
        connect(field, &UpDownEdit::Stepped, this, [this, field = field, setting = setting] {
            SetModified();
            CommitNumber(field, setting);
        });
    }
    auto intervalEdited = [this] {
        context_.state.IntervalEdited = true;
        SetModified();
    };
    connect(interval_->Edit(), &QLineEdit::textEdited, this, intervalEdited);
    connect(interval_->Edit(), &CommitEdit::FocusLost, this, &COptionsPage::CommitInterval);
    connect(interval_, &UpDownEdit::Stepped, this, [this, intervalEdited] {
        intervalEdited();
        CommitInterval();
    });

    connect(logName_, &QLineEdit::textEdited, this, [this] { SetModified(); });
    connect(logName_, &CommitEdit::FocusLost, this, [this] {
        const std::string name = logName_->TrimText();
        context_.state.EditSettings([&](AppSettings& s) { s.LogFilename = name; });
    });
    connect(pickLog_, &QPushButton::clicked, this, &COptionsPage::PickLogFile);

    Activate();
}

void COptionsPage::OnSetActive() {
    if (!WasShown()) {
        // The interval's lower end follows the lookup service in use when first shown.
        interval_->SetRange(context_.state.DefaultLookupService ? 30 : 0, 9999);
    }
    SheetPage::OnSetActive();
    Activate();
}

void COptionsPage::Activate() {
    const AppSettings settings = context_.state.Settings();
    logging_->setChecked(settings.IsLogging == 1);
    minimizeOnStart_->setChecked(settings.IsMinOnStartup == 1);
    updateOnStart_->setChecked(settings.IsUpdateOnStart == 1);
    suppressErrors_->setChecked(settings.SuppressError == 1);
    updateOnNa_->setChecked(settings.UpdateOnNAIP == 1);
    enableIpv6_->setChecked(settings.EnableIPv6 == 1);
    updateOnShut_->setChecked(settings.IsUpdateOnShut == 1);
    notifyOnShut_->setChecked(settings.NotifyErrorOnShut == 1);
    logName_->SetText(settings.LogFilename);
    interval_->Edit()->SetText(std::to_string(settings.RefreshIntv));
    startupDelay_->Edit()->SetText(std::to_string(settings.InitStartupDelay));
    timeout_->Edit()->SetText(std::to_string(settings.Timeout));
    purgeDays_->Edit()->SetText(std::to_string(settings.MaxLog));
    wanUrl_->SetText(settings.WANIPURL);
    wanFallback_->SetText(settings.WANIPFallback);
    sources_->SetText(settings.WANIPSources);
    upnpUrl_->SetText(settings.UPnPURL);
    natPmpGateway_->SetText(settings.NATPMPGateway);
    dnsLookups_->SetText(settings.DNSLookups);
    useKeyring_->setChecked(settings.UseKeyring == 1);
    metricsAddress_->SetText(settings.MetricsAddress);
    ApplyEnableRule();
}

void COptionsPage::ApplyEnableRule() {
    const bool enable = logging_->isChecked();
    for (QWidget* widget : std::initializer_list<QWidget*>{logName_, pickLog_, logNameLabel_,
                                                           purgeLabel_, purgeDays_}) {
        widget->setEnabled(enable);
    }
}

void COptionsPage::StoreFlag(int AppSettings::*setting, bool checked) {
    context_.state.EditSettings([&](AppSettings& s) { s.*setting = checked ? 1 : 0; });
    SetModified();
}

void COptionsPage::CommitNumber(UpDownEdit* field, int AppSettings::*setting) {
    const int value = AsciiToInt(field->Edit()->Text());
    context_.state.EditSettings([&](AppSettings& s) { s.*setting = value; });
}

void COptionsPage::CommitInterval() {
    if (checkingInterval_) {
        return;
    }
    const int minutes = AsciiToInt(interval_->Edit()->Text());
    if (context_.state.DefaultLookupService && (minutes < 30 || minutes > 9999)) {
        checkingInterval_ = true;
        MessageBoxRequest box;
        box.text = kIntervalMessage;
        box.buttons = MsgButtons::Ok;
        context_.boxes.MessageBox(box);
        checkingInterval_ = false;
        interval_->Edit()->setFocus(Qt::OtherFocusReason);
        return;
    }
    context_.state.EditSettings([minutes](AppSettings& s) { s.RefreshIntv = minutes; });
    context_.scheduler.ScheduleRefresh(minutes);
}

void COptionsPage::CommitServices() {
    const std::string url = wanUrl_->TrimText();
    const std::string fallback = wanFallback_->TrimText();
    std::string sources = sources_->TrimText();
    const std::string upnp = upnpUrl_->TrimText();
    const std::string natPmp = natPmpGateway_->TrimText();
    const std::string dns = dnsLookups_->TrimText();
    context_.state.EditSettings([&](AppSettings& s) {
        s.WANIPURL = url;
        s.WANIPFallback = fallback;
        // An emptied list means the web services, as it always did.
        s.WANIPSources = sources.empty() ? kSourceWeb : sources;
        s.UPnPURL = upnp;
        s.NATPMPGateway = natPmp;
        s.DNSLookups = dns;
    });
    // The shortest refresh interval follows the services (public ones are asked less often).
    context_.state.DefaultLookupService = NamesDefaultLookupService(url);
}

void COptionsPage::CommitMetricsAddress() {
    if (checkingMetrics_) {
        return;
    }
    const std::string address = metricsAddress_->TrimText();
    std::string host;
    int port = 0;
    const bool loopback = SplitListenAddress(address, &host, &port) && IsLoopbackHost(host);
    // A value written by hand into the file stays as it is while it is not edited here.
    if (!address.empty() && !loopback && address != context_.state.Settings().MetricsAddress) {
        checkingMetrics_ = true;
        MessageBoxRequest box;
        box.text = kMetricsMessage;
        context_.boxes.MessageBox(box);
        checkingMetrics_ = false;
        metricsAddress_->setFocus(Qt::OtherFocusReason);
        return;
    }
    context_.state.EditSettings([&](AppSettings& s) { s.MetricsAddress = address; });
}

// One run of the Test button, shared with its thread, which may outlive the page.
struct ServiceTest {
    std::mutex mutex;
    std::vector<std::string> lines;
    bool done = false;
};

void COptionsPage::TestServices() {
    if (serviceTest_) {
        return;
    }
    CommitServices();
    const AppSettings s = context_.state.Settings();
    const std::vector<std::string> services =
        LookupServices(s.WANIPURL, s.WANIPFallback, BuiltInWanServices());
    const long boundMs = std::max(s.Timeout, kMinLookupSeconds) * 1000L;
    auto test = std::make_shared<ServiceTest>();
    serviceTest_ = test;
    testServices_->setEnabled(false);
    const WanSourceSettings sourceSettings = WanSourceSettings::From(s);
    const std::vector<std::string> names = SourceNames(s.WANIPSources);
    const bool webListed = std::find(names.begin(), names.end(), kSourceWeb) != names.end();
    const bool webOnly = names.size() == 1 && webListed;
    std::thread([test, services, boundMs, start = s.StartDelimiter, end = s.EndDelimiter,
                 sourceSettings, webListed, webOnly] {
        std::string webAddress;
        for (const std::string& url : webListed ? services : std::vector<std::string>{}) {
            const HttpPage page = FetchPage(url, boundMs);
            std::string line = url + ": ";
            if (!page.ok) {
                line += "no answer";
            } else {
                const std::string address = CheckedAnswer(page.body, start, end, IpFamily::kIPv4);
                line += address.empty() ? "answered, but with no address in it" : address;
                if (webAddress.empty()) {
                    webAddress = address;
                }
            }
            std::lock_guard<std::mutex> lock(test->mutex);
            test->lines.push_back(line);
        }
        if (!webOnly) {
            // The web services were asked above; their first answer stands for the web source.
            const std::vector<std::string> lines =
                TestWanSources(sourceSettings, [webAddress](IpFamily) {
                    return webAddress.empty() ? std::string(kNotAvailable) : webAddress;
                });
            std::lock_guard<std::mutex> lock(test->mutex);
            if (!test->lines.empty()) {
                test->lines.push_back("");
            }
            test->lines.push_back(kSourcesAnswered);
            test->lines.insert(test->lines.end(), lines.begin(), lines.end());
        }
        std::lock_guard<std::mutex> lock(test->mutex);
        test->done = true;
    }).detach();
    auto* poll = new QTimer(this);
    connect(poll, &QTimer::timeout, this, [this, poll, test] {
        std::vector<std::string> lines;
        {
            std::lock_guard<std::mutex> lock(test->mutex);
            if (!test->done) {
                return;
            }
            lines = test->lines;
        }
        poll->deleteLater();
        ShowServiceAnswers(lines);
    });
    poll->start(100);
}

void COptionsPage::ShowServiceAnswers(const std::vector<std::string>& lines) {
    // Without the web source the box starts with the sources' own heading.
    const bool sourcesOnly = !lines.empty() && lines.front() == kSourcesAnswered;
    std::string text = sourcesOnly ? "" : std::string(kServicesAnswered) + "\n";
    for (const std::string& line : lines) {
        text += (text.empty() ? "" : "\n") + line;
    }
    serviceTest_.reset();
    testServices_->setEnabled(true);
    MessageBoxRequest box;
    box.text = text;
    box.caption = "WAN address services";
    box.icon = MsgIcon::Information;
    context_.boxes.MessageBox(box);
}

void COptionsPage::PickLogFile() {
    FileDialogSpec dialog;
    dialog.title = "Open";
    dialog.filter = "Log Files (*.log) | *.log";
    dialog.defaultExtension = "Log";
    dialog.initialName = "*.log";
    dialog.initialDir = context_.startDir;
    dialog.mustExist = false;  // the log is created by its first line
    std::optional<std::string> chosen = context_.picker.OpenFile(this, dialog);
    // A path longer than the settings file keeps would be cut at the next load; such a
    // choice is treated as no choice.
    if (chosen && chosen->size() <= kMaxValueLength) {
        logName_->SetText(*chosen);
        SetModified();
    }
    // Cancelled or not, whatever the field holds is committed.
    const std::string name = logName_->TrimText();
    context_.state.EditSettings([&](AppSettings& s) { s.LogFilename = name; });
}

}  // namespace orvex
