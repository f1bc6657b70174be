#pragma once

#include <QLineEdit>
#include <QString>
#include <QValidator>
#include <QWidget>

#include <string>

class QGroupBox;
class QToolButton;

namespace orvex {

// Settings text is 8-bit text held in std::string and shown as UTF-8. Bytes that are no
// UTF-8 (a password decoded with another computer's key, a Latin-1 path written by hand) are
// shown as characters of their own and come back as the same bytes, so every value passes
// through a widget and back unchanged: FromQ(ToQ(bytes)) == bytes for any bytes.
QString ToQ(const std::string& text);
std::string FromQ(const QString& text);

// What a text field takes. Passwords take printable ASCII only: the scrambled form of other
// bytes may hold line ends, blanks or a zero byte, which the settings file cannot keep.
enum class Accepts { AnyText, Digits, PrintableAscii };

// Holds typed text to a number of bytes (what the settings file can keep) and to the
// characters the field accepts.
class ByteLimitValidator : public QValidator {
    Q_OBJECT
public:
    ByteLimitValidator(size_t maxBytes, Accepts accepts, QObject* parent);
    State validate(QString& input, int& pos) const override;
    void SetMaxBytes(size_t maxBytes) { maxBytes_ = maxBytes; }

private:
    size_t maxBytes_;
    Accepts accepts_;
};

// A text field that commits its value when it loses the keyboard focus.
class CommitEdit : public QLineEdit {
    Q_OBJECT
public:
    CommitEdit(size_t maxBytes, Accepts accepts, QWidget* parent);

    std::string Text() const { return FromQ(text()); }
    // Shows the value whole, even when it is longer than typing may make it.
    void SetText(const std::string& text);
    // Trims the field's text of leading and trailing blanks, shows and returns it.
    std::string TrimText();

signals:
    void FocusLost();

protected:
    void focusOutEvent(QFocusEvent* event) override;

private:
    size_t maxBytes_;
    ByteLimitValidator* validator_;
};

// A text field with an up-down control attached on its right. The arrows (and the Up and Down
// keys) set the field to its number plus or minus one, held to the range; typed text is not
// held to the range.
class UpDownEdit : public QWidget {
    Q_OBJECT
public:
    UpDownEdit(size_t maxBytes, Accepts accepts, QWidget* parent);

    CommitEdit* Edit() const { return edit_; }
    void SetRange(int low, int high);
    int Low() const { return low_; }
    int High() const { return high_; }
    // One step up (+1) or down (-1), as a click on an arrow.
    void Step(int direction);

signals:
    // The arrows changed the field's text.
    void Stepped();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    CommitEdit* edit_;
    QToolButton* up_;
    QToolButton* down_;
    int low_ = 0;
    int high_ = 100;
};

// A group box in the look of the pages.
QGroupBox* MakeGroup(const QString& title, QWidget* parent);

}  // namespace orvex
