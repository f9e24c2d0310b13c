// A stand-in for rar.exe in the Windows tests: "x -o+ <archive>" extracts a RAR 4 archive of
// stored members into the current folder, as the real archiver does for the installer.
// With NORVANE_RAR_LOG set it appends its command line and current folder to that file; with
// NORVANE_RAR_DELAY_MS it takes that long before it starts, as a large package would; with
// NORVANE_RAR_ASK set it first asks a question on its standard input, as RAR does when it
// meets a file it may not overwrite, and gives up (255, RAR's "user break") at its end.

#include "platform/win32/wide.h"
#include "rar4/rar4_writer.h"

#include <shellapi.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <span>
#include <string>
#include <vector>

namespace {

using norvane::platform::win32::Handle;
using norvane::platform::win32::Utf8;
using norvane::platform::win32::Wide;

// RAR's own exit codes.
constexpr int ExitSuccess = 0;
constexpr int ExitFatal = 2;
constexpr int ExitCrc = 3;
constexpr int ExitCreate = 9;
constexpr int ExitUsage = 7;
constexpr int ExitUserBreak = 255;

// Waits for an answer a line long; false when the input ends or fails first.
bool Answered() {
    HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    char c = 0;
    DWORD read = 0;
    while (::ReadFile(input, &c, 1, &read, nullptr) && read == 1) {
        if (c == '\n')
            return true;
    }
    return false;
}

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size) {
    return norvane::rar4::Crc32(std::as_bytes(std::span(data, size)));
}

std::uint16_t Get16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
std::uint32_t Get32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void Log(const std::wstring& line) {
    wchar_t path[MAX_PATH];
    if (::GetEnvironmentVariableW(L"NORVANE_RAR_LOG", path, MAX_PATH) == 0)
        return;
    Handle file(::CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    const std::string bytes = Utf8(line) + "\n";
    DWORD written = 0;
    if (file.Valid())
        ::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::vector<std::uint8_t> ReadArchive(const std::wstring& path) {
    Handle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    std::vector<std::uint8_t> bytes;
    LARGE_INTEGER size;
    if (!file.Valid() || !::GetFileSizeEx(file.Get(), &size))
        return bytes;
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    DWORD read = 0;
    if (!::ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
        read != bytes.size())
        bytes.clear();
    return bytes;
}

// A member name as the archive stores it: the OEM part, or UTF-8 when the Unicode flag is set
// and no encoded part follows a NUL.
std::wstring MemberName(const std::uint8_t* name, std::size_t size, bool unicode) {
    std::string text(reinterpret_cast<const char*>(name), size);
    const auto nul = text.find('\0');
    if (nul != std::string::npos)
        text.resize(nul);
    return unicode && nul == std::string::npos ? Wide(text)
                                               : std::wstring(text.begin(), text.end());
}

bool SafeMemberName(const std::wstring& name) {
    if (name.empty() || name.front() == L'\\' || name.find(L':') != std::wstring::npos)
        return false;
    std::size_t start = 0;
    while (start <= name.size()) {
        const auto end = std::min(name.find(L'\\', start), name.size());
        const auto part = name.substr(start, end - start);
        if (part.empty() || part == L"." || part == L"..")
            return false;
        start = end + 1;
    }
    return true;
}

void CreateFolders(const std::wstring& name) {
    for (auto slash = name.find(L'\\'); slash != std::wstring::npos;
         slash = name.find(L'\\', slash + 1))
        ::CreateDirectoryW(name.substr(0, slash).c_str(), nullptr);
}

int Extract(const std::wstring& archive) {
    const std::vector<std::uint8_t> bytes = ReadArchive(archive);
    static const std::uint8_t marker[] = {0x52, 0x61, 0x72, 0x21, 0x1a, 0x07, 0x00};
    if (bytes.size() < 7 || !std::equal(marker, marker + 7, bytes.begin())) {
        std::fwprintf(stderr, L"%ls is not a RAR archive\n", archive.c_str());
        return ExitFatal;
    }
    int result = ExitSuccess;
    std::size_t at = 7;
    while (at + 7 <= bytes.size()) {
        const std::uint8_t* head = bytes.data() + at;
        const std::uint8_t type = head[2];
        const std::uint16_t flags = Get16(head + 3);
        const std::uint16_t headSize = Get16(head + 5);
        if (headSize < 7 || at + headSize > bytes.size())
            return ExitFatal;
        if ((Crc32(head + 2, headSize - 2u) & 0xffff) != Get16(head)) {
            std::fwprintf(stderr, L"header CRC error at %zu\n", at);
            return ExitCrc;
        }
        std::uint64_t dataSize = 0;
        if ((flags & 0x8000) != 0 && headSize >= 11)
            dataSize = Get32(head + 7);
        if (type == 0x7b)
            break;
        if (type == 0x74) {
            if (headSize < 32)
                return ExitFatal;
            const std::uint32_t crc = Get32(head + 16);
            const std::uint8_t method = head[25];
            const std::uint16_t nameSize = Get16(head + 26);
            const std::size_t nameAt = (flags & 0x100) != 0 ? 40 : 32;
            if (nameAt + nameSize > headSize || at + headSize + dataSize > bytes.size())
                return ExitFatal;
            const std::wstring name = MemberName(head + nameAt, nameSize, (flags & 0x200) != 0);
            if (!SafeMemberName(name)) {
                std::fwprintf(stderr, L"unsafe member name %ls\n", name.c_str());
                return ExitFatal;
            }
            const std::uint8_t* data = head + headSize;
            CreateFolders(name);
            if ((flags & 0xe0) == 0xe0) {
                ::CreateDirectoryW(name.c_str(), nullptr);
            } else if (method != 0x30) {
                std::fwprintf(stderr, L"%ls: only stored members are supported\n", name.c_str());
                result = ExitFatal;
            } else {
                Handle out(::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
                DWORD written = 0;
                if (!out.Valid() || !::WriteFile(out.Get(), data, static_cast<DWORD>(dataSize),
                                                 &written, nullptr)) {
                    std::fwprintf(stderr, L"cannot create %ls\n", name.c_str());
                    result = ExitCreate;
                } else if (Crc32(data, static_cast<std::size_t>(dataSize)) != crc) {
                    std::fwprintf(stderr, L"%ls: CRC error\n", name.c_str());
                    result = ExitCrc;
                }
            }
        }
        at += headSize + dataSize;
    }
    return result;
}

} // namespace

int main() {
    wchar_t folder[MAX_PATH];
    ::GetCurrentDirectoryW(MAX_PATH, folder);
    Log(std::wstring(L"cmdline ") + ::GetCommandLineW());
    Log(std::wstring(L"folder ") + folder);
    wchar_t delay[16];
    if (::GetEnvironmentVariableW(L"NORVANE_RAR_DELAY_MS", delay, 16) != 0)
        ::Sleep(static_cast<DWORD>(std::wcstoul(delay, nullptr, 10)));
    if (::GetEnvironmentVariableW(L"NORVANE_RAR_ASK", delay, 16) != 0) {
        std::fwprintf(stdout, L"Overwrite? [Y]es, [N]o\n");
        std::fflush(stdout);
        if (!Answered())
            return ExitUserBreak;
    }
    int count = 0;
    LPWSTR* arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (arguments == nullptr)
        return ExitUsage;
    std::vector<std::wstring> args(arguments, arguments + count);
    ::LocalFree(arguments);
    if (args.size() != 4 || args[1] != L"x" || args[2] != L"-o+") {
        std::fwprintf(stderr, L"usage: rar x -o+ <archive>\n");
        return ExitUsage;
    }
    return Extract(args[3]);
}
