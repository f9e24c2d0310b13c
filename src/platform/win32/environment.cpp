#include "platform/environment.h"

#include "platform/win32/wide.h"

namespace norvane::platform {

std::optional<std::string> EnvironmentValue(const std::string& name) {
    const std::wstring wideName = win32::Wide(name);
    // The size asked for first counts the final NUL; the copy then does not.
    const DWORD size = ::GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
    if (size <= 1)
        return std::nullopt;
    std::wstring value(size, L'\0');
    const DWORD copied = ::GetEnvironmentVariableW(wideName.c_str(), value.data(), size);
    if (copied == 0 || copied >= size)
        return std::nullopt;
    value.resize(copied);
    return win32::Utf8(value);
}

ProcessIdentity ThisProcess() {
    ProcessIdentity identity;
    wchar_t host[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD hostLength = MAX_COMPUTERNAME_LENGTH + 1;
    if (::GetComputerNameW(host, &hostLength))
        identity.host = win32::Utf8(std::wstring_view(host, hostLength));
    identity.processId = ::GetCurrentProcessId();
    wchar_t user[257] = {};
    DWORD userLength = 257;
    if (::GetUserNameW(user, &userLength) && userLength > 0)
        identity.user = win32::Utf8(std::wstring_view(user, userLength - 1));
    return identity;
}

} // namespace norvane::platform
