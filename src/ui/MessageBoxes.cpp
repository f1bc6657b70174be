#include "ui/MessageBoxes.h"

#include <QMessageBox>
#include <QPushButton>

namespace orvex {

namespace {

QMessageBox::Icon QtIcon(MsgIcon icon) {
    switch (icon) {
        case MsgIcon::Error:
            return QMessageBox::Critical;
        case MsgIcon::Warning:
            return QMessageBox::Warning;
        case MsgIcon::Question:
            return QMessageBox::Question;
        case MsgIcon::Information:
            return QMessageBox::Information;
        case MsgIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

struct ButtonSet {
    std::vector<std::pair<QMessageBox::StandardButton, MsgAnswer>> buttons;
};

ButtonSet ButtonsOf(MsgButtons buttons) {
    switch (buttons) {
        case MsgButtons::Ok:
            return {{{QMessageBox::Ok, MsgAnswer::Ok}}};
        case MsgButtons::OkCancel:
            return {{{QMessageBox::Ok, MsgAnswer::Ok}, {QMessageBox::Cancel, MsgAnswer::Cancel}}};
        case MsgButtons::YesNo:
            return {{{QMessageBox::Yes, MsgAnswer::Yes}, {QMessageBox::No, MsgAnswer::No}}};
        case MsgButtons::YesNoCancel:
            return {{{QMessageBox::Yes, MsgAnswer::Yes},
                     {QMessageBox::No, MsgAnswer::No},
                     {QMessageBox::Cancel, MsgAnswer::Cancel}}};
    }
    return {{{QMessageBox::Ok, MsgAnswer::Ok}}};
}

}  // namespace

MsgAnswer MessageBoxes::Ask(const MessageBoxRequest& request, QWidget* parent) {
    asked_.push_back(request);
    if (!answers_.empty()) {
        const MsgAnswer answer = answers_.front();
        answers_.pop_front();
        return answer;
    }
    if (unattended_) {
        return DismissedAnswer(request.buttons);
    }

    QMessageBox box(QtIcon(request.icon), QString::fromStdString(request.caption),
                    QString::fromStdString(request.text), QMessageBox::NoButton, parent);
    const ButtonSet set = ButtonsOf(request.buttons);
    for (const auto& [button, answer] : set.buttons) {
        box.addButton(button);
    }
    const size_t defaultIndex =
        static_cast<size_t>(request.defaultButton > 0 ? request.defaultButton - 1 : 0);
    if (defaultIndex < set.buttons.size()) {
        box.setDefaultButton(set.buttons[defaultIndex].first);
    }
    // Qt picks Cancel, or No, or the only button for Escape and the close box: the answer of a
    // dismissed box.
    const int clicked = box.exec();
    for (const auto& [button, answer] : set.buttons) {
        if (clicked == button) {
            return answer;
        }
    }
    return DismissedAnswer(request.buttons);
}

}  // namespace orvex
