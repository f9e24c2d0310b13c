#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace norvane::package {

/// The bytes a RAR 4 archive unpacks to: the sum of its members' unpacked sizes, read from
/// their headers. Nothing when the headers cannot be read (another format, encrypted
/// headers, a damaged archive): the archiver is then the judge.
std::optional<std::uint64_t> UnpackedSize(std::span<const std::byte> archive);

} // namespace norvane::package
