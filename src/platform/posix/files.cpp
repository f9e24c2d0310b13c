#include "platform/files.h"

#include "base/exceptions.h"
#include "base/path_rules.h"
#include "base/wildcard.h"
#include "platform/posix/handles.h"
#include "platform/whole_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace norvane::platform {

namespace {

using posix::DirectoryHandle;
using posix::FileDescriptor;

std::string SystemText() {
    return SystemErrorText(static_cast<std::uint32_t>(errno));
}

// Writes everything, going on after interrupted and partial writes; false (errno set) when
// the system stops taking bytes.
bool WriteAll(int fd, const std::byte* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return false;
        if (written == 0) {
            errno = ENOSPC;
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

SystemError ErrorFromErrno(int code) {
    return {static_cast<std::uint32_t>(code), SystemErrorText(static_cast<std::uint32_t>(code))};
}

// The copy itself; the caller removes the temporary file when this fails.
std::optional<SystemError> CopyThroughTemporary(int sourceFd, mode_t mode,
                                                const std::string& temporary,
                                                FileDescriptor& target,
                                                const std::string& destination) {
    std::byte buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(sourceFd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return ErrorFromErrno(errno);
        if (got == 0)
            break;
        if (!WriteAll(target.Get(), buffer, static_cast<std::size_t>(got)))
            return ErrorFromErrno(errno);
    }
    // Program files keep their permission bits (the executable bit above all); set-id bits are
    // not carried over, as a plain copy does not carry them either.
    if (::fchmod(target.Get(), mode & 0777) != 0 || ::fsync(target.Get()) != 0 || !target.Close())
        return ErrorFromErrno(errno);
    if (::rename(temporary.c_str(), destination.c_str()) != 0)
        return ErrorFromErrno(errno);
    return std::nullopt;
}

} // namespace

bool FileExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool FolderExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::optional<std::uint64_t> FileSize(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode))
        return std::nullopt;
    return static_cast<std::uint64_t>(info.st_size);
}

bool CreateFolder(const std::string& path) {
    return ::mkdir(path.c_str(), 0700) == 0;
}

bool CreateSharedFolder(const std::string& path) {
    return ::mkdir(path.c_str(), 0777) == 0;
}

std::optional<std::string> UnsafeFolderReason(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        if (errno == ENOENT)
            return std::nullopt;
        return "каталог " + path + " неможливо перевірити: " + SystemText();
    }
    if (S_ISLNK(info.st_mode))
        return "каталог " + path + " є символічним посиланням";
    if (!S_ISDIR(info.st_mode))
        return path + " не є каталогом";
    if (info.st_uid != ::geteuid())
        return "каталог " + path + " належить іншому користувачеві";
    // Whoever may write in it can plant a link where the install makes a file.
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return "каталог " + path + " доступний для запису іншим користувачам";
    return std::nullopt;
}

bool DeleteFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

bool RemoveLink(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode) &&
           ::unlink(path.c_str()) == 0;
}

bool MoveFile(const std::string& from, const std::string& to) {
    // link + unlink refuses an existing target atomically, where rename would replace it.
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return true;
    }
    if (errno == EEXIST)
        return false;
    // Without hard links (some file systems), check and rename: a small window, no loss.
    struct stat info {};
    if (::lstat(to.c_str(), &info) == 0)
        return false;
    return ::rename(from.c_str(), to.c_str()) == 0;
}

std::vector<DirEntry> FindEntries(const std::string& folder, std::string_view mask) {
    std::vector<DirEntry> entries;
    DirectoryHandle dir(folder);
    if (dir.Get() == nullptr)
        return entries;
    while (const dirent* entry = ::readdir(dir.Get())) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == ".." || !MatchesMask(name, mask))
            continue;
        bool isFolder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
            struct stat info {};
            isFolder = ::fstatat(::dirfd(dir.Get()), entry->d_name, &info, 0) == 0 &&
                       S_ISDIR(info.st_mode);
        }
        entries.push_back({std::string(name), isFolder});
    }
    return entries;
}

std::string SystemErrorText(std::uint32_t code) {
    std::string text = std::strerror(static_cast<int>(code));
    while (!text.empty()) {
        const auto last = static_cast<unsigned char>(text.back());
        if (last > ' ' && last != '.')
            break;
        text.pop_back();
    }
    return text;
}

SystemError LastSystemError() {
    return ErrorFromErrno(errno);
}

std::optional<SystemError> CheckFolderWritable(const std::string& folder) {
    std::string probe = JoinPath(folder, ".norvane-write-test.XXXXXX", PosixPathRules);
    FileDescriptor fd(::mkostemp(probe.data(), O_CLOEXEC));
    if (!fd.Valid())
        return ErrorFromErrno(errno);
    ::unlink(probe.c_str());
    return std::nullopt;
}

std::optional<SystemError> CheckReplaceable(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return errno == ENOENT ? std::nullopt : std::optional(ErrorFromErrno(errno));
    // A file is replaced by a rename in its folder, which the folder's own check covers; only
    // a folder in its place cannot be.
    if (S_ISDIR(info.st_mode))
        return ErrorFromErrno(EISDIR);
    return std::nullopt;
}

std::optional<std::uint64_t> FreeDiskSpace(const std::string& path) {
    struct statvfs info {};
    if (::statvfs(path.c_str(), &info) != 0)
        return std::nullopt;
    return static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
}

std::optional<SystemError> CopyFileReplacing(const std::string& source,
                                             const std::string& destination) {
    FileDescriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (!in.Valid())
        return ErrorFromErrno(errno);
    struct stat info {};
    if (::fstat(in.Get(), &info) != 0)
        return ErrorFromErrno(errno);

    // The temporary file sits beside the destination so that the final rename stays within
    // one file system and replaces the destination in one step.
    const std::string folder = ExecutableFolder(destination, PosixPathRules);
    std::string name = ".";
    name += FileNameOf(destination, PosixPathRules);
    name += ".norvane-copy-XXXXXX";
    std::string temporary = JoinPath(folder.empty() ? "." : folder, name, PosixPathRules);
    FileDescriptor out(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!out.Valid())
        return ErrorFromErrno(errno);
    auto failure = CopyThroughTemporary(in.Get(), info.st_mode, temporary, out, destination);
    if (failure)
        ::unlink(temporary.c_str());
    return failure;
}

namespace {

FileDescriptor OpenForReading(const std::string& path) {
    FileDescriptor in(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!in.Valid())
        throw EFOpenError("Cannot open file \"" + path + "\". " + SystemText());
    return in;
}

// At most size bytes; 0 at the end of the file.
std::size_t ReadSome(const FileDescriptor& in, char* data, std::size_t size) {
    for (;;) {
        const ssize_t got = ::read(in.Get(), data, size);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw EReadError("Stream read error");
        return static_cast<std::size_t>(got);
    }
}

} // namespace

std::string ReadWholeFile(const std::string& path) {
    const FileDescriptor in = OpenForReading(path);
    // Only a regular file's length says how many bytes a read will give.
    struct stat info {};
    const bool regular = ::fstat(in.Get(), &info) == 0 && S_ISREG(info.st_mode);
    const auto reported = regular ? static_cast<std::uint64_t>(info.st_size) : 0;
    return ReadWhole(reported,
                     [&](char* data, std::size_t size) { return ReadSome(in, data, size); });
}

void ReadFileInSteps(const std::string& path,
                     const std::function<void(std::string_view bytes)>& onStep) {
    const FileDescriptor in = OpenForReading(path);
    std::string step(ReadStepSize, '\0');
    while (const std::size_t got = ReadSome(in, step.data(), step.size()))
        onStep(std::string_view(step.data(), got));
}

namespace {

FileDescriptor CreateExclusively(const std::string& path, int flags) {
    return FileDescriptor(
        ::open(path.c_str(), flags | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
}

// A link or file in the way of a new file goes, never what a link points to; anything else
// (a folder, a device) stays and the creation fails.
bool RemoveLinkOrFile(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && (S_ISLNK(info.st_mode) || S_ISREG(info.st_mode)) &&
           ::unlink(path.c_str()) == 0;
}

} // namespace

void WriteNewFile(const std::string& path, std::span<const std::byte> bytes) {
    FileDescriptor out = CreateExclusively(path, O_WRONLY);
    if (!out.Valid() && errno == EEXIST && RemoveLinkOrFile(path))
        out = CreateExclusively(path, O_WRONLY);
    if (!out.Valid())
        throw EFCreateError("Cannot create file \"" + path + "\". " + SystemText());
    // What was written stays in place when the disk fills up.
    if (!WriteAll(out.Get(), bytes.data(), bytes.size()))
        throw EWriteError("Stream write error");
    if (!out.Close())
        throw EWriteError("Stream write error");
}

bool AppendToFile(const std::string& path, std::string_view bytes) {
    // Made exclusively, and never written through a link.
    FileDescriptor out(::open(path.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC));
    if (!out.Valid() && errno == ENOENT)
        out = CreateExclusively(path, O_WRONLY | O_APPEND);
    if (!out.Valid())
        return false;
    // Another writer holding the file makes this append fail, as an unshared open would.
    if (::flock(out.Get(), LOCK_EX | LOCK_NB) != 0)
        return false;
    if (!WriteAll(out.Get(), reinterpret_cast<const std::byte*>(bytes.data()), bytes.size()))
        return false;
    return out.Close();
}

bool AppendRecord(const std::string& path, std::string_view bytes) {
    FileDescriptor out(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666));
    if (!out.Valid())
        return false;
    while (::flock(out.Get(), LOCK_EX) != 0) {
        if (errno != EINTR)
            return false;
    }
    if (!WriteAll(out.Get(), reinterpret_cast<const std::byte*>(bytes.data()), bytes.size()) ||
        ::fdatasync(out.Get()) != 0)
        return false;
    return out.Close();
}

int CompareTextUserLocale(std::string_view a, std::string_view b) {
    auto foldCase = [](std::string_view text) {
        std::string result(text);
        std::transform(result.begin(), result.end(), result.begin(), [](char c) {
            return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        });
        return result;
    };
    const std::string foldedA = foldCase(a);
    const std::string foldedB = foldCase(b);
    // Ties of the collation fall back to byte order, so the order is total and a sort by it
    // comes out the same on every run.
    if (const int collated = std::strcoll(foldedA.c_str(), foldedB.c_str()); collated != 0)
        return collated < 0 ? -1 : 1;
    if (const int bytewise = foldedA.compare(foldedB); bytewise != 0)
        return bytewise < 0 ? -1 : 1;
    const int exact = a.compare(b);
    return exact < 0 ? -1 : (exact > 0 ? 1 : 0);
}

} // namespace norvane::platform
