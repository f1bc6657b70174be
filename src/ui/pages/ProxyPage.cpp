#include "ui/pages/ProxyPage.h"

namespace orvex {

CProxyPage::CProxyPage(PageContext& context, QWidget* parent)
    : SheetPage("Proxy/Firewall", parent), context_(context) {}

}  // namespace orvex
