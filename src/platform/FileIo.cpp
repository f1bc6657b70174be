#include "platform/FileIo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <mutex>

#include "platform/UniqueFd.h"

namespace orvex {

namespace {

std::atomic<detail::RenameFunction> renameFunction{nullptr};

int RenameFile(const char* from, const char* to) {
    detail::RenameFunction hook = renameFunction.load();
    return hook != nullptr ? hook(from, to) : std::rename(from, to);
}

std::mutex& ReplaceMutex() {
    static std::mutex mutex;
    return mutex;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return std::string();
    }
    return path.substr(0, slash + 1);
}

// The path a chain of symbolic links ends at (possibly a file not created yet). A loop, or a
// chain longer than the system follows, ends where it stops; the open then reports ELOOP.
std::string FollowLinks(const std::string& path) {
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            return current;
        }
        std::string target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
        const ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
        if (n <= 0 || static_cast<size_t>(n) >= target.size()) {
            return current;
        }
        target.resize(static_cast<size_t>(n));
        current = target.front() == '/' ? target : FolderOf(current) + target;
    }
    return current;
}

// Writes over the file itself, then cuts what is left of its old contents.
ReplaceResult WriteInPlace(const std::string& path, const std::string& bytes, bool regular,
                           mode_t forcedMode) {
    // Not blocking in the open: a pipe without a reader fails at once instead of hanging.
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CLOEXEC | (regular ? 0 : O_NONBLOCK)));
    if (!fd.Valid()) {
        return ReplaceResult::kOpenFailed;
    }
    if (!regular) {
        ::fcntl(fd.Get(), F_SETFL, ::fcntl(fd.Get(), F_GETFL) & ~O_NONBLOCK);
    } else if (forcedMode != 0) {
        // Before the bytes go in, so they are never readable under the old permissions.
        ::fchmod(fd.Get(), forcedMode);
    }
    bool ok = WriteAllBytes(fd.Get(), bytes);
    if (ok && regular && ::ftruncate(fd.Get(), static_cast<off_t>(bytes.size())) != 0) {
        ok = false;
    }
    ok = fd.Reset() == 0 && ok;
    return ok ? ReplaceResult::kOk : ReplaceResult::kWriteFailed;
}

}  // namespace

bool WriteAllBytes(int fd, const char* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = EIO;
            }
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

bool ReadFileBounded(const std::string& path, size_t limit, std::string* text) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.Valid()) {
        return false;
    }
    std::string buffer(limit, '\0');
    size_t got = 0;
    while (got < limit) {
        const ssize_t n = ::read(fd.Get(), buffer.data() + got, limit - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            const int error = errno;
            fd.Reset();
            errno = error;
            return false;
        }
        if (n == 0) {
            break;
        }
        got += static_cast<size_t>(n);
    }
    buffer.resize(got);
    const size_t nul = buffer.find('\0');
    if (nul != std::string::npos) {
        buffer.resize(nul);
    }
    *text = std::move(buffer);
    return true;
}

bool IsReadOnlyFile(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) {
        return false;
    }
    return (st.st_mode & 0222) == 0 || ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0;
}

std::string ReplacementTempPath(const std::string& path) {
    const std::string folder = FolderOf(path);
    return folder + "." + path.substr(folder.size()) + ".orvex-new";
}

ReplaceResult ReplaceFile(const std::string& path, const std::string& bytes,
                          const ReplaceOptions& options) {
    std::lock_guard<std::mutex> lock(ReplaceMutex());
    const std::string target = FollowLinks(path);
    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        // A device or pipe takes the bytes as it is; a folder fails the open with EISDIR.
        return WriteInPlace(target, bytes, false, 0);
    }
    const bool readOnly = exists && IsReadOnlyFile(target);
    if (readOnly && !options.replaceReadOnly) {
        errno = EACCES;
        return ReplaceResult::kOpenFailed;
    }
    const bool canWriteInPlace = exists && !readOnly && options.mayWriteInPlace;
    if (canWriteInPlace && st.st_nlink > 1) {
        return WriteInPlace(target, bytes, true, options.forcedMode);
    }

    const std::string temp = ReplacementTempPath(target);
    ::unlink(temp.c_str());  // left by a crash
    const mode_t createMode =
        options.forcedMode != 0 ? options.forcedMode : (exists ? 0600 : options.newFileMode);
    UniqueFd fd(
        ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, createMode));
    if (!fd.Valid()) {
        if (canWriteInPlace) {
            return WriteInPlace(target, bytes, true, options.forcedMode);
        }
        return ReplaceResult::kOpenFailed;
    }
    if (exists) {
        struct stat made {};
        const bool sameOwner =
            ::fstat(fd.Get(), &made) == 0 && made.st_uid == st.st_uid && made.st_gid == st.st_gid;
        if (!sameOwner && ::fchown(fd.Get(), st.st_uid, st.st_gid) != 0 && canWriteInPlace) {
            fd.Reset();
            ::unlink(temp.c_str());
            return WriteInPlace(target, bytes, true, options.forcedMode);
        }
        ::fchmod(fd.Get(), options.forcedMode != 0 ? options.forcedMode : st.st_mode & 07777);
    } else if (options.forcedMode != 0) {
        ::fchmod(fd.Get(), options.forcedMode);  // the umask may have taken bits away
    }
    bool ok = WriteAllBytes(fd.Get(), bytes);
    if (ok && options.durable && ::fsync(fd.Get()) != 0) {
        ok = false;
    }
    ok = fd.Reset() == 0 && ok;
    if (!ok) {
        const int error = errno;
        ::unlink(temp.c_str());
        errno = error;
        return ReplaceResult::kWriteFailed;
    }
    if (RenameFile(temp.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        errno = error;
        return ReplaceResult::kOpenFailed;
    }
    return ReplaceResult::kOk;
}

namespace detail {
void SetReplaceRenameForTest(RenameFunction rename) {
    renameFunction.store(rename);
}
}  // namespace detail

}  // namespace orvex
