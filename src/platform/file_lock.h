#pragma once

#include <memory>
#include <optional>
#include <string>

namespace norvane::platform {

/// An exclusive lock on a file, held while the owner lives (flock on POSIX, LockFileEx on
/// Windows). The system drops it when the holding process ends in any way, so a killed holder
/// never blocks the next one.
class FileLock {
public:
    /// Takes the lock without waiting, creating the file when missing; nothing when another
    /// process holds it. Raises EOSError when the file cannot be opened at all.
    static std::optional<FileLock> TryAcquire(const std::string& path);

    FileLock(FileLock&&) noexcept;
    FileLock& operator=(FileLock&&) noexcept;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock();

private:
    struct Handle;
    explicit FileLock(std::unique_ptr<Handle> handle);
    std::unique_ptr<Handle> m_handle;
};

} // namespace norvane::platform
