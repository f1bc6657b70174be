#include "ui/pages/NotificationsPage.h"

#include <QDateTime>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "address/WanAddress.h"
#include "app/AppState.h"
#include "platform/Host.h"
#include "platform/PathMap.h"
#include "settings/NotifySettings.h"
#include "ui/dialogs/NotifyChannelDlg.h"
#include "ui/pages/PageWidgets.h"

namespace orvex {

namespace {

enum Column { kChannelColumn = 0, kKindColumn = 1, kEventsColumn = 2, kLastSentColumn = 3 };

QString KindText(const std::string& kind) {
    const NotifyKindInfo* info = FindNotifyKind(kind);
    return info != nullptr ? QString(info->label) : ToQ(kind);
}

// When the channel last announced the addresses, in local time; the file keeps it in UTC.
QString LastSentText(const std::string& lastSent) {
    if (lastSent.empty()) {
        return "not yet";
    }
    const size_t blank = lastSent.find(' ');
    const std::string stamp = lastSent.substr(0, blank);
    const QDateTime when = QDateTime::fromString(QString::fromStdString(stamp), Qt::ISODate);
    QString text = when.isValid() ? when.toLocalTime().toString("yyyy-MM-dd HH:mm") : ToQ(stamp);
    if (blank != std::string::npos && lastSent.substr(blank + 1) == "offline") {
        text += " (offline)";
    }
    return text;
}

}  // namespace

CNotificationsPage::CNotificationsPage(PageContext& context, QWidget* parent)
    : SheetPage("Notifications", parent), context_(context) {
    auto* outer = new QVBoxLayout(this);
    QGroupBox* group = MakeGroup("Channels Told Where This Machine Can Be Reached", this);
    outer->addWidget(group);
    auto* layout = new QVBoxLayout(group);

    table_ = new QTreeWidget(group);
    table_->setObjectName("NotifyTable");
    table_->setRootIsDecorated(false);
    table_->setUniformRowHeights(true);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setHeaderLabels({"Channel", "Kind", "Events", "Last Sent"});
    table_->header()->setStretchLastSection(true);
    table_->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    table_->setColumnWidth(kChannelColumn, 170);
    table_->setColumnWidth(kKindColumn, 80);
    table_->setColumnWidth(kEventsColumn, 100);
    layout->addWidget(table_, 1);

    auto* note = new QLabel(
        "Each channel is told after the mail: of a new address (change), of every refresh "
        "(cycle), of a failed step (failure), and at exit (offline). Press F1 for examples.",
        group);
    note->setWordWrap(true);
    layout->addWidget(note);

    add_ = new QPushButton("&Add...", group);
    add_->setObjectName("AddChannel");
    edit_ = new QPushButton("Ed&it...", group);
    edit_->setObjectName("EditChannel");
    remove_ = new QPushButton("Re&move", group);
    remove_->setObjectName("RemoveChannel");
    auto* buttons = new QHBoxLayout();
    for (QPushButton* button : {add_, edit_, remove_}) {
        buttons->addWidget(button);
    }
    buttons->addStretch(1);
    layout->addLayout(buttons);

    connect(add_, &QPushButton::clicked, this, &CNotificationsPage::AddChannel);
    connect(edit_, &QPushButton::clicked, this, [this] { EditChannel(SelectedRow()); });
    connect(remove_, &QPushButton::clicked, this, [this] { RemoveChannel(SelectedRow()); });
    connect(table_, &QTreeWidget::itemSelectionChanged, this, &CNotificationsPage::UpdateButtons);
    connect(table_, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { EditChannel(table_->indexOfTopLevelItem(item)); });
    FillTable(0);
}

void CNotificationsPage::showEvent(QShowEvent* event) {
    SheetPage::showEvent(event);
    FillTable(SelectedRow() < 0 ? 0 : SelectedRow());
}

void CNotificationsPage::OnSetActive() {
    SheetPage::OnSetActive();
    FillTable(SelectedRow() < 0 ? 0 : SelectedRow());
}

int CNotificationsPage::SelectedRow() const {
    const QList<QTreeWidgetItem*> selected = table_->selectedItems();
    return selected.isEmpty() ? -1 : table_->indexOfTopLevelItem(selected.front());
}

void CNotificationsPage::FillTable(int selectRow) {
    table_->clear();
    QList<QTreeWidgetItem*> rows;
    for (const NotifyChannel& c : context_.state.Settings().Notify) {
        const QString events = c.Kind == kNotifyPing ? QString("every refresh") : ToQ(c.Events);
        rows.append(new QTreeWidgetItem(QStringList{ToQ(notify::ChannelName(c)), KindText(c.Kind),
                                                    events, LastSentText(c.LastSent)}));
    }
    table_->addTopLevelItems(rows);
    if (!rows.isEmpty()) {
        const int row = selectRow >= rows.size() ? static_cast<int>(rows.size()) - 1 : selectRow;
        table_->setCurrentItem(rows.at(row < 0 ? 0 : row));
    }
    UpdateButtons();
}

void CNotificationsPage::UpdateButtons() {
    const int row = SelectedRow();
    add_->setEnabled(table_->topLevelItemCount() < kNotifyChannelLimit);
    edit_->setEnabled(row >= 0);
    remove_->setEnabled(row >= 0);
}

notify::Run CNotificationsPage::TestRun() const {
    const AppSettings s = context_.state.Settings();
    const AddressState::Snapshot a = context_.state.Addresses.Get();
    notify::Run run;
    run.addresses.wan = a.CurrentWANIP == kNotAvailable ? "" : a.CurrentWANIP;
    run.addresses.lan = a.CurrentLANIP;
    run.ipv6 = s.EnableIPv6 == 1;
    if (run.ipv6) {
        run.addresses.wan6 = a.CurrentWANIP6;
        run.addresses.lan6 = a.CurrentLANIP6;
    }
    run.values.currentWanIp = a.CurrentWANIP;
    run.values.currentLanIp = a.CurrentLANIP;
    run.values.ipv6Tokens = run.ipv6;
    run.values.currentWanIp6 = a.CurrentWANIP6;
    run.values.currentLanIp6 = a.CurrentLANIP6;
    run.values.siteName = s.SiteName;
    run.values.connectionState = context_.state.ConnectionState();
    run.values.statusIndicators = s.StatusIndicators;
    run.values.programs = context_.state.Programs.Snapshot();
    run.values.workDir = context_.state.WorkDir;
    run.timeoutSeconds = s.Timeout;
    run.tls.verify = s.TLSVerify != 0;
    run.tls.caFile = s.TLSCAFile.empty() ? "" : MapPath(context_.state.WorkDir, s.TLSCAFile);
    return run;
}

int CNotificationsPage::Run(CNotifyChannelDlg& dialog) {
    // Modal to the main window only, so the help it opens can be read beside it.
    dialog.setWindowModality(Qt::WindowModal);
    connect(&dialog, &CNotifyChannelDlg::HelpRequested, this, &CNotificationsPage::HelpRequested);
    return dialog.exec();
}

SettingsList<NotifyChannel> CNotificationsPage::Channels() const {
    return {context_.state, &AppSettings::Notify, SameNotifyTarget};
}

void CNotificationsPage::AddChannel() {
    if (Channels().Size() >= static_cast<size_t>(kNotifyChannelLimit)) {
        return;
    }
    CNotifyChannelDlg dialog(
        NotifyChannel{}, context_.boxes, [this] { return TestRun(); }, this);
    if (Run(dialog) != QDialog::Accepted) {
        return;
    }
    const int row = Channels().Add(dialog.Channel());
    SetModified();
    FillTable(row);
}

void CNotificationsPage::EditChannel(int row) {
    const std::optional<NotifyChannel> before = Channels().At(row);
    if (!before) {
        return;
    }
    CNotifyChannelDlg dialog(
        *before, context_.boxes, [this] { return TestRun(); }, this);
    if (Run(dialog) != QDialog::Accepted) {
        return;
    }
    NotifyChannel edited = dialog.Channel();
    if (SameNotifyTarget(*before, edited)) {
        return;
    }
    // A changed channel announces the addresses at the next refresh.
    edited.LastSent.clear();
    Channels().Replace(row, *before, edited);
    SetModified();
    FillTable(row);
}

void CNotificationsPage::RemoveChannel(int row) {
    const std::optional<NotifyChannel> doomed = Channels().At(row);
    if (!doomed) {
        return;
    }
    MessageBoxRequest box;
    box.text = "Remove the notification channel " + notify::ChannelName(*doomed) + "?";
    box.caption = "Notifications";
    box.buttons = MsgButtons::YesNo;
    box.icon = MsgIcon::Question;
    if (context_.boxes.MessageBox(box) != MsgAnswer::Yes) {
        return;
    }
    Channels().Remove(row, *doomed);
    SetModified();
    FillTable(row);
}

}  // namespace orvex
