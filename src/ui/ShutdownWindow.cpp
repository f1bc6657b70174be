#include "ui/ShutdownWindow.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>

#include "ui/UiResources.h"

namespace orvex {

ShutdownWindow::ShutdownWindow(QWidget* parent)
    // Without the minimise function the window manager would be told that every function,
    // closing included, is allowed.
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowMinimizeButtonHint) {
    setWindowTitle("Orvex Shutdown In Progress");
    setWindowIcon(ProgramIcon());
    setModal(false);
    auto* layout = new QHBoxLayout(this);
    auto* icon = new QLabel(this);
    icon->setPixmap(ProgramIcon().pixmap(32, 32));
    layout->addWidget(icon, 0, Qt::AlignTop);
    layout->addSpacing(8);
    layout->addWidget(new QLabel("Please wait while Orvex contacts remote server.", this));
    layout->setContentsMargins(18, 18, 24, 18);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void ShutdownWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
}

}  // namespace orvex
