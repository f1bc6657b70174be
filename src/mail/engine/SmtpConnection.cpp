// Connection: resolve, connect, the greeting, EHLO or HELO and the choice of authentication.

#include <unistd.h>

#include <utility>

#include "mail/engine/DriverSupport.h"
#include "platform/TextUtil.h"

namespace orvex::engine {
namespace {

std::string GreetingDomain(const std::string& sender) {
    size_t at = sender.find('@');
    if (at == std::string::npos) {
        return kDefaultDomain;
    }
    size_t end = sender.find('>', at + 1);
    return sender.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
}

// The mechanism the EHLO reply offers first in our order of preference, as its first state;
// kFinished when it offers none (the connection is complete without authentication).
SmtpState ChooseAuthentication(const std::string& reply) {
    std::string upper = ToUpperAscii(reply);
    size_t auth = upper.find("AUTH");
    if (auth == std::string::npos) {
        return SmtpState::kFinished;
    }
    const std::pair<const char*, SmtpState> kChoices[] = {
        {" CRAM-MD5", SmtpState::kSendAuthCramMd5},
        {" LOGIN", SmtpState::kSendAuthLogin},
        {"=LOGIN", SmtpState::kSendAuthLogin},
        {" PLAIN", SmtpState::kSendAuthPlain}};
    for (const auto& [name, state] : kChoices) {
        if (upper.find(name, auth) != std::string::npos) {
            return state;
        }
    }
    return SmtpState::kFinished;
}

}  // namespace

int Begin(Engine& e, Channel& ch, uint32_t) {
    ch.afterConnectState = SmtpState::kReadGreeting;
    SetState(e, ch, SmtpState::kLocalHostName);
    return 0;
}

int LookUpLocalHostName(Engine& e, Channel& ch, uint32_t) {
    char host[256];
    ::gethostname(host, sizeof host);  // only the trace would use it
    SetState(e, ch, SmtpState::kResolve);
    return 0;
}

int ResolveServer(Engine& e, Channel& ch, uint32_t) {
    uint32_t address = 0;
    if (ResolveHostName(ch.server, &address) != kVsOk) {
        return Fail(e, ch, kSeeServerNotFound);
    }
    SetState(e, ch, SmtpState::kConnect);
    return 0;
}

int ConnectToServer(Engine& e, Channel& ch, uint32_t now) {
    int slot = e.vsock.CreateSocket();
    if (slot < 0) {
        // Nothing is open yet, so no error path.
        ch.socketCode = slot;
        SetState(e, ch, SmtpState::kFinished);
        ch.previousState = ch.currentState;
        ch.currentState = SmtpState::kBetweenSteps;
        return kSeeInvalidSocket;
    }
    ch.slot = slot;
    if (!ch.blockingConnect) {
        e.vsock.SetBlocking(slot, false);
    }
    int rc = e.vsock.Connect(slot, ch.server, ch.connectionPort);
    if (rc != kVsOk) {
        ch.socketCode = rc;
        return Fail(e, ch, kSeeConnectFailed);
    }
    ch.deadline = TickAt(now, TimingOf(e).connect);
    SetState(e, ch, SmtpState::kAwaitConnected);
    return 0;
}

int AwaitConnected(Engine& e, Channel& ch, uint32_t now) {
    if (e.vsock.Poll(ch.slot, kVsError) == 1) {
        return Fail(e, ch, kSeeConnectFailed);
    }
    if (e.vsock.Poll(ch.slot, kVsWritable) == 1) {
        ch.waitWritable = true;
        AwaitReply(e, ch, now, ch.afterConnectState);
    } else {
        ch.idle = IdleKind::kWritable;
    }
    return 0;
}

int OnGreeting(Engine& e, Channel& ch, uint32_t) {
    if (int rc = PollReply(e, ch); rc != 0) {
        return rc < 0 ? rc : 0;
    }
    ch.deadline = 0;
    SetState(e, ch, SmtpState::kSendHello);
    return 0;
}

int SendHello(Engine& e, Channel& ch, uint32_t now) {
    std::string greeting = (ch.ehloAuth ? "EHLO " : "HELO ") + GreetingDomain(ch.sender);
    e.vsock.WaitWritable(ch.slot, 1000);  // sent regardless of the outcome
    if (int rc = SendLine(e, ch, CutLine(greeting)); rc != 0) {
        return rc;
    }
    AwaitReply(e, ch, now, SmtpState::kReadHelloReply);
    return 0;
}

int OnHelloReply(Engine& e, Channel& ch, uint32_t) {
    if (int rc = PollReply(e, ch); rc != 0) {
        return rc < 0 ? rc : 0;
    }
    ch.deadline = 0;
    SetState(e, ch, ch.ehloAuth ? ChooseAuthentication(ch.reply) : SmtpState::kFinished);
    return 0;
}

}  // namespace orvex::engine
