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

namespace {

// A byte that is no part of well-formed UTF-8 is shown as the private-use character
// kRawByteBase + byte; those characters themselves, read from UTF-8, are taken as raw bytes
// too, so the way back is never ambiguous.
constexpr char32_t kRawByteBase = 0xF700;

bool IsRawByteChar(char32_t c) {
    return c >= kRawByteBase + 0x80 && c <= kRawByteBase + 0xFF;
}

// The code point of the well-formed UTF-8 sequence at `at`, and its length; 0 when the bytes
// there are not one.
size_t DecodeUtf8(const std::string& text, size_t at, char32_t* c) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    size_t length = 0;
    char32_t value = 0;
    char32_t least = 0;
    if (lead < 0x80) {
        *c = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
        least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
        least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
        least = 0x10000;
    } else {
        return 0;
    }
    if (at + length > text.size()) {
        return 0;
    }
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) {
            return 0;
        }
        value = (value << 6) | (byte(at + i) & 0x3F);
    }
    if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF) ||
        IsRawByteChar(value)) {
        return 0;
    }
    *c = value;
    return length;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

QString ToQ(const std::string& text) {
    std::u32string chars;
    chars.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        char32_t c = 0;
        const size_t length = DecodeUtf8(text, at, &c);
        if (length == 0) {
            chars += static_cast<char32_t>(kRawByteBase + static_cast<unsigned char>(text[at]));
            ++at;
        } else {
            chars += c;
            at += length;
        }
    }
    return QString::fromStdU32String(chars);
}

std::string FromQ(const QString& text) {
    std::string out;
    out.reserve(static_cast<size_t>(text.size()));
    for (char32_t c : text.toStdU32String()) {
        if (IsRawByteChar(c)) {
            out += static_cast<char>(c - kRawByteBase);
        } else {
            AppendUtf8(out, c);
        }
    }
    return out;
}

ByteLimitValidator::ByteLimitValidator(size_t maxBytes, Accepts accepts, QObject* parent)
    : QValidator(parent), maxBytes_(maxBytes), accepts_(accepts) {}

QValidator::State ByteLimitValidator::validate(QString& input, int& /*pos*/) const {
    if (FromQ(input).size() > maxBytes_) {
        return Invalid;
    }
    for (char32_t c : input.toStdU32String()) {
        // Raw bytes come only from a stored value, which an edit keeps as it was.
        if ((accepts_ == Accepts::Digits && (c < '0' || c > '9')) ||
            (accepts_ == Accepts::PrintableAscii && (c < ' ' || c > '~') && !IsRawByteChar(c))) {
            return Invalid;
        }
    }
    return Acceptable;
}

CommitEdit::CommitEdit(size_t maxBytes, Accepts accepts, QWidget* parent)
    : QLineEdit(parent),
      maxBytes_(maxBytes),
      validator_(new ByteLimitValidator(maxBytes, accepts, this)) {
    setMaxLength(static_cast<int>(maxBytes));
    setValidator(validator_);
}

void CommitEdit::SetText(const std::string& text) {
    // A longer value from the settings file is shown whole rather than cut by the field; edits
    // may then keep it at that length.
    const size_t limit = std::max(maxBytes_, text.size());
    validator_->SetMaxBytes(limit);
    setMaxLength(static_cast<int>(std::max<size_t>(limit, 1)));
    setText(ToQ(text));
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
