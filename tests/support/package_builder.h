#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace norvane::testing {

/// One file of a package tree: its path relative to the tree's root ("/" or "\" between
/// folders) and its bytes.
struct PackageFile {
    std::string path;
    std::string bytes;
};

/// Writes every file under root, creating the folders they need.
void MakeFolderTree(const std::filesystem::path& root, const std::vector<PackageFile>& files);

/// Packs every file and folder under sourceFolder into a RAR 4 archive of stored members,
/// as the project's rar4pack does.
void MakeRarArchive(const std::filesystem::path& archive,
                    const std::filesystem::path& sourceFolder);

/// A RAR 4 archive holding the given files (and the folders above them).
void MakeRarArchiveOf(const std::filesystem::path& archive, const std::vector<PackageFile>& files);

} // namespace norvane::testing
