// The driver: the state table, one step, the blocking loop and the error path. The steps
// themselves live in SmtpConnection, SmtpAuthentication, SmtpEnvelope, SmtpMessage and
// SmtpClose; each sends at most one line (or one block) or reads one reply, so no single step
// waits long.

#include <algorithm>
#include <cstdio>
#include <string>
#include <thread>

#include "mail/engine/DriverSupport.h"

namespace orvex::engine {
namespace {

long LeadingCode(const std::string& line) {
    long long code = 0;
    for (size_t i = 0; i < line.size() && i < 10 && line[i] >= '0' && line[i] <= '9'; ++i) {
        code = code * 10 + (line[i] - '0');
    }
    return static_cast<long>(std::min<long long>(code, 0x7fffffff));
}

// A reply ends with its first line whose fourth character is a blank or a line end; a line
// too short to continue ("250" alone) ends it as well.
bool EndsReply(const std::string& line) {
    return line.size() < 4 || line[3] == ' ' || line[3] == '\r' || line[3] == '\n';
}

struct StateStep {
    SmtpState state;
    StepFunction run;
};

constexpr StateStep kSteps[] = {
    {SmtpState::kBegin, Begin},
    {SmtpState::kLocalHostName, LookUpLocalHostName},
    {SmtpState::kResolve, ResolveServer},
    {SmtpState::kConnect, ConnectToServer},
    {SmtpState::kAwaitConnected, AwaitConnected},
    {SmtpState::kReadGreeting, OnGreeting},
    {SmtpState::kSendHello, SendHello},
    {SmtpState::kReadHelloReply, OnHelloReply},
    {SmtpState::kSendStartTls, SendStartTls},
    {SmtpState::kReadStartTlsReply, OnStartTlsReply},
    {SmtpState::kTlsHandshake, StartTls},

    {SmtpState::kSendAuthCramMd5, SendAuthCramMd5},
    {SmtpState::kReadCramMd5Challenge, OnCramMd5Challenge},
    {SmtpState::kSendCramMd5Response, SendCramMd5Response},
    {SmtpState::kReadCramMd5Result, OnFinalReply},
    {SmtpState::kSendAuthLogin, SendAuthLogin},
    {SmtpState::kSendLoginUser, SendLoginUser},
    {SmtpState::kSendLoginPassword, SendLoginPassword},
    {SmtpState::kReadLoginResult, OnFinalReply},
    {SmtpState::kSendAuthPlain, SendAuthPlain},
    {SmtpState::kReadPlainResult, OnFinalReply},

    {SmtpState::kSendMailFrom, SendMailFrom},
    {SmtpState::kReadMailFromReply, OnMailFromReply},
    {SmtpState::kPickRecipient, PickRecipient},
    {SmtpState::kSendRcptTo, SendRcptTo},
    {SmtpState::kReadRcptToReply, OnRcptToReply},
    {SmtpState::kSendRset, SendRset},
    {SmtpState::kReadRsetReply, OnRsetReply},
    {SmtpState::kSendData, SendData},
    {SmtpState::kReadDataReply, OnDataReply},

    {SmtpState::kMailerLine, SendMailerLine},
    {SmtpState::kDateLine, SendDateLine},
    {SmtpState::kToLine, SendToLine},
    {SmtpState::kFromLine, SendFromLine},
    {SmtpState::kReplyToLine, SendReplyToLine},
    {SmtpState::kSubjectLine, SendSubjectLine},
    {SmtpState::kCcLine, SendCcLine},
    {SmtpState::kMimeVersionLine, SendMimeVersionLine},
    {SmtpState::kMessageContentType, SendMessageContentType},
    {SmtpState::kHeaderEnd, SendHeaderEnd},
    {SmtpState::kBodyBoundary, SendBodyBoundary},
    {SmtpState::kBodyContentType, SendBodyContentType},
    {SmtpState::kBodyTransferEncoding, SendBodyTransferEncoding},
    {SmtpState::kOpenBody, OpenBody},
    {SmtpState::kBodyLine, SendBodyLine},
    {SmtpState::kNextAttachment, NextAttachment},
    {SmtpState::kAttachmentHeader, SendAttachmentHeader},
    {SmtpState::kOpenAttachment, OpenAttachment},
    {SmtpState::kAttachmentBase64Line, SendAttachmentBase64Line},
    {SmtpState::kAttachmentTextLine, SendAttachmentTextLine},
    {SmtpState::kEndOfMessage, SendEndOfMessage},
    {SmtpState::kReadEndOfMessageReply, OnEndOfMessageReply},

    {SmtpState::kSendQuit, SendQuit},
    {SmtpState::kReadQuitReply, OnQuitReply},
    {SmtpState::kSendCommand, SendCommand},
    {SmtpState::kReadCommandReply, OnFinalReply},
};

// Runs the channel's current state: 0 to go on or the error path's code.
int RunState(Engine& e, Channel& ch, uint32_t now) {
    for (const StateStep& step : kSteps) {
        if (step.state == ch.currentState) {
            return step.run(e, ch, now);
        }
    }
    // A state this engine does not know (the mail-reading side is not built).
    return Fail(e, ch, kSeeCannotComply);
}

}  // namespace

Timing TimingOf(const Engine& e) {
    return {e.params.pollInterval.load(), e.params.replyTimeout.load(),
            e.params.connectTimeout.load()};
}

void SetState(Engine& e, Channel& ch, SmtpState next) {
    if (e.trace.on.load()) {
        e.trace.Line("channel " + std::to_string(ch.number) + ": " +
                     std::to_string(StateNumber(ch.currentState)) + " -> " +
                     std::to_string(StateNumber(next)));
    }
    ch.nextState = next;
}

void AwaitReply(Engine& e, Channel& ch, uint32_t now, SmtpState next) {
    ch.deadline = TickAt(now, TimingOf(e).reply);
    SetState(e, ch, next);
}

std::string CutLine(std::string line) {
    if (line.size() > kMaxFormattedLine) {
        line.resize(kMaxFormattedLine);
    }
    return line;
}

int SendLine(Engine& e, Channel& ch, const std::string& text, bool more) {
    int rc = e.vsock.SendLine(ch.slot, text, more);
    if (rc < 0) {
        ch.socketCode = rc;
        return Fail(e, ch, kSeeWriteError);
    }
    return 0;
}

int ReadReply(Engine& e, Channel& ch, ReplyRules rules) {
    const Timing t = TimingOf(e);
    const uint32_t start = ch.clock->TickCount();
    const long limit = t.reply + 100;
    ch.reply.clear();
    size_t lineStart = 0;
    bool firstLine = true;
    bool closed = false;
    for (;;) {
        if (ch.reply.size() >= kReplyBufferSize - 1) {
            return Fail(e, ch, kSeeReplyOverflow);
        }
        long elapsed = TickDiff(ch.clock->TickCount(), start);
        if (elapsed > limit) {
            return Fail(e, ch, kSeeTimedOut);
        }
        std::string piece;
        int room = static_cast<int>(kReplyBufferSize - ch.reply.size());
        int wait = static_cast<int>(std::clamp(limit - elapsed, 0L, std::max(t.poll, 1L)));
        int rc = e.vsock.ReadLine(ch.slot, piece, room, wait, static_cast<int>(t.poll));
        if (rc == kVsClosed) {
            closed = true;
            break;
        }
        if (rc < 0) {
            ch.socketCode = rc;
            return Fail(e, ch, rc);
        }
        ch.reply += piece;
        if (ch.reply.empty() || ch.reply.back() != '\n') {
            continue;  // nothing yet, or a line still arriving
        }
        std::string line = ch.reply.substr(lineStart);
        ch.lastLine = line.substr(0, kMaxLastLine);
        if (firstLine) {
            firstLine = false;
            ch.replyCode = LeadingCode(line);
            if (ch.replyCode >= 500 && rules.refusalFails) {
                return Fail(e, ch, kSeeSmtpError);
            }
        }
        if (EndsReply(line)) {
            return 0;
        }
        lineStart = ch.reply.size();
    }
    if (closed && ch.reply.empty()) {
        if (rules.closeIsEnd) {
            return 0;
        }
        ch.socketCode = kVsClosed;
        return Fail(e, ch, kSeeClosed);
    }
    // The peer closed during the reply: what was read is the reply.
    ch.lastLine = ch.reply.substr(lineStart).substr(0, kMaxLastLine);
    if (firstLine) {
        ch.replyCode = LeadingCode(ch.reply);
        if (ch.replyCode >= 500 && rules.refusalFails) {
            return Fail(e, ch, kSeeSmtpError);
        }
    }
    return 0;
}

int PollReply(Engine& e, Channel& ch, ReplyRules rules) {
    if (e.vsock.WaitReadable(ch.slot, 0) != 1) {
        ch.idle = IdleKind::kReadable;
        return 1;
    }
    return ReadReply(e, ch, rules);
}

bool Trace::Open(const std::string& path) {
    std::lock_guard lock(mutex);
    if (file != nullptr) {
        std::fclose(file);
        file = nullptr;
    }
    if (!path.empty()) {
        file = std::fopen(path.c_str(), "ae");
    }
    on = file != nullptr;
    return path.empty() || file != nullptr;
}

void Trace::Line(const std::string& text) {
    std::lock_guard lock(mutex);
    if (file != nullptr) {
        std::fprintf(file, "%s\n", text.c_str());
        std::fflush(file);
    }
}

int Fail(Engine& e, Channel& ch, int code) {
    // Between steps the state that was waiting (for the connection, for a reply) failed.
    ch.failedState = ch.currentState == SmtpState::kBetweenSteps ? ch.nextState : ch.currentState;
    if (e.trace.on.load()) {
        e.trace.Line("channel " + std::to_string(ch.number) + ": " +
                     std::to_string(StateNumber(ch.currentState)) + " fails with " +
                     std::to_string(code));
    }
    SetState(e, ch, SmtpState::kFinished);
    ch.previousState = ch.currentState;
    ch.currentState = SmtpState::kBetweenSteps;
    ch.deadline = 0;
    ch.waitWritable = false;
    ch.CloseFiles();
    if (ch.slot >= 0) {
        e.vsock.Close(ch.slot);
        ch.slot = -1;
    }
    std::this_thread::yield();
    return code;
}

int Step(Engine& e, Channel& ch) {
    ch.idle = IdleKind::kNone;
    const uint32_t now = ch.clock->TickCount();
    if (ch.deadline != 0 && TickDiff(now, ch.deadline) > 0) {
        return Fail(e, ch, kSeeTimedOut);
    }
    if (ch.waitWritable) {
        if (ch.slot < 0 || e.vsock.Poll(ch.slot, kVsWritable) != 1) {
            ch.idle = IdleKind::kWritable;
            return kStepWaited;
        }
        ch.waitWritable = false;
    }
    ch.currentState = ch.nextState;
    ++ch.steps;
    if (ch.currentState == SmtpState::kFinished) {
        ch.currentState = SmtpState::kBetweenSteps;
        ch.deadline = 0;
        return 0;
    }
    // A reply belongs to the step that read it: an error text never shows one from an earlier
    // exchange or connection.
    ch.reply.clear();
    ch.lastLine.clear();
    int rc = RunState(e, ch, now);
    if (rc < 0) {
        return rc;
    }
    ch.previousState = ch.currentState;
    ch.currentState = SmtpState::kBetweenSteps;
    if (ch.nextState == SmtpState::kFinished) {
        // Finished: no stale tick may fall on the next entry point.
        ch.deadline = 0;
        ch.waitWritable = false;
    }
    return StateNumber(ch.nextState);
}

int RunDialogue(Engine& e, Channel& ch) {
    for (;;) {
        int rc = Step(e, ch);
        if (rc <= 0) {
            return rc;
        }
        // Waiting for the socket: a wait bounded by the poll interval that readiness ends
        // early, so a silent peer costs no busy loop and a prompt one no delay.
        const int wait = static_cast<int>(std::max(TimingOf(e).poll, 1L));
        switch (ch.idle) {
            case IdleKind::kReadable:
                e.vsock.WaitReadable(ch.slot, wait);
                break;
            case IdleKind::kWritable:
                e.vsock.WaitWritable(ch.slot, wait);
                break;
            case IdleKind::kNone:
                // A step that made progress runs the next at once: the scheduler preempts,
                // and a yield per step would give the processor away once per attachment
                // line.
                break;
        }
    }
}

}  // namespace orvex::engine
