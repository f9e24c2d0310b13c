#include "base/crc32.h"

#include <array>

namespace norvane {

namespace {

constexpr std::array<std::uint32_t, 256> MakeCrcTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) != 0 ? 0xedb88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    return table;
}

constexpr auto CrcTable = MakeCrcTable();

} // namespace

std::uint32_t Crc32(std::span<const std::byte> bytes, std::uint32_t crc) {
    crc = ~crc;
    for (const std::byte b : bytes)
        crc = CrcTable[(crc ^ static_cast<std::uint32_t>(b)) & 0xff] ^ (crc >> 8);
    return ~crc;
}

std::uint32_t Crc32(std::string_view bytes, std::uint32_t crc) {
    return Crc32(std::as_bytes(std::span<const char>(bytes.data(), bytes.size())), crc);
}

} // namespace norvane
