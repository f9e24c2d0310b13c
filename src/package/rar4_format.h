#pragma once

// The RAR 4 archive format as far as the project reads and writes it: the marker, the three
// block types a package holds, and the flags that decide how a block is read. The packer in
// tools/ writes by these, the package layer reads by them.

#include <array>
#include <cstddef>
#include <cstdint>

namespace norvane::rar4format {

inline constexpr std::array<std::uint8_t, 7> Marker{0x52, 0x61, 0x72, 0x21, 0x1a, 0x07, 0x00};

// Block types.
inline constexpr std::uint8_t MainHead = 0x73;
inline constexpr std::uint8_t FileHead = 0x74;
inline constexpr std::uint8_t EndArcHead = 0x7b;

// Flags of every block.
inline constexpr std::uint16_t LongBlock = 0x8000; // a data area of a given size follows
inline constexpr std::uint16_t SkipIfUnknown = 0x4000;

// Flags of the main block.
inline constexpr std::uint16_t MainVolume = 0x0001;
inline constexpr std::uint16_t MainSolid = 0x0008;
inline constexpr std::uint16_t MainEncryptedHeaders = 0x0080;

// Flags of a file block.
inline constexpr std::uint16_t FileSplitBefore = 0x0001;
inline constexpr std::uint16_t FileSplitAfter = 0x0002;
inline constexpr std::uint16_t FileEncrypted = 0x0004;
inline constexpr std::uint16_t FileDirectoryMask = 0x00e0; // all set: a folder
inline constexpr std::uint16_t FileLarge = 0x0100;         // 64-bit sizes follow the name size
inline constexpr std::uint16_t FileUnicodeName = 0x0200;

// A block's fixed part: CRC (2), type (1), flags (2), size (2); a long block's data size (4).
inline constexpr std::size_t BlockHeaderSize = 7;
// A file block's fixed part before its name (and the high halves of a large file's sizes).
inline constexpr std::size_t FileHeaderFixedSize = 32;

inline constexpr std::uint8_t HostWin32 = 2;
inline constexpr std::uint8_t UnpackVersion = 29;
inline constexpr std::uint8_t MethodStore = 0x30;

} // namespace norvane::rar4format
