#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include <QLineEdit>
#include <QWidget>

#include <gtest/gtest.h>

#include "ManualClock.h"
#include "RecordingHost.h"
#include "TempDir.h"
#include "app/AppState.h"
#include "app/Scheduler.h"
#include "app/SettingsCommands.h"
#include "app/StatusDisplay.h"
#include "ui/PageContext.h"
#include "ui/SheetPage.h"

namespace orvex::test {

// A main window without a window: the FTP page it names and the pages Save unmarks.
class RigWindow : public WindowPort {
public:
    void MinimizeWindow() override {}
    void RestoreWindow() override {}
    bool WindowVisible() const override { return true; }
    void DestroyWindow() override {}
    void ActivatePage(Page) override {}
    bool HasUnsavedChanges() const override;
    void MarkPagesSaved() override;
    FtpPageFields& FtpPage() override { return ftp != nullptr ? *ftp : record; }
    void StatusFieldsChanged(const StatusFields&) override {}
    void RefreshProgramMonitor() override { ++monitorRefreshes; }
    void UpdateTrayIcon() override {}
    void ShowShutdownWindow(bool) override {}
    void EnableRefreshButton(bool) override {}

    FtpPageFields* ftp = nullptr;
    FtpPageRecord record;
    std::vector<SheetPage*> pages;
    int monitorRefreshes = 0;
};

class RigTimer : public WindowTimer {
public:
    bool Set(unsigned milliseconds) override {
        periods.push_back(milliseconds);
        return true;
    }
    bool Kill() override { return true; }
    std::vector<unsigned> periods;
};

class RigLauncher : public CycleLauncher {
public:
    explicit RigLauncher(CycleFlags& flags) : flags_(flags) {}
    void StartOnlineCycle() override {
        ++online;
        flags_.ReleaseCycle();
    }
    void StartOfflineCycle() override { flags_.ReleaseCycle(); }
    int RunOfflineCycleHere() override {
        flags_.ReleaseCycle();
        return 1;
    }
    int online = 0;

private:
    CycleFlags& flags_;
};

// Answers open-file dialogs from a queue (cancelled when empty) and records their set-up.
class RigPicker : public FilePicker {
public:
    std::optional<std::string> OpenFile(QWidget*, const FileDialogSpec& dialog) override {
        dialogs.push_back(dialog);
        if (answers.empty()) {
            return std::nullopt;
        }
        std::optional<std::string> answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::deque<std::optional<std::string>> answers;
    std::vector<FileDialogSpec> dialogs;
};

// Everything a page needs, over a temporary start-up directory and its settings file.
struct PageRig {
    PageRig();

    TempDir dir;
    AppState state;
    RigWindow window;
    RigTimer timer;
    RecordingHost host;
    ManualClock clock;
    StatusDisplay status;
    RigLauncher launcher;
    Scheduler scheduler;
    SettingsCommands commands;
    RigPicker picker;
    PageContext context;
};

template <typename T = QWidget>
T* Child(QWidget* parent, const char* name) {
    T* child = parent->findChild<T*>(name);
    if (child == nullptr) {
        ADD_FAILURE() << "no control named " << name;
    }
    return child;
}

// Types `text` into the field as the keyboard would, replacing what it held.
void Retype(QLineEdit* edit, const QString& text);
// The keyboard focus leaves the widget.
void LeaveField(QWidget* widget);
std::string Text(QLineEdit* edit);

}  // namespace orvex::test
