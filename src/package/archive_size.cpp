#include "package/archive_size.h"

#include <array>

namespace norvane::package {

namespace {

constexpr std::array<std::uint8_t, 7> Marker{0x52, 0x61, 0x72, 0x21, 0x1a, 0x07, 0x00};
constexpr std::uint8_t MainHead = 0x73;
constexpr std::uint8_t FileHead = 0x74;
constexpr std::uint8_t EndArcHead = 0x7b;
constexpr std::uint16_t LongBlock = 0x8000;
constexpr std::uint16_t LargeFile = 0x0100;
constexpr std::uint16_t EncryptedHeaders = 0x0080;

std::uint64_t Little(std::span<const std::byte> bytes, std::size_t at, std::size_t width) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i)
        value |= static_cast<std::uint64_t>(bytes[at + i]) << (8 * i);
    return value;
}

} // namespace

std::optional<std::uint64_t> UnpackedSize(std::span<const std::byte> archive) {
    if (archive.size() < Marker.size())
        return std::nullopt;
    for (std::size_t i = 0; i < Marker.size(); ++i) {
        if (static_cast<std::uint8_t>(archive[i]) != Marker[i])
            return std::nullopt;
    }
    std::uint64_t total = 0;
    std::size_t at = Marker.size();
    // Each block: CRC (2), type (1), flags (2), header size (2), then for long blocks the
    // size of the data after the header (4, a file's packed size).
    while (at + 7 <= archive.size()) {
        const auto type = static_cast<std::uint8_t>(archive[at + 2]);
        const auto flags = static_cast<std::uint16_t>(Little(archive, at + 3, 2));
        const std::uint64_t headerSize = Little(archive, at + 5, 2);
        if (headerSize < 7 || at + headerSize > archive.size())
            return std::nullopt;
        if (type == EndArcHead)
            return total;
        if (type == MainHead && (flags & EncryptedHeaders) != 0)
            return std::nullopt;
        std::uint64_t dataSize = 0;
        if ((flags & LongBlock) != 0) {
            if (headerSize < 11)
                return std::nullopt;
            dataSize = Little(archive, at + 7, 4);
        }
        if (type == FileHead) {
            if (headerSize < 32)
                return std::nullopt;
            std::uint64_t unpacked = Little(archive, at + 11, 4);
            if ((flags & LargeFile) != 0) {
                if (headerSize < 40)
                    return std::nullopt;
                dataSize |= Little(archive, at + 32, 4) << 32;
                unpacked |= Little(archive, at + 36, 4) << 32;
            }
            total += unpacked;
        }
        const std::uint64_t next = at + headerSize + dataSize;
        if (next > archive.size())
            return std::nullopt;
        at = static_cast<std::size_t>(next);
    }
    // An archive without its end block is complete when its last member ends at its end.
    return at == archive.size() ? std::optional(total) : std::nullopt;
}

} // namespace norvane::package
