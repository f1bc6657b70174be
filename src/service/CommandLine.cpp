#include "service/CommandLine.h"

#include <utility>

namespace orvex {

namespace {

using Mode = ServiceOptions::Mode;

constexpr std::pair<const char*, Mode> kModes[] = {
    {"--once", Mode::Once},       {"--offline", Mode::Offline},
    {"--check", Mode::Check},     {"--print-config", Mode::PrintConfig},
    {"--version", Mode::Version}, {"--help", Mode::Help},
    {"--status", Mode::Status},   {"--refresh", Mode::Refresh},
    {"--init", Mode::Init},
};

// The options that take a value, as "--name VALUE" or "--name=VALUE", and what the value is.
constexpr std::pair<const char*, const char*> kValueOptions[] = {
    {"--config", "a folder"},
    {"--socket", "a path"},
};

// The service's help text, generated with its manual page from one source.
constexpr const char* kHelpText =
#include "orvexd_help.inc"
    ;

}  // namespace

ServiceOptions ParseServiceOptions(const std::vector<std::string>& args) {
    ServiceOptions options;
    std::string modeOption;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        bool valued = false;
        for (const auto& [name, what] : kValueOptions) {
            const std::string option = name;
            if (arg != option && arg.rfind(option + "=", 0) != 0) {
                continue;
            }
            valued = true;
            std::string value;
            if (arg == option) {
                if (i + 1 == args.size()) {
                    options.error = option + " needs " + what;
                    return options;
                }
                value = args[++i];
            } else {
                value = arg.substr(option.size() + 1);
            }
            if (value.empty()) {
                options.error = option + " needs " + what;
                return options;
            }
            (option == "--config" ? options.configDir : options.socketPath) = value;
        }
        if (valued) {
            continue;
        }
        if (arg == "--json") {
            options.json = true;
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
    if (options.json && options.mode != Mode::Status) {
        options.error = "--json goes with --status only";
    }
    return options;
}

std::string ServiceHelpText() {
    return kHelpText;
}

}  // namespace orvex
