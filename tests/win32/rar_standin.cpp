// A stand-in for rar.exe in the Windows tests: "x -o+ <archive>" extracts a RAR 4 archive of
// stored members (read by the package layer's reader) into the current folder, as the real archiver
// does for the installer. With NORVANE_RAR_LOG set it appends its command line and current folder
// to that file; with NORVANE_RAR_DELAY_MS it takes that long before it starts, as a large package
// would; with NORVANE_RAR_ASK set it first asks a question on its standard input, as RAR does when
// it meets a file it may not overwrite, and gives up (255, RAR's "user break") at its end.

#include "base/crc32.h"
#include "package/rar_archive.h"
#include "platform/win32/wide.h"

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

void CreateFolders(const std::wstring& name) {
    for (auto slash = name.find(L'\\'); slash != std::wstring::npos;
         slash = name.find(L'\\', slash + 1))
        ::CreateDirectoryW(name.substr(0, slash).c_str(), nullptr);
}

int Extract(const std::wstring& archive) {
    const std::vector<std::uint8_t> bytes = ReadArchive(archive);
    const auto data = std::as_bytes(std::span(bytes));
    std::vector<norvane::package::RarMember> members;
    try {
        members = norvane::package::ListRarArchive(data);
    } catch (const norvane::package::EDamagedArchive& error) {
        std::fwprintf(stderr, L"%ls: %ls\n", archive.c_str(), Wide(error.Message()).c_str());
        return ExitFatal;
    }
    int result = ExitSuccess;
    for (const norvane::package::RarMember& member : members) {
        const std::wstring name = Wide(member.name);
        CreateFolders(name);
        const auto content = data.subspan(static_cast<std::size_t>(member.dataOffset),
                                          static_cast<std::size_t>(member.packedSize));
        if (member.folder) {
            ::CreateDirectoryW(name.c_str(), nullptr);
        } else if (member.method != 0x30) {
            std::fwprintf(stderr, L"%ls: only stored members are supported\n", name.c_str());
            result = ExitFatal;
        } else {
            Handle out(::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
            DWORD written = 0;
            if (!out.Valid() ||
                !::WriteFile(out.Get(), content.data(), static_cast<DWORD>(content.size()),
                             &written, nullptr)) {
                std::fwprintf(stderr, L"cannot create %ls\n", name.c_str());
                result = ExitCreate;
            } else if (norvane::Crc32(content) != member.crc) {
                std::fwprintf(stderr, L"%ls: CRC error\n", name.c_str());
                result = ExitCrc;
            }
        }
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
