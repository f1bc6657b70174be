#pragma once

#include "settings/AppSettings.h"
#include "ui/PageContext.h"
#include "ui/SheetPage.h"

namespace orvex {

// The "Advanced Options" page.
class COptionsPage : public SheetPage {
    Q_OBJECT
public:
    COptionsPage(PageContext& context, QWidget* parent = nullptr);

private:
    PageContext& context_;
};

}  // namespace orvex
