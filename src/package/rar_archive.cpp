#include "package/rar_archive.h"

#include "base/crc32.h"
#include "package/rar4_format.h"

#include <algorithm>
#include <numeric>

namespace norvane::package {

namespace {

using namespace rar4format;

std::uint64_t Little(std::span<const std::byte> bytes, std::size_t at, std::size_t width) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i)
        value |= static_cast<std::uint64_t>(bytes[at + i]) << (8 * i);
    return value;
}

[[noreturn]] void Damaged(const std::string& why) {
    throw EDamagedArchive(why);
}

std::string At(std::size_t offset) {
    return " (зміщення " + std::to_string(offset) + ")";
}

void AppendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

std::string Utf16ToUtf8(const std::vector<std::uint16_t>& units) {
    std::string out;
    for (std::size_t i = 0; i < units.size(); ++i) {
        std::uint32_t code = units[i];
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] < 0xE000)
            code = 0x10000 + ((code - 0xD800) << 10) + (units[++i] - 0xDC00);
        AppendUtf8(out, code);
    }
    return out;
}

// A name stored the way RAR 4 stores one it cannot write in the system's code page: the plain
// name, a NUL, then the UTF-16 units packed against it. A flag byte gives the kind of each of
// the next four units: a low byte; a low byte under the common high byte; both bytes; or a
// run taken from the plain name, shifted by a correction.
std::string DecodePackedName(std::string_view plain, std::span<const std::byte> packed) {
    std::vector<std::uint16_t> units;
    std::size_t at = 0;
    const auto next = [&]() -> std::uint8_t {
        return at < packed.size() ? static_cast<std::uint8_t>(packed[at++]) : 0;
    };
    const std::uint16_t high = next();
    unsigned flags = 0;
    int flagBits = 0;
    while (at < packed.size()) {
        if (flagBits == 0) {
            flags = next();
            flagBits = 8;
        }
        flagBits -= 2;
        switch ((flags >> flagBits) & 3) {
        case 0:
            units.push_back(next());
            break;
        case 1:
            units.push_back(static_cast<std::uint16_t>(next() | (high << 8)));
            break;
        case 2: {
            const std::uint16_t low = next();
            units.push_back(static_cast<std::uint16_t>(low | (next() << 8)));
            break;
        }
        default: {
            const std::uint8_t length = next();
            if ((length & 0x80) != 0) {
                const std::uint8_t correction = next();
                for (int i = 0; i < (length & 0x7F) + 2 && units.size() < plain.size(); ++i)
                    units.push_back(static_cast<std::uint16_t>(
                        ((static_cast<std::uint8_t>(plain[units.size()]) + correction) & 0xFF) |
                        (high << 8)));
            } else {
                for (int i = 0; i < length + 2 && units.size() < plain.size(); ++i)
                    units.push_back(static_cast<std::uint8_t>(plain[units.size()]));
            }
        }
        }
    }
    return Utf16ToUtf8(units);
}

std::string MemberName(std::span<const std::byte> field, bool unicode) {
    const std::string_view raw(reinterpret_cast<const char*>(field.data()), field.size());
    const std::size_t nul = raw.find('\0');
    if (!unicode || nul == std::string_view::npos)
        return std::string(raw.substr(0, nul));
    return DecodePackedName(raw.substr(0, nul), field.subspan(nul + 1));
}

// A name must stay inside the folder it is unpacked in.
bool SafeName(std::string_view name) {
    if (name.empty() || name.find(':') != std::string_view::npos)
        return false;
    std::size_t start = 0;
    while (start <= name.size()) {
        const std::size_t end = std::min(name.find_first_of("\\/", start), name.size());
        const std::string_view part = name.substr(start, end - start);
        if (part.empty() || part == "." || part == "..")
            return false;
        start = end + 1;
    }
    return true;
}

RarMember ReadFileBlock(std::span<const std::byte> archive, std::size_t at, std::uint16_t flags,
                        std::size_t headerSize) {
    if (headerSize < FileHeaderFixedSize)
        Damaged("пошкоджено заголовок файлу" + At(at));
    if ((flags & FileEncrypted) != 0)
        Damaged("файл зашифровано" + At(at));
    if ((flags & (FileSplitBefore | FileSplitAfter)) != 0)
        Damaged("файл продовжується в іншому томі" + At(at));
    const bool large = (flags & FileLarge) != 0;
    const std::size_t nameAt = large ? FileHeaderFixedSize + 8 : FileHeaderFixedSize;
    const std::size_t nameSize = static_cast<std::size_t>(Little(archive, at + 26, 2));
    if (nameAt + nameSize > headerSize)
        Damaged("пошкоджено заголовок файлу" + At(at));

    RarMember member;
    member.packedSize = Little(archive, at + 7, 4);
    member.unpackedSize = Little(archive, at + 11, 4);
    if (large) {
        member.packedSize |= Little(archive, at + 32, 4) << 32;
        member.unpackedSize |= Little(archive, at + 36, 4) << 32;
    }
    member.crc = static_cast<std::uint32_t>(Little(archive, at + 16, 4));
    member.method = static_cast<std::uint8_t>(archive[at + 25]);
    member.folder = (flags & FileDirectoryMask) == FileDirectoryMask;
    member.name =
        MemberName(archive.subspan(at + nameAt, nameSize), (flags & FileUnicodeName) != 0);
    member.dataOffset = at + headerSize;
    if (!SafeName(member.name))
        Damaged("ім'я файлу \"" + member.name + "\" виходить за межі каталогу" + At(at));
    return member;
}

} // namespace

std::vector<RarMember> ListRarArchive(std::span<const std::byte> archive) {
    if (archive.size() < Marker.size() ||
        !std::equal(Marker.begin(), Marker.end(), archive.begin(),
                    [](std::uint8_t a, std::byte b) { return a == static_cast<std::uint8_t>(b); }))
        Damaged("це не архів RAR 4");
    std::vector<RarMember> members;
    std::size_t at = Marker.size();
    while (at < archive.size()) {
        if (archive.size() - at < BlockHeaderSize)
            Damaged("архів обрізано посеред заголовка" + At(at));
        const std::size_t headerSize = static_cast<std::size_t>(Little(archive, at + 5, 2));
        if (headerSize < BlockHeaderSize || headerSize > archive.size() - at)
            Damaged("архів обрізано посеред заголовка" + At(at));
        const auto expectedCrc = static_cast<std::uint16_t>(Little(archive, at, 2));
        if ((Crc32(archive.subspan(at + 2, headerSize - 2)) & 0xFFFF) != expectedCrc)
            Damaged("пошкоджено заголовок" + At(at));

        const auto type = static_cast<std::uint8_t>(archive[at + 2]);
        const auto flags = static_cast<std::uint16_t>(Little(archive, at + 3, 2));
        if (type == EndArcHead) {
            if (at + headerSize != archive.size())
                Damaged("після кінця архіву є зайві байти" + At(at + headerSize));
            return members;
        }
        if (type == MainHead && (flags & MainEncryptedHeaders) != 0)
            Damaged("заголовки архіву зашифровано");
        if (type == MainHead && (flags & MainVolume) != 0)
            Damaged("архів є томом багатотомного архіву");

        std::uint64_t dataSize = 0;
        if ((flags & LongBlock) != 0) {
            if (headerSize < BlockHeaderSize + 4)
                Damaged("пошкоджено заголовок" + At(at));
            dataSize = Little(archive, at + 7, 4);
        }
        if (type == FileHead) {
            RarMember member = ReadFileBlock(archive, at, flags, headerSize);
            dataSize = member.packedSize;
            members.push_back(std::move(member));
        }
        if (dataSize > archive.size() - at - headerSize)
            Damaged("архів обрізано посеред даних файлу" + At(at));
        at += headerSize + static_cast<std::size_t>(dataSize);
    }
    Damaged("архів обрізано: немає блоку кінця архіву");
}

std::uint64_t UnpackedSize(const std::vector<RarMember>& members) {
    return std::accumulate(
        members.begin(), members.end(), std::uint64_t{0},
        [](std::uint64_t sum, const RarMember& member) { return sum + member.unpackedSize; });
}

} // namespace norvane::package
