#pragma once

// Shared by the dialogue driver's step files: the state change, the timing of a step, sending
// a line and reading a reply. Every step function runs one state on a locked channel and
// returns 0 to go on or the error path's (negative) code.

#include <cstdint>
#include <string>

#include "mail/engine/EngineState.h"
#include "mail/engine/See.h"
#include "mail/engine/SmtpState.h"

namespace orvex::engine {

// Signed distance between two readings of the wrapping 32-bit tick counter.
inline int32_t TickDiff(uint32_t a, uint32_t b) {
    return static_cast<int32_t>(a - b);
}

// `now` + `delay` as a tick; never 0, which means "none".
inline uint32_t TickAt(uint32_t now, long delay) {
    uint32_t at = now + static_cast<uint32_t>(delay);
    return at == 0 ? 1 : at;
}

struct Timing {
    long poll;     // P: the poll interval
    long reply;    // R: the reply time-out
    long connect;  // C: the connection time-out
};
Timing TimingOf(const Engine& e);

// The one place that chooses the state the next step runs; traces the change when tracing is
// on.
void SetState(Engine& e, Channel& ch, SmtpState next);

// A sending state's ending: the reply is read in `next`, within the reply time-out counted
// from now. No pause comes first: the reader assembles a reply across reads.
void AwaitReply(Engine& e, Channel& ch, uint32_t now, SmtpState next);

// A header value cut to the 1023 characters a formatted line holds.
std::string CutLine(std::string line);

// Sends `text` and CR LF: 0, else the error path's -52. `more`: the next line follows without
// a pause.
int SendLine(Engine& e, Channel& ch, const std::string& text, bool more = false);

// How a reading state takes a reply.
struct ReplyRules {
    bool closeIsEnd = false;   // a peer that closes without a word ends the reply (after QUIT)
    bool refusalFails = true;  // a first line of 500 or more fails with -49
};

// Reads one whole reply into ch.reply within the reply time-out: 0 (4xx included), else the
// error path's code: -49, -31, -8, -1 or the socket layer's code.
int ReadReply(Engine& e, Channel& ch, ReplyRules rules = {});

// Reading states: 1 when nothing is there yet (the state runs again), else ReadReply's result.
int PollReply(Engine& e, Channel& ch, ReplyRules rules = {});

// The step functions, one per state, grouped as the dialogue runs.
using StepFunction = int (*)(Engine& e, Channel& ch, uint32_t now);

// Connection (SmtpConnection.cpp).
int Begin(Engine& e, Channel& ch, uint32_t now);
int LookUpLocalHostName(Engine& e, Channel& ch, uint32_t now);
int ResolveServer(Engine& e, Channel& ch, uint32_t now);
int ConnectToServer(Engine& e, Channel& ch, uint32_t now);
int AwaitConnected(Engine& e, Channel& ch, uint32_t now);
int OnGreeting(Engine& e, Channel& ch, uint32_t now);
int SendHello(Engine& e, Channel& ch, uint32_t now);
int OnHelloReply(Engine& e, Channel& ch, uint32_t now);
int SendStartTls(Engine& e, Channel& ch, uint32_t now);
int OnStartTlsReply(Engine& e, Channel& ch, uint32_t now);
int StartTls(Engine& e, Channel& ch, uint32_t now);  // the handshake

// Authentication (SmtpAuthentication.cpp).
int SendAuthCramMd5(Engine& e, Channel& ch, uint32_t now);
int OnCramMd5Challenge(Engine& e, Channel& ch, uint32_t now);
int SendCramMd5Response(Engine& e, Channel& ch, uint32_t now);
int SendAuthLogin(Engine& e, Channel& ch, uint32_t now);
int SendLoginUser(Engine& e, Channel& ch, uint32_t now);
int SendLoginPassword(Engine& e, Channel& ch, uint32_t now);
int SendAuthPlain(Engine& e, Channel& ch, uint32_t now);
int OnFinalReply(Engine& e, Channel& ch, uint32_t now);  // the last reply of an exchange

// Envelope (SmtpEnvelope.cpp).
int SendMailFrom(Engine& e, Channel& ch, uint32_t now);
int OnMailFromReply(Engine& e, Channel& ch, uint32_t now);
int PickRecipient(Engine& e, Channel& ch, uint32_t now);
int SendRcptTo(Engine& e, Channel& ch, uint32_t now);
int OnRcptToReply(Engine& e, Channel& ch, uint32_t now);
int SendRset(Engine& e, Channel& ch, uint32_t now);
int OnRsetReply(Engine& e, Channel& ch, uint32_t now);
int SendData(Engine& e, Channel& ch, uint32_t now);
int OnDataReply(Engine& e, Channel& ch, uint32_t now);

// Message (SmtpMessage.cpp).
int SendMailerLine(Engine& e, Channel& ch, uint32_t now);
int SendDateLine(Engine& e, Channel& ch, uint32_t now);
int SendToLine(Engine& e, Channel& ch, uint32_t now);
int SendFromLine(Engine& e, Channel& ch, uint32_t now);
int SendReplyToLine(Engine& e, Channel& ch, uint32_t now);
int SendSubjectLine(Engine& e, Channel& ch, uint32_t now);
int SendCcLine(Engine& e, Channel& ch, uint32_t now);
int SendMimeVersionLine(Engine& e, Channel& ch, uint32_t now);
int SendMessageContentType(Engine& e, Channel& ch, uint32_t now);
int SendHeaderEnd(Engine& e, Channel& ch, uint32_t now);
int SendBodyBoundary(Engine& e, Channel& ch, uint32_t now);
int SendBodyContentType(Engine& e, Channel& ch, uint32_t now);
int SendBodyTransferEncoding(Engine& e, Channel& ch, uint32_t now);
int OpenBody(Engine& e, Channel& ch, uint32_t now);
int SendBodyLine(Engine& e, Channel& ch, uint32_t now);
int NextAttachment(Engine& e, Channel& ch, uint32_t now);
int SendAttachmentHeader(Engine& e, Channel& ch, uint32_t now);
int OpenAttachment(Engine& e, Channel& ch, uint32_t now);
int SendAttachmentBase64Line(Engine& e, Channel& ch, uint32_t now);
int SendAttachmentTextLine(Engine& e, Channel& ch, uint32_t now);
int SendEndOfMessage(Engine& e, Channel& ch, uint32_t now);
int OnEndOfMessageReply(Engine& e, Channel& ch, uint32_t now);

// Close and raw command (SmtpClose.cpp).
int SendQuit(Engine& e, Channel& ch, uint32_t now);
int OnQuitReply(Engine& e, Channel& ch, uint32_t now);
int SendCommand(Engine& e, Channel& ch, uint32_t now);

}  // namespace orvex::engine
