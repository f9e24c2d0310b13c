#pragma once

#include <string>
#include <string_view>

namespace norvane {

/// How one platform writes paths: the separator JoinPath puts between folder and name, and
/// the characters that end a folder part when a path is split.
struct PathRules {
    char separator;
    std::string_view folderDelimiters;
    /// Whether two names that differ in letter case name one file.
    bool namesIgnoreCase;
};

inline constexpr PathRules WindowsPathRules{'\\', "\\:", true};
inline constexpr PathRules PosixPathRules{'/', "/", false};

/// folder + separator + name, with no separator doubled and none added to an empty side.
std::string JoinPath(std::string_view folder, std::string_view name, const PathRules& rules);

/// The folder part of an executable's path: up to its last delimiter, dropping a trailing
/// separator unless that would turn a root ("D:\", "/", "\\") into something else.
std::string ExecutableFolder(std::string_view executablePath, const PathRules& rules);

/// The part of a path after its last folder delimiter.
std::string_view FileNameOf(std::string_view path, const PathRules& rules);

} // namespace norvane
