#include "ui/pages/ProcessMonitorPage.h"

namespace orvex {

CProcessMonitor::CProcessMonitor(PageContext& context, QWidget* parent)
    : SheetPage("Program Monitor", parent), context_(context) {}

void CProcessMonitor::RefreshIfShown() {}

}  // namespace orvex
