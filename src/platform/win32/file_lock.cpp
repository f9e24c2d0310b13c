#include "platform/file_lock.h"

#include "base/exceptions.h"
#include "platform/files.h"
#include "platform/win32/wide.h"

namespace norvane::platform {

struct FileLock::Handle {
    explicit Handle(HANDLE file) : file(file) {}
    ~Handle() {
        OVERLAPPED whole{};
        ::UnlockFileEx(file.Get(), 0, MAXDWORD, MAXDWORD, &whole);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    win32::Handle file;
};

std::optional<FileLock> FileLock::TryAcquire(const std::string& path) {
    HANDLE file = ::CreateFileW(win32::Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const SystemError error = LastSystemError();
        throw EOSError("не вдалося відкрити файл блокування " + path + ": " + error.message);
    }
    auto handle = std::make_unique<Handle>(file);
    OVERLAPPED whole{};
    if (!::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD,
                      MAXDWORD, &whole)) {
        const SystemError error = LastSystemError();
        if (error.code == ERROR_LOCK_VIOLATION || error.code == ERROR_IO_PENDING)
            return std::nullopt;
        throw EOSError("не вдалося заблокувати файл " + path + ": " + error.message);
    }
    return FileLock(std::move(handle));
}

FileLock::FileLock(std::unique_ptr<Handle> handle) : m_handle(std::move(handle)) {}
FileLock::FileLock(FileLock&&) noexcept = default;
FileLock& FileLock::operator=(FileLock&&) noexcept = default;
FileLock::~FileLock() = default;

} // namespace norvane::platform
