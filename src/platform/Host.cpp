#include "platform/Host.h"

namespace orvex {

MsgAnswer DismissedAnswer(MsgButtons buttons) {
    switch (buttons) {
        case MsgButtons::Ok:
            return MsgAnswer::Ok;
        case MsgButtons::OkCancel:
        case MsgButtons::YesNoCancel:
            return MsgAnswer::Cancel;
        case MsgButtons::YesNo:
            return MsgAnswer::No;
    }
    return MsgAnswer::Cancel;
}

MsgAnswer NullHost::MessageBox(const MessageBoxRequest& request) {
    return DismissedAnswer(request.buttons);
}

}  // namespace orvex
