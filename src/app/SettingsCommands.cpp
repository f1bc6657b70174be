#include "app/SettingsCommands.h"

#include "ftp/LogonSequence.h"
#include "platform/FileIo.h"
#include "platform/StatusTexts.h"
#include "settings/OutsideSecrets.h"
#include "settings/SettingsFile.h"

namespace orvex {

// The settings check knows the logon types by number only; the FTP client has their table.
static_assert(kLogonTypeCount == kLogonTypes);

SettingsCommands::SettingsCommands(AppState& state, WindowPort& window, Scheduler& scheduler,
                                   std::string passwordKey, Host* boxes)
    : state_(state),
      window_(window),
      scheduler_(scheduler),
      passwordKey_(std::move(passwordKey)),
      boxes_(boxes) {}

void SettingsCommands::LoadAtStart() {
    AppSettings settings = state_.Settings();
    bool defaultService = true;
    if (!LoadSettings(state_.Ini(), passwordKey_, settings, window_.FtpPage(), defaultService)) {
        WriteDefaultSettings(state_.Ini(), passwordKey_);
        LoadSettings(state_.Ini(), passwordKey_, settings, window_.FtpPage(), defaultService);
    }
    if (settings.UseKeyring == 1 && secrets_ != nullptr) {
        // A password the keyring holds replaces the one in the file (which a save empties).
        FtpPageValues page = window_.FtpPage().TakeValues();
        for (auto& [key, password] : PasswordSlots(settings, page)) {
            if (const auto kept = secrets_->Lookup(state_.IniPath, key)) {
                *password = *kept;
            }
        }
        settings.Password = page.Password;
        window_.FtpPage().ShowValues(page);
    }
    state_.DefaultLookupService = defaultService;
    state_.EditSettings([&](AppSettings& s) { s = settings; });
    asLoaded_ = settings;
    if (applied_) {
        applied_();
    }
}

bool SettingsCommands::Save() {
    const FtpPageValues page = window_.FtpPage().TakeValues();
    const AppSettings settings = state_.Settings();
    const std::string conflict =
        SecurityConflict(page.FTPSecurity, settings.UseProxy, settings.LogonType);
    if (!conflict.empty()) {
        if (boxes_ != nullptr) {
            MessageBoxRequest box;
            box.text = conflict;
            box.caption = "Save";
            box.icon = MsgIcon::Error;
            boxes_->MessageBox(box);
        }
        return false;
    }
    if (settings.UseKeyring == 1 && secrets_ != nullptr) {
        // Each password the keyring takes is written empty; one it does not take stays
        // scrambled in the file, so nothing is lost where no keyring answers.
        FtpPageValues filePage = page;
        AppSettings fileSettings = settings;
        for (auto& [key, password] : PasswordSlots(fileSettings, filePage)) {
            if (secrets_->Store(state_.IniPath, key, *password)) {
                password->clear();
            }
        }
        WriteSettings(state_.Ini(), passwordKey_, filePage, fileSettings);
    } else {
        WriteSettings(state_.Ini(), passwordKey_, page, settings);
    }
    // The lookup services were edited by hand before the Advanced Options page showed them:
    // they are written only when changed there, so a file that never held them stays as it
    // was.
    WriteChangedLookupServices(state_.Ini(), settings, asLoaded_);
    asLoaded_ = settings;
    // Every write was refused; without a word the user would think the settings kept.
    if (notice_ && IsReadOnlyFile(state_.Ini().Path())) {
        notice_(HostMessage::Coded(
            status::kFileErrorPrefix,
            state_.Ini().Path() + " is read-only: the settings were not saved."));
    }
    window_.MarkPagesSaved();
    scheduler_.ScheduleRefresh(state_.Settings().RefreshIntv);
    if (state_.IntervalEdited.exchange(false)) {
        scheduler_.StartRefresh();
    }
    CommitFtpPage();
    if (applied_) {
        applied_();
    }
    return true;
}

void SettingsCommands::CommitFtpPage() {
    state_.EditSettings([&](AppSettings& s) { orvex::CommitFtpPage(window_.FtpPage(), s); });
}

}  // namespace orvex
