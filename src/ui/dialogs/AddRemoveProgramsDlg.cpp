#include "ui/dialogs/AddRemoveProgramsDlg.h"

#include <algorithm>
#include <memory>

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/AppState.h"
#include "monitor/MonitoredPrograms.h"
#include "platform/TextUtil.h"
#include "settings/SettingsFile.h"
#include "ui/pages/PageWidgets.h"

namespace orvex {

namespace {

// Hand-edited extra indicator pairs: one short line each.
constexpr size_t kIndicatorSectionBytes = 3000;

std::string EntryValue(const std::string& entry) {
    const size_t eq = entry.find('=');
    return eq == std::string::npos ? std::string() : entry.substr(eq + 1);
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

// Both lists keep alphabetical order without regard to case, the order the titles are
// stored in.
void InsertSorted(QListWidget* list, const std::string& title) {
    const std::string key = ToUpperAscii(title);
    int row = 0;
    while (row < list->count() && ToUpperAscii(FromQ(list->item(row)->text())) <= key) {
        ++row;
    }
    list->insertItem(row, ToQ(title));
}

std::vector<std::string> Items(const QListWidget* list) {
    std::vector<std::string> items;
    for (int row = 0; row < list->count(); ++row) {
        items.push_back(FromQ(list->item(row)->text()));
    }
    return items;
}

}  // namespace

std::vector<std::string> CollectWindowTitles(const std::vector<TopLevelWindow>& windows) {
    std::vector<std::string> titles;
    for (const TopLevelWindow& window : windows) {
        if (titles.size() == kMaxOfferedWindows) {
            break;
        }
        // A longer title would be cut when the settings are loaded and then never match its
        // window again.
        if (window.taskbar && !window.title.empty() && window.title.size() <= kMaxValueLength) {
            titles.push_back(window.title);
        }
    }
    return titles;
}

std::vector<std::string> UnmonitoredTitles(const std::vector<std::string>& collected,
                                           const std::vector<std::string>& monitored) {
    std::vector<std::string> offered;
    for (auto title = collected.rbegin(); title != collected.rend(); ++title) {
        const bool prefixOfMonitored =
            std::any_of(monitored.begin(), monitored.end(),
                        [&](const std::string& m) { return StartsWithNoCase(m, *title); });
        const bool alreadyOffered =
            std::find(offered.begin(), offered.end(), *title) != offered.end();
        if (!prefixOfMonitored && !alreadyOffered) {
            offered.push_back(*title);
        }
    }
    return offered;
}

CAddRemoveProgramsDlg::CAddRemoveProgramsDlg(AppState& state, QWidget* parent, WindowLister lister)
    : QDialog(parent), state_(state), pair_(state.Settings().StatusIndicators) {
    setWindowTitle("Add/Remove Programs");
    setObjectName("AddRemoveProgramsDlg");

    unmonitored_ = new QListWidget(this);
    unmonitored_->setObjectName("ProgramsUnmonitored");
    monitored_ = new QListWidget(this);
    monitored_->setObjectName("ProgramsMonitored");
    for (QListWidget* list : {unmonitored_, monitored_}) {
        list->setSelectionMode(QAbstractItemView::ExtendedSelection);
        list->setMinimumWidth(200);
    }
    add_ = new QPushButton("->", this);
    remove_ = new QPushButton("<-", this);
    addAll_ = new QPushButton("->>", this);
    removeAll_ = new QPushButton("<<-", this);
    add_->setObjectName("Add");
    remove_->setObjectName("Remove");
    addAll_->setObjectName("AddAll");
    removeAll_->setObjectName("RemoveAll");
    indicators_ = new QComboBox(this);
    indicators_->setObjectName("StatusIndicator");
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("OK");
    ok->setDefault(true);
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("Cancel");

    auto* layout = new QVBoxLayout(this);
    auto* lists = new QGridLayout();
    lists->addWidget(new QLabel("Programs Unmonitored", this), 0, 0);
    lists->addWidget(new QLabel("Programs Monitored", this), 0, 2);
    lists->addWidget(unmonitored_, 1, 0);
    auto* moves = new QVBoxLayout();
    moves->addStretch(1);
    for (QPushButton* button : {add_, remove_, addAll_, removeAll_}) {
        button->setFixedWidth(button->fontMetrics().horizontalAdvance("<<-") + 28);
        moves->addWidget(button);
    }
    moves->addStretch(1);
    lists->addLayout(moves, 1, 1);
    lists->addWidget(monitored_, 1, 2);
    layout->addLayout(lists);
    auto* indicatorRow = new QHBoxLayout();
    auto* indicatorLabel = new QLabel("Status Indicator", this);
    indicatorLabel->setBuddy(indicators_);
    indicatorRow->addWidget(indicatorLabel);
    indicatorRow->addWidget(indicators_);
    indicatorRow->addStretch(1);
    layout->addLayout(indicatorRow);
    auto* bottom = new QHBoxLayout();
    bottom->addWidget(new QLabel("Programs must be running to add them to list", this));
    bottom->addStretch(1);
    bottom->addWidget(ok);
    bottom->addWidget(cancel);
    layout->addLayout(bottom);

    connect(add_, &QPushButton::clicked, this, [this] { Move(unmonitored_, monitored_, false); });
    connect(remove_, &QPushButton::clicked, this,
            [this] { Move(monitored_, unmonitored_, false); });
    connect(addAll_, &QPushButton::clicked, this, [this] { Move(unmonitored_, monitored_, true); });
    connect(removeAll_, &QPushButton::clicked, this,
            [this] { Move(monitored_, unmonitored_, true); });
    connect(ok, &QPushButton::clicked, this, &CAddRemoveProgramsDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CAddRemoveProgramsDlg::reject);
    connect(indicators_, &QComboBox::activated, this,
            [this](int index) { pair_ = FromQ(indicators_->itemText(index)); });

    // Monitored titles: the stored entries, empty ones left out.
    std::vector<std::string> monitored;
    for (const std::string& entry : ReadProgramEntries(state_.Ini(), kProgramTableBytes)) {
        std::string title = EntryValue(entry);
        if (!title.empty()) {
            InsertSorted(monitored_, title);
            monitored.push_back(std::move(title));
        }
    }
    if (!lister) {
        lister = [] { return ListTopLevelWindows(); };
    }
    for (const std::string& title :
         orvex::UnmonitoredTitles(CollectWindowTitles(lister()), monitored)) {
        InsertSorted(unmonitored_, title);
    }
    UpdateButtons();

    for (const char* builtIn : kBuiltInIndicatorPairs) {
        indicators_->addItem(builtIn);
    }
    for (const std::string& entry : ReadIndicatorEntries(state_.Ini(), kIndicatorSectionBytes)) {
        const std::string extra = EntryValue(entry);
        bool held = false;
        for (int i = 0; i < indicators_->count(); ++i) {
            held = held || EqualsNoCase(FromQ(indicators_->itemText(i)), extra);
        }
        if (!extra.empty() && !held) {
            indicators_->addItem(ToQ(extra));
        }
    }
    indicators_->setCurrentIndex(-1);
    for (int i = 0; i < indicators_->count(); ++i) {
        if (StartsWithNoCase(FromQ(indicators_->itemText(i)), pair_)) {
            indicators_->setCurrentIndex(i);
            break;
        }
    }
}

void CAddRemoveProgramsDlg::Move(QListWidget* from, QListWidget* to, bool all) {
    for (int row = from->count() - 1; row >= 0; --row) {
        if (all || from->item(row)->isSelected()) {
            std::unique_ptr<QListWidgetItem> item(from->takeItem(row));
            InsertSorted(to, FromQ(item->text()));
        }
    }
    UpdateButtons();
}

void CAddRemoveProgramsDlg::UpdateButtons() {
    const bool canAdd = unmonitored_->count() > 0;
    const bool canRemove = monitored_->count() > 0;
    add_->setEnabled(canAdd);
    addAll_->setEnabled(canAdd);
    remove_->setEnabled(canRemove);
    removeAll_->setEnabled(canRemove);
}

void CAddRemoveProgramsDlg::accept() {
    StoreMonitoredTitles(state_.Ini(), Items(monitored_), pair_);
    // The pair chosen takes effect only now, so Cancel leaves the running program as it was.
    state_.EditSettings([this](AppSettings& s) { s.StatusIndicators = pair_; });
    QDialog::accept();
}

std::vector<std::string> CAddRemoveProgramsDlg::MonitoredTitles() const {
    return Items(monitored_);
}

std::vector<std::string> CAddRemoveProgramsDlg::UnmonitoredTitles() const {
    return Items(unmonitored_);
}

}  // namespace orvex
