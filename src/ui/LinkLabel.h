#pragma once

#include <QColor>
#include <QLabel>

#include <functional>
#include <string>
#include <vector>

#include "platform/DesktopLauncher.h"
#include "platform/Host.h"
#include "platform/BrowserFallback.h"

namespace orvex {

// A text that works as a web link: coloured and underlined, a pointing-hand cursor, a tooltip
// with the target, and a click that opens the target in the desktop's browser, with a
// fallback to the default browser's own command and a message naming the reason when nothing
// works.
class CLinkLabel : public QLabel {
    Q_OBJECT
public:
    // Where a link goes when the desktop cannot open it: the default browser's Exec line and
    // the starter of its command. Replaceable for tests.
    struct Fallback {
        std::function<std::string()> browserExec;
        std::function<int(const std::vector<std::string>&)> start;
    };
    static Fallback DesktopFallback();

    CLinkLabel(const QString& text, DesktopLauncher& launcher, Host& boxes,
               QWidget* parent = nullptr, Fallback fallback = DesktopFallback());

    // The address opened; the shown text stays as it is.
    void SetTarget(const QString& target);
    const QString& Target() const { return target_; }

    void MarkVisited(bool visited);
    bool Visited() const { return visited_; }
    void SetUnderline(bool underline);

    static const QColor kLinkColour;
    static const QColor kVisitedColour;
    QColor CurrentColour() const { return visited_ ? kVisitedColour : kLinkColour; }

    // Opens the target; the result in the shell's numbering (above 32 is success).
    int OpenTarget();
    // The warning box for a failed open.
    void ShowOpenError(int code);

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void ApplyLook();

    DesktopLauncher& launcher_;
    Host& boxes_;
    Fallback fallback_;
    QString target_;
    bool visited_ = false;
    bool underline_ = true;
};

}  // namespace orvex
