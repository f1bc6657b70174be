#include "PageRig.h"

#include <QApplication>
#include <QFocusEvent>
#include <QTest>

#include <gtest/gtest.h>

#include "settings/SettingsFile.h"

namespace orvex::test {

bool RigWindow::HasUnsavedChanges() const {
    for (SheetPage* page : pages) {
        if (page->IsModified()) {
            return true;
        }
    }
    return false;
}

void RigWindow::MarkPagesSaved() {
    for (SheetPage* page : pages) {
        page->SetModified(false);
    }
}

PageRig::PageRig()
    : state(dir.Path(), dir.File("Orvex.ini")),
      status(
          state, window, clock, [](const std::string&) {},
          [] { return std::pair<std::string, std::string>(); }),
      launcher(state.Flags),
      scheduler(state, window, timer, host, status, launcher),
      commands(state, window, scheduler, PasswordKey(), &host),
      context{state, scheduler, host, picker, state.Programs, dir.Path()} {}

void Retype(QLineEdit* edit, const QString& text) {
    ASSERT_NE(edit, nullptr);
    edit->selectAll();
    if (text.isEmpty()) {
        QTest::keyClick(edit, Qt::Key_Backspace);
    } else {
        QTest::keyClicks(edit, text);
    }
}

void LeaveField(QWidget* widget) {
    ASSERT_NE(widget, nullptr);
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(widget, &out);
}

std::string Text(QLineEdit* edit) {
    return edit == nullptr ? std::string("<missing>") : edit->text().toStdString();
}

}  // namespace orvex::test
