#include "version/VersionInfo.h"

#include <elf.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>

#include "platform/TextUtil.h"

namespace orvex {

namespace {

constexpr const char* kSelfExe = "/proc/self/exe";
constexpr const char* kRecordSection = "orvex_version";
constexpr const char* kRecordHeader = "ORVEX VERSION RECORD 1";
constexpr const char* kTranslationKey = "\\VarFileInfo\\Translation";
// A record is a few hundred bytes; anything far larger is not ours.
constexpr uint64_t kMaxRecordSize = 64 * 1024;

std::string BaseName(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ProgramFileName() {
    char buffer[4096];
    ssize_t n = ::readlink(kSelfExe, buffer, sizeof buffer - 1);
    if (n <= 0) {
        return std::string();
    }
    std::string path(buffer, static_cast<size_t>(n));
    // The file may have been replaced while the program runs; the name is what counts.
    const std::string deleted = " (deleted)";
    if (path.size() > deleted.size() &&
        path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0) {
        path.resize(path.size() - deleted.size());
    }
    return BaseName(path);
}

bool ReadAt(std::ifstream& file, uint64_t offset, void* data, size_t size) {
    file.seekg(static_cast<std::streamoff>(offset));
    file.read(static_cast<char*>(data), static_cast<std::streamsize>(size));
    return static_cast<size_t>(file.gcount()) == size;
}

// The bytes of the section named `wanted` of a 64-bit ELF file; false when there is none.
bool ReadElfSection(const std::string& path, const char* wanted, std::string& bytes) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return false;
    }
    Elf64_Ehdr header{};
    if (!ReadAt(file, 0, &header, sizeof header) ||
        std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_shentsize != sizeof(Elf64_Shdr) ||
        header.e_shnum == 0 || header.e_shstrndx >= header.e_shnum) {
        return false;
    }
    std::vector<Elf64_Shdr> sections(header.e_shnum);
    if (!ReadAt(file, header.e_shoff, sections.data(), sections.size() * sizeof(Elf64_Shdr))) {
        return false;
    }
    const Elf64_Shdr& names = sections[header.e_shstrndx];
    if (names.sh_size == 0 || names.sh_size > kMaxRecordSize * 16) {
        return false;
    }
    std::string nameTable(names.sh_size, '\0');
    if (!ReadAt(file, names.sh_offset, nameTable.data(), nameTable.size())) {
        return false;
    }
    for (const Elf64_Shdr& section : sections) {
        if (section.sh_name >= nameTable.size() ||
            std::strcmp(nameTable.c_str() + section.sh_name, wanted) != 0) {
            continue;
        }
        if (section.sh_type == SHT_NOBITS || section.sh_size == 0 ||
            section.sh_size > kMaxRecordSize) {
            return false;
        }
        bytes.assign(section.sh_size, '\0');
        return ReadAt(file, section.sh_offset, bytes.data(), bytes.size());
    }
    return false;
}

// Splits the record into its entries; false when it does not start with our header.
bool ParseRecord(const std::string& bytes,
                 std::vector<std::pair<std::string, std::string>>& entries) {
    size_t pos = 0;
    auto nextString = [&](std::string& out) {
        size_t nul = bytes.find('\0', pos);
        if (nul == std::string::npos) {
            return false;
        }
        out = bytes.substr(pos, nul - pos);
        pos = nul + 1;
        return true;
    };
    std::string text;
    if (!nextString(text) || text != kRecordHeader) {
        return false;
    }
    while (nextString(text) && !text.empty()) {
        size_t equals = text.find('=');
        if (equals != std::string::npos) {
            entries.emplace_back(text.substr(0, equals), text.substr(equals + 1));
        }
    }
    return true;
}

// The first pair of "0409 04b0 ..." as "%04x%04x"; empty when there is no complete pair.
std::string FormatTranslation(const std::string& words) {
    unsigned language = 0;
    unsigned codePage = 0;
    if (std::sscanf(words.c_str(), "%x %x", &language, &codePage) != 2 || language > 0xffff ||
        codePage > 0xffff) {
        return std::string();
    }
    char text[16];
    std::snprintf(text, sizeof text, "%04x%04x", language, codePage);
    return text;
}

}  // namespace

std::string FindModuleFile(const std::string& moduleName) {
    if (moduleName.find('/') != std::string::npos) {
        return moduleName;
    }
    std::string name = moduleName;
    if (name.size() >= 4 && EqualsNoCase(name.substr(name.size() - 4), ".exe")) {
        name.resize(name.size() - 4);
    }
    const std::string program = ProgramFileName();
    if (name.empty()) {
        return std::string();
    }
    // The service is the same program without a window: it answers to the program's module
    // name too.
    if (EqualsNoCase(name, program) ||
        (EqualsNoCase(moduleName, kProgramModule) && EqualsNoCase(program, kServiceProgram))) {
        return kSelfExe;
    }
    return std::string();
}

VersionInfo::VersionInfo(const std::string& fileName) {
    const std::string path = FindModuleFile(fileName);
    std::string bytes;
    if (path.empty() || !ReadElfSection(path, kRecordSection, bytes) ||
        !ParseRecord(bytes, entries_)) {
        failed_ = true;
        entries_.clear();
        return;
    }
    for (const auto& [key, value] : entries_) {
        if (key == kTranslationKey) {
            translation_ = FormatTranslation(value);
            break;
        }
    }
    if (translation_.empty()) {
        failed_ = true;
        entries_.clear();
    }
}

std::string VersionInfo::QueryValue(const std::string& name) const {
    if (failed_) {
        return "N/A";
    }
    const std::string key = "\\StringFileInfo\\" + translation_ + "\\" + name;
    for (const auto& [entryKey, value] : entries_) {
        if (entryKey == key) {
            return value;
        }
    }
    return std::string();
}

std::string ProgramVersion() {
    return VersionInfo(kProgramModule).ProductVersion();
}

}  // namespace orvex
