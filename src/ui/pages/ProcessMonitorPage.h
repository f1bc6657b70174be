#pragma once

#include "settings/AppSettings.h"
#include "ui/PageContext.h"
#include "ui/SheetPage.h"

namespace orvex {

// The "Program Monitor" page.
class CProcessMonitor : public SheetPage {
    Q_OBJECT
public:
    CProcessMonitor(PageContext& context, QWidget* parent = nullptr);

    // At the start of every refresh: fills the table again once the page has been shown.
    void RefreshIfShown();

private:
    PageContext& context_;
};

}  // namespace orvex
