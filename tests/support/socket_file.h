#pragma once

#include <filesystem>

namespace norvane::testing {

/// Binds a socket at path: it stands there like a file, but cannot be opened and read, even by
/// root.
void MakeSocket(const std::filesystem::path& path);

} // namespace norvane::testing
