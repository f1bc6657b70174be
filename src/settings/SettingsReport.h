#pragma once

#include <string>
#include <vector>

#include "settings/AppSettings.h"

namespace orvex {

// Loads the settings file as the program does, without writing to it (the loader refills
// some keys in the file; here it works on a private copy). False when the file is missing or
// names no FTPServer. The FTP page's fields are committed into `settings`.
bool LoadSettingsUnchanged(const std::string& iniPath, AppSettings& settings);

// Every problem of the settings file, one line each, starting with the key's name; empty
// when there is none. Relative file names resolve against `workDir`.
std::vector<std::string> CheckSettingsFile(const std::string& iniPath, const std::string& workDir);

// What the check warns of without counting it a problem, one line each: the settings file
// readable by other users (it holds scrambled passwords; every write makes it 0600 again).
std::vector<std::string> SettingsFileWarnings(const std::string& iniPath);

// The settings in effect as "[Section]" and "Key=value" lines; a password that is set shows
// as "***".
std::vector<std::string> EffectiveSettingsLines(const AppSettings& settings);

}  // namespace orvex
