#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Host.h"

namespace orvex::test {

// A Host that records every call, in order, and answers message boxes from a queue of
// pre-set answers (the box's dismissed answer when the queue is empty).
class RecordingHost : public Host {
public:
    struct Event {
        enum Kind { kStatus, kCycle, kExit, kMessageBox, kPage } kind;
        std::string text;  // status text or message-box text
        int code = 0;      // cycle code or page index
        MessageBoxRequest box;
    };

    void Status(const HostMessage& message) override;
    void Cycle(CycleCode code) override;
    void ExitRequest() override;
    MsgAnswer MessageBox(const MessageBoxRequest& request) override;
    void ActivatePage(Page page) override;

    void QueueAnswer(MsgAnswer answer);

    std::vector<Event> Events() const;
    std::vector<std::string> Statuses() const;
    std::vector<int> CycleCodes() const;
    std::vector<std::string> MessageBoxTexts() const;
    // A compact transcript: "status: ...", "cycle: 200", "box: ...", "exit", "page: 2".
    std::vector<std::string> Transcript() const;

private:
    mutable std::mutex mutex_;
    std::vector<Event> events_;
    std::deque<MsgAnswer> answers_;
};

}  // namespace orvex::test
