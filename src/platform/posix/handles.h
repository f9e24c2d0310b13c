#pragma once

// One owner for each kind of POSIX handle the platform layer opens.

#include <dirent.h>
#include <unistd.h>

#include <string>
#include <utility>

namespace norvane::platform::posix {

/// A file descriptor closed when its owner goes. A close whose failure matters (one that
/// reports a failed write-back) is made with Close().
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) {
            Reset();
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() { Reset(); }

    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }
    /// Closes now; false (errno set) when the close reports a failed write-back.
    bool Close() { return ::close(std::exchange(m_fd, -1)) == 0; }

private:
    void Reset() noexcept {
        if (m_fd >= 0)
            ::close(std::exchange(m_fd, -1));
    }
    int m_fd;
};

/// A folder opened for listing, closed when its owner goes.
class DirectoryHandle {
public:
    explicit DirectoryHandle(const std::string& path) : m_dir(::opendir(path.c_str())) {}
    ~DirectoryHandle() {
        if (m_dir != nullptr)
            ::closedir(m_dir);
    }
    DirectoryHandle(const DirectoryHandle&) = delete;
    DirectoryHandle& operator=(const DirectoryHandle&) = delete;

    DIR* Get() const { return m_dir; }

private:
    DIR* m_dir;
};

} // namespace norvane::platform::posix
