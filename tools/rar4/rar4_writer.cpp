#include "rar4/rar4_writer.h"

#include "base/crc32.h"
#include "package/rar4_format.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <ctime>
#include <limits>
#include <stdexcept>
#include <vector>

namespace norvane::rar4 {

namespace {

namespace fs = std::filesystem;

using namespace rar4format;

constexpr std::uint32_t AttributeDirectory = 0x10;
constexpr std::uint32_t AttributeArchive = 0x20;

void Put16(std::string& out, std::uint16_t value) {
    out.push_back(static_cast<char>(value & 0xff));
    out.push_back(static_cast<char>(value >> 8));
}

void Put32(std::string& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<char>((value >> shift) & 0xff));
}

std::span<const std::byte> AsBytes(std::string_view text) {
    return std::as_bytes(std::span<const char>(text.data(), text.size()));
}

// Header CRC: the low half of the CRC-32 of everything after the CRC field.
std::string WithHeaderCrc(const std::string& body) {
    std::string header;
    Put16(header, static_cast<std::uint16_t>(Crc32(AsBytes(body)) & 0xffff));
    header += body;
    return header;
}

// The archive keeps names relative with "\" between folders; anything that could climb out of
// the extraction folder or name a drive is refused rather than stored.
std::string StoredName(std::string_view name) {
    std::string stored;
    std::size_t start = 0;
    while (start <= name.size()) {
        const auto end = std::min(name.find_first_of("/\\", start), name.size());
        const auto part = name.substr(start, end - start);
        if (part.empty() || part == "." || part == ".." || part.find(':') != std::string::npos)
            throw std::invalid_argument("not a relative member name: \"" + std::string(name) +
                                        "\"");
        if (!stored.empty())
            stored += '\\';
        stored += part;
        start = end + 1;
    }
    if (stored.size() > 0xffff)
        throw std::invalid_argument("member name too long: \"" + std::string(name) + "\"");
    return stored;
}

bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::string FileHeader(std::string_view name, std::uint16_t flags, std::uint32_t size,
                       std::uint32_t crc, std::uint32_t dosTime, std::uint32_t attributes) {
    const std::string stored = StoredName(name);
    if (!IsAscii(stored))
        flags |= FileUnicodeName;
    std::string body;
    body.push_back(static_cast<char>(FileHead));
    Put16(body, flags | LongBlock);
    Put16(body, static_cast<std::uint16_t>(FileHeaderFixedSize + stored.size()));
    Put32(body, size); // packed size
    Put32(body, size); // unpacked size
    body.push_back(static_cast<char>(HostWin32));
    Put32(body, crc);
    Put32(body, dosTime);
    body.push_back(static_cast<char>(UnpackVersion));
    body.push_back(static_cast<char>(MethodStore));
    Put16(body, static_cast<std::uint16_t>(stored.size()));
    Put32(body, attributes);
    body += stored;
    return WithHeaderCrc(body);
}

std::string ReadMember(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot open " + path.string());
    in.seekg(0, std::ios::end);
    const auto size = static_cast<std::uint64_t>(in.tellg());
    if (size > std::numeric_limits<std::uint32_t>::max())
        throw std::runtime_error("members of 4 GiB and more are not supported: " + path.string());
    in.seekg(0);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    if (!in.read(bytes.data(), static_cast<std::streamsize>(bytes.size())))
        throw std::runtime_error("cannot read " + path.string());
    return bytes;
}

} // namespace

std::uint32_t PackDosTime(const DosDateTime& time) {
    if (time.year < 1980)
        return PackDosTime({1980, 1, 1, 0, 0, 0});
    if (time.year > 2107)
        return PackDosTime({2107, 12, 31, 23, 59, 58});
    const auto date =
        static_cast<std::uint32_t>(((time.year - 1980) << 9) | (time.month << 5) | time.day);
    const auto clock =
        static_cast<std::uint32_t>((time.hour << 11) | (time.minute << 5) | (time.second / 2));
    return (date << 16) | clock;
}

std::uint32_t DosTimeOf(const fs::path& path) {
    const auto modified = std::chrono::file_clock::to_sys(fs::last_write_time(path));
    const std::time_t seconds = std::chrono::system_clock::to_time_t(
        std::chrono::time_point_cast<std::chrono::system_clock::duration>(modified));
    const std::tm* local = std::localtime(&seconds);
    if (local == nullptr)
        return PackDosTime({});
    return PackDosTime({local->tm_year + 1900, local->tm_mon + 1, local->tm_mday, local->tm_hour,
                        local->tm_min, local->tm_sec});
}

ArchiveWriter::ArchiveWriter(const fs::path& archive)
    : m_path(archive), m_out(archive, std::ios::binary | std::ios::trunc) {
    if (!m_out)
        throw std::runtime_error("cannot create " + archive.string());
    m_out.write(reinterpret_cast<const char*>(Marker.data()), Marker.size());
    std::string body;
    body.push_back(static_cast<char>(MainHead));
    Put16(body, 0);  // flags: not a volume, not solid, not locked
    Put16(body, 13); // header size
    Put16(body, 0);  // reserved
    Put32(body, 0);  // reserved
    WriteBlock(WithHeaderCrc(body), {});
}

ArchiveWriter::~ArchiveWriter() = default;

void ArchiveWriter::AddFolder(std::string_view name, std::uint32_t dosTime) {
    WriteBlock(FileHeader(name, FileDirectoryMask, 0, 0, dosTime, AttributeDirectory), {});
}

void ArchiveWriter::AddFile(std::string_view name, std::span<const std::byte> bytes,
                            std::uint32_t dosTime) {
    if (bytes.size() > std::numeric_limits<std::uint32_t>::max())
        throw std::invalid_argument("members of 4 GiB and more are not supported");
    WriteBlock(FileHeader(name, 0, static_cast<std::uint32_t>(bytes.size()), Crc32(bytes), dosTime,
                          AttributeArchive),
               bytes);
}

void ArchiveWriter::AddFile(std::string_view name, std::string_view bytes, std::uint32_t dosTime) {
    AddFile(name, AsBytes(bytes), dosTime);
}

void ArchiveWriter::Finish() {
    if (m_finished)
        return;
    std::string body;
    body.push_back(static_cast<char>(EndArcHead));
    Put16(body, SkipIfUnknown);
    Put16(body, BlockHeaderSize);
    WriteBlock(WithHeaderCrc(body), {});
    m_out.close();
    if (!m_out)
        throw std::runtime_error("cannot write " + m_path.string());
    m_finished = true;
}

void ArchiveWriter::WriteBlock(const std::string& header, std::span<const std::byte> data) {
    if (m_finished)
        throw std::logic_error("the archive is already finished");
    m_out.write(header.data(), static_cast<std::streamsize>(header.size()));
    m_out.write(reinterpret_cast<const char*>(data.data()),
                static_cast<std::streamsize>(data.size()));
    if (!m_out)
        throw std::runtime_error("cannot write " + m_path.string());
}

void PackFolder(const fs::path& archive, const fs::path& sourceFolder) {
    if (!fs::is_directory(sourceFolder))
        throw std::runtime_error("not a folder: " + sourceFolder.string());
    std::vector<fs::path> entries;
    for (const auto& entry : fs::recursive_directory_iterator(sourceFolder))
        entries.push_back(entry.path().lexically_relative(sourceFolder));
    // Element-wise order puts every folder before what it holds.
    std::sort(entries.begin(), entries.end());

    try {
        ArchiveWriter writer(archive);
        for (const auto& relative : entries) {
            const fs::path full = sourceFolder / relative;
            std::string name;
            for (const auto& part : relative) {
                const std::string text = part.string();
                if (text.find('\\') != std::string::npos)
                    throw std::runtime_error("a name with a backslash cannot be stored: " +
                                             full.string());
                name += name.empty() ? text : "\\" + text;
            }
            const auto status = fs::symlink_status(full);
            if (fs::is_directory(status))
                writer.AddFolder(name, DosTimeOf(full));
            else if (fs::is_regular_file(fs::status(full)))
                writer.AddFile(name, ReadMember(full), DosTimeOf(full));
            else
                throw std::runtime_error("neither a file nor a folder: " + full.string());
        }
        writer.Finish();
    } catch (...) {
        std::error_code ignored;
        fs::remove(archive, ignored);
        throw;
    }
}

} // namespace norvane::rar4
