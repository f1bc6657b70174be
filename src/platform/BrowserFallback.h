#pragma once

#include <string>
#include <vector>

namespace orvex {

// Results of opening a link, in the shell's numbering: above 32 is success, the others name
// the reason for the failure.
inline constexpr int kOpenSucceeded = 33;
inline constexpr int kOpenOutOfResources = 0;
inline constexpr int kOpenFileNotFound = 2;
inline constexpr int kOpenAccessDenied = 5;
inline constexpr int kOpenOutOfMemory = 8;
inline constexpr int kOpenNoAssociation = 31;

// "Unable to open hyperlink:\n\n" followed by the reason for `code`.
std::string OpenErrorText(int code);

// The registered browser command for a target: the command line cut at its placeholder for
// the page ("%u" or "%f", either case, first looked for together with the double quotes
// around it, then alone; uncut when it has none), then one blank and the target.
std::string BrowserCommandLine(const std::string& execLine, const std::string& target);

// The same command as program arguments: the words of the cut command line (quotes removed,
// other field codes dropped) and the target as one argument of its own, so that no character
// of the target is ever read as part of the command.
std::vector<std::string> BrowserArguments(const std::string& execLine, const std::string& target);

// Where the desktop keeps its application associations (the XDG base directories).
struct XdgPaths {
    std::string configHome;
    std::vector<std::string> configDirs;
    std::string dataHome;
    std::vector<std::string> dataDirs;

    static XdgPaths FromEnvironment();
};

// The Exec line of the desktop's default application for web pages (".htm", text/html, else
// the http scheme handler); empty when none is registered or its entry cannot be read.
std::string DefaultBrowserExec(const XdgPaths& paths);

// Starts `arguments` as a program without waiting for it. kOpenSucceeded when it was started;
// kOpenFileNotFound when the program is not an executable file; kOpenOutOfMemory or
// kOpenOutOfResources when it could not be started.
int StartProgram(const std::vector<std::string>& arguments);

}  // namespace orvex
