#pragma once

#include <string>

#include "platform/Clock.h"

namespace orvex {

// Integer parameters of seeIntegerParam. Process-wide:
inline constexpr int kSeePollInterval = 1;    // ms: longest single wait on the socket while blocked
inline constexpr int kSeeReplyTimeout = 2;    // ms
inline constexpr int kSeeConnectTimeout = 3;  // ms
inline constexpr int kSeePollSleep = 13;      // ms between socket polls of a bounded wait
inline constexpr int kSeeLineLength = 17;     // plain body: hard break; blank break 18 before
inline constexpr int kSeePassAllBytes = 19;   // keep body bytes outside 32..126 (no "~")
inline constexpr int kSeeOmitTo = 22;         // leave the "To:" header out
inline constexpr int kSeeRecipientSeparator = 23;
inline constexpr int kSeeAttachmentSeparator = 25;
inline constexpr int kSeeNameSeparator = 26;  // between an attachment's path and shown name
// Per channel (back to their defaults at every seeAttach):
inline constexpr int kSeeContentMode = 8;  // kSeePlainText, kSeeHtml, ...
inline constexpr int kSeeBlocking = 9;     // 0: the caller drives the dialogue with seeStep
inline constexpr int kSeePort = 15;
inline constexpr int kSeeBlockingConnect = 18;
inline constexpr int kSeeRecogniseImages = 27;  // image attachments by file extension
inline constexpr int kSeeEhloAuth = 29;         // greet with EHLO and authenticate
inline constexpr int kSeeSkipRefused = 32;      // skip refused recipients (RSET when none left)
inline constexpr int kSeeTextAttachments = 60;  // attachments as text rather than base64
inline constexpr int kSeeSecurity = 61;         // kSeeNoTls, kSeeStartTls, kSeeImplicitTls
inline constexpr int kSeeTlsVerify = 62;        // check the certificate chain and name (default 1)

// Connection security (kSeeSecurity). With either TLS mode the greeting is EHLO, and nothing
// is authenticated before TLS stands.
inline constexpr int kSeeNoTls = 0;
inline constexpr int kSeeStartTls = 1;     // STARTTLS after EHLO, required
inline constexpr int kSeeImplicitTls = 2;  // TLS from the first byte

// Content modes (kSeeContentMode).
inline constexpr int kSeePlainText = 0;
inline constexpr int kSeeQuotedPrintable = 1;
inline constexpr int kSeeHtml = 2;
inline constexpr int kSeeEnriched = 3;
inline constexpr int kSeeLatin1QuotedPrintable = 4;
inline constexpr int kSeeOwnContentType = 9;  // kSeeContentTypeLine, quoted-printable

// String parameters of seeStringParam.
inline constexpr int kSeeTraceFile = 20;  // the engine's trace; "" ends it
inline constexpr int kSeeContentTypeLine = 54;
inline constexpr int kSeeTransferEncodingLine = 55;
inline constexpr int kSeePassword = 57;
inline constexpr int kSeeUser = 58;
inline constexpr int kSeeTlsCaFile = 63;  // PEM certificates trusted besides the system store

// Error codes (negative results); seeErrorString gives their texts.
inline constexpr int kSeeCannotComply = 0;  // text of an unknown dialogue state
inline constexpr int kSeeClosed = -1;       // the peer closed without a reply
inline constexpr int kSeeInvalidSocket = -7;
inline constexpr int kSeeTimedOut = -8;
inline constexpr int kSeeReplyOverflow = -31;
inline constexpr int kSeeCannotOpenFile = -35;
inline constexpr int kSeeConnectFailed = -36;
inline constexpr int kSeeEmptyAddress = -37;
inline constexpr int kSeeSenderNull = -38;
inline constexpr int kSeeMissingOpenBracket = -41;
inline constexpr int kSeeMissingCloseBracket = -43;
inline constexpr int kSeeNotConnected = -44;
inline constexpr int kSeeNoRecipient = -45;
inline constexpr int kSeeServerNotFound = -46;
inline constexpr int kSeeNullPointer = -47;
inline constexpr int kSeeToNull = -48;
inline constexpr int kSeeSmtpError = -49;
inline constexpr int kSeeNoServer = -50;
inline constexpr int kSeeWriteError = -52;
inline constexpr int kSeeBadServerName = -56;
inline constexpr int kSeeSmtpOnly = -58;
inline constexpr int kSeeCannotCreateFile = -67;
inline constexpr int kSeeNullBuffer = -68;
inline constexpr int kSeeNotAttached = -71;
inline constexpr int kSeeAlreadyAttached = -72;
inline constexpr int kSeeChannelOutOfRange = -73;
inline constexpr int kSeeNoStartTlsOffered = -74;
inline constexpr int kSeeCertificateRejected = -75;  // the text ends with the reason
inline constexpr int kSeeTlsFailed = -76;            // the text ends with the reason

// Where this engine knowingly differs from a literal reading of its description, and why:
// - Body and attachment lines are sent with MSG_MORE: the kernel packs them into full
//   segments instead of one packet per line; the bytes and their order are the same.
// - A reply line whose fourth character is LF ends the reply like a blank or CR would: a
//   server that ends lines with LF alone would otherwise never end a reply and time out.
// - A socket closes with a linger bound of 1 s, not 500: close may wait for unsent data, but
//   never for minutes.
// - The reply text is emptied when a state runs, not when a finished dialogue reports its end,
//   so the last reply of a call that succeeded stays readable through seeErrorString.
// - kSeeSkipRefused: a recipient refused with 500 or more is skipped; when none was
//   accepted, RSET is sent and seeSendEmail fails with kSeeSmtpError and the last refusal as
//   its text, leaving the connection open (the server has dropped the transaction).
// - No settle pause before a reply is read, and no pause after a socket is closed: the reply
//   reader assembles a reply across reads, deadlines count from the send, and the client never
//   sends before the previous reply is complete. The two bounded readiness waits (1000 ms for
//   writable before EHLO or HELO, 100 ms for readable before the final reply) stay.
// - Body and attachment lines go out up to 64 KiB a step in one write, not one line a step.
// - The TLS handshake runs within one step, bounded by the reply time-out; bytes that came in
//   the clear before it are dropped so they cannot pass for the server's words after it.
// - Sockets never block (kSeeBlockingConnect is accepted and changes nothing): every wait is
//   bounded by a time-out instead.

// The mail engine's flat interface. Every entry point takes a channel number first and
// returns a signed integer; a negative result is an error code whose text seeErrorString
// gives. Unless noted, each answers -71 when the engine is not attached and -73 when the
// channel is not below the channel count, before anything else.
//
// The engine is one per process. Its process-wide parameters keep their values for the life
// of the process; channel parameters return to their defaults at every seeAttach. A channel is
// driven by one thread at a time (calls on one channel are serialised); attach and detach are
// locked.

// Attaches the engine with 1 to 128 channels. `clock` gives the tick count (dialogue timing and
// the MIME boundary, fixed at this call) and the local time of the Date line; its tick count
// must advance in real time. Local files (body files, attachments) are mapped against
// `workDir`. Returns 1; -72 when already attached; -73 for fewer than 1 or more than 128
// channels.
int seeAttach(int channels, Clock& clock = DefaultClock(), const std::string& workDir = "");

// Releases every channel (waiting for a call in progress on it) and closes sockets left open.
// Returns 1, also when not attached.
int seeDetach();

// Sets integer parameter `code` (the kSee* parameters above). Returns 1; -1 for an unknown
// code.
int seeIntegerParam(int channel, int code, long value);

// Sets string parameter `code`: kSeePassword and kSeeUser (at most 64 characters kept;
// returns the number kept), kSeeContentTypeLine and kSeeTransferEncodingLine for content mode
// kSeeOwnContentType (returns 1), kSeeTraceFile (a file the engine appends a line to at every
// state change, for all channels; "" ends the trace; returns 1, or kSeeCannotCreateFile).
// kSeeNullPointer for a null text; -1 for an unknown code.
int seeStringParam(int channel, int code, const char* text);

// Connects to `server` (at most 128 characters used) on the channel's port, reads the greeting,
// greets with EHLO or HELO naming the sender's domain and, with parameter 29, authenticates
// (CRAM-MD5, LOGIN or PLAIN, whichever the server offers first in that order).
// Returns 0; argument checks: -50 server null, -38 sender null, -56 bad byte in the server
// name, -37 empty sender, -41 no "<" in the sender, -43 no ">" after it; then -46 server not
// found, -7 no socket, -36 connection failed, -8 time-out, -49 reply of 500 or more (its text
// goes with the error string), -31 reply over 1024 bytes, -52 send failure, -1 connection
// closed with no reply. With kSeeSecurity: -74 STARTTLS required but not offered, -75 the
// server's certificate did not verify, -76 the TLS handshake failed (stalled, closed, ...);
// a refused STARTTLS is -49.
int seeSmtpConnect(int channel, const char* server, const char* sender, const char* replyTo);

// Sends one message on the open connection: the envelope (MAIL FROM, a RCPT TO per address of
// To, then CC, then BCC) and the message. Each list holds addresses in "<...>" separated by
// ","; null or empty means absent (except `to`). `message` starting with "@" names a body file;
// `attachments` lists files ("path|shown name", separated by ","). Returns 0; -58 not
// connected by seeSmtpConnect, -44 connection not writable (gone), -48 `to` null, -45 `to`
// empty, -41 / -43 a list's first address lacks "<" (the connection is closed) / ">"; then
// -37 a list entry without "<", -35 body or attachment file cannot be opened, -49, -8, -31,
// -52, -1 as for seeSmtpConnect. Any failure after the checks closes the connection, except
// the -49 of kSeeSkipRefused when every recipient was refused.
int seeSendEmail(int channel, const char* to, const char* cc, const char* bcc, const char* subject,
                 const char* message, const char* attachments);

// Sends one raw command line (at most 32 characters kept) and reads its reply. Returns 0; -47
// null command; -56 channel not connected by seeSmtpConnect; -49 (the connection is closed),
// -8, -31, -52.
int seeCommand(int channel, const char* command);

// Sends QUIT, reads the reply, closes the connection and frees the message copies. Returns 0
// (also at once when no connection is open); -49, -8, -31, -52.
int seeClose(int channel);

// Copies the text of `code`, cut to size - 1 characters, into `buffer`; for -49, -36 and -63 a
// blank and the latest server reply (all its lines) follow as far as room remains, for -75
// and -76 a blank and the TLS layer's reason. Returns the
// number of characters written: 0 and an empty text for a code without text; -68 for a null
// buffer.
int seeErrorString(int channel, int code, char* buffer, int size);

// The whole text seeErrorString would give with ample room ("" for an error of the call itself).
std::string seeErrorText(int channel, int code);

// What the latest failure on the channel was, beyond its code, so a caller can tell it in
// plain words: whether the connection to the server had not stood yet, the system's reason
// (an errno value, 0 when unknown) when connecting failed, and the time-out in ms that ran out
// for kSeeTimedOut (the connection's before it stood, the reply's after).
struct SeeFailureFacts {
    bool beforeConnection = false;
    int systemError = 0;
    long limitMs = 0;
};
SeeFailureFacts seeFailureFacts(int channel);

// One step of the channel's SMTP dialogue, for callers that turned blocking off (parameter 9 =
// 0): the next state (positive) while the dialogue goes on, 9999 when the step had to wait,
// 0 when finished, or a negative error code.
int seeStep(int channel);

}  // namespace orvex
