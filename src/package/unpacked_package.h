#pragma once

#include "package/rar_archive.h"

#include <optional>
#include <string>
#include <vector>

namespace norvane::package {

/// Whether folder holds the package the archiver was given, and only it: every member of the
/// headers is there with its size and CRC-32, and the install finds no file among those it
/// runs, loads or copies that the headers do not list. What differs first, or nothing.
/// (An extractor that skips CRC checks, a disk that fills up, an archiver that leaves a member
/// out or adds one: none of it may reach the database.)
std::optional<std::string> UnpackedPackageProblem(const std::vector<RarMember>& members,
                                                  const std::string& folder);

} // namespace norvane::package
