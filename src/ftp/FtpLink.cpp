#include "ftp/FtpLink.h"

#include <algorithm>
#include <utility>

#include "platform/PathMap.h"
#include "platform/TextUtil.h"

namespace orvex {

namespace {

constexpr int kMinIdleSeconds = 60;
// A reply longer than this (all its lines together) is hostile; reading it stops.
constexpr size_t kMaxReplyBytes = 1024 * 1024;
// How long a clean TLS close waits for the server's own close_notify.
constexpr int kTlsCloseMs = 2000;

}  // namespace

CFtpLink::CFtpLink(int timeoutSeconds, std::string workDir, Clock& clock)
    : timeoutSeconds_(timeoutSeconds),
      workDir_(std::move(workDir)),
      clock_(clock),
      idleLimitMs_(std::max(kMinIdleSeconds, timeoutSeconds) * 1000) {}

CFtpLink::~CFtpLink() {
    CloseControl();
}

bool CFtpLink::FailLocal(FtpLocalFailure failure, std::string detail) {
    replyText_.clear();
    NoteFailure(failure, std::move(detail));
    return false;
}

bool CFtpLink::FailAs(FtpLocalFailure failure, std::string detail, ConnectionFailure told) {
    FailLocal(failure, std::move(detail));
    serverFailure_ = std::move(told);
    return false;
}

void CFtpLink::NoteFailure(FtpLocalFailure failure, std::string detail) {
    failure_ = failure;
    serverFailure_ = {};
    if (failure != FtpLocalFailure::kNone || !detail.empty()) {
        serverFailure_ = {FailureClass::kOther, 0, detail};
    }
    failureDetail_ = std::move(detail);
}

std::string CFtpLink::MapLocal(const std::string& name) const {
    return MapPath(workDir_, name);
}

void CFtpLink::SetSecurity(FtpSecurity security, TlsOptions options) {
    security_ = security;
    tlsOptions_ = std::move(options);
}

void CFtpLink::MakeStreams() {
    reader_ = std::make_unique<ftp::LineReader>(control_->Fd(), controlTls_.get());
    writer_ =
        std::make_unique<ftp::LineWriter>(control_->Fd(), idleLimitMs_, clock_, controlTls_.get());
}

bool CFtpLink::StartTls() {
    // Lines that came before the handshake and were not asked for could pose as protected
    // replies; a sound server sends none.
    if (reader_ && reader_->Buffered()) {
        return FailLocal(FtpLocalFailure::kTls, "unprotected data after the TLS request");
    }
    writer_.reset();
    reader_.reset();
    controlTls_ = std::make_unique<TlsSession>();
    if (!controlTls_->Connect(control_->Fd(), serverName_, tlsOptions_, idleLimitMs_)) {
        const bool refused = controlTls_->VerifyFailed();
        ConnectionFailure told{refused ? FailureClass::kCertificate : FailureClass::kTls, 0,
                               controlTls_->Error()};
        std::string detail =
            refused ? "server certificate refused: " + controlTls_->Error() : controlTls_->Error();
        controlTls_.reset();
        control_.reset();
        return FailAs(FtpLocalFailure::kTls, std::move(detail), std::move(told));
    }
    MakeStreams();
    return true;
}

bool CFtpLink::ProtectData() {
    return Command("PBSZ 0") && Command("PROT P");
}

bool CFtpLink::ConnectControl(const std::string& host, unsigned port) {
    replyText_.clear();
    // A reader left from an earlier connection must not count as bytes of this one.
    writer_.reset();
    reader_.reset();
    controlTls_.reset();
    serverName_ = host;
    serverPort_ = port;
    control_ = std::make_unique<CTimeoutSocket>(timeoutSeconds_, clock_);
    if (!control_->Create()) {
        return FailLocal(FtpLocalFailure::kSocket, control_->FailureDetail());
    }
    if (port > 65535) {
        return FailLocal(FtpLocalFailure::kConnect,
                         "port " + std::to_string(port) + " out of range");
    }
    if (!control_->Connect(host, static_cast<uint16_t>(port))) {
        return FailAs(FtpLocalFailure::kConnect, control_->FailureDetail(),
                      control_->ConnectFailure());
    }
    if (security_ == FtpSecurity::kImplicit) {
        return StartTls();
    }
    MakeStreams();
    return true;
}

bool CFtpLink::SendLine(const std::string& line) {
    replyText_.clear();
    if (!writer_) {
        return FailLocal(FtpLocalFailure::kConnection, "not connected");
    }
    if (line.find_first_of("\r\n") != std::string::npos) {
        return FailLocal(FtpLocalFailure::kConnection, "command line holds a line break");
    }
    ftp::IoResult result = writer_->Write(line + "\r\n");
    if (result == ftp::IoResult::kOk) {
        result = writer_->Flush();
    }
    if (result == ftp::IoResult::kTimedOut) {
        return FailAs(FtpLocalFailure::kConnection, "server took no data for too long",
                      {FailureClass::kSendFailed, 0,
                       "it took no data for " + std::to_string(idleLimitMs_ / 1000) + " s"});
    }
    if (result != ftp::IoResult::kOk) {
        return FailAs(FtpLocalFailure::kConnection, "sending failed",
                      {FailureClass::kSendFailed, 0, {}});
    }
    return true;
}

bool CFtpLink::ReadLine() {
    return ReadLineBy(Deadline(idleLimitMs_, clock_));
}

bool CFtpLink::ReadLineBy(const Deadline& deadline) {
    if (!reader_) {
        return FailLocal(FtpLocalFailure::kConnection, "not connected");
    }
    std::string line;
    switch (reader_->ReadLine(&line, deadline)) {
        case ftp::LineReader::Result::kLine:
            break;
        case ftp::LineReader::Result::kEnd:
            return FailAs(FtpLocalFailure::kConnection, "server closed the connection",
                          {FailureClass::kClosed, 0, {}});
        case ftp::LineReader::Result::kTimedOut:
            return FailAs(FtpLocalFailure::kConnection,
                          "no reply within " + std::to_string(idleLimitMs_ / 1000) + " s",
                          {FailureClass::kNoReply, idleLimitMs_ / 1000, {}});
        case ftp::LineReader::Result::kTooLong:
            return FailLocal(FtpLocalFailure::kConnection, "reply line too long");
        case ftp::LineReader::Result::kError:
            return FailLocal(FtpLocalFailure::kConnection, "reading the reply failed");
    }
    replyText_ = std::move(line);
    if (!replyText_.empty()) {
        replyClass_ = static_cast<unsigned char>(replyText_[0]) - '0';
    }
    NoteFailure(FtpLocalFailure::kNone, {});
    return true;
}

bool CFtpLink::ReadReply() {
    // The whole reply, however slowly its bytes come, within the limit.
    const Deadline deadline(idleLimitMs_, clock_);
    if (!ReadLineBy(deadline)) {
        return false;
    }
    if (replyText_.size() < 4 || replyText_[3] != '-') {
        return true;
    }
    const int code = AsciiToInt(replyText_);
    size_t replyBytes = replyText_.size();
    while (true) {
        if (replyText_.size() >= 4 && replyText_[3] == ' ' && AsciiToInt(replyText_) == code) {
            return true;
        }
        if (replyBytes > kMaxReplyBytes) {
            return FailLocal(FtpLocalFailure::kConnection, "reply too long");
        }
        if (!ReadLineBy(deadline)) {
            return false;
        }
        replyBytes += replyText_.size() + 1;
    }
}

bool CFtpLink::Command(const std::string& line) {
    if (!line.empty() && !SendLine(line)) {
        return false;
    }
    if (!ReadReply()) {
        return false;
    }
    return replyClass_ == 2;
}

void CFtpLink::CloseControl() {
    writer_.reset();
    reader_.reset();
    controlTls_.reset();
    control_.reset();
}

void CFtpLink::Quit() {
    SendLine("QUIT");
    writer_.reset();
    if (controlTls_ && controlTls_->Established()) {
        // The server answers QUIT and closes; its reply is not awaited beyond a short while.
        controlTls_->Close(kTlsCloseMs);
    }
    CloseControl();
}

}  // namespace orvex
