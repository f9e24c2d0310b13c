#pragma once

#include "base/exceptions.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace norvane::package {

/// An archive whose headers are damaged, cut short or not of a kind the install can check.
/// what() says why, in the user's language.
class EDamagedArchive : public Exception {
public:
    using Exception::Exception;
};

/// One member of a RAR 4 archive as its header describes it.
struct RarMember {
    /// The stored name, UTF-8, folders separated by "\".
    std::string name;
    bool folder = false;
    std::uint64_t unpackedSize = 0;
    /// The CRC-32 of the unpacked bytes.
    std::uint32_t crc = 0;
    /// Where the member's packed bytes lie in the archive, and how many there are.
    std::uint64_t dataOffset = 0;
    std::uint64_t packedSize = 0;
    /// 0x30 stores the bytes as they are; the others compress them.
    std::uint8_t method = 0;
};

/// Every member of a whole RAR 4 archive, read from its headers, each header's CRC checked.
/// Raises EDamagedArchive for anything but a whole archive of plain members: a header cut
/// short or failing its CRC, no end-of-archive block (an archive cut at a member boundary),
/// a data area running past the end, bytes after the end block, encrypted headers or members,
/// members split across volumes, or a name that climbs out of the folder it is unpacked in.
std::vector<RarMember> ListRarArchive(std::span<const std::byte> archive);

/// The bytes the members unpack to.
std::uint64_t UnpackedSize(const std::vector<RarMember>& members);

} // namespace norvane::package
