#include "mail/engine/See.h"

#include <cstring>

#include "mail/engine/DriverSupport.h"
#include "mail/engine/ErrorText.h"

namespace orvex {

using engine::Channel;
using engine::Engine;

namespace engine {

Engine& TheEngine() {
    static Engine instance;
    return instance;
}

}  // namespace engine

namespace {

// The channel for an entry point, or kSeeNotAttached / kSeeChannelOutOfRange in `error`.
std::shared_ptr<Channel> FindChannel(int number, int* error) {
    Engine& e = engine::TheEngine();
    std::lock_guard lock(e.lock);
    if (e.channelCount.load() == 0) {
        *error = kSeeNotAttached;
        return nullptr;
    }
    if (number < 0 || number >= e.channelCount.load()) {
        *error = kSeeChannelOutOfRange;
        return nullptr;
    }
    return e.channels[static_cast<size_t>(number)];
}

constexpr int kPop3Error = -63;  // of the mail-reading side, which is not built

std::string Cut(const char* text, size_t limit) {
    size_t length = ::strnlen(text, limit);
    return std::string(text, length);
}

bool IsServerNameByte(unsigned char c) {
    return c != '<' && c != '>' && c != '@' && ((c >= 32 && c <= 126) || c >= 192);
}

// kSeeMissingOpenBracket when the list's first address has no "<" before the separator or the
// end, kSeeMissingCloseBracket when no ">" follows it, else 0.
int CheckFirstAddress(const std::string& list, char separator) {
    size_t end = list.find(separator);
    size_t open = list.find('<');
    if (open == std::string::npos || (end != std::string::npos && open > end)) {
        return kSeeMissingOpenBracket;
    }
    if (list.find('>', open) == std::string::npos) {
        return kSeeMissingCloseBracket;
    }
    return 0;
}

void ClearTicks(Channel& ch) {
    ch.deadline = 0;
    ch.waitWritable = false;
}

int StartDialogue(Engine& e, Channel& ch, engine::SmtpState entry) {
    ClearTicks(ch);
    engine::SetState(e, ch, entry);
    if (!ch.blocking) {
        return 0;
    }
    return engine::RunDialogue(e, ch);
}

}  // namespace

int seeAttach(int channels, Clock& clock, const std::string& workDir) {
    Engine& e = engine::TheEngine();
    std::lock_guard lock(e.lock);
    if (e.channelCount.load() > 0) {
        return kSeeAlreadyAttached;
    }
    // Zero channels would leave the engine looking detached while holding a socket layer.
    if (channels < 1 || channels > engine::kMaxChannels) {
        return kSeeChannelOutOfRange;
    }
    e.vsock.Start(engine::kMaxChannels, static_cast<int>(e.params.pollSleep.load()), clock);
    e.vsock.SetSendStall(static_cast<int>(e.params.replyTimeout.load()));
    std::string boundary =
        "=====_SEE" + std::to_string(static_cast<int32_t>(clock.TickCount())) + "_=====";
    e.channels.clear();
    for (int i = 0; i < channels; ++i) {
        auto ch = std::make_shared<Channel>();
        ch->number = i;
        ch->clock = &clock;
        ch->workDir = workDir;
        ch->boundary = boundary;
        e.channels.push_back(std::move(ch));
    }
    e.channelCount = channels;
    return 1;
}

int seeDetach() {
    Engine& e = engine::TheEngine();
    std::lock_guard lock(e.lock);
    for (auto it = e.channels.rbegin(); it != e.channels.rend(); ++it) {
        std::lock_guard channelLock((*it)->mutex);
        (*it)->FreeCopies();
    }
    e.channels.clear();
    e.channelCount = 0;
    e.vsock.End();
    return 1;
}

int seeIntegerParam(int channel, int code, long value) {
    int error = 0;
    std::shared_ptr<Channel> ch = FindChannel(channel, &error);
    if (!ch) {
        return error;
    }
    Engine& e = engine::TheEngine();
    engine::ProcessParams& p = e.params;
    std::lock_guard channelLock(ch->mutex);
    switch (code) {
        case kSeePollInterval:
            p.pollInterval = value;
            break;
        case kSeeReplyTimeout:
            p.replyTimeout = value;
            e.vsock.SetSendStall(static_cast<int>(value));
            break;
        case kSeeConnectTimeout:
            p.connectTimeout = value;
            break;
        case kSeeContentMode:
            ch->contentMode = static_cast<int>(value & 15);
            break;
        case kSeeBlocking:
            ch->blocking = (value & 1) != 0;
            ch->deadline = 0;
            break;
        case kSeePollSleep:
            p.pollSleep = value;
            break;
        case kSeePort:
            ch->port = static_cast<int>(value);
            break;
        case kSeeLineLength:
            p.lineLength = value;
            p.blankBreak = value - 18;
            break;
        case kSeeBlockingConnect:
            ch->blockingConnect = value != 0;
            break;
        case kSeePassAllBytes:
            p.passAllBytes = value != 0;
            break;
        case kSeeOmitTo:
            p.omitTo = value != 0;
            break;
        case kSeeRecipientSeparator:
            p.recipientSeparator = static_cast<char>(value);
            break;
        case kSeeAttachmentSeparator:
            p.attachmentSeparator = static_cast<char>(value);
            break;
        case kSeeNameSeparator:
            p.nameSeparator = static_cast<char>(value);
            break;
        case kSeeRecogniseImages:
            ch->recogniseImages = value != 0;
            break;
        case kSeeEhloAuth:
            ch->ehloAuth = value != 0;
            break;
        case kSeeSkipRefused:
            ch->skipRefused = value != 0;
            break;
        case kSeeTextAttachments:
            ch->textAttachments = value != 0;
            break;
        case kSeeSecurity:
            ch->security = static_cast<int>(value);
            break;
        case kSeeTlsVerify:
            ch->tlsVerify = value != 0;
            break;
        default:
            return -1;  // unknown parameter
    }
    return 1;
}

int seeStringParam(int channel, int code, const char* text) {
    int error = 0;
    std::shared_ptr<Channel> ch = FindChannel(channel, &error);
    if (!ch) {
        return error;
    }
    if (text == nullptr) {
        return kSeeNullPointer;
    }
    std::lock_guard channelLock(ch->mutex);
    switch (code) {
        case kSeePassword:
            ch->password = Cut(text, engine::kMaxCredential);
            return static_cast<int>(ch->password.size());
        case kSeeUser:
            ch->user = Cut(text, engine::kMaxCredential);
            return static_cast<int>(ch->user.size());
        case kSeeContentTypeLine:
            ch->contentTypeLine = Cut(text, engine::kMaxFormattedLine);
            return 1;
        case kSeeTransferEncodingLine:
            ch->transferEncodingLine = Cut(text, engine::kMaxFormattedLine);
            return 1;
        case kSeeTlsCaFile:
            ch->tlsCaFile = text;
            return 1;
        case kSeeTraceFile:
            return engine::TheEngine().trace.Open(text) ? 1 : kSeeCannotCreateFile;
        default:
            return -1;
    }
}

int seeSmtpConnect(int channel, const char* server, const char* sender, const char* replyTo) {
    int error = 0;
    std::shared_ptr<Channel> ch = FindChannel(channel, &error);
    if (!ch) {
        return error;
    }
    Engine& e = engine::TheEngine();
    std::lock_guard channelLock(ch->mutex);
    ch->mark = 'S';
    if (server == nullptr) {
        return kSeeNoServer;
    }
    if (sender == nullptr) {
        return kSeeSenderNull;
    }
    for (const char* c = server; *c != '\0'; ++c) {
        if (!IsServerNameByte(static_cast<unsigned char>(*c))) {
            return kSeeBadServerName;
        }
    }
    if (replyTo != nullptr && *replyTo != '\0') {
        ch->replyTo = Cut(replyTo, engine::kMaxSender);
    }
    ch->server = Cut(server, engine::kMaxServerName);
    std::string from = sender;
    if (from.empty()) {
        return kSeeEmptyAddress;
    }
    size_t open = from.find('<');
    if (open == std::string::npos) {
        return kSeeMissingOpenBracket;
    }
    if (from.find('>', open) == std::string::npos) {
        return kSeeMissingCloseBracket;
    }
    ch->sender = Cut(sender, engine::kMaxSender);
    if (ch->slot >= 0) {
        // A connection left open would otherwise hold its slot until detach.
        e.vsock.Close(ch->slot);
        ch->slot = -1;
    }
    ch->connectionPort = ch->port;
    ch->recipientsAccepted = ch->bodyBytes = ch->attachmentBytes = 0;
    ch->imageNumber = 0;
    return StartDialogue(e, *ch, engine::SmtpState::kBegin);
}

int seeSendEmail(int channel, const char* to, const char* cc, const char* bcc, const char* subject,
                 const char* message, const char* attachments) {
    int error = 0;
    std::shared_ptr<Channel> ch = FindChannel(channel, &error);
    if (!ch) {
        return error;
    }
    Engine& e = engine::TheEngine();
    std::lock_guard channelLock(ch->mutex);
    if (ch->mark != 'S') {
        return kSeeSmtpOnly;
    }
    if (ch->slot < 0 || e.vsock.Poll(ch->slot, kVsWritable) != 1) {
        return kSeeNotConnected;
    }
    if (to == nullptr) {
        return kSeeToNull;
    }
    if (*to == '\0') {
        return kSeeNoRecipient;
    }
    const char separator = e.params.recipientSeparator.load();
    for (const char* list : {to, cc, bcc}) {
        if (list == nullptr || *list == '\0') {
            continue;
        }
        int check = CheckFirstAddress(list, separator);
        if (check == kSeeMissingOpenBracket) {
            return engine::Fail(e, *ch, kSeeMissingOpenBracket);
        }
        if (check != 0) {
            return check;
        }
    }
    auto copy = [](const char* text) { return text == nullptr ? std::string() : text; };
    ch->to = copy(to);
    ch->cc = copy(cc);
    ch->bcc = copy(bcc);
    ch->subject = copy(subject);
    ch->message = copy(message);
    ch->attachments = copy(attachments);
    ch->recipientsAccepted = ch->bodyBytes = ch->attachmentBytes = 0;
    ch->refusal.clear();
    ch->imageNumber = 0;
    ch->attachmentCursor = 0;
    ch->CloseFiles();
    return StartDialogue(e, *ch, engine::SmtpState::kSendMailFrom);
}

int seeCommand(int channel, const char* command) {
    int error = 0;
    std::shared_ptr<Channel> ch = FindChannel(channel, &error);
    if (!ch) {
        return error;
    }
    if (command == nullptr) {
        return kSeeNullPointer;
    }
    std::lock_guard channelLock(ch->mutex);
    ch->command = Cut(command, engine::kMaxCommand);
    if (ch->mark != 'S') {
        return kSeeBadServerName;
    }
    return StartDialogue(engine::TheEngine(), *ch, engine::SmtpState::kSendCommand);
}

int seeClose(int channel) {
    int error = 0;
    std::shared_ptr<Channel> ch = FindChannel(channel, &error);
    if (!ch) {
        return error;
    }
    std::lock_guard channelLock(ch->mutex);
    int rc = 0;
    if (ch->slot >= 0) {
        rc = StartDialogue(engine::TheEngine(), *ch, engine::SmtpState::kSendQuit);
    }
    if (ch->blocking || ch->slot < 0) {
        ch->FreeCopies();
        ch->mark = 0;
    }
    return rc;
}

int seeErrorString(int channel, int code, char* buffer, int size) {
    int error = 0;
    std::shared_ptr<Channel> ch = FindChannel(channel, &error);
    if (!ch) {
        return error;
    }
    if (buffer == nullptr) {
        return kSeeNullBuffer;
    }
    if (size < 1) {
        return 0;
    }
    std::string text;
    if (const char* known = EngineErrorText(code)) {
        text = known;
        if (code == kSeeSmtpError || code == kSeeConnectFailed || code == kPop3Error) {
            std::lock_guard channelLock(ch->mutex);
            text += " " + ch->reply;
        }
        if (code == kSeeCertificateRejected || code == kSeeTlsFailed) {
            std::lock_guard channelLock(ch->mutex);
            text += " " + ch->tlsError;
        }
    }
    size_t length = std::min(text.size(), static_cast<size_t>(size) - 1);
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return static_cast<int>(length);
}

std::string seeErrorText(int channel, int code) {
    char buffer[2048];
    int length = seeErrorString(channel, code, buffer, sizeof buffer);
    return length > 0 ? std::string(buffer, static_cast<size_t>(length)) : std::string();
}

SeeFailureFacts seeFailureFacts(int channel) {
    SeeFailureFacts facts;
    int error = 0;
    std::shared_ptr<Channel> ch = FindChannel(channel, &error);
    if (!ch) {
        return facts;
    }
    const engine::ProcessParams& p = engine::TheEngine().params;
    std::lock_guard channelLock(ch->mutex);
    using engine::SmtpState;
    switch (ch->failedState) {
        case SmtpState::kBegin:
        case SmtpState::kLocalHostName:
        case SmtpState::kResolve:
        case SmtpState::kConnect:
        case SmtpState::kAwaitConnected:
            facts.beforeConnection = true;
            break;
        default:
            break;
    }
    facts.systemError = ch->connectError;
    facts.limitMs = facts.beforeConnection ? p.connectTimeout.load() : p.replyTimeout.load();
    return facts;
}

int seeStep(int channel) {
    int error = 0;
    std::shared_ptr<Channel> ch = FindChannel(channel, &error);
    if (!ch) {
        return error;
    }
    std::lock_guard channelLock(ch->mutex);
    return engine::Step(engine::TheEngine(), *ch);
}

}  // namespace orvex
