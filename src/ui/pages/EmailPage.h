#pragma once

#include "settings/AppSettings.h"
#include "ui/PageContext.h"
#include "ui/SheetPage.h"

namespace orvex {

// The "E-Mail Options" page.
class CEmailPage : public SheetPage {
    Q_OBJECT
public:
    CEmailPage(PageContext& context, QWidget* parent = nullptr);

private:
    PageContext& context_;
};

}  // namespace orvex
