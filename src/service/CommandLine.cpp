#include "service/CommandLine.h"

#include <utility>

namespace orvex {

namespace {

using Mode = ServiceOptions::Mode;

constexpr std::pair<const char*, Mode> kModes[] = {
    {"--once", Mode::Once},       {"--offline", Mode::Offline},
    {"--check", Mode::Check},     {"--print-config", Mode::PrintConfig},
    {"--version", Mode::Version}, {"--help", Mode::Help},
};

}  // namespace

ServiceOptions ParseServiceOptions(const std::vector<std::string>& args) {
    ServiceOptions options;
    std::string modeOption;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--config" || arg.rfind("--config=", 0) == 0) {
            std::string dir;
            if (arg == "--config") {
                if (i + 1 == args.size()) {
                    options.error = "--config needs a folder";
                    return options;
                }
                dir = args[++i];
            } else {
                dir = arg.substr(9);
            }
            if (dir.empty()) {
                options.error = "--config needs a folder";
                return options;
            }
            options.configDir = dir;
            continue;
        }
        bool known = false;
        for (const auto& [name, mode] : kModes) {
            if (arg != name) {
                continue;
            }
            known = true;
            if (!modeOption.empty() && modeOption != arg) {
                options.error = modeOption + " and " + arg + " cannot be combined";
                return options;
            }
            modeOption = arg;
            options.mode = mode;
        }
        if (!known) {
            options.error = "unknown option " + arg;
            return options;
        }
    }
    return options;
}

std::string ServiceHelpText() {
    return "Usage: orvexd [--config DIR] [--once | --offline | --check | --print-config]\n"
           "       orvexd --version | --help\n"
           "\n"
           "Publishes where this machine can be reached, without a window, from the settings\n"
           "file Orvex.ini of its start-up folder (the current directory, or DIR). It shares\n"
           "the settings, the event log and the one-copy-per-user lock with the desktop\n"
           "program.\n"
           "\n"
           "  --config DIR    use DIR as the start-up folder\n"
           "  --once          one online cycle, then exit: 0 when it ended well, 1 otherwise\n"
           "  --offline       one offline cycle (the offline page), then exit likewise\n"
           "  --check         check Orvex.ini, print every problem with its key's name,\n"
           "                  exit 1 if there is any; warns when Orvex.ini is readable\n"
           "                  by other users\n"
           "  --print-config  print the settings in effect (passwords as \"***\")\n"
           "  --version       print the version\n"
           "  --help          print this text\n"
           "\n"
           "Without these it runs as a service on the schedule of Orvex.ini and prints every\n"
           "status message as one line on standard output. Where the desktop program would\n"
           "ask, it takes the question's default answer and goes on; message boxes become\n"
           "lines of output and of the event log. SIGTERM or SIGINT publishes the offline\n"
           "page when IsUpdateOnShut is 1, then ends (a second signal ends at once); SIGHUP\n"
           "reads Orvex.ini again and applies its interval.\n";
}

}  // namespace orvex
