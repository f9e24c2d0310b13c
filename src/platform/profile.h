#pragma once

#include <string>
#include <string_view>

namespace norvane::platform {

/// Reads one value of an ini file by the Windows profile-string rules: section and key names
/// compared without case, blanks and one pair of surrounding quotes removed, at most 2048
/// characters; a missing file, section or key gives defaultValue.
std::string ReadProfileString(const std::string& iniPath, std::string_view section,
                              std::string_view key, std::string_view defaultValue);

} // namespace norvane::platform
