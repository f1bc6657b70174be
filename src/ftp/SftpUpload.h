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
    // The known-hosts file kept beside the settings file. A libcurl built with an SSH back end
    // that cannot hand the host key to a callback checks it through this file and a key
    // function instead; without the file SFTP is refused there.
    std::string knownHostsFile;
    // Takes that way even where the callback exists (tests of the way other builds go).
    bool forceKnownHostsFile = false;
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

// Every upload is checked against the host key: where libcurl can neither hand the key to
// the callback nor check it through the known-hosts file, or the upload ended without a key
// seen, it fails (ok false, error saying why) rather than publish to an unknown server.

SftpUploadResult SftpUpload(const SftpUploadParams& params);

// "SHA256:" and the unpadded base64 of the SHA-256 of a raw SSH host key blob.
std::string HostKeyFingerprint(const std::string& keyBlob);

// The sftp:// address of `remoteFile` on host:port, each path part escaped.
std::string SftpUrl(const std::string& host, int port, const std::string& remoteFile);

}  // namespace orvex
