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

// Whether an EHLO reply lists the STARTTLS extension (a line "250-STARTTLS" or "250 STARTTLS").
bool OffersStartTls(const std::string& reply) {
    size_t start = 0;
    while (start < reply.size()) {
        size_t end = reply.find('\n', start);
        std::string line = reply.substr(start, end == std::string::npos ? end : end - start);
        if (line.size() >= 12 && ToUpperAscii(line.substr(4, 8)) == "STARTTLS" &&
            (line.size() == 12 || line[12] == ' ' || line[12] == '\r')) {
            return true;
        }
        start = end == std::string::npos ? reply.size() : end + 1;
    }
    return false;
}

}  // namespace

int Begin(Engine& e, Channel& ch, uint32_t) {
    ch.tlsUp = false;
    ch.tlsError.clear();
    ch.connectError = 0;
    // TLS from the first byte: the handshake comes before the greeting.
    ch.afterConnectState =
        ch.security == kSeeImplicitTls ? SmtpState::kTlsHandshake : SmtpState::kReadGreeting;
    ch.afterTlsState = SmtpState::kReadGreeting;
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
        ch.connectError = e.vsock.ConnectError(slot);
        return Fail(e, ch, kSeeConnectFailed);
    }
    ch.deadline = TickAt(now, TimingOf(e).connect);
    SetState(e, ch, SmtpState::kAwaitConnected);
    return 0;
}

int AwaitConnected(Engine& e, Channel& ch, uint32_t now) {
    if (e.vsock.Poll(ch.slot, kVsError) == 1) {
        ch.connectError = e.vsock.ConnectError(ch.slot);
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
    const bool ehlo = ch.ehloAuth || ch.security == kSeeStartTls || ch.security == kSeeImplicitTls;
    std::string greeting = (ehlo ? "EHLO " : "HELO ") + GreetingDomain(ch.sender);
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
    if (ch.security == kSeeStartTls && !ch.tlsUp) {
        // Required: no credentials or mail may go out in the clear.
        if (!OffersStartTls(ch.reply)) {
            return Fail(e, ch, kSeeNoStartTlsOffered);
        }
        SetState(e, ch, SmtpState::kSendStartTls);
        return 0;
    }
    SetState(e, ch, ch.ehloAuth ? ChooseAuthentication(ch.reply) : SmtpState::kFinished);
    return 0;
}

int SendStartTls(Engine& e, Channel& ch, uint32_t now) {
    if (int rc = SendLine(e, ch, "STARTTLS"); rc != 0) {
        return rc;
    }
    AwaitReply(e, ch, now, SmtpState::kReadStartTlsReply);
    return 0;
}

int OnStartTlsReply(Engine& e, Channel& ch, uint32_t) {
    if (int rc = PollReply(e, ch); rc != 0) {
        return rc < 0 ? rc : 0;
    }
    if (ch.replyCode / 100 != 2) {
        return Fail(e, ch, kSeeSmtpError);  // "454 TLS not available": the text tells
    }
    ch.deadline = 0;
    ch.afterTlsState = SmtpState::kSendHello;  // the server forgets the first EHLO
    SetState(e, ch, SmtpState::kTlsHandshake);
    return 0;
}

int StartTls(Engine& e, Channel& ch, uint32_t) {
    const TlsOptions options{ch.tlsVerify, ch.tlsCaFile};
    int rc = e.vsock.StartTls(ch.slot, ch.server, options, static_cast<int>(TimingOf(e).reply));
    if (rc != kVsOk) {
        ch.socketCode = rc;
        ch.tlsError = e.vsock.TlsError(ch.slot);
        return Fail(e, ch, rc == kVsTlsNotTrusted ? kSeeCertificateRejected : kSeeTlsFailed);
    }
    ch.tlsUp = true;
    if (e.trace.on.load()) {
        e.trace.Line("channel " + std::to_string(ch.number) + ": " + e.vsock.TlsVersion(ch.slot) +
                     " with " + ch.server);
    }
    // The handshake took its time: the next reply's time-out counts from now.
    AwaitReply(e, ch, ch.clock->TickCount(), ch.afterTlsState);
    return 0;
}

}  // namespace orvex::engine
