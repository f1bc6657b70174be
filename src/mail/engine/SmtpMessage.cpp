// Message: the header, the MIME framing, the body, the attachments and the terminating dot,
// one line or block per step.

#include <algorithm>
#include <cstdio>

#include "mail/engine/DriverSupport.h"
#include "mail/engine/codec/Base64.h"
#include "platform/PathMap.h"

namespace orvex::engine {
namespace {

bool IsMime(const Channel& ch) {
    return !ch.attachments.empty() || ch.contentMode != kSeePlainText;
}

BodyLineRules RulesOf(const Engine& e, int mode) {
    BodyLineRules rules;
    rules.contentMode = mode;
    rules.passAllBytes = e.params.passAllBytes.load();
    rules.lineLength = static_cast<size_t>(std::max(1L, e.params.lineLength.load()));
    rules.blankBreak = static_cast<size_t>(std::max(1L, e.params.blankBreak.load()));
    return rules;
}

// Sends `text` (unless `send` is false) and moves on to `next`.
int SendHeaderLine(Engine& e, Channel& ch, bool send, const std::string& text, SmtpState next) {
    if (send) {
        if (int rc = SendLine(e, ch, text); rc != 0) {
            return rc;
        }
    }
    SetState(e, ch, next);
    return 0;
}

std::string BodyContentTypeLine(const Channel& ch) {
    switch (ch.contentMode) {
        case kSeeHtml:
            return "Content-Type: text/html\r\n";
        case kSeeLatin1QuotedPrintable:
            return "Content-Type: text/plain; charset=iso-8859-1";
        case kSeeEnriched:
            return "Content-Type: text/enriched";
        case kSeeOwnContentType:
            return CutLine(ch.contentTypeLine);
        case kSeeQuotedPrintable:
            return "Content-Type: text/plain";
        default:
            return "Content-Type: text/plain\r\n";
    }
}

// The next entry of the attachment list, skipping empty entries; false when none is left.
bool TakeAttachmentEntry(Engine& e, Channel& ch) {
    const char separator = e.params.attachmentSeparator.load();
    while (ch.attachmentCursor < ch.attachments.size()) {
        size_t end = ch.attachments.find(separator, ch.attachmentCursor);
        std::string entry = ch.attachments.substr(
            ch.attachmentCursor,
            end == std::string::npos ? std::string::npos : end - ch.attachmentCursor);
        ch.attachmentCursor = end == std::string::npos ? ch.attachments.size() : end + 1;
        if (!entry.empty()) {
            ch.attachment =
                DescribeAttachment(entry, e.params.nameSeparator.load(), ch.recogniseImages);
            return true;
        }
    }
    return false;
}

// Body and attachment lines go out many to a step, in one write of up to this many bytes:
// the bytes on the wire are the same as line by line, with far fewer steps and system calls.
constexpr size_t kBatchBytes = 64 * 1024;

// Sends the lines gathered in `batch` (nothing when empty): 0, else the error path's code.
// `more`: the message goes on, so the kernel may hold a part segment for the next write.
int SendBatch(Engine& e, Channel& ch, const std::string& batch, bool more = true) {
    if (batch.empty()) {
        return 0;
    }
    int sent = e.vsock.Send(ch.slot, batch.data(), static_cast<int>(batch.size()), more);
    if (sent < 0) {
        ch.socketCode = sent;
        return Fail(e, ch, kSeeWriteError);
    }
    return 0;
}

}  // namespace

// --- header ---

int SendMailerLine(Engine& e, Channel& ch, uint32_t) {
    return SendHeaderLine(e, ch, true, kMailerLine, SmtpState::kDateLine);
}

int SendDateLine(Engine& e, Channel& ch, uint32_t) {
    std::time_t when = ch.clock->Now();
    return SendHeaderLine(e, ch, true, FormatDateLine(ch.clock->LocalTime(when)),
                          SmtpState::kToLine);
}

int SendToLine(Engine& e, Channel& ch, uint32_t) {
    if (!e.params.omitTo.load() && !ch.to.empty()) {
        if (int rc = SendLine(e, ch, CutLine("To: " + ch.to)); rc != 0) {
            return rc;
        }
    }
    SetState(e, ch, SmtpState::kFromLine);
    return 0;
}

int SendFromLine(Engine& e, Channel& ch, uint32_t) {
    return SendHeaderLine(e, ch, !ch.sender.empty(), CutLine("From: " + ch.sender),
                          SmtpState::kReplyToLine);
}

int SendReplyToLine(Engine& e, Channel& ch, uint32_t) {
    return SendHeaderLine(e, ch, !ch.replyTo.empty(), CutLine("Reply-To: " + ch.replyTo),
                          SmtpState::kSubjectLine);
}

int SendSubjectLine(Engine& e, Channel& ch, uint32_t) {
    return SendHeaderLine(e, ch, !ch.subject.empty(), CutLine("Subject: " + ch.subject),
                          SmtpState::kCcLine);
}

int SendCcLine(Engine& e, Channel& ch, uint32_t) {
    return SendHeaderLine(e, ch, !ch.cc.empty(), CutLine("CC: " + ch.cc),
                          IsMime(ch) ? SmtpState::kMimeVersionLine : SmtpState::kHeaderEnd);
}

int SendMimeVersionLine(Engine& e, Channel& ch, uint32_t) {
    return SendHeaderLine(e, ch, true, "MIME-Version: 1.0", SmtpState::kMessageContentType);
}

int SendMessageContentType(Engine& e, Channel& ch, uint32_t) {
    std::string line = ch.contentMode == kSeeHtml ? "Content-Type: multipart/related; boundary="
                                                  : "Content-Type: multipart/mixed; boundary=";
    return SendHeaderLine(e, ch, true, line + "\"" + ch.boundary + "\"", SmtpState::kHeaderEnd);
}

int SendHeaderEnd(Engine& e, Channel& ch, uint32_t) {
    return SendHeaderLine(e, ch, true, "",
                          IsMime(ch) ? SmtpState::kBodyBoundary : SmtpState::kOpenBody);
}

// --- body ---

int SendBodyBoundary(Engine& e, Channel& ch, uint32_t) {
    return SendHeaderLine(e, ch, true, "--" + ch.boundary, SmtpState::kBodyContentType);
}

int SendBodyContentType(Engine& e, Channel& ch, uint32_t) {
    return SendHeaderLine(e, ch, true, BodyContentTypeLine(ch),
                          IsQuotedPrintableMode(ch.contentMode) ? SmtpState::kBodyTransferEncoding
                                                                : SmtpState::kOpenBody);
}

int SendBodyTransferEncoding(Engine& e, Channel& ch, uint32_t) {
    std::string line = ch.transferEncodingLine.empty()
                           ? std::string("Content-Transfer-Encoding: quoted-printable")
                           : CutLine(ch.transferEncodingLine);
    return SendHeaderLine(e, ch, true, line + "\r\n", SmtpState::kOpenBody);
}

int OpenBody(Engine& e, Channel& ch, uint32_t) {
    if (!ch.message.empty() && ch.message.front() == '@') {
        if (!ch.body.FromFile(MapPath(ch.workDir, ch.message.substr(1)))) {
            return Fail(e, ch, kSeeCannotOpenFile);
        }
    } else {
        ch.body.FromText(ch.message);
    }
    SetState(e, ch, SmtpState::kBodyLine);
    return 0;
}

int SendBodyLine(Engine& e, Channel& ch, uint32_t) {
    const BodyLineRules rules = RulesOf(e, ch.contentMode);
    std::string batch;
    std::string line;
    bool ended = false;
    while (batch.size() < kBatchBytes) {
        if (GetMsgLine(ch.body, rules, line) < 0) {
            ended = true;
            break;
        }
        ch.bodyBytes += static_cast<long>(line.size());
        batch += line;
        batch += "\r\n";
    }
    if (int rc = SendBatch(e, ch, batch); rc != 0) {
        return rc;
    }
    if (ended) {
        ch.body.Close();
        SetState(e, ch,
                 ch.attachments.empty() ? SmtpState::kEndOfMessage : SmtpState::kNextAttachment);
    }
    return 0;
}

// --- attachments ---

int NextAttachment(Engine& e, Channel& ch, uint32_t) {
    if (!TakeAttachmentEntry(e, ch)) {
        SetState(e, ch, SmtpState::kEndOfMessage);
        return 0;
    }
    return SendHeaderLine(e, ch, true, "\r\n\r\n--" + ch.boundary, SmtpState::kAttachmentHeader);
}

int SendAttachmentHeader(Engine& e, Channel& ch, uint32_t) {
    if (!ch.attachment.imageType.empty()) {
        ++ch.imageNumber;
    }
    std::string header = AttachmentHeader(ch.attachment, ch.imageNumber, ch.textAttachments,
                                          ch.contentMode == kSeeQuotedPrintable);
    header.resize(header.size() - 2);  // the send adds the last CR LF
    return SendHeaderLine(e, ch, true, header, SmtpState::kOpenAttachment);
}

int OpenAttachment(Engine& e, Channel& ch, uint32_t) {
    std::string path = MapPath(ch.workDir, ch.attachment.path);
    if (ch.textAttachments && ch.attachment.imageType.empty()) {
        if (!ch.textAttachment.FromFile(path)) {
            return Fail(e, ch, kSeeCannotOpenFile);
        }
        SetState(e, ch, SmtpState::kAttachmentTextLine);
        return 0;
    }
    ch.attachmentFile = std::fopen(path.c_str(), "rb");
    if (ch.attachmentFile == nullptr) {
        return Fail(e, ch, kSeeCannotOpenFile);
    }
    SetState(e, ch, SmtpState::kAttachmentBase64Line);
    return 0;
}

int SendAttachmentBase64Line(Engine& e, Channel& ch, uint32_t) {
    std::string batch;
    bool ended = false;
    while (batch.size() < kBatchBytes) {
        unsigned char piece[57];
        size_t got = std::fread(piece, 1, sizeof piece, ch.attachmentFile);
        if (got == 0) {
            ended = true;
            break;
        }
        ch.attachmentBytes += static_cast<long>(got);
        Base64EncodeLine(piece, got, batch);
    }
    if (int rc = SendBatch(e, ch, batch); rc != 0) {
        return rc;
    }
    if (ended) {
        std::fclose(ch.attachmentFile);
        ch.attachmentFile = nullptr;
        SetState(e, ch, SmtpState::kNextAttachment);
    }
    return 0;
}

int SendAttachmentTextLine(Engine& e, Channel& ch, uint32_t) {
    const BodyLineRules rules =
        RulesOf(e, ch.contentMode == kSeeQuotedPrintable ? kSeeQuotedPrintable : kSeeHtml);
    std::string batch;
    std::string line;
    bool ended = false;
    while (batch.size() < kBatchBytes) {
        if (GetMsgLine(ch.textAttachment, rules, line) < 0) {
            ended = true;
            break;
        }
        ch.attachmentBytes += static_cast<long>(line.size());
        batch += line;
        batch += "\r\n";
    }
    if (int rc = SendBatch(e, ch, batch, false); rc != 0) {
        return rc;
    }
    if (ended) {
        ch.textAttachment.Close();
        SetState(e, ch, SmtpState::kNextAttachment);
    }
    return 0;
}

// --- end of message ---

int SendEndOfMessage(Engine& e, Channel& ch, uint32_t now) {
    if (IsMime(ch)) {
        if (int rc = SendLine(e, ch, "--" + ch.boundary + "--\r\n"); rc != 0) {
            return rc;
        }
    }
    if (int rc = SendLine(e, ch, "\r\n."); rc != 0) {
        return rc;
    }
    AwaitReply(e, ch, now, SmtpState::kReadEndOfMessageReply);
    return 0;
}

int OnEndOfMessageReply(Engine& e, Channel& ch, uint32_t) {
    e.vsock.WaitReadable(ch.slot, 100);
    if (int rc = ReadReply(e, ch); rc != 0) {
        return rc;
    }
    ch.deadline = 0;
    SetState(e, ch, SmtpState::kFinished);
    return 0;
}

}  // namespace orvex::engine
