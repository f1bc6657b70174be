#pragma once

// The engine's internal records, shared by the interface and the dialogue driver.

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "mail/engine/MessageBuilder.h"
#include "mail/engine/SmtpState.h"
#include "mail/engine/vsock/VSock.h"
#include "platform/Clock.h"

namespace orvex::engine {

inline constexpr int kMaxChannels = 128;
inline constexpr size_t kReplyBufferSize = 1024;  // reply text holds at most 1023 bytes
inline constexpr size_t kMaxLastLine = 127;
inline constexpr size_t kMaxServerName = 128;
inline constexpr size_t kMaxSender = 128;
inline constexpr size_t kMaxCredential = 64;
inline constexpr size_t kMaxCommand = 32;
inline constexpr size_t kMaxFormattedLine = 1023;  // header lines are formatted in 1024 bytes
inline constexpr int kStepWaited = 9999;
// Greeting domain when the sender has no "@".
inline constexpr const char* kDefaultDomain = "quorvane.invalid";
inline constexpr const char* kMailerLine = "X-Mailer: Quorvane SMTP/POP3 Email Engine Version 3.4";

// Process-wide parameters; every channel reads them.
struct ProcessParams {
    std::atomic<long> pollInterval{25};
    std::atomic<long> replyTimeout{25000};
    std::atomic<long> connectTimeout{60000};
    std::atomic<long> pollSleep{100};
    std::atomic<long> lineLength{78};
    std::atomic<long> blankBreak{61};
    std::atomic<bool> passAllBytes{false};
    std::atomic<bool> omitTo{false};
    std::atomic<char> recipientSeparator{','};
    std::atomic<char> attachmentSeparator{','};
    std::atomic<char> nameSeparator{'|'};
};

enum class IdleKind { kNone, kReadable, kWritable };

struct Channel {
    std::mutex mutex;  // one call on the channel at a time

    int number = 0;
    char mark = 0;  // 'S' once seeSmtpConnect has begun
    int slot = -1;

    // Dialogue registers. Only SetState chooses nextState.
    SmtpState previousState = SmtpState::kNeverRan;
    SmtpState currentState = SmtpState::kBetweenSteps;
    SmtpState nextState = SmtpState::kFinished;
    SmtpState afterConnectState = SmtpState::kFinished;
    uint32_t deadline = 0;  // 0 = none
    bool waitWritable = false;
    long steps = 0;
    IdleKind idle = IdleKind::kNone;  // why the last step made no progress

    // Channel parameters.
    bool blocking = true;
    int port = 25;
    int connectionPort = 25;
    int contentMode = 0;
    bool recogniseImages = true;
    bool ehloAuth = false;
    bool skipRefused = false;
    bool textAttachments = false;
    bool blockingConnect = true;
    int security = 0;       // kSeeSecurity
    bool tlsVerify = true;  // kSeeTlsVerify
    std::string tlsCaFile;  // kSeeTlsCaFile
    bool tlsUp = false;     // this connection runs over TLS
    SmtpState afterTlsState = SmtpState::kFinished;
    std::string tlsError;              // reason of the latest TLS failure
    std::string contentTypeLine;       // string parameter 54
    std::string transferEncodingLine;  // string parameter 55

    std::string server, sender, replyTo, user, password, command;

    // Copies of the message's arguments (empty = absent).
    std::string to, cc, bcc, subject, message, attachments;

    // Envelope.
    enum class List { kTo, kCc, kBcc } list = List::kTo;
    size_t cursor = 0;
    bool ccDone = false;
    bool bccDone = false;
    std::string address;

    std::string refusal;   // the latest recipient refusal that was skipped
    std::string reply;     // latest server reply, lines joined
    std::string lastLine;  // its last line
    long replyCode = 0;
    int socketCode = 0;  // the socket layer's code behind the latest failure
    // Where the latest failure struck and, when connecting failed, the system's reason.
    SmtpState failedState = SmtpState::kNeverRan;
    int connectError = 0;

    BodyReader body;
    std::string challenge;
    size_t attachmentCursor = 0;
    AttachmentEntry attachment;
    std::FILE* attachmentFile = nullptr;
    BodyReader textAttachment;

    long recipientsAccepted = 0;
    long bodyBytes = 0;
    long attachmentBytes = 0;
    int imageNumber = 0;

    // Copied at attach so a channel never reads engine-wide fields unlocked.
    Clock* clock = nullptr;
    std::string workDir;
    std::string boundary;

    void CloseFiles() {
        body.Close();
        textAttachment.Close();
        if (attachmentFile != nullptr) {
            std::fclose(attachmentFile);
            attachmentFile = nullptr;
        }
    }
    void FreeCopies() {
        to.clear();
        cc.clear();
        bcc.clear();
        subject.clear();
        message.clear();
        attachments.clear();
        CloseFiles();
    }
};

// The engine's trace: a file named by string parameter 20, one line per state change.
struct Trace {
    std::mutex mutex;
    std::FILE* file = nullptr;  // guarded by mutex
    std::atomic<bool> on{false};

    ~Trace() { Open(""); }
    // Closes any open trace and opens `path` for appending ("" = no trace). False when the
    // file cannot be opened.
    bool Open(const std::string& path);
    void Line(const std::string& text);
};

struct Engine {
    std::recursive_mutex lock;                       // attach and detach
    std::vector<std::shared_ptr<Channel>> channels;  // guarded by lock
    std::atomic<int> channelCount{0};
    ProcessParams params;
    VSock vsock;
    Trace trace;
};

Engine& TheEngine();

// One step of the dialogue on a locked channel (the driver).
int Step(Engine& engine, Channel& channel);
// Steps until the dialogue finishes or fails, pausing while a step has to wait.
int RunDialogue(Engine& engine, Channel& channel);
// The error path: ends the dialogue, closes the socket and returns `code`.
int Fail(Engine& engine, Channel& channel, int code);

}  // namespace orvex::engine
