#include "ui/LinkLabel.h"

#include <QFileInfo>
#include <QMouseEvent>
#include <QUrl>

#include "ui/UiResources.h"

namespace orvex {

const QColor CLinkLabel::kLinkColour(0, 0, 238);
const QColor CLinkLabel::kVisitedColour(85, 26, 139);

CLinkLabel::Fallback CLinkLabel::DesktopFallback() {
    return Fallback{[] { return DefaultBrowserExec(XdgPaths::FromEnvironment()); }, StartProgram};
}

CLinkLabel::CLinkLabel(const QString& text, DesktopLauncher& launcher, Host& boxes, QWidget* parent,
                       Fallback fallback)
    : QLabel(text, parent), launcher_(launcher), boxes_(boxes), fallback_(std::move(fallback)) {
    // A label without a target opens what it shows; one without text shows its target.
    target_ = text;
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setCursor(LinkCursor());
    setToolTip(target_);
    ApplyLook();
}

void CLinkLabel::SetTarget(const QString& target) {
    target_ = target;
    if (text().isEmpty()) {
        setText(target_);
    }
    setToolTip(target_);
    adjustSize();
}

void CLinkLabel::MarkVisited(bool visited) {
    visited_ = visited;
    ApplyLook();
}

void CLinkLabel::SetUnderline(bool underline) {
    underline_ = underline;
    ApplyLook();
}

void CLinkLabel::ApplyLook() {
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, CurrentColour());
    setPalette(colours);
    QFont look = font();
    look.setUnderline(underline_);
    setFont(look);
    update();
}

int CLinkLabel::OpenTarget() {
    const std::string target = target_.toStdString();
    int result = kOpenSucceeded;
    if (!launcher_.Open(target)) {
        // A local path that does not exist is reported as such; anything else found no viewer.
        const QUrl url(target_);
        const bool localPath = url.scheme().isEmpty() || url.isLocalFile();
        result = (localPath && !QFileInfo::exists(url.isLocalFile() ? url.toLocalFile() : target_))
                     ? kOpenFileNotFound
                     : kOpenNoAssociation;
        // The default browser's own command; without one the desktop's failure stands.
        const std::string exec = fallback_.browserExec ? fallback_.browserExec() : std::string();
        if (!exec.empty() && fallback_.start) {
            result = fallback_.start(BrowserArguments(exec, target));
        }
    }
    MarkVisited(result > 32);
    if (result <= 32) {
        ShowOpenError(result);
    }
    return result;
}

void CLinkLabel::ShowOpenError(int code) {
    MessageBoxRequest box;
    box.text = OpenErrorText(code);
    box.icon = MsgIcon::Warning;
    boxes_.MessageBox(box);
}

void CLinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        OpenTarget();
        return;
    }
    QLabel::mouseReleaseEvent(event);
}

}  // namespace orvex
