#include "ui/SheetPage.h"

namespace orvex {

SheetPage::SheetPage(const QString& caption, QWidget* parent)
    : QWidget(parent), caption_(caption) {}

void SheetPage::SetModified(bool modified) {
    if (modified_ != modified) {
        modified_ = modified;
        emit ModifiedChanged();
    }
}

void SheetPage::OnSetActive() {
    shown_ = true;
}

}  // namespace orvex
