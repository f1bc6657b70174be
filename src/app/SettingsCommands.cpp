#include "app/SettingsCommands.h"

#include "platform/FileIo.h"
#include "platform/StatusTexts.h"
#include "settings/SettingsFile.h"

namespace orvex {

SettingsCommands::SettingsCommands(AppState& state, WindowPort& window, Scheduler& scheduler,
                                   std::string passwordKey)
    : state_(state), window_(window), scheduler_(scheduler), passwordKey_(std::move(passwordKey)) {}

void SettingsCommands::LoadAtStart() {
    AppSettings settings = state_.Settings();
    bool defaultService = true;
    if (!LoadSettings(state_.Ini(), passwordKey_, settings, window_.FtpPage(), defaultService)) {
        WriteDefaultSettings(state_.Ini(), passwordKey_);
        LoadSettings(state_.Ini(), passwordKey_, settings, window_.FtpPage(), defaultService);
    }
    state_.DefaultLookupService = defaultService;
    state_.EditSettings([&](AppSettings& s) { s = settings; });
    asLoaded_ = settings;
}

void SettingsCommands::Save() {
    const AppSettings settings = state_.Settings();
    WriteSettings(state_.Ini(), passwordKey_, window_.FtpPage().TakeValues(), settings);
    // The lookup services were edited by hand before the Advanced Options page showed them:
    // they are written only when changed there, so a file that never held them stays as it
    // was.
    WriteChangedLookupServices(state_.Ini(), settings, asLoaded_);
    asLoaded_ = settings;
    // Every write was refused; without a word the user would think the settings kept.
    if (notice_ && IsReadOnlyFile(state_.Ini().Path())) {
        notice_(std::string(status::kFileErrorPrefix) + state_.Ini().Path() +
                " is read-only: the settings were not saved.");
    }
    window_.MarkPagesSaved();
    scheduler_.ScheduleRefresh(state_.Settings().RefreshIntv);
    if (state_.IntervalEdited.exchange(false)) {
        scheduler_.StartRefresh();
    }
    CommitFtpPage();
}

void SettingsCommands::CommitFtpPage() {
    state_.EditSettings([&](AppSettings& s) { orvex::CommitFtpPage(window_.FtpPage(), s); });
}

}  // namespace orvex
