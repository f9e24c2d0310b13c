#pragma once

#include "package/rar_archive.h"
#include "platform/raw_items.h"

#include <cstdint>
#include <optional>
#include <span>
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

/// The item holding the SHA-256 digest of package n that was recorded when the installer was
/// built: "<n>_SHA256", 64 lower-case hexadecimal digits.
std::string PackageDigestName(std::int32_t number);

/// A package the installer carries, checked: its bytes are those the installer was built with
/// (their SHA-256 is the one recorded beside them) and its headers those of a whole archive.
struct CheckedPackage {
    std::span<const std::byte> bytes;
    std::vector<RarMember> members;

    /// The disk room saving and unpacking it takes: the archive and its members.
    std::uint64_t RoomNeeded() const;
};

/// Package n, checked. EResNotFound "Resource <n>_RAR not found"; EDamagedArchive saying why
/// when its digest is missing or differs or its headers are not those of a whole archive.
CheckedPackage CheckPackage(std::int32_t number);

/// Writes the stored item to fileName in one write, replacing any file of that name.
/// EResNotFound "Resource <name> not found", EFCreateError, EWriteError.
void SavePackage(std::string_view resourceName, const std::string& fileName);

} // namespace norvane::package
