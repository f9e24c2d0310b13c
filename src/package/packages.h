#pragma once

#include "platform/raw_items.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace norvane::package {

/// Appends the name to packageList when it is a package's: a text name (integer identifiers
/// are passed over) holding "_RAR" anywhere, letter case as stored.
void CollectPackageName(const platform::RawItemName& name, std::vector<std::string>& packageList);

/// Appends to packageList the name of every stored raw-data item that is a package.
void CollectPackageNames(std::vector<std::string>& packageList);

/// The package number of a name: the text before its first "_" as a signed decimal 32-bit
/// integer. Nothing for a name without "_"; EConvertError when the text is not an integer.
std::optional<std::int32_t> PackageNumberOf(std::string_view name);

/// The item name of package number n: "<n>_RAR".
std::string PackageResourceName(std::int32_t number);

/// The archive file name of package number n: "<n>.rar".
std::string PackageArchiveName(std::int32_t number);

/// The disk room saving and unpacking a package takes: its archive, and its members as their
/// headers give their sizes. EResNotFound "Resource <name> not found"; EDamagedArchive when
/// the headers are not those of a whole archive.
std::uint64_t PackageRoomNeeded(std::string_view resourceName);

/// Writes the stored item to fileName in one write, replacing any file of that name.
/// EResNotFound "Resource <name> not found", EFCreateError, EWriteError.
void SavePackage(std::string_view resourceName, const std::string& fileName);

} // namespace norvane::package
