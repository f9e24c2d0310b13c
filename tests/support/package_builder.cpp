#include "support/package_builder.h"

#include "rar4/rar4_writer.h"
#include "support/temp_folder.h"

#include <algorithm>

namespace norvane::testing {

namespace {

std::filesystem::path NativeRelative(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return std::filesystem::path(path);
}

} // namespace

void MakeFolderTree(const std::filesystem::path& root, const std::vector<PackageFile>& files) {
    std::filesystem::create_directories(root);
    for (const auto& file : files)
        WriteFile(root / NativeRelative(file.path), file.bytes);
}

void MakeRarArchive(const std::filesystem::path& archive,
                    const std::filesystem::path& sourceFolder) {
    rar4::PackFolder(archive, sourceFolder);
}

void MakeRarArchiveOf(const std::filesystem::path& archive, const std::vector<PackageFile>& files) {
    TempFolder tree;
    MakeFolderTree(tree.Path(), files);
    MakeRarArchive(archive, tree.Path());
}

} // namespace norvane::testing
