#include "ui/pages/DynamicDnsPage.h"

#include <algorithm>
#include <ctime>

#include <QDateTime>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include "app/AppState.h"
#include "platform/Host.h"
#include "settings/DynamicDnsKinds.h"
#include "settings/DynamicDnsSettings.h"
#include "ui/dialogs/DynamicDnsEntryDlg.h"
#include "ui/pages/PageWidgets.h"

namespace orvex {

namespace {

enum Column { kHostsColumn = 0, kProtocolColumn = 1, kFamilyColumn = 2, kLastUpdateColumn = 3 };

QString ProtocolText(const std::string& protocol) {
    if (protocol == kDdnsDyndns2) {
        return "dyndns2";
    }
    if (protocol == kDdnsUrl) {
        return "URL";
    }
    if (protocol == kDdnsRfc2136) {
        return "DNS UPDATE";
    }
    if (protocol == kDdnsCommand) {
        return "Command";
    }
    const DdnsKind* provider = FindDynamicDnsKind(protocol);
    return ToQ(provider != nullptr ? provider->label : protocol);
}

QString FamilyText(const std::string& family) {
    if (family == kDdnsFamily4) {
        return "IPv4";
    }
    if (family == kDdnsFamily6) {
        return "IPv6";
    }
    if (family == kDdnsFamilyBoth) {
        return "IPv4, IPv6";
    }
    return ToQ(family);
}

// The last update in local time; the file keeps it in UTC.
QString LastUpdateText(const std::string& utc) {
    if (utc.empty()) {
        return "not yet";
    }
    const QDateTime when = QDateTime::fromString(QString::fromStdString(utc), Qt::ISODate);
    return when.isValid() ? when.toLocalTime().toString("yyyy-MM-dd HH:mm") : ToQ(utc);
}

QString LocalMinute(std::time_t t) {
    return QDateTime::fromSecsSinceEpoch(static_cast<qint64>(t))
        .toLocalTime()
        .toString("yyyy-MM-dd HH:mm");
}

// What the table shows of an entry's last result: the addresses last sent (the family while
// none were), and when; or the last failure in words and when the entry is tried again.
struct EntryState {
    QString addresses;
    QString state;
};

EntryState StateOf(const DynamicDnsEntry& entry, const ddns::UpdateMemory& memory) {
    const ddns::UpdateMemory::Record record = memory.Find(entry);
    const std::string& address = record.succeeded ? record.lastAddress : entry.LastAddress;
    const std::string& when = record.succeeded ? record.lastUpdate : entry.LastUpdate;
    EntryState shown{address.empty() ? FamilyText(entry.Family) : ToQ(address),
                     LastUpdateText(when)};
    if (record.stopped) {
        shown.state = "stopped: " + ToQ(record.stopWhy) + "; waits for a change of the entry";
    } else if (record.failed) {
        const std::time_t again =
            record.failedAt + std::max<std::time_t>(ddns::kRetryAfterSeconds, record.retryAfter);
        shown.state = "failed " + LocalMinute(record.failedAt) + ": " + ToQ(record.failedWhy) +
                      "; tried again after " + LocalMinute(again);
    }
    return shown;
}

// What names an entry in the table and in questions: its host names, else what it runs or the
// server it asks (never the whole URL, which may carry a token).
std::string EntryName(const DynamicDnsEntry& entry) {
    if (!entry.Hosts.empty()) {
        std::string names;
        for (char c : entry.Hosts) {
            names += c == ',' ? std::string(", ") : std::string(1, c);
        }
        return names;
    }
    if (entry.Protocol == kDdnsCommand) {
        return entry.Command;
    }
    return FromQ(QUrl(ToQ(entry.URL)).host());
}

}  // namespace

CDynamicDnsPage::CDynamicDnsPage(PageContext& context, QWidget* parent)
    : SheetPage("Dynamic DNS", parent), context_(context) {
    auto* outer = new QVBoxLayout(this);
    QGroupBox* group = MakeGroup("Host Names Kept Pointing at This Machine", this);
    outer->addWidget(group);
    auto* layout = new QVBoxLayout(group);

    table_ = new QTreeWidget(group);
    table_->setObjectName("DynamicDnsTable");
    table_->setRootIsDecorated(false);
    table_->setUniformRowHeights(true);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setHeaderLabels({"Host Names", "Provider", "Addresses", "Last Update"});
    table_->header()->setStretchLastSection(true);
    table_->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    table_->setColumnWidth(kHostsColumn, 150);
    table_->setColumnWidth(kProtocolColumn, 85);
    table_->setColumnWidth(kFamilyColumn, 70);
    layout->addWidget(table_, 1);

    auto* note = new QLabel(
        "Each name is updated after the mail and before the upload when the WAN address has "
        "changed, and every 25 days. Press F1 for the protocols and examples.",
        group);
    note->setWordWrap(true);
    layout->addWidget(note);

    add_ = new QPushButton("&Add...", group);
    add_->setObjectName("AddEntry");
    edit_ = new QPushButton("Ed&it...", group);
    edit_->setObjectName("EditEntry");
    remove_ = new QPushButton("Re&move", group);
    remove_->setObjectName("RemoveEntry");
    up_ = new QPushButton("&Up", group);
    up_->setObjectName("MoveUp");
    down_ = new QPushButton("Do&wn", group);
    down_->setObjectName("MoveDown");
    auto* buttons = new QHBoxLayout();
    for (QPushButton* button : {add_, edit_, remove_}) {
        buttons->addWidget(button);
    }
    buttons->addStretch(1);
    buttons->addWidget(up_);
    buttons->addWidget(down_);
    layout->addLayout(buttons);

    connect(add_, &QPushButton::clicked, this, &CDynamicDnsPage::AddEntry);
    connect(edit_, &QPushButton::clicked, this, [this] { EditEntry(SelectedRow()); });
    connect(remove_, &QPushButton::clicked, this, [this] { RemoveEntry(SelectedRow()); });
    connect(up_, &QPushButton::clicked, this, [this] { MoveEntry(SelectedRow(), -1); });
    connect(down_, &QPushButton::clicked, this, [this] { MoveEntry(SelectedRow(), +1); });
    connect(table_, &QTreeWidget::itemSelectionChanged, this, &CDynamicDnsPage::UpdateButtons);
    connect(table_, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { EditEntry(table_->indexOfTopLevelItem(item)); });

    lastUpdateTimer_ = new QTimer(this);
    lastUpdateTimer_->setInterval(kLastUpdateIntervalMs);
    connect(lastUpdateTimer_, &QTimer::timeout, this, &CDynamicDnsPage::RefreshLastUpdates);

    FillTable(0);
}

void CDynamicDnsPage::showEvent(QShowEvent* event) {
    SheetPage::showEvent(event);
    RefreshLastUpdates();
    lastUpdateTimer_->start();
}

void CDynamicDnsPage::hideEvent(QHideEvent* event) {
    SheetPage::hideEvent(event);
    lastUpdateTimer_->stop();
}

void CDynamicDnsPage::RefreshLastUpdates() {
    const std::vector<DynamicDnsEntry> entries = context_.state.Settings().DynamicDns;
    if (entries.size() != static_cast<size_t>(table_->topLevelItemCount())) {
        FillTable(SelectedRow());
        return;
    }
    for (size_t row = 0; row < entries.size(); ++row) {
        QTreeWidgetItem* item = table_->topLevelItem(static_cast<int>(row));
        const EntryState shown = StateOf(entries[row], context_.state.DynamicDnsMemory);
        if (item->text(kFamilyColumn) != shown.addresses) {
            item->setText(kFamilyColumn, shown.addresses);
        }
        if (item->text(kLastUpdateColumn) != shown.state) {
            item->setText(kLastUpdateColumn, shown.state);
            item->setToolTip(kLastUpdateColumn, shown.state);
        }
    }
}

void CDynamicDnsPage::OnSetActive() {
    SheetPage::OnSetActive();
    FillTable(SelectedRow() < 0 ? 0 : SelectedRow());
}

int CDynamicDnsPage::SelectedRow() const {
    const QList<QTreeWidgetItem*> selected = table_->selectedItems();
    return selected.isEmpty() ? -1 : table_->indexOfTopLevelItem(selected.front());
}

void CDynamicDnsPage::FillTable(int selectRow) {
    table_->clear();
    QList<QTreeWidgetItem*> rows;
    for (const DynamicDnsEntry& entry : context_.state.Settings().DynamicDns) {
        const EntryState shown = StateOf(entry, context_.state.DynamicDnsMemory);
        auto* row = new QTreeWidgetItem(QStringList{
            ToQ(EntryName(entry)), ProtocolText(entry.Protocol), shown.addresses, shown.state});
        row->setToolTip(kLastUpdateColumn, shown.state);
        rows.append(row);
    }
    table_->addTopLevelItems(rows);
    if (!rows.isEmpty()) {
        const int row = selectRow >= rows.size() ? static_cast<int>(rows.size()) - 1 : selectRow;
        table_->setCurrentItem(rows.at(row < 0 ? 0 : row));
    }
    UpdateButtons();
}

void CDynamicDnsPage::UpdateButtons() {
    const int row = SelectedRow();
    const int count = table_->topLevelItemCount();
    add_->setEnabled(static_cast<size_t>(count) < kMaxDynamicDnsEntries);
    edit_->setEnabled(row >= 0);
    remove_->setEnabled(row >= 0);
    up_->setEnabled(row > 0);
    down_->setEnabled(row >= 0 && row + 1 < count);
}

int CDynamicDnsPage::Run(CDynamicDnsEntryDlg& dialog) {
    // Modal to the main window only, so the help it opens can be read beside it.
    dialog.setWindowModality(Qt::WindowModal);
    connect(&dialog, &CDynamicDnsEntryDlg::HelpRequested, this, &CDynamicDnsPage::HelpRequested);
    return dialog.exec();
}

SettingsList<DynamicDnsEntry> CDynamicDnsPage::Entries() const {
    return {context_.state, &AppSettings::DynamicDns, SameDynamicDnsTarget};
}

void CDynamicDnsPage::AddEntry() {
    if (Entries().Size() >= kMaxDynamicDnsEntries) {
        return;
    }
    CDynamicDnsEntryDlg dialog(DynamicDnsEntry{}, context_.boxes, this);
    if (Run(dialog) != QDialog::Accepted) {
        return;
    }
    const int row = Entries().Add(dialog.Entry());
    SetModified();
    FillTable(row);
}

void CDynamicDnsPage::EditEntry(int row) {
    const std::optional<DynamicDnsEntry> before = Entries().At(row);
    if (!before) {
        return;
    }
    CDynamicDnsEntryDlg dialog(*before, context_.boxes, this);
    if (Run(dialog) != QDialog::Accepted) {
        return;
    }
    DynamicDnsEntry edited = dialog.Entry();
    if (SameDynamicDnsTarget(*before, edited)) {
        return;
    }
    // A changed entry is updated at the next cycle, as the file will have it.
    edited.LastAddress.clear();
    edited.LastUpdate.clear();
    Entries().Replace(row, *before, edited);
    SetModified();
    FillTable(row);
}

void CDynamicDnsPage::RemoveEntry(int row) {
    const std::optional<DynamicDnsEntry> doomed = Entries().At(row);
    if (!doomed) {
        return;
    }
    MessageBoxRequest box;
    box.text = "Remove the dynamic DNS entry for " + EntryName(*doomed) + "?";
    box.caption = "Dynamic DNS";
    box.buttons = MsgButtons::YesNo;
    box.icon = MsgIcon::Question;
    if (context_.boxes.MessageBox(box) != MsgAnswer::Yes) {
        return;
    }
    Entries().Remove(row, *doomed);
    SetModified();
    FillTable(row);
}

void CDynamicDnsPage::MoveEntry(int row, int direction) {
    const int other = row + direction;
    bool moved = false;
    context_.state.EditSettings([&](AppSettings& s) {
        const int count = static_cast<int>(s.DynamicDns.size());
        if (row >= 0 && row < count && other >= 0 && other < count) {
            std::swap(s.DynamicDns[static_cast<size_t>(row)],
                      s.DynamicDns[static_cast<size_t>(other)]);
            moved = true;
        }
    });
    if (moved) {
        SetModified();
        FillTable(other);
    }
}

}  // namespace orvex
