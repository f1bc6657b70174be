#pragma once

#include <deque>
#include <vector>

#include "platform/Host.h"

class QWidget;

namespace orvex {

// Modal message boxes on the window's thread. Tests queue answers in advance; a box with a
// queued answer is recorded and answered without being shown. An unattended instance answers
// every unqueued box as if it had been dismissed, so nothing can wait for a user.
class MessageBoxes {
public:
    MsgAnswer Ask(const MessageBoxRequest& request, QWidget* parent = nullptr);

    void QueueAnswer(MsgAnswer answer) { answers_.push_back(answer); }
    void SetUnattended(bool unattended) { unattended_ = unattended; }

    // Every box asked for, shown or answered in advance, in order.
    const std::vector<MessageBoxRequest>& Asked() const { return asked_; }
    void ClearAsked() { asked_.clear(); }

private:
    std::deque<MsgAnswer> answers_;
    std::vector<MessageBoxRequest> asked_;
    bool unattended_ = false;
};

}  // namespace orvex
