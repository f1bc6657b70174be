#include "ui/pages/OptionsPage.h"

namespace orvex {

COptionsPage::COptionsPage(PageContext& context, QWidget* parent)
    : SheetPage("Advanced Options", parent), context_(context) {}

}  // namespace orvex
