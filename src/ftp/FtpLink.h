#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "ftp/LineStream.h"
#include "ftp/LogonSequence.h"
#include "ftp/TimeoutSocket.h"
#include "platform/Clock.h"
#include "platform/DeadlineWait.h"
#include "platform/FailureSentence.h"
#include "platform/TlsSession.h"

namespace orvex {

// Why the latest operation failed locally (the server's words are in ReplyText instead).
// The values are the message entries whose text is empty, so ReplyText is empty after each.
enum class FtpLocalFailure {
    kNone = 0,
    kSocket = 103,         // no socket or stream could be made
    kConnect = 104,        // name resolution, refusal or the connect deadline
    kLocalFile = 105,      // the local file cannot be opened
    kFileData = 106,       // the local file failed while data moved
    kConnection = 107,     // the control or data connection failed, ended or went silent
    kLogonSequence = 109,  // the logon sequence reached its error end
    kTls = 110             // a TLS handshake failed or the certificate was refused
};

// How the link protects the FTP dialogue and the data connections.
enum class FtpSecurity {
    kPlain = 0,     // plain FTP
    kExplicit = 1,  // AUTH TLS after the greeting on the usual port
    kImplicit = 2   // TLS from the first byte (usually port 990)
};

// The FTP client of one publishing cycle: the control connection with its replies, the logon
// through the nine logon types and one-file transfers over active or passive data
// connections. Used by one thread; every wait is bounded. Operations report success as a
// boolean and leave their account in ReplyText: the server's last reply line, or the empty
// text after a local failure (LocalFailure and FailureDetail then say what went wrong).
//
// Typical use: Logon, Command("TYPE A"), Command("REST 0"), Command("CWD dir"), Transfer,
// Quit; after a failed Logon just destroy the link.
class CFtpLink {
public:
    // `workDir` anchors relative local file names; `clock` serves the connect deadline.
    explicit CFtpLink(int timeoutSeconds, std::string workDir = {}, Clock& clock = DefaultClock());
    ~CFtpLink();
    CFtpLink(const CFtpLink&) = delete;
    CFtpLink& operator=(const CFtpLink&) = delete;

    // Chooses plain FTP or one of the two TLS modes for what follows (before ConnectControl).
    // With TLS, data connections are protected too and resume the control session.
    void SetSecurity(FtpSecurity security, TlsOptions options);
    FtpSecurity Security() const { return security_; }

    // Opens the control connection to a host name or dotted address; reads no greeting.
    // With implicit TLS the handshake follows at once.
    bool ConnectControl(const std::string& host, unsigned port);
    // Writes one command line plus CR LF and sends it at once. A line holding CR or LF is
    // refused: it would smuggle a second command into the dialogue.
    bool SendLine(const std::string& line);
    // Reads one reply line into ReplyText; a non-empty line sets ReplyClass.
    bool ReadLine();
    // Reads one whole reply, single-line or multi-line, within IdleLimitMs however slowly its
    // bytes come; ReplyText keeps its last line.
    bool ReadReply();
    // Sends `line` (unless empty) and reads the reply; true only for a class 2 reply.
    bool Command(const std::string& line);
    // Releases the connection; harmless when nothing is open.
    void CloseControl();

    // Connects (directly or through the firewall of the logon type) and logs on. With TLS:
    // AUTH TLS after the greeting (explicit), then after the logon PBSZ 0 and PROT P. TLS
    // goes straight to the server, so it needs logon type 0.
    bool Logon(const FtpLogonParams& params);
    // Sends QUIT without waiting for its reply and closes the connection (TLS closed cleanly).
    void Quit();
    // Moves one file in image type: upload (STOR) or download (RETR), over a passive (PASV)
    // or active (PORT) data connection; EPSV or EPRT instead when the control connection is
    // IPv6. True when the server's final reply is of class 2. Without a proxy (logon type 0,
    // or no logon through this link) a passive data connection goes to the control
    // connection's peer whatever address the PASV reply names; through a proxy the reply's
    // address is used as given.
    bool Transfer(const std::string& remoteName, const std::string& localName, bool passive,
                  bool download);
    // The address the first PASV reply named when the data connection went to the control
    // connection's peer instead (a server behind NAT announcing its private address); empty
    // when no address was replaced.
    const std::string& ReplacedPassiveAddress() const { return replacedPassiveAddress_; }
    // That replacement in words for the user ("... named 10.0.0.5; the data connection went
    // to 198.51.100.7 ..."); empty when no address was replaced.
    std::string PassiveRouteNotice() const;

    const std::string& ReplyText() const { return replyText_; }
    int ReplyClass() const { return replyClass_; }
    int TimeoutSeconds() const { return timeoutSeconds_; }
    bool Connected() const { return control_ != nullptr && reader_ != nullptr; }
    FtpLocalFailure LocalFailure() const { return failure_; }
    const std::string& FailureDetail() const { return failureDetail_; }
    // The latest local failure in the classes told to the user (kNone when the latest
    // operation failed on the server's reply, which ReplyText then holds).
    const ConnectionFailure& ServerFailure() const { return serverFailure_; }
    // The machine the control connection went to (the firewall's with a logon type other than
    // 0) and its port; empty before the first connection.
    const std::string& CalledHost() const { return serverName_; }
    unsigned CalledPort() const { return serverPort_; }

    // How long a whole reply, an incoming data connection or a data read or write may keep the
    // link waiting: 60 s, or TimeoutSeconds when that is larger. A whole transfer has this
    // and a second more for every ftp::kSlowestBytesPerSecond of the file.
    int IdleLimitMs() const { return idleLimitMs_; }
    // Shortens or lengthens that limit (tests, tools). Applies to connections made later.
    void SetIdleLimitMs(int milliseconds) { idleLimitMs_ = milliseconds; }

private:
    bool FailLocal(FtpLocalFailure failure, std::string detail);
    bool ReadLineBy(const Deadline& deadline);
    // FailLocal with the class the user is told.
    bool FailAs(FtpLocalFailure failure, std::string detail, ConnectionFailure told);
    bool StartTls();
    bool ProtectData();
    void MakeStreams();
    void NoteFailure(FtpLocalFailure failure, std::string detail);
    std::string MapLocal(const std::string& name) const;
    // Before the transfer command: PASV (EPSV) and the address it names, or a listener and PORT
    // (EPRT). False after a failure, which it records.
    bool AnnounceDataChannel(bool passive, CTimeoutSocket& listener, std::string* dataHost,
                             int* dataPort);
    // The data loops of a transfer: true when the data connection ended (the server's reply
    // then decides), false after a local failure, which they record.
    // Each wait is bounded by the idle limit and by `whole`, which a download extends by the
    // allowance of the bytes it has taken.
    bool ReceiveToFile(int data, TlsSession* tls, int file, const std::string& path,
                       Deadline& whole);
    bool SendFromFile(int data, TlsSession* tls, int file, const std::string& path,
                      const Deadline& whole);
    // The failure of a data wait that ran out: the whole transfer's bound or a stall.
    bool FailDataWait(const Deadline& whole);

    int timeoutSeconds_;
    std::string workDir_;
    Clock& clock_;
    int idleLimitMs_;
    std::string replyText_;
    int replyClass_ = 0;
    FtpLocalFailure failure_ = FtpLocalFailure::kNone;
    std::string failureDetail_;
    ConnectionFailure serverFailure_;
    FtpSecurity security_ = FtpSecurity::kPlain;
    TlsOptions tlsOptions_;
    std::string serverName_;
    unsigned serverPort_ = 0;
    // The control connection goes straight to the server (no proxy logon type).
    bool direct_ = true;
    std::string replacedPassiveAddress_;
    std::string passivePeerAddress_;
    std::unique_ptr<CTimeoutSocket> control_;
    std::unique_ptr<TlsSession> controlTls_;
    std::unique_ptr<ftp::LineReader> reader_;
    std::unique_ptr<ftp::LineWriter> writer_;
};

namespace ftp {

// Bytes one pass of a transfer reads or writes at most.
inline constexpr size_t kDataPassSize = 256 * 1024;
// The slowest rate a whole transfer is allowed beyond the idle limit (32 kbit/s); a peer that
// trickles its data slower than this ends the transfer.
inline constexpr int64_t kSlowestBytesPerSecond = 4096;
// The time a whole transfer of `bytes` gets: `floorMs`, plus a second a kSlowestBytesPerSecond.
int64_t TransferLimitMs(int64_t floorMs, uint64_t bytes);

// The data host and port of a PASV reply: six numbers between the first "(" and the first ")",
// the address's four bytes, then the port's high and low byte. A number may have blanks around
// it and leading zeros ("(192,168,001,002, 19,137)"). False when "(" or ")" is missing; port -1
// when the text is not six numbers from 0 to 255.
bool ParsePasvReply(const std::string& reply, std::string* host, int* port);
// The port of an extended passive reply ("229 ... (|||6446|)"); false when there is none.
bool ParseEpsvReply(const std::string& reply, int* port);
// The argument of EPRT: "|2|::1|6446|" (or "|1|" and a dotted address).
std::string EprtArgument(const std::string& address, int port);
// The argument of PORT: the dotted address with commas, then the port's high and low byte.
std::string PortArgument(const std::string& address, int port);

}  // namespace ftp

}  // namespace orvex
