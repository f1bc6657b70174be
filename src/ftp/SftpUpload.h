#pragma once

#include <string>

namespace orvex {

// One upload over SFTP (SSH), with password logon and a pinned host key.
struct SftpUploadParams {
    std::string host;
    int port = 22;
    std::string user;
    std::string password;
    // Where the file goes, as RemoteFile says: "/" or "\" separate folders; a relative path
    // starts in the user's home folder, as it does after an FTP logon.
    std::string remoteFile;
    // The local file (already mapped to a real path).
    std::string localPath;
    // The fingerprint the server must show ("SHA256:..."); empty: accept the one it shows.
    std::string knownHostKey;
    // Connect and logon deadline in seconds; stalls during the transfer are bounded too.
    int timeoutSeconds = 15;
};

struct SftpUploadResult {
    bool ok = false;
    // Why it failed, in libcurl's words (or the local file's fault).
    std::string error;
    // The fingerprint of the host key the server showed (empty when none came).
    std::string offeredHostKey;
    // The server showed a key other than knownHostKey; nothing was sent.
    bool hostKeyChanged = false;
};

SftpUploadResult SftpUpload(const SftpUploadParams& params);

// "SHA256:" and the unpadded base64 of the SHA-256 of a raw SSH host key blob.
std::string HostKeyFingerprint(const std::string& keyBlob);

// The sftp:// address of `remoteFile` on host:port, each path part escaped.
std::string SftpUrl(const std::string& host, int port, const std::string& remoteFile);

}  // namespace orvex
