#pragma once

#include <string>

namespace orvex {

// The machine's name as a desktop shows it: the host name, first 15 characters, upper case.
// Empty when the name cannot be read.
std::string ComputerName();

}  // namespace orvex
