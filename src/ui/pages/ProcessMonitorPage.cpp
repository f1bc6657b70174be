#include "ui/pages/ProcessMonitorPage.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/AppState.h"
#include "monitor/MonitoredPrograms.h"
#include "settings/SettingsFile.h"
#include "ui/pages/PageWidgets.h"

namespace orvex {

namespace {

enum Column { kTagColumn = 0, kNameColumn = 1, kStatusColumn = 2 };

}  // namespace

CProcessMonitor::CProcessMonitor(PageContext& context, QWidget* parent)
    : SheetPage("Program Monitor", parent), context_(context) {
    auto* outer = new QVBoxLayout(this);
    QGroupBox* group = MakeGroup("Monitored Programs", this);
    outer->addWidget(group);
    auto* layout = new QVBoxLayout(group);

    table_ = new QTreeWidget(group);
    table_->setObjectName("ProgramTable");
    table_->setRootIsDecorated(false);
    table_->setUniformRowHeights(true);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setHeaderLabels({"Program Tag", "Program Window Name", "Status"});
    // The status column takes what the table has left, so long indicator words fit.
    table_->header()->setStretchLastSection(true);
    table_->header()->setMinimumSectionSize(40);
    table_->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    table_->setColumnWidth(kTagColumn, 80);
    table_->setColumnWidth(kNameColumn, 180);
    table_->setColumnWidth(kStatusColumn, 70);
    layout->addWidget(table_, 1);

    addRemove_ = new QPushButton("&Add/Remove ...", group);
    addRemove_->setObjectName("AddRemove");
    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    buttons->addWidget(addRemove_);
    layout->addLayout(buttons);

    statusTimer_ = new QTimer(this);
    statusTimer_->setInterval(kStatusIntervalMs);
    connect(statusTimer_, &QTimer::timeout, this, &CProcessMonitor::RefreshStatusColumn);
    connect(addRemove_, &QPushButton::clicked, this, &CProcessMonitor::OpenAddRemoveDialog);
}

void CProcessMonitor::OnSetActive() {
    const bool first = !WasShown();
    SheetPage::OnSetActive();
    if (first) {
        FillProgramTable();
        statusTimer_->start();
    }
}

void CProcessMonitor::showEvent(QShowEvent* event) {
    SheetPage::showEvent(event);
    if (WasShown() && !statusTimer_->isActive()) {
        RefreshStatusColumn();
        statusTimer_->start();
    }
}

void CProcessMonitor::hideEvent(QHideEvent* event) {
    SheetPage::hideEvent(event);
    statusTimer_->stop();
}

void CProcessMonitor::RefreshIfShown() {
    if (WasShown()) {
        FillProgramTable();
    }
}

void CProcessMonitor::FillProgramTable() {
    table_->clear();
    QList<QTreeWidgetItem*> rows;
    for (const ProgramTableRow& row : ReadProgramTable(context_.state.Ini())) {
        rows.append(new QTreeWidgetItem(QStringList{ToQ(row.tag), ToQ(row.windowTitle), {}}));
    }
    table_->addTopLevelItems(rows);
    RefreshStatusColumn();
}

void CProcessMonitor::RefreshStatusColumn() {
    const std::string pair = context_.state.Settings().StatusIndicators;
    const IndicatorPair words = SplitIndicators(pair);
    for (int row = table_->topLevelItemCount() - 1; row >= 0; --row) {
        QTreeWidgetItem* item = table_->topLevelItem(row);
        const std::string name = FromQ(item->text(kNameColumn)).substr(0, kMaxValueLength);
        const bool running = context_.programs.IsShownRunning(name, pair);
        item->setText(kStatusColumn, ToQ(running ? words.running : words.stopped));
    }
}

void CProcessMonitor::OpenAddRemoveDialog() {
    CAddRemoveProgramsDlg dialog(context_.state, this, lister_);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    table_->clear();
    RefreshProgramList(context_.state.Ini(), context_.state.Settings().StatusIndicators,
                       context_.programs);
    FillProgramTable();
}

}  // namespace orvex
