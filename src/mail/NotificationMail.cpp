#include "mail/NotificationMail.h"

#include <unistd.h>

#include <cstdio>

#include "mail/engine/See.h"
#include "mail/engine/ErrorText.h"
#include "platform/FailureSentence.h"
#include "platform/FileIo.h"
#include "platform/PathMap.h"
#include "platform/StatusTexts.h"
#include "platform/TextUtil.h"

namespace orvex {

namespace {

void ReplaceAll(std::string& text, char from, const std::string& to) {
    size_t at = 0;
    while ((at = text.find(from, at)) != std::string::npos) {
        text.replace(at, 1, to);
        at += to.size();
    }
}

// A port outside 1-65535 (a hand-edited file) falls back to the standard one rather than
// failing every cycle.
int ServerPort(const AppSettings& s) {
    return s.EmailPort >= 1 && s.EmailPort <= 65535 ? s.EmailPort : 25;
}

// The server's port and how the connection is secured.
void ConfigureConnection(const AppSettings& s, const std::string& workDir) {
    seeIntegerParam(0, kSeePort, ServerPort(s));
    if (s.EmailSecurity != kEmailSecurityStartTls && s.EmailSecurity != kEmailSecurityTls) {
        return;
    }
    seeIntegerParam(0, kSeeSecurity,
                    s.EmailSecurity == kEmailSecurityTls ? kSeeImplicitTls : kSeeStartTls);
    seeIntegerParam(0, kSeeTlsVerify, s.TLSVerify != 0 ? 1 : 0);
    if (!s.TLSCAFile.empty()) {
        seeStringParam(0, kSeeTlsCaFile, MapPath(workDir, s.TLSCAFile).c_str());
    }
}

// A mail that cannot be sent because of the settings: the status, and unless errors are
// suppressed a box and the E-Mail page brought forward.
void ReportNotSent(const HostMessage& status, const AppSettings& s, Host& host) {
    host.Status(status);
    if (s.SuppressError != 1) {
        MessageBoxRequest box;
        box.text = status.Shown();
        host.MessageBox(box);
        host.ActivatePage(kMailSettingsPage);
    }
}

// What follows the code's own text in the engine's error text: the server's reply or the
// TLS layer's reason.
std::string AfterCodeText(int code, const std::string& engineText) {
    const char* known = EngineErrorText(code);
    const std::string own = known != nullptr ? known : "";
    if (!own.empty() && engineText.rfind(own, 0) == 0) {
        return TrimBlanks(engineText.substr(own.size()));
    }
    return engineText;
}

}  // namespace

std::string MailFailureSentence(const std::string& server, int port, int code,
                                const SeeFailureFacts& facts, const std::string& engineText,
                                bool sending) {
    ConnectionFailure failure;
    std::string action;
    switch (code) {
        case kSeeServerNotFound:
            failure.kind = FailureClass::kNameNotFound;
            break;
        case kSeeConnectFailed:
            failure = FailureOfErrno(facts.systemError);
            if (facts.systemError == 0) {
                failure.detail = "the connection could not be made";
            }
            break;
        case kSeeTimedOut:
            failure.kind =
                facts.beforeConnection ? FailureClass::kNoAnswer : FailureClass::kNoReply;
            failure.seconds = static_cast<int>((facts.limitMs + 999) / 1000);
            break;
        case kSeeClosed:
        case kSeeNotConnected:
            failure.kind = FailureClass::kClosed;
            break;
        case kSeeWriteError:
            failure.kind = FailureClass::kSendFailed;
            break;
        case kSeeSmtpError:
            failure.kind = FailureClass::kServerRefused;
            failure.detail = AfterCodeText(code, engineText);
            if (sending) {
                action = "the message";
            }
            break;
        case kSeeNoStartTlsOffered:
            failure.kind = FailureClass::kNoTlsOffered;
            break;
        case kSeeCertificateRejected:
            failure.kind = FailureClass::kCertificate;
            failure.detail = AfterCodeText(code, engineText);
            break;
        case kSeeTlsFailed:
            failure.kind = FailureClass::kTls;
            failure.detail = AfterCodeText(code, engineText);
            break;
        case kSeeReplyOverflow:
            failure.kind = FailureClass::kOther;
            failure.detail = "its reply was too long to read";
            break;
        case kSeeEmptyAddress:
        case kSeeSenderNull:
        case kSeeMissingOpenBracket:
        case kSeeMissingCloseBracket:
            return "no mail was sent to " + ServerAndPort(server, port) + ": " +
                   (sending ? "an address in To is not valid"
                            : "the From address is empty or not valid");
        case kSeeNoRecipient:
        case kSeeToNull:
            return "no mail was sent to " + ServerAndPort(server, port) +
                   ": the To address is empty";
        case kSeeNoServer:
        case kSeeBadServerName:
            return "no mail was sent: the mail server's name \"" + server + "\" is not valid";
        default:
            return "no mail was sent to " + ServerAndPort(server, port) + ": " + engineText;
    }
    return FailureSentence(server, port, failure, action);
}

std::string AddressList(const std::string& addresses) {
    if (addresses.empty()) {
        return std::string();
    }
    std::string list = "<" + addresses + ">";
    ReplaceAll(list, ',', ">,<");
    ReplaceAll(list, ';', ">,<");
    return list;
}

std::string TemporaryMailPath(const std::string& messageFile) {
    const size_t separator = messageFile.find_last_of("\\/");
    if (separator == std::string::npos) {
        return messageFile + "$";
    }
    const size_t dot = messageFile.find('.', separator);
    if (dot == std::string::npos) {
        return messageFile + "$";
    }
    return messageFile.substr(0, dot) + "$" + messageFile.substr(dot);
}

int SendNotificationMail(const AppSettings& s, const AddressState::Snapshot& addresses,
                         bool manualRefresh, const PageValues& pageValues, Host& host, Clock& clock,
                         const WindowFinder& finder, std::string* failure) {
    std::string unused;
    std::string& why = failure != nullptr ? *failure : unused;
    why.clear();
    const std::string from = AddressList(s.EmailFrom);
    const std::string to = AddressList(s.EmailTo);

    if (s.EmailOnIPChangeOnly == 1 && !manualRefresh && addresses.Unchanged(s.EnableIPv6 == 1)) {
        return 0;
    }

    host.Status(HostMessage::Coded(status::kSendingEmail));
    if (s.EmailSecurity < kEmailSecurityNone || s.EmailSecurity > kEmailSecurityTls) {
        // An unknown choice from a hand-edited file must not send the logon and the mail in
        // clear.
        ReportNotSent(HostMessage::Coded(status::kEmailNotSentPrefix, kUnknownSecurityText), s,
                      host);
        why = kUnknownSecurityText;
        return 0;
    }
    const std::string temporary = TemporaryMailPath(s.EmailInput);
    const std::string temporaryFile = MapPath(pageValues.workDir, temporary);
    ExpandTemplate(s.EmailInput, temporary, pageValues, host, clock, finder);

    std::string buffer;
    if (!ReadFileBounded(temporaryFile, kMaxMailTextBytes, &buffer)) {
        ReportNotSent(HostMessage::Coded(status::kEmailNotSentPrefix, kMailInputErrorText), s,
                      host);
        why = "the message file " + temporary + " could not be read";
        return 0;
    }
    std::string message;
    std::string attachments;
    if (s.IsMsgAttachment != 0) {
        attachments = temporary;
    } else {
        message = buffer;
    }

    seeAttach(1, clock, pageValues.workDir);
    ConfigureConnection(s, pageValues.workDir);
    if (s.EnableSMTPAuth == 1) {
        seeIntegerParam(0, kSeeEhloAuth, 1);
        seeStringParam(0, kSeeUser, s.EmailAccount.c_str());
        seeStringParam(0, kSeePassword, s.EmailPassword.c_str());
    }

    int code = seeSmtpConnect(0, s.EmailServer.c_str(), from.c_str(), nullptr);
    int errorRoom = 2049;  // room for 2048 characters
    const bool sending = code >= 0;
    if (code >= 0) {
        seeCommand(0, "NOOP");
        if (message.find("<HTML>") != std::string::npos ||
            message.find("<html>") != std::string::npos) {
            seeIntegerParam(0, kSeeContentMode, kSeeHtml);
        }
        std::string bcc;
        if (s.IsMailTo == 1) {
            const size_t open = to.find('<');
            const size_t close = open == std::string::npos ? open : to.find('>', open);
            if (close != std::string::npos) {
                bcc = to.substr(open, close - open + 1);
            }
            seeIntegerParam(0, kSeeOmitTo, 1);
        } else {
            seeIntegerParam(0, kSeeOmitTo, 0);
        }
        code = seeSendEmail(0, to.c_str(), "", bcc.c_str(), s.EmailSubject.c_str(), message.c_str(),
                            attachments.c_str());
        errorRoom = 255;  // room for 254 characters
    }

    if (code < 0) {
        std::string text(static_cast<size_t>(errorRoom), '\0');
        seeErrorString(0, code, text.data(), errorRoom);
        text.resize(text.find('\0') == std::string::npos ? text.size() : text.find('\0'));
        const HostMessage status = HostMessage::Coded(
            status::kEmailNotSentPrefix, "SEE Error " + std::to_string(code) + ": " + text);
        host.Status(status);
        why = MailFailureSentence(s.EmailServer, ServerPort(s), code, seeFailureFacts(0),
                                  seeErrorText(0, code), sending);
        host.Status(HostMessage::Sentence(why));
        if (s.SuppressError != 1) {
            MessageBoxRequest box;
            box.text = status.Shown();
            host.MessageBox(box);
        }
    }

    seeClose(0);
    seeDetach();
    ::unlink(temporaryFile.c_str());
    if (code >= 0) {
        host.Status(HostMessage::Coded(status::kEmailSent));
    }
    return 0;
}

}  // namespace orvex
