#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace norvane::package {

/// Appends JoinPath(folder, name) for every entry of folder matching mask, then sorts the
/// whole list case-insensitively in the user's locale.
void CollectFiles(std::vector<std::string>& list, const std::string& folder, std::string_view mask);

/// Sorts a file list case-insensitively in the user's locale.
void SortFileList(std::vector<std::string>& list);

/// Deletes every file directly inside folder, folder\up and folder\Report; keeps folders.
void CleanWorkFolder(const std::string& folder);

} // namespace norvane::package
