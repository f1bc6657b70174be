#include "ui/pages/PageWidgets.h"

#include <algorithm>

#include <QFocusEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QToolButton>
#include <QVBoxLayout>

#include "platform/Profile.h"
#include "platform/TextUtil.h"

namespace orvex {

ByteLimitValidator::ByteLimitValidator(size_t maxBytes, Accepts accepts, QObject* parent)
    : QValidator(parent), maxBytes_(maxBytes), accepts_(accepts) {}

QValidator::State ByteLimitValidator::validate(QString& input, int& /*pos*/) const {
    if (static_cast<size_t>(input.toUtf8().size()) > maxBytes_) {
        return Invalid;
    }
    for (QChar c : input) {
        if ((accepts_ == Accepts::Digits && (c < QChar('0') || c > QChar('9'))) ||
            (accepts_ == Accepts::PrintableAscii && (c < QChar(' ') || c > QChar('~')))) {
            return Invalid;
        }
    }
    return Acceptable;
}

CommitEdit::CommitEdit(size_t maxBytes, Accepts accepts, QWidget* parent) : QLineEdit(parent) {
    setMaxLength(static_cast<int>(maxBytes));
    setValidator(new ByteLimitValidator(maxBytes, accepts, this));
}

std::string CommitEdit::TrimText() {
    std::string trimmed = TrimBlanks(Text());
    if (trimmed != Text()) {
        SetText(trimmed);
    }
    return trimmed;
}

void CommitEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    // A context menu of the field itself is no loss of focus.
    if (event->reason() != Qt::PopupFocusReason) {
        emit FocusLost();
    }
}

UpDownEdit::UpDownEdit(size_t maxBytes, Accepts accepts, QWidget* parent)
    : QWidget(parent), edit_(new CommitEdit(maxBytes, accepts, this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(edit_, 1);

    auto* arrows = new QVBoxLayout();
    arrows->setContentsMargins(0, 0, 0, 0);
    arrows->setSpacing(0);
    up_ = new QToolButton(this);
    down_ = new QToolButton(this);
    up_->setArrowType(Qt::UpArrow);
    down_->setArrowType(Qt::DownArrow);
    const int height = edit_->sizeHint().height() / 2;
    for (QToolButton* button : {up_, down_}) {
        // The arrows never take the focus from the field, as an up-down control does not.
        button->setFocusPolicy(Qt::NoFocus);
        button->setAutoRepeat(true);
        button->setFixedSize(height + 4, height);
        button->setIconSize(QSize(height - 4, height - 4));
        arrows->addWidget(button);
    }
    layout->addLayout(arrows);
    connect(up_, &QToolButton::clicked, this, [this] { Step(1); });
    connect(down_, &QToolButton::clicked, this, [this] { Step(-1); });
    edit_->installEventFilter(this);
    setFocusProxy(edit_);
}

void UpDownEdit::SetRange(int low, int high) {
    low_ = low;
    high_ = high;
}

void UpDownEdit::Step(int direction) {
    if (!isEnabled()) {
        return;
    }
    const long long next = static_cast<long long>(AsciiToInt(edit_->Text())) + direction;
    const int value = static_cast<int>(std::clamp<long long>(next, low_, high_));
    edit_->SetText(std::to_string(value));
    emit Stepped();
}

bool UpDownEdit::eventFilter(QObject* watched, QEvent* event) {
    if (watched == edit_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            Step(key == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

QGroupBox* MakeGroup(const QString& title, QWidget* parent) {
    auto* group = new QGroupBox(title, parent);
    return group;
}

}  // namespace orvex
