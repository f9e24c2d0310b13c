#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace norvane {

/// The CRC-32 of zlib and RAR (polynomial 0xEDB88320), continued from crc.
std::uint32_t Crc32(std::span<const std::byte> bytes, std::uint32_t crc = 0);
std::uint32_t Crc32(std::string_view bytes, std::uint32_t crc = 0);

} // namespace norvane
