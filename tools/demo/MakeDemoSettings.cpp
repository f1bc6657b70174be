// Writes the settings file of the demonstration that the run command starts: Orvex publishing
// to an FTP server and asking an echo page, both on this machine's loopback address.
//
//     orvex-demo-settings <start-up directory> <FTP port> <echo page port>
//
// An existing "Orvex.ini" in that directory is left untouched.

#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "platform/Profile.h"
#include "settings/SettingsFile.h"

int main(int argc, char* argv[]) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s <start-up directory> <FTP port> <echo page port>\n",
                     argv[0]);
        return 2;
    }
    const std::string iniPath = std::string(argv[1]) + "/Orvex.ini";
    struct stat st {};
    if (::stat(iniPath.c_str(), &st) == 0) {
        std::printf("keeping %s\n", iniPath.c_str());
        return 0;
    }

    using namespace orvex;
    Profile ini(iniPath);
    const std::string key = PasswordKey();
    std::string password = "orvex";
    EncodePassword(password, key);

    const char* L = kSectionLocal;
    const char* P = kSectionPreferences;
    const std::pair<const char*, std::pair<const char*, std::string>> values[] = {
        {L, {"FTPServer", "127.0.0.1"}},
        {L, {"SiteName", "My Orvex Demo"}},
        {L, {"UserID", "orvex"}},
        {L, {"Password", password}},
        {L, {"OnlineFile", ".\\samples\\online.htm"}},
        {L, {"OfflineFile", ".\\samples\\offline.htm"}},
        {L, {"RemoteFile", "index.html"}},
        {L, {"Port", argv[2]}},
        {L, {"EnableFTP", "1"}},
        {L, {"SaveFileHTML", "Orvex.html"}},
        {L, {"SaveFileASCII", "Orvex.txt"}},
        {L, {"WANIPURL", std::string("http://127.0.0.1:") + argv[3] + "/ip"}},
        {P, {"IsLogging", "1"}},
        {P, {"LogFilename", "Orvex.log"}},
        {P, {"IsMinOnStartup", "0"}},
        {P, {"IsUpdateOnStart", "1"}},
        {P, {"IsUpdateOnShut", "1"}},
        {P, {"NotifyErrorOnShut", "1"}},
        {P, {"SuppressError", "0"}},
        {P, {"RefreshIntv", "30"}},
        {P, {"Timeout", "15"}},
        {P, {"MaxLog", "30"}},
    };
    for (const auto& [section, entry] : values) {
        if (!ini.WriteString(section, entry.first, entry.second)) {
            std::fprintf(stderr, "cannot write %s\n", iniPath.c_str());
            return 1;
        }
    }
    std::printf("wrote %s\n", iniPath.c_str());
    return 0;
}
