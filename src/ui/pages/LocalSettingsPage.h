#pragma once

#include "settings/AppSettings.h"
#include "ui/PageContext.h"
#include "ui/SheetPage.h"

namespace orvex {

// The "FTP" page.
class CLocalSettings : public SheetPage, public FtpPageFields {
    Q_OBJECT
public:
    CLocalSettings(PageContext& context, QWidget* parent = nullptr);

    // FtpPageFields: the working copy of the FTP connection fields.
    FtpPageValues TakeValues() override;
    void ShowValues(const FtpPageValues& values) override;
    // Enables or disables the FTP fields by EnableFTP (start-up).
    void ApplyEnableRule();

private:
    PageContext& context_;
    FtpPageValues values_;
};

}  // namespace orvex
