#pragma once

#include <cstddef>
#include <string>

namespace orvex {

// Writes every byte to the file descriptor, going on after interruptions and short writes.
// False (errno set) when a write fails or writes nothing.
bool WriteAllBytes(int fd, const char* data, size_t size);
inline bool WriteAllBytes(int fd, const std::string& bytes) {
    return WriteAllBytes(fd, bytes.data(), bytes.size());
}

}  // namespace orvex
