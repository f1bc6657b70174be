#pragma once

#include <QDialog>

#include <functional>
#include <string>
#include <vector>

#include "platform/X11Windows.h"

class QComboBox;
class QListWidget;
class QPushButton;

namespace orvex {

class AppState;

// At most this many open-window titles are offered per opening of the dialog.
inline constexpr size_t kMaxOfferedWindows = 20;

// The titles of `windows` a user may pick: windows a task bar would show, titled, with a
// title the settings file can keep, at most kMaxOfferedWindows of them, in list order.
std::vector<std::string> CollectWindowTitles(const std::vector<TopLevelWindow>& windows);

// The collected titles to offer beside the monitored ones: taken from the last to the first,
// leaving out a title that begins a monitored title (without regard to case) and a title
// already offered.
std::vector<std::string> UnmonitoredTitles(const std::vector<std::string>& collected,
                                           const std::vector<std::string>& monitored);

// "Add/Remove Programs": picks the monitored window titles from the windows open now, and the
// indicator pair. OK stores both in the settings file; Cancel stores nothing.
class CAddRemoveProgramsDlg : public QDialog {
    Q_OBJECT
public:
    using WindowLister = std::function<std::vector<TopLevelWindow>()>;

    // `lister` gives the open top-level windows; by default those of the desktop.
    explicit CAddRemoveProgramsDlg(AppState& state, QWidget* parent = nullptr,
                                   WindowLister lister = {});

    // OK: stores the monitored titles in alphabetical order and the indicator pair.
    void accept() override;

    std::vector<std::string> MonitoredTitles() const;
    std::vector<std::string> UnmonitoredTitles() const;

private:
    void Move(QListWidget* from, QListWidget* to, bool all);
    void UpdateButtons();

    AppState& state_;
    std::string pair_;
    QListWidget* unmonitored_;
    QListWidget* monitored_;
    QPushButton* add_;
    QPushButton* remove_;
    QPushButton* addAll_;
    QPushButton* removeAll_;
    QComboBox* indicators_;
};

}  // namespace orvex
