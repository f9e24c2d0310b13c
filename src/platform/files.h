#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace norvane::platform {

bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);

/// The size of a file in bytes; nothing for a folder or a file that cannot be examined.
std::optional<std::uint64_t> FileSize(const std::string& path);

/// Creates one folder level. On POSIX the folder is private to the user (mode 0700).
bool CreateFolder(const std::string& path);

/// Creates one folder level of the product, which its other users read too: on POSIX with the
/// modes the user's umask leaves, as any program's new folder.
bool CreateSharedFolder(const std::string& path);

/// Why a work folder must not be used (a link, another user's folder, one others may write
/// in, not a folder), in the
/// user's language, or nothing. The path itself is examined, never what a link points to; a
/// missing folder has no reason against it.
std::optional<std::string> UnsafeFolderReason(const std::string& path);

bool DeleteFile(const std::string& path);

/// Removes path when it is a symbolic link (or on Windows any reparse point): the link
/// itself, never what it leads to. False when path is no link or could not be removed.
bool RemoveLink(const std::string& path);

/// Renames a file; an existing target is not replaced.
bool MoveFile(const std::string& from, const std::string& to);

/// One entry of a folder listing.
struct DirEntry {
    std::string name;
    bool isFolder = false;
};

/// The entries of folder whose names match a Windows file mask, every attribute included.
/// A folder that does not exist gives an empty list.
std::vector<DirEntry> FindEntries(const std::string& folder, std::string_view mask);

/// Appends JoinPath(folder, name) for every entry of folder matching mask, then sorts the
/// whole list case-insensitively in the user's locale (CompareTextUserLocale).
void CollectFiles(std::vector<std::string>& list, const std::string& folder, std::string_view mask);

/// Sorts a file list case-insensitively in the user's locale.
void SortFileList(std::vector<std::string>& list);

/// A system error: its code and the system's text for it.
struct SystemError {
    std::uint32_t code = 0;
    std::string message;
};

/// The system's text for an error code, without trailing blanks, control characters and
/// full stops.
std::string SystemErrorText(std::uint32_t code);

/// The error of the last system call that failed on this thread (errno, GetLastError).
SystemError LastSystemError();

/// Whether a new file can be made in folder: tried for real with a temporary file, removed
/// again, so that read-only mounts and access rules all count.
std::optional<SystemError> CheckFolderWritable(const std::string& folder);

/// Whether the file at path could be replaced now: not a folder, not read-only, and (on
/// Windows) not held open by another program. A missing file can always be made.
std::optional<SystemError> CheckReplaceable(const std::string& path);

/// The bytes the user may still write on the disk holding path, or nothing when unknown.
std::optional<std::uint64_t> FreeDiskSpace(const std::string& path);

/// Copies a file over an existing one. Never leaves a truncated destination: the bytes go to
/// a temporary name beside it first (".<name>.norvane-copy..."). The mode bits are kept on
/// POSIX.
std::optional<SystemError> CopyFileReplacing(const std::string& source,
                                             const std::string& destination);

/// Removes the temporary files of copies that were cut off (the process killed) from folder.
void RemoveUnfinishedCopies(const std::string& folder);

/// The whole content of a file. Raises EFOpenError or EReadError.
std::string ReadWholeFile(const std::string& path);

/// How many bytes ReadFileInSteps hands over at a time, at most.
inline constexpr std::size_t ReadStepSize = 1024 * 1024;

/// Reads a file from start to end, handing each step of its bytes to onStep, so that a large
/// file is never held whole. Raises EFOpenError or EReadError.
void ReadFileInSteps(const std::string& path,
                     const std::function<void(std::string_view bytes)>& onStep);

/// Makes path anew and writes bytes to it in one write. The file is created exclusively and
/// never through a link: a file or link in its place is removed first (not what the link
/// points to), and one that appears meanwhile makes the creation fail. Raises EFCreateError
/// "Cannot create file "<path>". <system text>" or EWriteError "Stream write error".
void WriteNewFile(const std::string& path, std::span<const std::byte> bytes);

/// Appends bytes to path, creating it exclusively when missing; opened without sharing and
/// closed again, never through a link.
/// Returns false when nothing could be written.
bool AppendToFile(const std::string& path, std::string_view bytes);

/// Appends bytes to path in one write, creating it when missing, and makes them durable.
/// Another writer doing the same is waited for, so that two records never mix. Returns
/// false when nothing could be written.
bool AppendRecord(const std::string& path, std::string_view bytes);

/// Case-insensitive order of the user's locale: < 0, 0 or > 0.
int CompareTextUserLocale(std::string_view a, std::string_view b);

} // namespace norvane::platform
