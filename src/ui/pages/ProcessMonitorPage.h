#pragma once

#include "settings/AppSettings.h"
#include "ui/dialogs/AddRemoveProgramsDlg.h"
#include "ui/PageContext.h"
#include "ui/SheetPage.h"

class QPushButton;
class QTimer;
class QTreeWidget;

namespace orvex {

// The "Program Monitor" page: a table of the monitored window titles with the state each had
// when the list was last built, and the button that opens "Add/Remove Programs".
class CProcessMonitor : public SheetPage {
    Q_OBJECT
public:
    CProcessMonitor(PageContext& context, QWidget* parent = nullptr);

    // At the start of every refresh: fills the table again once the page has been shown.
    void RefreshIfShown();

    // First activation: fills the table and starts the one-second status timer.
    void OnSetActive() override;

    // Every entry of section "Programs", empty ones included, then the status column.
    void FillProgramTable();
    // The running or stopped word of each row, by the list's stored states.
    void RefreshStatusColumn();

    static constexpr int kStatusIntervalMs = 1000;

    // Where "Add/Remove Programs" finds the open windows; the desktop's when not set.
    void SetWindowLister(CAddRemoveProgramsDlg::WindowLister lister) {
        lister_ = std::move(lister);
    }

protected:
    // The status timer runs only while the page can be seen: a window hidden in the tray
    // wakes for nothing of its own. Shown again, the column is brought up to date at once.
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void OpenAddRemoveDialog();

    PageContext& context_;
    QTreeWidget* table_;
    QPushButton* addRemove_;
    QTimer* statusTimer_;
    CAddRemoveProgramsDlg::WindowLister lister_;
};

}  // namespace orvex
