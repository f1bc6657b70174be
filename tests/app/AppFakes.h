#pragma once

#include <string>
#include <vector>

#include "app/Scheduler.h"
#include "app/WindowPort.h"

namespace orvex::test {

// A main window without a window: records what the logic asked of it.
class FakeWindow : public WindowPort {
public:
    void MinimizeWindow() override {
        Note("minimize");
        visible = false;
    }
    void RestoreWindow() override {
        Note("restore");
        visible = true;
    }
    bool WindowVisible() const override { return visible; }
    void DestroyWindow() override {
        Note("destroy");
        destroyed = true;
    }
    void ActivatePage(Page page) override {
        Note("page " + std::to_string(static_cast<int>(page)));
    }
    bool HasUnsavedChanges() const override { return unsaved; }
    void MarkPagesSaved() override {
        Note("saved");
        unsaved = false;
    }
    FtpPageFields& FtpPage() override { return page; }
    void StatusFieldsChanged(const StatusFields& f) override { fields = f; }
    void RefreshProgramMonitor() override { Note("monitor"); }
    void UpdateTrayIcon() override {}
    void ShowShutdownWindow(bool show) override {
        Note(show ? "shutdown shown" : "shutdown hidden");
    }
    void EnableRefreshButton(bool enable) override { Note(enable ? "refresh on" : "refresh off"); }

    void Note(const std::string& what) { calls.push_back(what); }

    bool visible = false;
    bool destroyed = false;
    bool unsaved = false;
    FtpPageRecord page;
    StatusFields fields;
    std::vector<std::string> calls;
};

// The window timer, fired by hand.
class FakeTimer : public WindowTimer {
public:
    bool Set(unsigned milliseconds) override {
        if (failSet) {
            return false;
        }
        armed = true;
        period = milliseconds;
        sets.push_back(milliseconds);
        return true;
    }
    bool Kill() override {
        const bool was = armed;
        armed = false;
        return was;
    }
    bool armed = false;
    bool failSet = false;
    unsigned period = 0;
    std::vector<unsigned> sets;
};

// Counts cycle starts; a started cycle "runs" until Finish().
class FakeLauncher : public CycleLauncher {
public:
    explicit FakeLauncher(CycleFlags& flags) : flags_(flags) {}
    void StartOnlineCycle() override { ++online; }
    void StartOfflineCycle() override { ++offline; }
    int RunOfflineCycleHere() override {
        ++offlineHere;
        flags_.ReleaseCycle();
        return offlineHereResult;
    }
    void Finish() { flags_.ReleaseCycle(); }

    int online = 0;
    int offline = 0;
    int offlineHere = 0;
    int offlineHereResult = 1;

private:
    CycleFlags& flags_;
};

// A filled FTP page.
inline FtpPageValues FilledFtpPage() {
    FtpPageValues v;
    v.FTPServer = "127.0.0.1";
    v.SiteName = "Site";
    v.UserID = "user";
    v.Password = "pw";
    v.OnlineFile = "on.htm";
    v.OfflineFile = "off.htm";
    v.RemoteFile = "page.htm";
    v.Port = "21";
    return v;
}

}  // namespace orvex::test
