#pragma once

#include <string>

namespace orvex {

// A commented settings file to start from: every section and key with the value a load gives
// it when absent and one line of explanation, nothing enabled. What orvexd --init writes.
std::string CommentedSettingsText();

// Writes CommentedSettingsText() to `path`, readable by its owner only (mode 0600). Never
// replaces a file: false, with `error` saying why, when one is there or it cannot be written.
bool WriteCommentedSettings(const std::string& path, std::string* error);

}  // namespace orvex
