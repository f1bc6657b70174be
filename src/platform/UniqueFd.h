#pragma once

namespace orvex {

// Small owner of a file descriptor: closes it when it goes.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    int Release();
    // Closes the descriptor (keeping errno as close(2) left it); the result of close(2), 0
    // when nothing was open.
    int Reset(int fd = -1);

private:
    int fd_ = -1;
};

}  // namespace orvex
