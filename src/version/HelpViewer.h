#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/DesktopLauncher.h"

namespace orvex {

// The introduction topic the Help command and F1 open.
inline constexpr const char* kHelpTopic = "Intro.htm";

// Folders searched for the help pages, in order: "help" beside the program file, the
// installed "../share/orvex/help", and the source tree's resources/help (a program run from
// its build folder).
std::vector<std::string> DefaultHelpDirs();

// Opens the help topic in the desktop's viewer. The viewer is looked for on first use: when
// the topic cannot be found or no viewer can be started, help stays unavailable for the rest
// of the run and later calls do nothing, without a message.
class HelpViewer {
public:
    explicit HelpViewer(DesktopLauncher& launcher,
                        std::vector<std::string> helpDirs = DefaultHelpDirs())
        : launcher_(launcher), helpDirs_(std::move(helpDirs)) {}

    // True when the topic was handed to the viewer.
    bool ShowHelp();

private:
    DesktopLauncher& launcher_;
    const std::vector<std::string> helpDirs_;
    std::mutex mutex_;
    bool unavailable_ = false;
    std::string topicPath_;
};

}  // namespace orvex
