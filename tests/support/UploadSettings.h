#pragma once

#include <string>

#include "platform/Profile.h"
#include "settings/SettingsFile.h"

namespace orvex::test {

// The keys every end-to-end start-up folder shares: the WAN address looked up at `lookupUrl`,
// and online.htm (offline.htm at exit) uploaded as index.html by FTP to tester@127.0.0.1:
// `ftpPort` with `password` (given in clear, stored scrambled). Each test adds what it is about.
inline void WriteUploadSettings(Profile& ini, int ftpPort, std::string password,
                                const std::string& lookupUrl) {
    EncodePassword(password, PasswordKey());
    const char* L = kSectionLocal;
    ini.WriteString(L, "FTPServer", "127.0.0.1");
    ini.WriteString(L, "SiteName", "Home");
    ini.WriteString(L, "UserID", "tester");
    ini.WriteString(L, "Password", password);
    ini.WriteString(L, "OnlineFile", "online.htm");
    ini.WriteString(L, "OfflineFile", "offline.htm");
    ini.WriteString(L, "RemoteFile", "index.html");
    ini.WriteString(L, "Port", std::to_string(ftpPort));
    ini.WriteString(L, "EnableFTP", "1");
    ini.WriteString(L, "WANIPURL", lookupUrl);
}

// The address of a page server started by the test.
inline std::string LoopbackUrl(int port) {
    return "http://127.0.0.1:" + std::to_string(port) + "/";
}

}  // namespace orvex::test
