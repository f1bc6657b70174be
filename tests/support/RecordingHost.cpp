#include "RecordingHost.h"

namespace orvex::test {

void RecordingHost::Status(const HostMessage& message) {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back({Event::kStatus, message.Recorded(), 0, {}});
}

void RecordingHost::Cycle(CycleCode code) {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back({Event::kCycle, "", static_cast<int>(code), {}});
}

void RecordingHost::ExitRequest() {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back({Event::kExit, "", 0, {}});
}

MsgAnswer RecordingHost::MessageBox(const MessageBoxRequest& request) {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back({Event::kMessageBox, request.text, 0, request});
    if (answers_.empty()) {
        return DismissedAnswer(request.buttons);
    }
    MsgAnswer answer = answers_.front();
    answers_.pop_front();
    return answer;
}

void RecordingHost::ActivatePage(Page page) {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back({Event::kPage, "", static_cast<int>(page), {}});
}

void RecordingHost::QueueAnswer(MsgAnswer answer) {
    std::lock_guard<std::mutex> lock(mutex_);
    answers_.push_back(answer);
}

std::vector<RecordingHost::Event> RecordingHost::Events() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
}

std::vector<std::string> RecordingHost::Statuses() const {
    std::vector<std::string> out;
    for (const Event& e : Events()) {
        if (e.kind == Event::kStatus) {
            out.push_back(e.text);
        }
    }
    return out;
}

std::vector<int> RecordingHost::CycleCodes() const {
    std::vector<int> out;
    for (const Event& e : Events()) {
        if (e.kind == Event::kCycle) {
            out.push_back(e.code);
        }
    }
    return out;
}

std::vector<std::string> RecordingHost::MessageBoxTexts() const {
    std::vector<std::string> out;
    for (const Event& e : Events()) {
        if (e.kind == Event::kMessageBox) {
            out.push_back(e.text);
        }
    }
    return out;
}

std::vector<std::string> RecordingHost::Transcript() const {
    std::vector<std::string> out;
    for (const Event& e : Events()) {
        switch (e.kind) {
            case Event::kStatus:
                out.push_back("status: " + e.text);
                break;
            case Event::kCycle:
                out.push_back("cycle: " + std::to_string(e.code));
                break;
            case Event::kExit:
                out.push_back("exit");
                break;
            case Event::kMessageBox:
                out.push_back("box: " + e.text);
                break;
            case Event::kPage:
                out.push_back("page: " + std::to_string(e.code));
                break;
        }
    }
    return out;
}

}  // namespace orvex::test
