#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace norvane::testing {

/// Writes 8-bit RGB pixels (rows top to bottom, 3 bytes a pixel) as an uncompressed PNG.
bool WritePng(const std::wstring& path, int width, int height,
              const std::vector<std::uint8_t>& rgb);

} // namespace norvane::testing
