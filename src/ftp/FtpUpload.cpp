#include "ftp/FtpUpload.h"

#include "platform/FailureSentence.h"
#include "platform/StatusTexts.h"

namespace orvex {

namespace {

// A reply line of the server, when there is one.
void ReportReply(const CFtpLink& link, Host& host) {
    if (!link.ReplyText().empty()) {
        host.Status(HostMessage::Reply(link.ReplyText()));
    }
}

// Tells once per upload that a passive reply's address was not used.
void ReportPassiveRoute(const CFtpLink& link, Host& host) {
    const std::string notice = link.PassiveRouteNotice();
    if (!notice.empty()) {
        host.Status(HostMessage::Plain(notice));
    }
}

// The plain sentence beside a failed step of the link; a refusal in the server's reply
// turned down `action`. Empty when the link left nothing to tell.
std::string LinkSentence(const CFtpLink& link, const std::string& action) {
    ConnectionFailure failure = link.ServerFailure();
    if (failure.kind == FailureClass::kNone) {
        if (link.ReplyText().empty()) {
            return "";
        }
        // A reply of class 4 or 5 turns the action down; anything else is no FTP reply the
        // link could go on from.
        const char first = link.ReplyText()[0];
        failure = first == '4' || first == '5'
                      ? ConnectionFailure{FailureClass::kServerRefused, 0, link.ReplyText()}
                      : ConnectionFailure{FailureClass::kOther, 0,
                                          "unexpected reply \"" + link.ReplyText() + "\""};
    }
    return FailureSentence(link.CalledHost(), static_cast<int>(link.CalledPort()), failure, action);
}

// What a failed step shows: the server's line, or for a TLS failure (which has no server
// line) the reason in the check's own words.
FtpUploadResult Failed(const CFtpLink& link, const std::string& action, bool replyOnly = false) {
    FtpUploadResult result;
    result.failure = !replyOnly && link.LocalFailure() == FtpLocalFailure::kTls
                         ? HostMessage::Coded(status::kFileErrorPrefix, link.FailureDetail())
                         : HostMessage::Reply(link.ReplyText());
    result.sentence = LinkSentence(link, action);
    return result;
}

}  // namespace

FtpUploadResult UploadByFtp(const FtpUploadParams& params, Host& host, Clock& clock) {
    std::string folder;
    std::string name;
    SplitRemoteFile(params.remoteFile, &folder, &name);
    CFtpLink link(params.timeoutSeconds, params.workDir, clock);
    if (params.security != FtpSecurity::kPlain) {
        link.SetSecurity(params.security, params.tls);
    }
    if (!link.Logon(params.logon)) {
        return Failed(link, "the logon");
    }
    ReportReply(link, host);
    link.Command("TYPE A");
    ReportReply(link, host);
    link.Command("REST 0");
    ReportReply(link, host);
    if (!folder.empty()) {
        if (!link.Command("CWD " + folder)) {
            return Failed(link, "the change to folder " + folder, true);
        }
        host.Status(HostMessage::Coded(status::kFolderChanged));
    }
    const bool sent = link.Transfer(name, params.localFile, params.passive, false);
    ReportPassiveRoute(link, host);
    if (!sent) {
        return Failed(link, "the upload of " + name);
    }
    host.Status(HostMessage::Coded(status::kFileCopied));
    ReportReply(link, host);
    link.Quit();
    FtpUploadResult result;
    result.ok = true;
    return result;
}

void SplitRemoteFile(const std::string& remoteFile, std::string* folder, std::string* name) {
    folder->clear();
    *name = remoteFile;
    for (char separator : {'/', '\\'}) {
        const size_t at = remoteFile.rfind(separator);
        if (at != std::string::npos) {
            *folder = remoteFile.substr(0, at);
            *name = remoteFile.substr(at + 1);
        }
    }
}

}  // namespace orvex
