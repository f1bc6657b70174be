#pragma once

#include "settings/AppSettings.h"
#include "ui/PageContext.h"
#include "ui/SheetPage.h"
#include "ui/pages/SettingsList.h"

class QPushButton;
class QTimer;
class QTreeWidget;

namespace orvex {

class CDynamicDnsEntryDlg;

// The settings file reads back at most this many entries.
inline constexpr size_t kMaxDynamicDnsEntries = 64;

// The "Dynamic DNS" page: the names kept pointing at this machine, one row per entry, with the
// buttons that add, edit, remove and reorder them. The settings record is the only copy of the
// entries: every activation shows them from it and every change is made in it at once.
class CDynamicDnsPage : public SheetPage {
    Q_OBJECT
public:
    CDynamicDnsPage(PageContext& context, QWidget* parent = nullptr);

    void OnSetActive() override;

    // Opens "Dynamic DNS Entry" for a new entry, or for the entry at `row`.
    void AddEntry();
    void EditEntry(int row);
    // Asks first; the entry goes only on Yes.
    void RemoveEntry(int row);
    // Swaps the entry at `row` with its neighbour above (-1) or below (+1).
    void MoveEntry(int row, int direction);

    // Shows the last update of each entry as the cycles have recorded it since.
    void RefreshLastUpdates();
    static constexpr int kLastUpdateIntervalMs = 2000;

signals:
    // The entry dialog asks for a help topic.
    void HelpRequested(const QString& topic);

protected:
    // The cycles record their updates while the page may be in view; it follows them only
    // while it can be seen.
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // The settings' entries, as this page edits them.
    SettingsList<DynamicDnsEntry> Entries() const;
    // Shows the entries of the settings record, `selectRow` selected.
    void FillTable(int selectRow);
    int Run(CDynamicDnsEntryDlg& dialog);
    void UpdateButtons();
    int SelectedRow() const;

    PageContext& context_;
    QTreeWidget* table_;
    QPushButton* add_;
    QPushButton* edit_;
    QPushButton* remove_;
    QPushButton* up_;
    QPushButton* down_;
    QTimer* lastUpdateTimer_;
};

}  // namespace orvex
