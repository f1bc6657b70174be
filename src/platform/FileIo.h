#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

namespace orvex {

// Writes every byte to the file descriptor, going on after interruptions and short writes.
// False (errno set) when a write fails or writes nothing.
bool WriteAllBytes(int fd, const char* data, size_t size);
inline bool WriteAllBytes(int fd, const std::string& bytes) {
    return WriteAllBytes(fd, bytes.data(), bytes.size());
}

// Reads at most `limit` bytes of the file; the text ends at its first NUL byte. False, with
// errno set, when the file cannot be opened or a read fails.
bool ReadFileBounded(const std::string& path, size_t limit, std::string* text);

// True when the file exists and may not be written: no write permission bit is set (as for a
// file marked read-only, which not even the superuser's writes should ignore) or this process
// lacks write access.
bool IsReadOnlyFile(const std::string& path);

struct ReplaceOptions {
    mode_t newFileMode = 0666;  // a file created new gets these permissions, less the umask
    bool durable = false;       // flushed to the disk before it takes the old file's place
    // The program's own scratch files: a read-only one is replaced all the same.
    bool replaceReadOnly = false;
    // Where a whole replacement is impossible (folder closed to new files, hard links, an owner
    // the process cannot give a new file), write over the file itself. Off for a rewrite that
    // must never be left half done.
    bool mayWriteInPlace = true;
    // Not 0: the permissions the file has after every write, new or replaced, whatever it had
    // before (a file of secrets stays private even when it was made readable by hand).
    mode_t forcedMode = 0;
};

enum class ReplaceResult {
    kOk,
    kOpenFailed,   // nothing written; errno says why (EACCES for a read-only file)
    kWriteFailed,  // a write failed; a replaced file keeps its old contents
};

// Replaces the contents of the file at `path` by `bytes`, the way the user set the file up:
// - a symbolic link is followed, its target is replaced and the link stays;
// - a plain file is replaced in one rename of a temporary file, keeping its permissions, owner
//   and group, so a failed write or a crash never leaves it cut; the temporary file is hidden
//   (its name starts with a dot) and sits beside the file, and one left by a crash is removed;
// - a file that is not a plain file (a device), has several hard links, lives in a folder that
//   takes no new files, or whose owner a new file cannot get, is written over in place;
// - a read-only file is left alone (kOpenFailed, errno EACCES) unless `replaceReadOnly`.
// Replacements within the process are serialised.
ReplaceResult ReplaceFile(const std::string& path, const std::string& bytes,
                          const ReplaceOptions& options = {});

// The hidden temporary file ReplaceFile uses for the file at `path` (a link's target).
std::string ReplacementTempPath(const std::string& path);

namespace detail {
// Lets a test make the final rename fail.
using RenameFunction = int (*)(const char* from, const char* to);
void SetReplaceRenameForTest(RenameFunction rename);
}  // namespace detail

}  // namespace orvex
