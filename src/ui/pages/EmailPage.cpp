#include "ui/pages/EmailPage.h"

namespace orvex {

CEmailPage::CEmailPage(PageContext& context, QWidget* parent)
    : SheetPage("E-Mail Options", parent), context_(context) {}

}  // namespace orvex
