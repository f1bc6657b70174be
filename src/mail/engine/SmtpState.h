#pragma once

// The SMTP dialogue's states. Their values are the numbers the engine's trace and seeStep
// report: 1xx connection and authentication, 2xx greeting, envelope, message and close.

namespace orvex::engine {

enum class SmtpState : int {
    kNeverRan = -2,  // previous state of a channel that has not stepped yet
    kBetweenSteps = -1,
    kFinished = 0,

    // Connection.
    kBegin = 200,
    kLocalHostName = 101,
    kResolve = 104,
    kConnect = 105,
    kAwaitConnected = 106,
    kTlsHandshake = 107,  // right after connecting, or after STARTTLS was accepted
    kReadGreeting = 201,
    kSendHello = 202,
    kReadHelloReply = 203,
    kSendStartTls = 180,
    kReadStartTlsReply = 181,

    // Authentication.
    kSendAuthCramMd5 = 150,
    kReadCramMd5Challenge = 151,
    kSendCramMd5Response = 152,
    kReadCramMd5Result = 153,
    kSendAuthLogin = 160,
    kSendLoginUser = 162,
    kSendLoginPassword = 163,
    kReadLoginResult = 164,
    kSendAuthPlain = 170,
    kReadPlainResult = 171,

    // Envelope.
    kSendMailFrom = 204,
    kReadMailFromReply = 205,
    kPickRecipient = 206,
    kSendRcptTo = 207,
    kReadRcptToReply = 208,
    kSendRset = 211,  // every recipient was refused and skipped
    kReadRsetReply = 212,
    kSendData = 209,
    kReadDataReply = 210,

    // Message: header, body, attachments, end.
    kMailerLine = 221,
    kDateLine = 223,
    kToLine = 224,
    kFromLine = 225,
    kReplyToLine = 226,
    kSubjectLine = 227,
    kCcLine = 228,
    kMimeVersionLine = 229,
    kMessageContentType = 230,
    kHeaderEnd = 233,
    kBodyBoundary = 234,
    kBodyContentType = 236,
    kBodyTransferEncoding = 237,
    kOpenBody = 238,
    kBodyLine = 240,
    kNextAttachment = 260,
    kAttachmentHeader = 261,
    kOpenAttachment = 264,
    kAttachmentBase64Line = 265,
    kAttachmentTextLine = 266,
    kEndOfMessage = 251,
    kReadEndOfMessageReply = 252,

    // Close and raw command.
    kSendQuit = 258,
    kReadQuitReply = 259,
    kSendCommand = 298,
    kReadCommandReply = 299,
};

inline constexpr int StateNumber(SmtpState state) {
    return static_cast<int>(state);
}

}  // namespace orvex::engine
