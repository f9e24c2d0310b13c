#pragma once

#include "base/path_rules.h"

#include <string>
#include <string_view>

namespace norvane::platform {

/// The path rules of the platform the program runs on.
const PathRules& NativePathRules();

/// The full path of the running executable, UTF-8.
std::string ExecutablePath();

/// The system's temporary folder as the platform gives it (on Windows with a trailing
/// backslash; on POSIX $TMPDIR when set and absolute, else /tmp).
std::string TempFolder();

/// Makes the C library take system names (files, databases) as UTF-8, as the program keeps
/// them, whatever the user's locale: the database client converts names through the
/// character set of LC_CTYPE, which is ASCII under a C locale. Windows names are UTF-16.
void UseUtf8SystemNames();

} // namespace norvane::platform

namespace norvane {

/// JoinPath with the native separator: the one way the program builds paths.
inline std::string JoinPath(std::string_view folder, std::string_view name) {
    return JoinPath(folder, name, platform::NativePathRules());
}

/// The file name of a path by the native rules.
inline std::string_view FileNameOf(std::string_view path) {
    return FileNameOf(path, platform::NativePathRules());
}

} // namespace norvane
