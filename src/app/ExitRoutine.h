#pragma once

#include "app/AppState.h"
#include "app/Scheduler.h"
#include "app/SettingsCommands.h"
#include "app/WindowPort.h"
#include "platform/Host.h"

namespace orvex {

// Every way of closing the program: its questions, the offline publication, the end of the
// desktop session, and the cycle's exit and failure reports.
class ExitRoutine {
public:
    ExitRoutine(AppState& state, WindowPort& window, Host& boxes, Scheduler& scheduler,
                SettingsCommands& settings, CycleLauncher& cycles);

    // Exit, Shutdown, the Exit button and the close box. True when the window was destroyed
    // or the offline cycle was started; false when the user chose to keep the program.
    bool ExitProgram();
    // The offline cycle is done: ask about unsaved settings, then close.
    void OnExitRequest();
    // The offline publication started by an exit request failed.
    void OnShutdownError();
    // The desktop session ends; the answer says whether it may.
    bool OnQueryEndSession();
    // Whether the end of the session would publish the offline page but a cycle still holds
    // the claim, so that asking now would be refused only for want of waiting.
    bool EndSessionAwaitsCycle() const;

    static constexpr const char* kSaveQuestion = "Do you want to save your settings?";
    static constexpr const char* kTransferQuestion =
        "You are in the middle of a transfer, are you sure you want to exit?";
    static constexpr const char* kExitAnywayQuestion =
        "There was an error uploading page. Exit anyway?";

private:
    // Asks about unsaved settings; false when the user cancelled (only if `cancellable`).
    bool AskToSave(bool cancellable);
    // Back on the Status page, asks whether to exit anyway; closes on Yes.
    bool AskExitAnyway();

    AppState& state_;
    WindowPort& window_;
    Host& boxes_;
    Scheduler& scheduler_;
    SettingsCommands& settings_;
    CycleLauncher& cycles_;
};

}  // namespace orvex
