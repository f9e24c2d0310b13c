#include "platform/paths.h"

#include "base/exceptions.h"
#include "platform/files.h"
#include "platform/win32/wide.h"

#include <vector>

namespace norvane::platform {

using win32::Utf8;

const PathRules& NativePathRules() {
    return WindowsPathRules;
}

std::string ExecutablePath() {
    // Long paths do not fit MAX_PATH; the buffer grows until the name is not cut.
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            throw EOSError("Cannot find the program's own path. " +
                           SystemErrorText(::GetLastError()));
        if (length < buffer.size())
            return Utf8(std::wstring_view(buffer.data(), length));
        buffer.resize(buffer.size() * 2);
    }
}

std::string TempFolder() {
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    DWORD length = ::GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length > buffer.size()) {
        buffer.resize(length);
        length = ::GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
    }
    if (length == 0 || length > buffer.size())
        throw EOSError("Cannot find the temporary folder. " + SystemErrorText(::GetLastError()));
    return Utf8(std::wstring_view(buffer.data(), length));
}

// The program calls the wide forms only, so names never pass through a code page.
void UseUtf8SystemNames() {}

} // namespace norvane::platform
