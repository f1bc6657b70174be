// Envelope: MAIL FROM, a RCPT TO per address of the To, CC and BCC lists in that order, DATA.

#include "mail/engine/DriverSupport.h"

namespace orvex::engine {
namespace {

const std::string& ListText(const Channel& ch) {
    switch (ch.list) {
        case Channel::List::kCc:
            return ch.cc;
        case Channel::List::kBcc:
            return ch.bcc;
        default:
            return ch.to;
    }
}

// The next address from the cursor ("<" up to the separator or the end); false when none.
bool NextAddress(Engine& e, Channel& ch) {
    const std::string& list = ListText(ch);
    const char separator = e.params.recipientSeparator.load();
    size_t stop = list.find(separator, ch.cursor);
    size_t open = list.find('<', ch.cursor);
    if (open == std::string::npos || (stop != std::string::npos && open > stop)) {
        return false;
    }
    size_t end = list.find(separator, open);
    ch.address = list.substr(open, end == std::string::npos ? std::string::npos : end - open);
    ch.cursor = end == std::string::npos ? list.size() : end + 1;
    return true;
}

// After a recipient: the next address of this list, else the next list, else DATA.
void MoveToNextRecipient(Engine& e, Channel& ch, uint32_t) {
    if (ch.cursor < ListText(ch).size()) {
        SetState(e, ch, SmtpState::kPickRecipient);
    } else if (!ch.ccDone) {
        ch.list = Channel::List::kCc;
        ch.cursor = 0;
        ch.ccDone = true;
        SetState(e, ch, SmtpState::kPickRecipient);
    } else if (!ch.bccDone) {
        ch.list = Channel::List::kBcc;
        ch.cursor = 0;
        ch.bccDone = true;
        SetState(e, ch, SmtpState::kPickRecipient);
    } else if (ch.skipRefused && ch.recipientsAccepted == 0) {
        SetState(e, ch, SmtpState::kSendRset);
    } else {
        SetState(e, ch, SmtpState::kSendData);
    }
}

}  // namespace

int SendMailFrom(Engine& e, Channel& ch, uint32_t now) {
    size_t open = ch.sender.find('<');
    std::string from = open == std::string::npos ? ch.sender : ch.sender.substr(open);
    if (int rc = SendLine(e, ch, CutLine("MAIL FROM:" + from)); rc != 0) {
        return rc;
    }
    AwaitReply(e, ch, now, SmtpState::kReadMailFromReply);
    return 0;
}

int OnMailFromReply(Engine& e, Channel& ch, uint32_t) {
    if (int rc = PollReply(e, ch); rc != 0) {
        return rc < 0 ? rc : 0;
    }
    ch.list = Channel::List::kTo;
    ch.cursor = 0;
    ch.ccDone = ch.cc.empty();
    ch.bccDone = ch.bcc.empty();
    ch.deadline = 0;
    SetState(e, ch, SmtpState::kPickRecipient);
    return 0;
}

int PickRecipient(Engine& e, Channel& ch, uint32_t now) {
    if (!NextAddress(e, ch)) {
        return Fail(e, ch, kSeeEmptyAddress);
    }
    ch.waitWritable = true;
    ch.deadline = TickAt(now, TimingOf(e).reply);
    SetState(e, ch, SmtpState::kSendRcptTo);
    return 0;
}

int SendRcptTo(Engine& e, Channel& ch, uint32_t now) {
    if (int rc = SendLine(e, ch, CutLine("RCPT TO:" + ch.address)); rc != 0) {
        return rc;
    }
    AwaitReply(e, ch, now, SmtpState::kReadRcptToReply);
    return 0;
}

int OnRcptToReply(Engine& e, Channel& ch, uint32_t now) {
    if (int rc = PollReply(e, ch, {.refusalFails = !ch.skipRefused}); rc != 0) {
        return rc < 0 ? rc : 0;
    }
    if (ch.replyCode >= 500) {
        ch.refusal = ch.reply;  // skipped
    } else {
        ++ch.recipientsAccepted;
    }
    ch.deadline = 0;
    MoveToNextRecipient(e, ch, now);
    return 0;
}

int SendRset(Engine& e, Channel& ch, uint32_t now) {
    if (int rc = SendLine(e, ch, "RSET"); rc != 0) {
        return rc;
    }
    AwaitReply(e, ch, now, SmtpState::kReadRsetReply);
    return 0;
}

// No recipient was accepted, so there is no message to send: the call fails with the last
// refusal as its text. The server has forgotten the transaction, so the connection stays open
// for the next message or QUIT.
int OnRsetReply(Engine& e, Channel& ch, uint32_t) {
    if (int rc = PollReply(e, ch); rc != 0) {
        return rc < 0 ? rc : 0;
    }
    ch.reply = ch.refusal;
    ch.deadline = 0;
    SetState(e, ch, SmtpState::kFinished);
    ch.previousState = ch.currentState;
    ch.currentState = SmtpState::kBetweenSteps;
    return kSeeSmtpError;
}

int SendData(Engine& e, Channel& ch, uint32_t now) {
    if (int rc = SendLine(e, ch, "DATA"); rc != 0) {
        return rc;
    }
    AwaitReply(e, ch, now, SmtpState::kReadDataReply);
    return 0;
}

int OnDataReply(Engine& e, Channel& ch, uint32_t) {
    if (int rc = PollReply(e, ch); rc != 0) {
        return rc < 0 ? rc : 0;
    }
    ch.deadline = 0;
    SetState(e, ch, SmtpState::kMailerLine);
    return 0;
}

}  // namespace orvex::engine
