#include "app/ExitRoutine.h"

namespace orvex {

namespace {}  // namespace

ExitRoutine::ExitRoutine(AppState& state, WindowPort& window, Host& boxes, Scheduler& scheduler,
                         SettingsCommands& settings, CycleLauncher& cycles)
    : state_(state),
      window_(window),
      boxes_(boxes),
      scheduler_(scheduler),
      settings_(settings),
      cycles_(cycles) {}

bool ExitRoutine::AskToSave(bool cancellable) {
    if (!window_.HasUnsavedChanges()) {
        return true;
    }
    MessageBoxRequest box;
    box.text = kSaveQuestion;
    box.caption = "Exit Orvex";
    box.buttons = MsgButtons::YesNoCancel;
    box.icon = MsgIcon::Question;
    const MsgAnswer answer = boxes_.MessageBox(box);
    if (answer == MsgAnswer::Yes && !settings_.Save()) {
        // The refusal was shown; stay so the user can mend the choice, when that is allowed.
        return !cancellable;
    }
    return !(cancellable && answer == MsgAnswer::Cancel);
}

bool ExitRoutine::AskExitAnyway() {
    window_.RestoreWindow();
    window_.ActivatePage(Page::Status);
    MessageBoxRequest box;
    box.text = kExitAnywayQuestion;
    box.caption = "Orvex Error";
    box.buttons = MsgButtons::YesNo;
    box.icon = MsgIcon::Warning;
    if (boxes_.MessageBox(box) != MsgAnswer::Yes) {
        return false;
    }
    state_.Flags.ExitCommitted = 1;
    window_.DestroyWindow();
    return true;
}

bool ExitRoutine::ExitProgram() {
    if (!AskToSave(true)) {
        return false;
    }
    settings_.CommitFtpPage();
    if (state_.Flags.CycleSucceeded == 0) {
        window_.DestroyWindow();
        return true;
    }
    // Cycles never overlap, so a cycle still in its lookups counts as running too.
    if (state_.Flags.CycleBusy == 1 || state_.Flags.CycleRunning) {
        MessageBoxRequest box;
        box.text = kTransferQuestion;
        box.caption = "Exit Orvex";
        box.buttons = MsgButtons::YesNo;
        box.defaultButton = 2;
        if (boxes_.MessageBox(box) != MsgAnswer::Yes) {
            return false;
        }
        window_.DestroyWindow();
        return true;
    }
    if (state_.Settings().IsUpdateOnShut == 0) {
        window_.DestroyWindow();
        return true;
    }
    if (window_.WindowVisible()) {
        window_.MinimizeWindow();
    }
    if (scheduler_.ValidateSettings() && state_.Flags.TryClaimCycle()) {
        cycles_.StartOfflineCycle();
        return true;
    }
    return AskExitAnyway();
}

void ExitRoutine::OnExitRequest() {
    AskToSave(false);
    window_.DestroyWindow();
}

void ExitRoutine::OnShutdownError() {
    if (state_.Settings().NotifyErrorOnShut == 1) {
        AskExitAnyway();
        return;
    }
    OnExitRequest();
}

bool ExitRoutine::EndSessionAwaitsCycle() const {
    return state_.Settings().IsUpdateOnShut == 1 && state_.Flags.CycleRunning;
}

bool ExitRoutine::OnQueryEndSession() {
    if (state_.Settings().IsUpdateOnShut != 1) {
        return true;
    }
    if (!state_.Flags.TryClaimCycle()) {
        return false;
    }
    // Before any cycle or host message the settings do not hold the FTP page's fields yet;
    // without them the offline page would be looked for under an empty name.
    settings_.CommitFtpPage();
    return cycles_.RunOfflineCycleHere() != -1;
}

}  // namespace orvex
