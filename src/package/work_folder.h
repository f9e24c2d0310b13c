#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace norvane::package {

/// The file in the work folder whose lock keeps a second installer out for the whole run.
inline constexpr std::string_view WorkFolderLockName = "norvane-update.lock";

/// Deletes every file directly inside folder, folder\up and folder\Report; keeps folders
/// and the lock file.
void CleanWorkFolder(const std::string& folder);

/// The files of folder the install takes from an unpacked package: scripts and blob files in
/// folder\up, templates in folder\Report, programs in folder.
std::vector<std::string> PackagePartFiles(const std::string& folder);

/// What a clean-up left that the install would take for part of the next package: scripts
/// and blob files in folder\up, templates in folder\Report, programs in folder (a file
/// that could not be deleted, a folder by such a name).
std::vector<std::string> WorkFolderLeftovers(const std::string& folder);

} // namespace norvane::package
