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

/// A lock on the use of a file other programs open too (a database file, which an engine may
/// open for one process only): taken before the file is opened, so that a second installer is
/// told by this lock rather than by the engine. It neither writes to the file nor keeps anyone
/// from opening it, and the system drops it when the holding process ends in any way (an
/// open-file-description lock on a byte far past any file's end on POSIX, a named mutex
/// for the file's identity on Windows).
class FileUseLock {
public:
    /// Takes the lock without waiting; nothing when another process holds it. A file that
    /// cannot be opened here (missing, not the user's to write, on another machine) gives a
    /// lock that holds nothing: whatever opens the file next says why.
    static std::optional<FileUseLock> TryAcquire(const std::string& path);

    FileUseLock(FileUseLock&&) noexcept;
    FileUseLock& operator=(FileUseLock&&) noexcept;
    FileUseLock(const FileUseLock&) = delete;
    FileUseLock& operator=(const FileUseLock&) = delete;
    ~FileUseLock();

    /// Whether the lock holds the file (false for one that could not be opened).
    bool Held() const { return m_handle != nullptr; }

private:
    struct Handle;
    explicit FileUseLock(std::unique_ptr<Handle> handle);
    std::unique_ptr<Handle> m_handle;
};

} // namespace norvane::platform
