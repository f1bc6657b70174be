#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace orvex {

// The module name under which the program asks for its own version record.
inline constexpr const char* kProgramModule = "Orvex.exe";
// The file name of the program's service front end, which carries the same version record.
inline constexpr const char* kServiceProgram = "orvexd";

// Where the version record of module `moduleName` lives. A name with a "/" is a file path and
// is taken as it is. Any other name is a module name, and the only module this program has is
// its own executable file: the name matches when, without a trailing ".exe" and without regard
// to case, it equals the base name of the running program file (/proc/self/exe). "Orvex.exe"
// thus finds the program when it runs as "orvex" or "Orvex", and nothing when the file has
// been renamed; "Orvex.exe" also finds the service program "orvexd". Empty when nothing matches.
std::string FindModuleFile(const std::string& moduleName);

// A short-lived reader of one file's version record (a section "orvex_version" of an ELF
// executable, see VersionRecord.cpp).
class VersionInfo {
public:
    // Reads the record of `fileName` (a module name or a path, see FindModuleFile). A missing
    // file, or one without a readable record, sets the failed flag.
    explicit VersionInfo(const std::string& fileName);

    bool Failed() const { return failed_; }

    // The first language and code-page pair as "%04x%04x" ("040904b0"); empty when failed.
    const std::string& Translation() const { return translation_; }

    // "N/A" when the record could not be read; otherwise the string value `name` filed under
    // the translation, or empty text when the record has no such value.
    std::string QueryValue(const std::string& name) const;

    std::string ProductVersion() const { return QueryValue("ProductVersion"); }

private:
    bool failed_ = false;
    std::vector<std::pair<std::string, std::string>> entries_;
    std::string translation_;
};

// The program's own version string: the ProductVersion of kProgramModule, "N/A" when it
// cannot be read.
std::string ProgramVersion();

}  // namespace orvex
