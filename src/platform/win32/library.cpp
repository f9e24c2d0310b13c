#include "platform/library.h"

#include "base/exceptions.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/win32/wide.h"

namespace norvane::platform {

using win32::Wide;

void* SharedLibrary::LoadFile(const std::string& candidate, std::string& error) {
    const std::wstring name = Wide(candidate);
    // A library given with its folder finds its own DLLs beside it; a bare name follows
    // the system's search order.
    const bool hasFolder = name.find_first_of(L"\\/:") != std::wstring::npos;
    HMODULE handle = hasFolder
                         ? ::LoadLibraryExW(name.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)
                         : ::LoadLibraryW(name.c_str());
    if (handle == nullptr)
        error = SystemErrorText(::GetLastError());
    return handle;
}

void SharedLibrary::Unload(void* handle) noexcept {
    ::FreeLibrary(static_cast<HMODULE>(handle));
}

void* SharedLibrary::FindSymbol(void* handle, const char* name) {
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(handle), name));
}

std::vector<std::string> FirebirdClientCandidates(const std::string& exeDir) {
    const DWORD length = ::GetEnvironmentVariableW(L"NORVANE_FBCLIENT", nullptr, 0);
    if (length > 1) {
        std::wstring value(length, L'\0');
        const DWORD copied = ::GetEnvironmentVariableW(L"NORVANE_FBCLIENT", value.data(), length);
        value.resize(copied);
        return {win32::Utf8(value)};
    }
    return {JoinPath(exeDir, "fbclient.dll"), "fbclient.dll"};
}

} // namespace norvane::platform
