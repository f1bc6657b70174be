#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QPointer>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "TempDir.h"
#include "app/AppState.h"
#include "platform/DesktopLauncher.h"
#include "ui/GuiThreadHost.h"
#include "ui/MainSheet.h"
#include "ui/PageContext.h"

namespace orvex::test {

// Runs the event loop until `done` holds or `ms` pass; the final value of `done`.
bool PumpUntil(const std::function<bool()>& done, int ms = 5000);
// Lets deferred deletions (a destroyed window) happen.
void RunDeferredDeletes();

// Records what it is asked to open; answers with `succeed`.
class RecordingLauncher : public DesktopLauncher {
public:
    bool Open(const std::string& target) override {
        std::lock_guard<std::mutex> lock(mutex_);
        opened_.push_back(target);
        return succeed;
    }
    std::vector<std::string> Opened() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return opened_;
    }
    bool succeed = true;

private:
    mutable std::mutex mutex_;
    std::vector<std::string> opened_;
};

class NoFilePicker : public FilePicker {
public:
    std::optional<std::string> OpenFile(QWidget*, const FileDialogSpec&) override {
        return std::nullopt;
    }
};

// A start-up directory with a settings file that starts nothing by itself: no update on
// start, no interval, no FTP, no mail, and a WAN lookup that fails at once on loopback.
// `edit` may change the file before the window reads it.
class ShellFixture {
public:
    explicit ShellFixture(const std::function<void(Profile&)>& edit = {});
    ~ShellFixture();

    // Builds the window with unattended message boxes.
    CMainSheet& MakeSheet();
    CMainSheet* Sheet() { return sheet_.data(); }
    // Waits for the show phase.
    void WaitShown();
    // Destroys the window if it still exists and waits until a cycle started by the test
    // has ended, so nothing outlives what it refers to.
    void TearDown();

    TempDir dir;
    std::unique_ptr<AppState> state;
    std::unique_ptr<GuiThreadHost> workerHost;
    RecordingLauncher launcher;
    NoFilePicker picker;
    // Unattended: a box without a queued answer is answered as dismissed.
    MessageBoxes boxes;

private:
    QPointer<CMainSheet> sheet_;
};

// The texts of the boxes asked, in order.
std::vector<std::string> AskedTexts(const MessageBoxes& boxes);

}  // namespace orvex::test
