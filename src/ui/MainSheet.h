#pragma once

#include <QWidget>

#include <string>

#include "platform/Profile.h"
#include "settings/AppSettings.h"

namespace orvex {

// The main window, titled "Orvex". It loads the settings while it is created, writing the
// default set on first start.
class CMainSheet : public QWidget {
    Q_OBJECT
public:
    CMainSheet(const std::string& workDir, const std::string& iniPath);

    const AppSettings& Settings() const { return settings_; }

    // Brings the window to the screen (a second copy of the program asked for it).
    void ShowFromOtherCopy();

private:
    void LoadOrCreateSettings();

    std::string workDir_;
    Profile ini_;
    std::string passwordKey_;
    AppSettings settings_;
    FtpPageRecord ftpPage_;
    bool defaultLookupService_ = true;
};

}  // namespace orvex
