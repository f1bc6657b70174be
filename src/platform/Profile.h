#pragma once

#include <string>
#include <vector>

#include "platform/TextUtil.h"

namespace orvex {

// Key-by-key access to an initialisation file ("[Section]" lines and "key=value" lines).
//
// Sections and keys are matched without regard to case. Values come back with surrounding
// blanks and one pair of enclosing double quotes removed. Nothing is cached between calls, so a
// change made by hand is seen by the next read. A write creates the file, the section and the
// key as needed, keeps every other line byte for byte and replaces the file as ReplaceFile does:
// in one rename where it can, so a crash never leaves it half-written, else in place (a link's
// target, a hard-linked file, a read-only folder); a read-only file is not written. Values are
// 8-bit text, written unconverted. Every write leaves the file with permissions 0600 (owner
// and group unchanged), a new one and one made readable by hand alike, because it may hold
// scrambled passwords. A write that would change no byte leaves the contents untouched (each
// write is flushed to the disk, and a cycle sets the same addresses again and again), but
// makes the file private all the same.
//
// Every call locks one process-wide mutex, so reads and writes from several threads never see
// a half-applied change.
class Profile {
public:
    explicit Profile(std::string path) : path_(std::move(path)) {}

    const std::string& Path() const { return path_; }

    // The value of `key`, or `defaultValue` when the key (or the file) is absent. At most
    // `bufferSize - 1` characters come back, as from a buffer of that size.
    std::string GetString(const std::string& section, const std::string& key,
                          const std::string& defaultValue, size_t bufferSize = 255) const;

    // The key's value read as `atoi` reads it (text without a leading number gives 0).
    int GetInt(const std::string& section, const std::string& key, int defaultValue) const;

    // Every "key=value" line of the section, in file order (blank and ";" comment lines left
    // out). Entries are cut to fit a buffer of `bufferSize` bytes holding each entry and its NUL.
    std::vector<std::string> GetSection(const std::string& section, size_t bufferSize) const;

    // Sets `key` to `value`. False when the file could not be written; the old file then stays.
    // A value ends before its first line break, which could otherwise add lines of its own.
    bool WriteString(const std::string& section, const std::string& key, const std::string& value);
    bool WriteInt(const std::string& section, const std::string& key, int value);

    // Replaces the whole section's contents by `entries` ("key=value" lines); the section is
    // created at the end of the file when absent.
    bool WriteSection(const std::string& section, const std::vector<std::string>& entries);

    // Removes the section header and all its lines.
    bool EraseSection(const std::string& section);

private:
    std::string path_;
};

}  // namespace orvex
