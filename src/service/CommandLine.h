#pragma once

#include <string>
#include <vector>

namespace orvex {

// What the service program was asked to do.
struct ServiceOptions {
    enum class Mode {
        Service,
        Once,
        Offline,
        Check,
        PrintConfig,
        Version,
        Help,
        Status,
        Refresh,
        Init
    };
    Mode mode = Mode::Service;
    // The start-up folder given with --config; empty for the current directory.
    std::string configDir;
    // The control socket given with --socket; empty for the usual place.
    std::string socketPath;
    // --json: the status as one JSON object.
    bool json = false;
    // Set when the command line cannot be used; the text says why.
    std::string error;
};

// Reads the arguments after the program name.
ServiceOptions ParseServiceOptions(const std::vector<std::string>& args);

// The text of --help.
std::string ServiceHelpText();

// Exit code of a command line that cannot be used.
inline constexpr int kUsageExitCode = 2;
// Exit code of --status and --refresh when no service answers.
inline constexpr int kNoServiceExitCode = 3;

}  // namespace orvex
