#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace norvane {

using Sha256Digest = std::array<std::uint8_t, 32>;

/// The SHA-256 digest of bytes.
Sha256Digest Sha256(std::string_view bytes);

/// The SHA-256 digest of bytes as 64 lower-case hexadecimal digits.
std::string Sha256Hex(std::string_view bytes);

} // namespace norvane
