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

FileLock::FileLock(std::unique_ptr<Handle> handle) : m_handle(std::move(handle)) {}
FileLock::FileLock(FileLock&&) noexcept = default;
FileLock& FileLock::operator=(FileLock&&) noexcept = default;
FileLock::~FileLock() = default;

} // namespace norvane::platform
