#pragma once

#include <string>
#include <vector>

namespace orvex {

// The introduction, which the Help menu opens.
inline constexpr const char* kHelpTopic = "Intro.htm";

// Folders searched for the help pages, in order: "help" beside the program file, the
// installed "../share/orvex/help", and the source tree's resources/help (a program run from
// its build folder).
std::vector<std::string> DefaultHelpDirs();

// The absolute path of `page` (a file name such as "Intro.htm") in the first of `dirs` that
// holds it; empty when none does. Looked for afresh at every call, so pages installed while
// the program runs are found.
std::string FindHelpPage(const std::vector<std::string>& dirs, const std::string& page);

}  // namespace orvex
