#pragma once

#include <string>

#include "ftp/FtpLink.h"
#include "platform/Clock.h"
#include "platform/Host.h"
#include "platform/HostMessage.h"

namespace orvex {

// One upload of a file over FTP or FTPS.
struct FtpUploadParams {
    FtpLogonParams logon;
    FtpSecurity security = FtpSecurity::kPlain;
    TlsOptions tls;
    int timeoutSeconds = 15;
    // Anchors the relative local file name.
    std::string workDir;
    std::string localFile;
    // Where the file goes: "/" or "\" separate folders (SplitRemoteFile).
    std::string remoteFile;
    bool passive = true;
};

struct FtpUploadResult {
    bool ok = false;
    // After a failure: what the Status page shows, the server's last line, the TLS check's
    // reason as a file error, or the empty reply of a local failure.
    HostMessage failure = HostMessage::Reply("");
    // The failure in plain words: the machine called (the firewall, with a proxy) and what
    // happened, naming what a refusal turned down. Empty when the link left nothing to tell.
    std::string sentence;
};

// The dialogue of an upload: logon (straight or through the firewall of the logon type),
// TYPE A, REST 0, CWD when the remote name has a folder, the transfer, QUIT. The server's
// replies, the folder change, a passive address that was not used, and the copied file are
// told through `host` as they come; the failure is left to the caller to tell.
FtpUploadResult UploadByFtp(const FtpUploadParams& params, Host& host, Clock& clock);

// The folder and name parts of a remote file name: split at the last "/", then at the last
// "\" (that split wins); no separator gives an empty folder.
void SplitRemoteFile(const std::string& remoteFile, std::string* folder, std::string* name);

}  // namespace orvex
