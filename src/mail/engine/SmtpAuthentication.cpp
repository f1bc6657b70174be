// Authentication: CRAM-MD5, LOGIN and PLAIN. A reply of 500 or more (a 535 refusal) fails
// with -49; 334 prompts and 235 count as success, and a successful exchange ends the
// connection sequence. A secret goes out only after the server's 334 prompt for it: any other
// reply there ends the logon with -49 and the server's text, and nothing more is sent.

#include "mail/engine/DriverSupport.h"
#include "mail/engine/codec/Base64.h"
#include "mail/engine/codec/CramMd5.h"

namespace orvex::engine {

namespace {

// Reads the reply that must prompt for the next secret. 1 while nothing is there yet, 0 for a
// 334 prompt, else the error path's code (a reply that is no prompt fails with -49).
int ReadPrompt(Engine& e, Channel& ch) {
    if (int rc = PollReply(e, ch); rc != 0) {
        return rc;
    }
    return ch.replyCode == 334 ? 0 : Fail(e, ch, kSeeSmtpError);
}

}  // namespace

int SendAuthCramMd5(Engine& e, Channel& ch, uint32_t now) {
    if (int rc = SendLine(e, ch, "AUTH CRAM-MD5"); rc != 0) {
        return rc;
    }
    AwaitReply(e, ch, now, SmtpState::kReadCramMd5Challenge);
    return 0;
}

int OnCramMd5Challenge(Engine& e, Channel& ch, uint32_t) {
    if (int rc = ReadPrompt(e, ch); rc != 0) {
        return rc < 0 ? rc : 0;
    }
    ch.challenge = CramMd5Challenge(ch.reply);
    ch.deadline = 0;
    SetState(e, ch, SmtpState::kSendCramMd5Response);
    return 0;
}

int SendCramMd5Response(Engine& e, Channel& ch, uint32_t now) {
    ch.challenge = CramMd5Response(ch.user, ch.password, ch.challenge);
    if (int rc = SendLine(e, ch, Base64Encode(ch.challenge)); rc != 0) {
        return rc;
    }
    AwaitReply(e, ch, now, SmtpState::kReadCramMd5Result);
    return 0;
}

int SendAuthLogin(Engine& e, Channel& ch, uint32_t now) {
    if (int rc = SendLine(e, ch, "AUTH LOGIN"); rc != 0) {
        return rc;
    }
    AwaitReply(e, ch, now, SmtpState::kSendLoginUser);
    return 0;
}

// Reads the prompt for the user name, then sends it.
int SendLoginUser(Engine& e, Channel& ch, uint32_t now) {
    if (int rc = ReadPrompt(e, ch); rc != 0) {
        return rc < 0 ? rc : 0;
    }
    if (int rc = SendLine(e, ch, Base64Encode(ch.user)); rc != 0) {
        return rc;
    }
    AwaitReply(e, ch, now, SmtpState::kSendLoginPassword);
    return 0;
}

// Reads the prompt for the password, then sends it.
int SendLoginPassword(Engine& e, Channel& ch, uint32_t now) {
    if (int rc = ReadPrompt(e, ch); rc != 0) {
        return rc < 0 ? rc : 0;
    }
    if (int rc = SendLine(e, ch, Base64Encode(ch.password)); rc != 0) {
        return rc;
    }
    AwaitReply(e, ch, now, SmtpState::kReadLoginResult);
    return 0;
}

int SendAuthPlain(Engine& e, Channel& ch, uint32_t now) {
    std::string credentials = ch.user + '\0' + ch.user + '\0' + ch.password;
    if (int rc = SendLine(e, ch, "AUTH PLAIN " + Base64Encode(credentials)); rc != 0) {
        return rc;
    }
    AwaitReply(e, ch, now, SmtpState::kReadPlainResult);
    return 0;
}

int OnFinalReply(Engine& e, Channel& ch, uint32_t) {
    if (int rc = PollReply(e, ch); rc != 0) {
        return rc < 0 ? rc : 0;
    }
    ch.deadline = 0;
    SetState(e, ch, SmtpState::kFinished);
    return 0;
}

}  // namespace orvex::engine
