#include "platform/file_lock.h"

#include "base/exceptions.h"
#include "platform/files.h"
#include "platform/win32/wide.h"

#include <cwchar>

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

struct FileUseLock::Handle {
    explicit Handle(HANDLE mutex) : mutex(mutex) {}
    win32::Handle mutex;
};

namespace {

// The file's identity (its volume and index), which every path to it shares; nothing when it
// cannot be opened. No access is asked for, so an engine that holds the file for itself does
// not keep this open out.
std::optional<std::wstring> FileIdentity(const std::string& path) {
    win32::Handle file(::CreateFileW(win32::Wide(path).c_str(), 0,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!file.Valid() || !::GetFileInformationByHandle(file.Get(), &info))
        return std::nullopt;
    wchar_t name[64];
    ::swprintf(name, 64, L"%08lx-%08lx%08lx", info.dwVolumeSerialNumber, info.nFileIndexHigh,
               info.nFileIndexLow);
    return std::wstring(name);
}

} // namespace

std::optional<FileUseLock> FileUseLock::TryAcquire(const std::string& path) {
    const std::optional<std::wstring> identity = FileIdentity(path);
    if (!identity)
        return FileUseLock(nullptr);
    // Seen from every session of the machine where the system allows it, else from this one.
    for (const wchar_t* scope : {L"Global\\", L"Local\\"}) {
        const std::wstring name = scope + std::wstring(L"norvane-update-") + *identity;
        HANDLE mutex = ::CreateMutexW(nullptr, FALSE, name.c_str());
        if (mutex == nullptr) {
            if (::GetLastError() == ERROR_ACCESS_DENIED)
                continue;
            return FileUseLock(nullptr);
        }
        auto handle = std::make_unique<Handle>(mutex);
        if (::GetLastError() == ERROR_ALREADY_EXISTS)
            return std::nullopt;
        return FileUseLock(std::move(handle));
    }
    return FileUseLock(nullptr);
}

FileUseLock::FileUseLock(std::unique_ptr<Handle> handle) : m_handle(std::move(handle)) {}
FileUseLock::FileUseLock(FileUseLock&&) noexcept = default;
FileUseLock& FileUseLock::operator=(FileUseLock&&) noexcept = default;
FileUseLock::~FileUseLock() = default;

FileLock::FileLock(std::unique_ptr<Handle> handle) : m_handle(std::move(handle)) {}
FileLock::FileLock(FileLock&&) noexcept = default;
FileLock& FileLock::operator=(FileLock&&) noexcept = default;
FileLock::~FileLock() = default;

} // namespace norvane::platform
