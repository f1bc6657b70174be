#include "ui/MainSheet.h"

#include <QLabel>
#include <QVBoxLayout>

#include "settings/SettingsFile.h"

namespace orvex {

CMainSheet::CMainSheet(const std::string& workDir, const std::string& iniPath)
    : workDir_(workDir), ini_(iniPath), passwordKey_(PasswordKey()) {
    setWindowTitle("Orvex");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Orvex", this));
    LoadOrCreateSettings();
}

void CMainSheet::LoadOrCreateSettings() {
    if (!LoadSettings(ini_, passwordKey_, settings_, ftpPage_, defaultLookupService_)) {
        WriteDefaultSettings(ini_, passwordKey_);
        LoadSettings(ini_, passwordKey_, settings_, ftpPage_, defaultLookupService_);
    }
}

void CMainSheet::ShowFromOtherCopy() {
    show();
    raise();
    activateWindow();
}

}  // namespace orvex
