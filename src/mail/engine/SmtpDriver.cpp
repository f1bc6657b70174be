// The SMTP dialogue as a state machine: each step sends at most one line (or one block) or
// reads one reply, so no single step waits long. States keep the numbers of the engine's
// trace: 1xx connection and authentication, 2xx greeting, envelope, message and close.

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include "mail/engine/EngineState.h"
#include "mail/engine/codec/Base64.h"
#include "mail/engine/codec/CramMd5.h"
#include "platform/PathMap.h"
#include "platform/TextUtil.h"

namespace orvex::engine {
namespace {

// Signed distance between two readings of the wrapping 32-bit tick counter.
int32_t TickDiff(uint32_t a, uint32_t b) {
    return static_cast<int32_t>(a - b);
}

uint32_t TickAt(uint32_t now, long delay) {
    uint32_t at = now + static_cast<uint32_t>(delay);
    return at == 0 ? 1 : at;  // 0 means "none"
}

struct Timing {
    long poll;
    long reply;
    long connect;
};

Timing TimingOf(const Engine& e) {
    return {e.params.pollInterval.load(), e.params.replyTimeout.load(),
            e.params.connectTimeout.load()};
}

// A sending state's ending: settle, then read by `next` before the reply time-out.
void AwaitReply(Engine& e, Channel& ch, uint32_t now, long settle, int next) {
    ch.notBefore = settle > 0 ? TickAt(now, settle) : 0;
    ch.deadline = TickAt(now, TimingOf(e).reply);
    ch.nextState = next;
}

void GoOn(Channel& ch, uint32_t now, long settle, int next) {
    ch.notBefore = settle > 0 ? TickAt(now, settle) : 0;
    ch.nextState = next;
}

std::string CutLine(std::string line) {
    if (line.size() > kMaxFormattedLine) {
        line.resize(kMaxFormattedLine);
    }
    return line;
}

// 0 when sent, else the error path's -52. `more`: the next line follows without a pause.
int SendLine(Engine& e, Channel& ch, const std::string& text, bool more = false) {
    int rc = e.vsock.SendLine(ch.slot, text, more);
    if (rc < 0) {
        ch.socketCode = rc;
        return Fail(e, ch, -52);
    }
    return 0;
}

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

// Reads one whole reply into ch.reply within the reply time-out. 0 on success (4xx included),
// else the error path's code. `closeIsEnd`: a peer that closes without a word ends the reply
// well (after QUIT); elsewhere that is a failure, not a success.
int ReadReply(Engine& e, Channel& ch, bool closeIsEnd = false) {
    const Timing t = TimingOf(e);
    const uint32_t start = ch.clock->TickCount();
    const long limit = t.reply + 100;
    ch.reply.clear();
    size_t lineStart = 0;
    bool firstLine = true;
    bool closed = false;
    for (;;) {
        if (ch.reply.size() >= kReplyBufferSize - 1) {
            return Fail(e, ch, -31);
        }
        long elapsed = TickDiff(ch.clock->TickCount(), start);
        if (elapsed > limit) {
            return Fail(e, ch, -8);
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
            if (ch.replyCode >= 500) {
                return Fail(e, ch, -49);
            }
        }
        if (EndsReply(line)) {
            return 0;
        }
        lineStart = ch.reply.size();
    }
    if (closed && ch.reply.empty()) {
        if (closeIsEnd) {
            return 0;
        }
        ch.socketCode = kVsClosed;
        return Fail(e, ch, -1);
    }
    // The peer closed during the reply: what was read is the reply.
    ch.lastLine = ch.reply.substr(lineStart).substr(0, kMaxLastLine);
    if (firstLine) {
        ch.replyCode = LeadingCode(ch.reply);
        if (ch.replyCode >= 500) {
            return Fail(e, ch, -49);
        }
    }
    return 0;
}

// Reading states: nothing there yet means the state runs again (1); else ReadReply's result.
int PollReply(Engine& e, Channel& ch, bool closeIsEnd = false) {
    if (e.vsock.WaitReadable(ch.slot, 0) != 1) {
        ch.idle = IdleKind::kReadable;
        return 1;
    }
    return ReadReply(e, ch, closeIsEnd);
}

std::string GreetingDomain(const std::string& sender) {
    size_t at = sender.find('@');
    if (at == std::string::npos) {
        return kDefaultDomain;
    }
    size_t end = sender.find('>', at + 1);
    return sender.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
}

// The mechanism the EHLO reply offers first in our order of preference, as its first state.
int ChooseAuthentication(const std::string& reply) {
    std::string upper = ToUpperAscii(reply);
    size_t auth = upper.find("AUTH");
    if (auth == std::string::npos) {
        return 0;
    }
    const std::pair<const char*, int> kChoices[] = {
        {" CRAM-MD5", 150}, {" LOGIN", 160}, {"=LOGIN", 160}, {" PLAIN", 170}};
    for (const auto& [name, state] : kChoices) {
        if (upper.find(name, auth) != std::string::npos) {
            return state;
        }
    }
    return 0;
}

const std::string& ListText(Channel& ch) {
    switch (ch.list) {
        case Channel::List::kCc:
            return ch.cc;
        case Channel::List::kBcc:
            return ch.bcc;
        default:
            return ch.to;
    }
}

// The next address from the cursor ("<" up to the separator or the end); -37 when none.
int PickAddress(Engine& e, Channel& ch) {
    const std::string& list = ListText(ch);
    const char separator = e.params.recipientSeparator.load();
    size_t stop = list.find(separator, ch.cursor);
    size_t open = list.find('<', ch.cursor);
    if (open == std::string::npos || (stop != std::string::npos && open > stop)) {
        return -37;
    }
    size_t end = list.find(separator, open);
    ch.address = list.substr(open, end == std::string::npos ? std::string::npos : end - open);
    ch.cursor = end == std::string::npos ? list.size() : end + 1;
    return 0;
}

bool IsMime(const Engine&, const Channel& ch) {
    return !ch.attachments.empty() || ch.contentMode != 0;
}

BodyLineRules RulesOf(const Engine& e, const Channel& ch, int mode) {
    BodyLineRules rules;
    rules.contentMode = mode;
    rules.passAllBytes = e.params.passAllBytes.load();
    rules.lineLength = static_cast<size_t>(std::max(1L, e.params.lineLength.load()));
    rules.blankBreak = static_cast<size_t>(std::max(1L, e.params.blankBreak.load()));
    (void)ch;
    return rules;
}

// The next attachment entry from the list, skipping empty entries; false when none is left.
bool NextAttachment(Engine& e, Channel& ch) {
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

// Runs the channel's current state; returns 0 to go on or the error path's code.
int RunState(Engine& e, Channel& ch, uint32_t now) {
    const Timing t = TimingOf(e);
    VSock& vs = e.vsock;
    int rc = 0;
    switch (ch.currentState) {
        // --- connection ---
        case 200:
            ch.afterConnectState = 201;
            ch.nextState = 101;
            return 0;
        case 101: {
            char host[256];
            ::gethostname(host, sizeof host);  // only the trace would use it
            ch.nextState = 104;
            return 0;
        }
        case 104: {
            uint32_t address = 0;
            if (ResolveHostName(ch.server, &address) != kVsOk) {
                return Fail(e, ch, -46);
            }
            ch.nextState = 105;
            return 0;
        }
        case 105: {
            int slot = vs.CreateSocket();
            if (slot < 0) {
                // Nothing is open yet, so no error path.
                ch.socketCode = slot;
                ch.nextState = 0;
                ch.previousState = ch.currentState;
                ch.currentState = -1;
                return -7;
            }
            ch.slot = slot;
            if (!ch.blockingConnect) {
                vs.SetBlocking(slot, false);
            }
            rc = vs.Connect(slot, ch.server, ch.connectionPort);
            if (rc != kVsOk) {
                ch.socketCode = rc;
                return Fail(e, ch, -36);
            }
            ch.notBefore = TickAt(now, t.poll);
            ch.deadline = TickAt(now, t.connect);
            ch.nextState = 106;
            return 0;
        }
        case 106:
            if (vs.Poll(ch.slot, kVsError) == 1) {
                return Fail(e, ch, -36);
            }
            if (vs.Poll(ch.slot, kVsWritable) == 1) {
                ch.waitWritable = true;
                AwaitReply(e, ch, now, t.poll, ch.afterConnectState);
            } else {
                ch.idle = IdleKind::kWritable;
            }
            return 0;
        case 201:
            if ((rc = PollReply(e, ch)) != 0) {
                return rc < 0 ? rc : 0;
            }
            ch.deadline = 0;
            GoOn(ch, now, t.poll, 202);
            return 0;
        case 202: {
            std::string greeting = (ch.ehloAuth ? "EHLO " : "HELO ") + GreetingDomain(ch.sender);
            vs.WaitWritable(ch.slot, 1000);  // sent regardless of the outcome
            if ((rc = SendLine(e, ch, CutLine(greeting))) != 0) {
                return rc;
            }
            AwaitReply(e, ch, now, 2 * t.poll + 200, 203);
            return 0;
        }
        case 203:
            if ((rc = PollReply(e, ch)) != 0) {
                return rc < 0 ? rc : 0;
            }
            ch.deadline = 0;
            ch.nextState = ch.ehloAuth ? ChooseAuthentication(ch.reply) : 0;
            return 0;

        // --- authentication ---
        case 150:
            if ((rc = SendLine(e, ch, "AUTH CRAM-MD5")) != 0) {
                return rc;
            }
            AwaitReply(e, ch, now, 2 * t.poll, 151);
            return 0;
        case 151:
            if ((rc = PollReply(e, ch)) != 0) {
                return rc < 0 ? rc : 0;
            }
            ch.challenge = CramMd5Challenge(ch.reply);
            ch.deadline = 0;
            ch.nextState = 152;
            return 0;
        case 152:
            ch.challenge = CramMd5Response(ch.user, ch.password, ch.challenge);
            if ((rc = SendLine(e, ch, Base64Encode(ch.challenge))) != 0) {
                return rc;
            }
            AwaitReply(e, ch, now, t.poll + 200, 153);
            return 0;
        case 160:
            if ((rc = SendLine(e, ch, "AUTH LOGIN")) != 0) {
                return rc;
            }
            AwaitReply(e, ch, now, 2 * t.poll + 200, 162);
            return 0;
        case 162:
        case 163:
            if ((rc = PollReply(e, ch)) != 0) {
                return rc < 0 ? rc : 0;
            }
            if ((rc = SendLine(
                     e, ch, Base64Encode(ch.currentState == 162 ? ch.user : ch.password))) != 0) {
                return rc;
            }
            if (ch.currentState == 162) {
                AwaitReply(e, ch, now, t.poll, 163);
            } else {
                AwaitReply(e, ch, now, t.poll + 200, 164);
            }
            return 0;
        case 170: {
            std::string credentials = ch.user + '\0' + ch.user + '\0' + ch.password;
            if ((rc = SendLine(e, ch, "AUTH PLAIN " + Base64Encode(credentials))) != 0) {
                return rc;
            }
            AwaitReply(e, ch, now, 2 * t.poll, 171);
            return 0;
        }
        case 153:
        case 164:
        case 171:
        case 299:  // raw command's reply
            if ((rc = PollReply(e, ch)) != 0) {
                return rc < 0 ? rc : 0;
            }
            ch.deadline = 0;
            ch.nextState = 0;
            return 0;

        // --- envelope ---
        case 204: {
            size_t open = ch.sender.find('<');
            std::string from = open == std::string::npos ? ch.sender : ch.sender.substr(open);
            if ((rc = SendLine(e, ch, CutLine("MAIL FROM:" + from))) != 0) {
                return rc;
            }
            AwaitReply(e, ch, now, t.poll, 205);
            return 0;
        }
        case 205:
            if ((rc = PollReply(e, ch)) != 0) {
                return rc < 0 ? rc : 0;
            }
            ch.list = Channel::List::kTo;
            ch.cursor = 0;
            ch.ccDone = ch.cc.empty();
            ch.bccDone = ch.bcc.empty();
            ch.deadline = 0;
            ch.nextState = 206;
            return 0;
        case 206:
            if (PickAddress(e, ch) != 0) {
                return Fail(e, ch, -37);
            }
            ch.waitWritable = true;
            ch.deadline = TickAt(now, t.reply);
            ch.nextState = 207;
            return 0;
        case 207:
            if ((rc = SendLine(e, ch, CutLine("RCPT TO:" + ch.address))) != 0) {
                return rc;
            }
            AwaitReply(e, ch, now, 0, 208);
            return 0;
        case 208:
            if ((rc = PollReply(e, ch)) != 0) {
                return rc < 0 ? rc : 0;
            }
            ++ch.recipientsAccepted;
            ch.deadline = 0;
            if (ch.cursor < ListText(ch).size()) {
                ch.nextState = 206;
            } else if (!ch.ccDone) {
                ch.list = Channel::List::kCc;
                ch.cursor = 0;
                ch.ccDone = true;
                ch.nextState = 206;
            } else if (!ch.bccDone) {
                ch.list = Channel::List::kBcc;
                ch.cursor = 0;
                ch.bccDone = true;
                ch.nextState = 206;
            } else {
                GoOn(ch, now, t.poll, 209);
            }
            return 0;
        case 209:
            if ((rc = SendLine(e, ch, "DATA")) != 0) {
                return rc;
            }
            AwaitReply(e, ch, now, t.poll, 210);
            return 0;
        case 210:
            if ((rc = PollReply(e, ch)) != 0) {
                return rc < 0 ? rc : 0;
            }
            ch.deadline = 0;
            GoOn(ch, now, 2 * t.poll, 221);
            return 0;

        // --- header ---
        case 221:
            rc = SendLine(e, ch, kMailerLine);
            ch.nextState = 223;
            return rc;
        case 223: {
            std::time_t when = ch.clock->Now();
            rc = SendLine(e, ch, FormatDateLine(ch.clock->LocalTime(when)));
            ch.nextState = 224;
            return rc;
        }
        case 224:
            if (!e.params.omitTo.load() && !ch.to.empty()) {
                rc = SendLine(e, ch, CutLine("To: " + ch.to));
            }
            GoOn(ch, now, t.poll, 225);
            return rc;
        case 225:
            if (!ch.sender.empty()) {
                rc = SendLine(e, ch, CutLine("From: " + ch.sender));
            }
            ch.nextState = 226;
            return rc;
        case 226:
            if (!ch.replyTo.empty()) {
                rc = SendLine(e, ch, CutLine("Reply-To: " + ch.replyTo));
            }
            ch.nextState = 227;
            return rc;
        case 227:
            if (!ch.subject.empty()) {
                rc = SendLine(e, ch, CutLine("Subject: " + ch.subject));
            }
            ch.nextState = 228;
            return rc;
        case 228:
            if (!ch.cc.empty()) {
                rc = SendLine(e, ch, CutLine("CC: " + ch.cc));
            }
            ch.nextState = IsMime(e, ch) ? 229 : 233;
            return rc;
        case 229:
            rc = SendLine(e, ch, "MIME-Version: 1.0");
            ch.nextState = 230;
            return rc;
        case 230:
            rc = SendLine(
                e, ch,
                std::string(ch.contentMode == 2 ? "Content-Type: multipart/related; boundary="
                                                : "Content-Type: multipart/mixed; boundary=") +
                    "\"" + ch.boundary + "\"");
            ch.nextState = 233;
            return rc;
        case 233:
            rc = SendLine(e, ch, "");
            ch.nextState = IsMime(e, ch) ? 234 : 238;
            return rc;
        case 234:
            rc = SendLine(e, ch, "--" + ch.boundary);
            ch.nextState = 236;
            return rc;
        case 236: {
            int mode = ch.contentMode;
            std::string line;
            switch (mode) {
                case 2:
                    line = "Content-Type: text/html\r\n";
                    break;
                case 4:
                    line = "Content-Type: text/plain; charset=iso-8859-1";
                    break;
                case 3:
                    line = "Content-Type: text/enriched";
                    break;
                case 9:
                    line = CutLine(ch.contentTypeLine);
                    break;
                case 1:
                    line = "Content-Type: text/plain";
                    break;
                default:
                    line = "Content-Type: text/plain\r\n";
                    break;
            }
            rc = SendLine(e, ch, line);
            ch.nextState = IsQuotedPrintableMode(mode) ? 237 : 238;
            return rc;
        }
        case 237:
            rc = SendLine(e, ch,
                          (ch.transferEncodingLine.empty()
                               ? std::string("Content-Transfer-Encoding: quoted-printable")
                               : CutLine(ch.transferEncodingLine)) +
                              "\r\n");
            ch.nextState = 238;
            return rc;

        // --- body ---
        case 238:
            if (!ch.message.empty() && ch.message.front() == '@') {
                if (!ch.body.FromFile(MapPath(ch.workDir, ch.message.substr(1)))) {
                    return Fail(e, ch, -35);
                }
            } else {
                ch.body.FromText(ch.message);
            }
            ch.nextState = 240;
            return 0;
        case 240: {
            std::string line;
            if (GetMsgLine(ch.body, RulesOf(e, ch, ch.contentMode), line) < 0) {
                ch.body.Close();
                ch.nextState = ch.attachments.empty() ? 251 : 260;
                return 0;
            }
            ch.bodyBytes += static_cast<long>(line.size());
            return SendLine(e, ch, line, true);
        }

        // --- attachments ---
        case 260:
            if (!NextAttachment(e, ch)) {
                ch.nextState = 251;
                return 0;
            }
            if ((rc = SendLine(e, ch, "\r\n\r\n--" + ch.boundary)) != 0) {
                return rc;
            }
            ch.nextState = 261;
            return 0;
        case 261: {
            bool image = !ch.attachment.imageType.empty();
            if (image) {
                ++ch.imageNumber;
            }
            std::string header = AttachmentHeader(ch.attachment, ch.imageNumber, ch.textAttachments,
                                                  ch.contentMode == 1);
            header.resize(header.size() - 2);  // the send adds the last CR LF
            if ((rc = SendLine(e, ch, header)) != 0) {
                return rc;
            }
            ch.nextState = 264;
            return 0;
        }
        case 264: {
            std::string path = MapPath(ch.workDir, ch.attachment.path);
            bool asText = ch.textAttachments && ch.attachment.imageType.empty();
            if (asText) {
                if (!ch.textAttachment.FromFile(path)) {
                    return Fail(e, ch, -35);
                }
                ch.nextState = 266;
                return 0;
            }
            ch.attachmentFile = std::fopen(path.c_str(), "rb");
            if (ch.attachmentFile == nullptr) {
                return Fail(e, ch, -35);
            }
            ch.nextState = 265;
            return 0;
        }
        case 265: {
            unsigned char piece[57];
            size_t got = std::fread(piece, 1, sizeof piece, ch.attachmentFile);
            if (got == 0) {
                std::fclose(ch.attachmentFile);
                ch.attachmentFile = nullptr;
                ch.nextState = 260;
                return 0;
            }
            ch.attachmentBytes += static_cast<long>(got);
            std::string line;
            Base64EncodeLine(piece, got, line);
            int sent = vs.Send(ch.slot, line.data(), static_cast<int>(line.size()), true);
            if (sent < 0) {
                ch.socketCode = sent;
                return Fail(e, ch, -52);
            }
            return 0;
        }
        case 266: {
            std::string line;
            int mode = ch.contentMode == 1 ? 1 : 2;
            if (GetMsgLine(ch.textAttachment, RulesOf(e, ch, mode), line) < 0) {
                ch.textAttachment.Close();
                ch.nextState = 260;
                return 0;
            }
            ch.attachmentBytes += static_cast<long>(line.size());
            return SendLine(e, ch, line);
        }

        // --- end of message, raw command, close ---
        case 251:
            if (IsMime(e, ch) && (rc = SendLine(e, ch, "--" + ch.boundary + "--\r\n")) != 0) {
                return rc;
            }
            if ((rc = SendLine(e, ch, "\r\n.")) != 0) {
                return rc;
            }
            AwaitReply(e, ch, now, t.poll, 252);
            return 0;
        case 252:
            vs.WaitReadable(ch.slot, 100);
            if ((rc = ReadReply(e, ch)) != 0) {
                return rc;
            }
            ch.deadline = 0;
            ch.nextState = 0;
            return 0;
        case 298:
            if ((rc = SendLine(e, ch, ch.command)) != 0) {
                return rc;
            }
            AwaitReply(e, ch, now, t.poll, 299);
            return 0;
        case 258:
            if ((rc = SendLine(e, ch, "QUIT")) != 0) {
                return rc;
            }
            AwaitReply(e, ch, now, t.poll, 259);
            return 0;
        case 259:
            if ((rc = PollReply(e, ch, true)) != 0) {
                return rc < 0 ? rc : 0;
            }
            vs.Close(ch.slot);
            ch.slot = -1;
            ch.deadline = 0;
            ch.nextState = 0;
            return 0;
        default:
            // A state this engine does not know (the mail-reading side is not built).
            return Fail(e, ch, 0);
    }
}

}  // namespace

int Fail(Engine& e, Channel& ch, int code) {
    ch.nextState = 0;
    ch.previousState = ch.currentState;
    ch.currentState = -1;
    ch.notBefore = 0;
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
    if (ch.notBefore != 0 && TickDiff(now, ch.notBefore) < 0) {
        ch.idle = IdleKind::kUntilNotBefore;
        return kStepWaited;
    }
    if (ch.deadline != 0 && TickDiff(now, ch.deadline) > 0) {
        return Fail(e, ch, -8);
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
    if (ch.currentState == 0) {
        ch.currentState = -1;
        ch.notBefore = ch.deadline = 0;
        return 0;
    }
    int rc = RunState(e, ch, now);
    if (rc < 0) {
        return rc;
    }
    ch.previousState = ch.currentState;
    ch.currentState = -1;
    if (ch.nextState == 0) {
        // Finished: no stale tick may fall on the next entry point.
        ch.notBefore = ch.deadline = 0;
        ch.waitWritable = false;
    }
    return ch.nextState;
}

int RunDialogue(Engine& e, Channel& ch) {
    for (;;) {
        int rc = Step(e, ch);
        if (rc <= 0) {
            return rc;
        }
        switch (ch.idle) {
            case IdleKind::kUntilNotBefore: {
                int32_t left = TickDiff(ch.notBefore, ch.clock->TickCount());
                if (left > 0) {
                    ch.clock->SleepMs(static_cast<uint32_t>(left));
                }
                break;
            }
            // Waiting for the socket: a short bounded wait that readiness ends early, so a
            // silent peer costs no busy loop and a prompt one no delay.
            case IdleKind::kReadable:
                e.vsock.WaitReadable(ch.slot, 2);
                break;
            case IdleKind::kWritable:
                e.vsock.WaitWritable(ch.slot, 2);
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
