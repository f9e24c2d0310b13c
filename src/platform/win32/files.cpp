#include "platform/files.h"

#include "base/exceptions.h"
#include "base/wildcard.h"
#include "platform/paths.h"
#include "platform/whole_file.h"
#include "platform/win32/wide.h"

#include <algorithm>
#include <climits>

namespace norvane::platform {

using win32::Handle;
using win32::Utf8;
using win32::Wide;

namespace {

DWORD Attributes(const std::string& path) {
    return ::GetFileAttributesW(Wide(path).c_str());
}

/// A directory search handle closed by FindClose.
class SearchHandle {
public:
    explicit SearchHandle(HANDLE handle) : m_handle(handle) {}
    SearchHandle(const SearchHandle&) = delete;
    SearchHandle& operator=(const SearchHandle&) = delete;
    ~SearchHandle() {
        if (Valid())
            ::FindClose(m_handle);
    }
    bool Valid() const { return m_handle != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return m_handle; }

private:
    HANDLE m_handle;
};

} // namespace

bool FileExists(const std::string& path) {
    const DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool FolderExists(const std::string& path) {
    const DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::optional<std::uint64_t> FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return std::nullopt;
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool CreateFolder(const std::string& path) {
    return ::CreateDirectoryW(Wide(path).c_str(), nullptr) != 0;
}

bool CreateSharedFolder(const std::string& path) {
    return ::CreateDirectoryW(Wide(path).c_str(), nullptr) != 0;
}

// The work folder lies in the user's own temporary folder, which other users cannot enter;
// only a junction or link in its place could lead the clean-up somewhere else.
std::optional<std::string> UnsafeFolderReason(const std::string& path) {
    const DWORD attributes = Attributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return std::nullopt;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return "каталог " + path + " є посиланням на інше місце";
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return path + " не є каталогом";
    return std::nullopt;
}

bool DeleteFile(const std::string& path) {
    return ::DeleteFileW(Wide(path).c_str()) != 0;
}

bool RemoveLink(const std::string& path) {
    const DWORD attributes = Attributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        return false;
    // A junction or folder link is removed as a folder, which leaves its target as it is.
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return ::RemoveDirectoryW(Wide(path).c_str()) != 0;
    return ::DeleteFileW(Wide(path).c_str()) != 0;
}

bool MoveFile(const std::string& from, const std::string& to) {
    return ::MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), 0) != 0;
}

std::vector<DirEntry> FindEntries(const std::string& folder, std::string_view mask) {
    std::vector<DirEntry> entries;
    WIN32_FIND_DATAW data;
    SearchHandle search(::FindFirstFileExW(Wide(JoinPath(folder, mask)).c_str(), FindExInfoBasic,
                                           &data, FindExSearchNameMatch, nullptr, 0));
    if (!search.Valid())
        return entries;
    do {
        const std::string name = Utf8(data.cFileName);
        // The system also matches the 8.3 short name, so "*.sql" would find "a.sqlbak";
        // only the long name counts. "." and ".." are never wanted.
        if (name == "." || name == ".." || !MatchesMask(name, mask))
            continue;
        entries.push_back({name, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
    } while (::FindNextFileW(search.Get(), &data));
    return entries;
}

std::string SystemErrorText(std::uint32_t code) {
    return Utf8(win32::SystemErrorTextW(code));
}

SystemError LastSystemError() {
    const DWORD code = ::GetLastError();
    return {code, SystemErrorText(code)};
}

std::optional<SystemError> CheckFolderWritable(const std::string& folder) {
    const std::wstring probe = Wide(JoinPath(folder, ".norvane-write-test.tmp"));
    Handle file(::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN, nullptr));
    if (!file.Valid())
        return LastSystemError();
    file.Reset();
    ::DeleteFileW(probe.c_str());
    return std::nullopt;
}

std::optional<SystemError> CheckReplaceable(const std::string& path) {
    const std::wstring target = Wide(path);
    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return std::nullopt;
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0)
        return SystemError{ERROR_ACCESS_DENIED, SystemErrorText(ERROR_ACCESS_DENIED)};
    // A running program or an open template refuses writers and deleters: asking for both,
    // while sharing everything, fails exactly when the copy's replace would.
    Handle file(::CreateFileW(target.c_str(), GENERIC_WRITE | DELETE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid())
        return LastSystemError();
    return std::nullopt;
}

std::optional<std::uint64_t> FreeDiskSpace(const std::string& path) {
    ULARGE_INTEGER available{};
    if (!::GetDiskFreeSpaceExW(Wide(path).c_str(), &available, nullptr, nullptr))
        return std::nullopt;
    return available.QuadPart;
}

std::optional<SystemError> CopyFileReplacing(const std::string& source,
                                             const std::string& destination) {
    const auto failure = [](DWORD code) { return SystemError{code, SystemErrorText(code)}; };
    // A copy cut short (full disk, power loss) must not leave a broken program file: the
    // bytes land beside the destination first and replace it in one rename.
    const std::wstring target = Wide(destination);
    // CopyFileW refuses a read-only destination; the rename below would replace it on some
    // systems, so the refusal is made here for all of them.
    const DWORD existing = ::GetFileAttributesW(target.c_str());
    if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_READONLY) != 0)
        return failure(ERROR_ACCESS_DENIED);
    const std::wstring temporary = Wide(
        JoinPath(ExecutableFolder(destination, WindowsPathRules),
                 "." + std::string(FileNameOf(destination, WindowsPathRules)) + ".norvane-copy"));
    ::SetFileAttributesW(temporary.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(temporary.c_str());
    if (!::CopyFileW(Wide(source).c_str(), temporary.c_str(), FALSE))
        return failure(::GetLastError());
    if (!::MoveFileExW(temporary.c_str(), target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD code = ::GetLastError();
        ::SetFileAttributesW(temporary.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(temporary.c_str());
        return failure(code);
    }
    return std::nullopt;
}

namespace {

Handle OpenForReading(const std::string& path) {
    Handle file(::CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid())
        throw EFOpenError("Cannot open file \"" + path + "\". " +
                          SystemErrorText(::GetLastError()));
    return file;
}

// At most count bytes; 0 at the end of the file.
std::size_t ReadSome(const Handle& file, char* data, std::size_t count) {
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(count, 1u << 30));
    DWORD read = 0;
    if (!::ReadFile(file.Get(), data, chunk, &read, nullptr))
        throw EReadError("Stream read error");
    return static_cast<std::size_t>(read);
}

} // namespace

std::string ReadWholeFile(const std::string& path) {
    const Handle file = OpenForReading(path);
    // A device or pipe has no length to report; it is read to its end all the same.
    LARGE_INTEGER size{};
    const bool known = ::GetFileSizeEx(file.Get(), &size) && size.QuadPart > 0;
    const auto reported = known ? static_cast<std::uint64_t>(size.QuadPart) : 0;
    return ReadWhole(reported,
                     [&](char* data, std::size_t count) { return ReadSome(file, data, count); });
}

void ReadFileInSteps(const std::string& path,
                     const std::function<void(std::string_view bytes)>& onStep) {
    const Handle file = OpenForReading(path);
    std::string step(ReadStepSize, '\0');
    while (const std::size_t got = ReadSome(file, step.data(), step.size()))
        onStep(std::string_view(step.data(), got));
}

namespace {

// A new file, never one a link points to: a reparse point is opened as itself.
Handle CreateExclusively(const std::string& path, DWORD access) {
    return Handle(::CreateFileW(Wide(path).c_str(), access, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

} // namespace

void WriteNewFile(const std::string& path, std::span<const std::byte> bytes) {
    Handle file = CreateExclusively(path, GENERIC_WRITE);
    // A file or link in the way goes (DeleteFileW removes a link itself); a folder stays.
    if (!file.Valid() && ::GetLastError() == ERROR_FILE_EXISTS && ::DeleteFileW(Wide(path).c_str()))
        file = CreateExclusively(path, GENERIC_WRITE);
    if (!file.Valid())
        throw EFCreateError("Cannot create file \"" + path + "\". " +
                            SystemErrorText(::GetLastError()));
    // One write for everything a DWORD can count; only a package over 4 GB takes more.
    std::size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk =
            static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, MAXDWORD));
        DWORD written = 0;
        if (!::WriteFile(file.Get(), bytes.data() + done, chunk, &written, nullptr) ||
            written != chunk)
            throw EWriteError("Stream write error");
        done += written;
    }
}

bool AppendToFile(const std::string& path, std::string_view bytes) {
    Handle file(::CreateFileW(Wide(path).c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.Valid() && ::GetLastError() == ERROR_FILE_NOT_FOUND)
        file = CreateExclusively(path, FILE_APPEND_DATA);
    if (!file.Valid())
        return false;
    // Never appended to a link, only to a file of its own.
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file.Get(), &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return false;
    if (bytes.size() > MAXDWORD)
        return false;
    DWORD written = 0;
    return ::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                       nullptr) &&
           written == bytes.size();
}

bool AppendRecord(const std::string& path, std::string_view bytes) {
    Handle file(::CreateFileW(Wide(path).c_str(), FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid() || bytes.size() > MAXDWORD)
        return false;
    OVERLAPPED whole{};
    if (!::LockFileEx(file.Get(), LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole))
        return false;
    DWORD written = 0;
    const bool done = ::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                                  &written, nullptr) &&
                      written == bytes.size() && ::FlushFileBuffers(file.Get());
    ::UnlockFileEx(file.Get(), 0, MAXDWORD, MAXDWORD, &whole);
    return done;
}

int CompareTextUserLocale(std::string_view a, std::string_view b) {
    const std::wstring wideA = Wide(a);
    const std::wstring wideB = Wide(b);
    if (wideA.size() > INT_MAX || wideB.size() > INT_MAX)
        return wideA.compare(wideB);
    switch (::CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, wideA.data(),
                             static_cast<int>(wideA.size()), wideB.data(),
                             static_cast<int>(wideB.size()))) {
    case CSTR_LESS_THAN:
        return -1;
    case CSTR_GREATER_THAN:
        return 1;
    case CSTR_EQUAL:
        return 0;
    default:
        // The comparison itself failed; the code point order keeps the sort strict.
        return wideA.compare(wideB) < 0 ? -1 : (wideA == wideB ? 0 : 1);
    }
}

} // namespace norvane::platform
