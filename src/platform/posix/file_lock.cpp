#include "platform/file_lock.h"

#include "base/exceptions.h"
#include "platform/files.h"
#include "platform/posix/handles.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace norvane::platform {

struct FileLock::Handle {
    posix::FileDescriptor file;
};

std::optional<FileLock> FileLock::TryAcquire(const std::string& path) {
    // Never through a link: the lock file is ours, in a folder that is ours.
    posix::FileDescriptor file(
        ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!file.Valid()) {
        const SystemError error = LastSystemError();
        throw EOSError("не вдалося відкрити файл блокування " + path + ": " + error.message);
    }
    const int fd = file.Get();
    auto handle = std::make_unique<Handle>(Handle{std::move(file)});
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK)
            return std::nullopt;
        if (errno != EINTR) {
            const SystemError error = LastSystemError();
            throw EOSError("не вдалося заблокувати файл " + path + ": " + error.message);
        }
    }
    return FileLock(std::move(handle));
}

namespace {

// Far past the end of any file, so that the lock meets no lock of the engine's own: locks on
// byte ranges and whole-file locks (flock) do not meet on Linux, and no range it locks lies
// there.
constexpr off_t UseLockOffset = 0x7fffffffffff0000;

} // namespace

struct FileUseLock::Handle {
    posix::FileDescriptor file;
};

std::optional<FileUseLock> FileUseLock::TryAcquire(const std::string& path) {
    // A write lock needs the file open for writing, as the engine opens it.
    posix::FileDescriptor file(::open(path.c_str(), O_RDWR | O_CLOEXEC));
    if (!file.Valid())
        return FileUseLock(nullptr);
    struct flock range {};
    range.l_type = F_WRLCK;
    range.l_whence = SEEK_SET;
    range.l_start = UseLockOffset;
    range.l_len = 1;
    // Held by the open file description, not the process: no other open or close of the file
    // in this process (the engine's) takes it away.
    while (::fcntl(file.Get(), F_OFD_SETLK, &range) != 0) {
        if (errno == EAGAIN || errno == EACCES)
            return std::nullopt;
        // A file system without such locks: the engine's answer stands.
        if (errno != EINTR)
            return FileUseLock(nullptr);
    }
    return FileUseLock(std::make_unique<Handle>(Handle{std::move(file)}));
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
