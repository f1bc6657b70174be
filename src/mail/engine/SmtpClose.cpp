// Close: QUIT and its reply; and the raw command of seeCommand.

#include "mail/engine/DriverSupport.h"

namespace orvex::engine {

int SendQuit(Engine& e, Channel& ch, uint32_t now) {
    if (int rc = SendLine(e, ch, "QUIT"); rc != 0) {
        return rc;
    }
    AwaitReply(e, ch, now, SmtpState::kReadQuitReply);
    return 0;
}

int OnQuitReply(Engine& e, Channel& ch, uint32_t) {
    // A server that closes at once instead of answering has still ended the session well.
    if (int rc = PollReply(e, ch, {.closeIsEnd = true}); rc != 0) {
        return rc < 0 ? rc : 0;
    }
    e.vsock.Close(ch.slot);
    ch.slot = -1;
    ch.deadline = 0;
    SetState(e, ch, SmtpState::kFinished);
    return 0;
}

int SendCommand(Engine& e, Channel& ch, uint32_t now) {
    if (int rc = SendLine(e, ch, ch.command); rc != 0) {
        return rc;
    }
    AwaitReply(e, ch, now, SmtpState::kReadCommandReply);
    return 0;
}

}  // namespace orvex::engine
