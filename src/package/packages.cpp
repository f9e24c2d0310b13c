#include "package/packages.h"

#include "base/exceptions.h"
#include "base/sha256.h"
#include "base/text.h"
#include "package/rar_archive.h"
#include "platform/files.h"

namespace norvane::package {

void CollectPackageName(const platform::RawItemName& name, std::vector<std::string>& packageList) {
    if (name.id)
        return;
    if (name.text.find("_RAR") != std::string::npos)
        packageList.push_back(name.text);
}

void CollectPackageNames(std::vector<std::string>& packageList) {
    for (const auto& name : platform::EnumerateRawItems())
        CollectPackageName(name, packageList);
}

std::optional<std::int32_t> PackageNumberOf(std::string_view name) {
    const auto underscore = name.find('_');
    if (underscore == std::string_view::npos)
        return std::nullopt;
    return StrToInt32(name.substr(0, underscore));
}

std::string PackageResourceName(std::int32_t number) {
    return std::to_string(number) + "_RAR";
}

std::string PackageArchiveName(std::int32_t number) {
    return std::to_string(number) + ".rar";
}

namespace {

std::span<const std::byte> PackageBytes(std::string_view resourceName) {
    const auto bytes = platform::FindRawItem(resourceName);
    if (!bytes)
        throw EResNotFound("Resource " + std::string(resourceName) + " not found");
    return *bytes;
}

} // namespace

std::string PackageDigestName(std::int32_t number) {
    return std::to_string(number) + "_SHA256";
}

std::uint64_t CheckedPackage::RoomNeeded() const {
    return bytes.size() + UnpackedSize(members);
}

CheckedPackage CheckPackage(std::int32_t number) {
    CheckedPackage package;
    package.bytes = PackageBytes(PackageResourceName(number));
    const auto recorded = platform::FindRawItem(PackageDigestName(number));
    if (!recorded)
        throw EDamagedArchive("немає контрольної суми, записаної під час збирання програми");
    const std::string_view expected(reinterpret_cast<const char*>(recorded->data()),
                                    recorded->size());
    const std::string_view actual(reinterpret_cast<const char*>(package.bytes.data()),
                                  package.bytes.size());
    if (TrimControl(expected) != Sha256Hex(actual))
        throw EDamagedArchive("контрольна сума SHA-256 не збігається з записаною під час "
                              "збирання програми");
    package.members = ListRarArchive(package.bytes);
    return package;
}

void SavePackage(std::string_view resourceName, const std::string& fileName) {
    const std::span<const std::byte> bytes = PackageBytes(resourceName);
    // Straight from the bytes in place, in one write: no copy of a package of megabytes.
    platform::WriteNewFile(fileName, bytes);
}

} // namespace norvane::package
