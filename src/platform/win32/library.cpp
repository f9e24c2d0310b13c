#include "platform/library.h"

#include "base/exceptions.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/win32/wide.h"

#include <utility>

namespace norvane::platform {

using win32::Wide;

SharedLibrary SharedLibrary::Open(const std::vector<std::string>& candidates) {
    return Open(candidates, "the library");
}

SharedLibrary SharedLibrary::Open(const std::vector<std::string>& candidates,
                                  std::string_view what) {
    std::string reasons;
    for (const std::string& candidate : candidates) {
        const std::wstring name = Wide(candidate);
        // A library given with its folder finds its own DLLs beside it; a bare name follows
        // the system's search order.
        const bool hasFolder = name.find_first_of(L"\\/:") != std::wstring::npos;
        HMODULE handle =
            hasFolder ? ::LoadLibraryExW(name.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)
                      : ::LoadLibraryW(name.c_str());
        if (handle != nullptr)
            return SharedLibrary(handle, candidate);
        reasons += reasons.empty() ? "" : "; ";
        reasons += candidate + ": " + SystemErrorText(::GetLastError());
    }
    if (candidates.empty())
        reasons = "no file to load";
    throw ELibraryError("Cannot load " + std::string(what) + " " + reasons);
}

SharedLibrary::SharedLibrary(void* handle, std::string name)
    : m_handle(handle), m_name(std::move(name)) {}

SharedLibrary::SharedLibrary(SharedLibrary&& other) noexcept
    : m_handle(std::exchange(other.m_handle, nullptr)), m_name(std::move(other.m_name)) {}

SharedLibrary& SharedLibrary::operator=(SharedLibrary&& other) noexcept {
    if (this != &other) {
        if (m_handle != nullptr)
            ::FreeLibrary(static_cast<HMODULE>(m_handle));
        m_handle = std::exchange(other.m_handle, nullptr);
        m_name = std::move(other.m_name);
    }
    return *this;
}

SharedLibrary::~SharedLibrary() {
    if (m_handle != nullptr)
        ::FreeLibrary(static_cast<HMODULE>(m_handle));
}

void* SharedLibrary::Symbol(const char* name) const {
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(m_handle), name));
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
