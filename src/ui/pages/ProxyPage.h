#pragma once

#include "settings/AppSettings.h"
#include "ui/PageContext.h"
#include "ui/SheetPage.h"

namespace orvex {

// The "Proxy/Firewall" page.
class CProxyPage : public SheetPage {
    Q_OBJECT
public:
    CProxyPage(PageContext& context, QWidget* parent = nullptr);

private:
    PageContext& context_;
};

}  // namespace orvex
