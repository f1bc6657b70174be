#include "ui/pages/LocalSettingsPage.h"

namespace orvex {

CLocalSettings::CLocalSettings(PageContext& context, QWidget* parent)
    : SheetPage("FTP", parent), context_(context) {}

FtpPageValues CLocalSettings::TakeValues() {
    return values_;
}

void CLocalSettings::ShowValues(const FtpPageValues& values) {
    values_ = values;
}

void CLocalSettings::ApplyEnableRule() {}

}  // namespace orvex
