#include "platform/profile.h"

#include "platform/win32/wide.h"

namespace norvane::platform {

using win32::Utf8;
using win32::Wide;

std::string ReadProfileString(const std::string& iniPath, std::string_view section,
                              std::string_view key, std::string_view defaultValue) {
    wchar_t buffer[2048];
    const DWORD length = ::GetPrivateProfileStringW(
        Wide(section).c_str(), Wide(key).c_str(), Wide(defaultValue).c_str(), buffer,
        static_cast<DWORD>(std::size(buffer)), Wide(iniPath).c_str());
    return Utf8(std::wstring_view(buffer, length));
}

} // namespace norvane::platform
