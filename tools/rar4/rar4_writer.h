#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <string_view>

namespace norvane::rar4 {

/// A point in local time as MS-DOS packs it: years 1980 to 2107, seconds in steps of two.
struct DosDateTime {
    int year = 1980;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

/// The packed DOS date and time; dates before 1980 or after 2107 are clamped.
std::uint32_t PackDosTime(const DosDateTime& time);

/// The modification time of a file as a packed DOS time in local time.
std::uint32_t DosTimeOf(const std::filesystem::path& path);

/// Writes a RAR 4 archive of stored (uncompressed) members, readable by RAR 2.9 and later.
/// Member names are relative paths; "/" and "\" both separate folders and are stored as "\".
class ArchiveWriter {
public:
    /// Creates (or replaces) the archive file and writes its marker and archive headers.
    explicit ArchiveWriter(const std::filesystem::path& archive);
    ~ArchiveWriter();
    ArchiveWriter(const ArchiveWriter&) = delete;
    ArchiveWriter& operator=(const ArchiveWriter&) = delete;

    /// Adds a folder entry.
    void AddFolder(std::string_view name, std::uint32_t dosTime);

    /// Adds a file stored as it is.
    void AddFile(std::string_view name, std::span<const std::byte> bytes, std::uint32_t dosTime);
    void AddFile(std::string_view name, std::string_view bytes, std::uint32_t dosTime);

    /// Writes the end-of-archive block and closes the file; raises on any write failure.
    void Finish();

private:
    void WriteBlock(const std::string& header, std::span<const std::byte> data);

    std::filesystem::path m_path;
    std::ofstream m_out;
    bool m_finished = false;
};

/// Packs every file and folder under sourceFolder, in sorted order of their relative paths,
/// into a new archive. An incomplete archive is removed when packing fails.
void PackFolder(const std::filesystem::path& archive, const std::filesystem::path& sourceFolder);

} // namespace norvane::rar4
