#pragma once

#include <QDialog>

namespace orvex {

// "Orvex Shutdown In Progress": shown while the offline page is sent. It has no buttons and
// the user cannot close it.
class ShutdownWindow : public QDialog {
    Q_OBJECT
public:
    explicit ShutdownWindow(QWidget* parent = nullptr);

    void reject() override {}

protected:
    void closeEvent(QCloseEvent* event) override;
};

}  // namespace orvex
