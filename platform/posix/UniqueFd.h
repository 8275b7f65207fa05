#pragma once
#include <unistd.h>

#include <utility>

namespace tallyhive {

// A file descriptor with one owner, closed when the owner goes.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) noexcept : m_fd(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) Reset(std::exchange(other.m_fd, -1));
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { Reset(); }

    int Get() const noexcept { return m_fd; }
    explicit operator bool() const noexcept { return m_fd >= 0; }
    void Reset(int fd = -1) noexcept {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = fd;
    }
    // Closes now and says whether close() succeeded: for a file just written it can report a failed
    // write-back that no earlier call did.
    bool Close() noexcept {
        if (m_fd < 0) return true;
        return ::close(std::exchange(m_fd, -1)) == 0;
    }

private:
    int m_fd = -1;
};

}  // namespace tallyhive
