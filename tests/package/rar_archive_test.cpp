#include "package/rar_archive.h"

#include "base/crc32.h"
#include "rar4/rar4_writer.h"
#include "support/expect_throw.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <functional>

namespace norvane::package {
namespace {

std::span<const std::byte> Bytes(const std::string& text) {
    return std::as_bytes(std::span(text.data(), text.size()));
}

void Put(std::string& bytes, std::size_t at, std::uint64_t value, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i)
        bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// The header CRC of the block at `at` made right again after an edit.
void FixHeaderCrc(std::string& bytes, std::size_t at) {
    const std::size_t size = static_cast<unsigned char>(bytes[at + 5]) |
                             static_cast<std::size_t>(static_cast<unsigned char>(bytes[at + 6]))
                                 << 8;
    Put(bytes, at, Crc32(std::string_view(bytes).substr(at + 2, size - 2)) & 0xFFFF, 2);
}

// An archive made by the project's writer: the folder "up", "up\255.01.sql" and
// "Norvanework.exe", in that order.
struct Archive {
    std::string bytes;
    std::size_t mainAt = 7;
    std::size_t folderAt = 0;
    std::size_t scriptAt = 0; // the script's header
    std::size_t programAt = 0;
    std::size_t endAt = 0;
};

const std::string Script = "INSERT INTO versions (data) VALUES (255);\r\n";
const std::string Program = "program 255\r\n";

Archive MakeArchive() {
    testing::TempFolder folder;
    const auto path = folder / "255.rar";
    {
        rar4::ArchiveWriter writer(path);
        writer.AddFolder("up", 0);
        writer.AddFile("up/255.01.sql", Script, 0);
        writer.AddFile("Norvanework.exe", Program, 0);
        writer.Finish();
    }
    Archive archive{testing::ReadFile(path)};
    archive.folderAt = 7 + 13;
    archive.scriptAt = archive.folderAt + 32 + 2;
    archive.programAt = archive.scriptAt + 32 + 13 + Script.size();
    archive.endAt = archive.programAt + 32 + 15 + Program.size();
    return archive;
}

TEST(ListRarArchive, ReadsEveryMemberOfAWholeArchive) {
    const Archive archive = MakeArchive();
    ASSERT_EQ(archive.endAt + 7, archive.bytes.size());
    const auto members = ListRarArchive(Bytes(archive.bytes));
    ASSERT_EQ(members.size(), 3u);
    EXPECT_EQ(members[0].name, "up");
    EXPECT_TRUE(members[0].folder);
    EXPECT_EQ(members[1].name, "up\\255.01.sql");
    EXPECT_FALSE(members[1].folder);
    EXPECT_EQ(members[1].unpackedSize, Script.size());
    EXPECT_EQ(members[1].crc, Crc32(Script));
    EXPECT_EQ(members[1].method, 0x30);
    EXPECT_EQ(archive.bytes.substr(members[1].dataOffset, members[1].packedSize), Script);
    EXPECT_EQ(members[2].name, "Norvanework.exe");
    EXPECT_EQ(UnpackedSize(members), Script.size() + Program.size());
}

// An archive as it arrives after each kind of damage, and what the reader says of it.
struct Damage {
    const char* name;
    std::function<void(Archive&)> edit;
    const char* reason;
};

void PrintTo(const Damage& damage, std::ostream* out) {
    *out << damage.name;
}

class DamagedArchiveTest : public ::testing::TestWithParam<Damage> {};

TEST_P(DamagedArchiveTest, IsRefusedWithItsReason) {
    Archive archive = MakeArchive();
    GetParam().edit(archive);
    EXPECT_THROW_CONTAINING(ListRarArchive(Bytes(archive.bytes)), EDamagedArchive,
                            GetParam().reason);
}

void SetFlags(Archive& archive, std::size_t at, std::uint16_t flags) {
    const auto old =
        static_cast<std::uint16_t>(static_cast<unsigned char>(archive.bytes[at + 3]) |
                                   static_cast<unsigned char>(archive.bytes[at + 4]) << 8);
    Put(archive.bytes, at + 3, old | flags, 2);
    FixHeaderCrc(archive.bytes, at);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, DamagedArchiveTest,
    ::testing::Values(
        Damage{"CutAtAMemberBoundary", [](Archive& a) { a.bytes.resize(a.programAt); },
               "немає блоку кінця архіву"},
        Damage{"CutBeforeTheEndBlock", [](Archive& a) { a.bytes.resize(a.endAt); },
               "немає блоку кінця архіву"},
        Damage{"CutInsideAMembersData", [](Archive& a) { a.bytes.resize(a.programAt - 5); },
               "обрізано посеред даних файлу"},
        Damage{"CutInsideAHeader", [](Archive& a) { a.bytes.resize(a.scriptAt + 20); },
               "обрізано посеред заголовка"},
        Damage{"AFlippedByteInAHeader", [](Archive& a) { a.bytes[a.scriptAt + 11] ^= 0x01; },
               "пошкоджено заголовок (зміщення"},
        Damage{"AnEncryptedMember", [](Archive& a) { SetFlags(a, a.scriptAt, 0x0004); },
               "файл зашифровано"},
        Damage{"EncryptedHeaders", [](Archive& a) { SetFlags(a, a.mainAt, 0x0080); },
               "заголовки архіву зашифровано"},
        Damage{"AVolumeOfSeveral", [](Archive& a) { SetFlags(a, a.mainAt, 0x0001); },
               "томом багатотомного архіву"},
        Damage{"AMemberSplitAcrossVolumes", [](Archive& a) { SetFlags(a, a.programAt, 0x0002); },
               "продовжується в іншому томі"},
        Damage{"BytesAfterTheEnd", [](Archive& a) { a.bytes += "junk"; }, "зайві байти"},
        Damage{"ANameThatClimbsOut",
               [](Archive& a) {
                   a.bytes.replace(a.scriptAt + 32, 3, "..\\");
                   FixHeaderCrc(a.bytes, a.scriptAt);
               },
               "виходить за межі каталогу"},
        Damage{"NotARarArchive", [](Archive& a) { a.bytes[3] = 'X'; }, "не архів RAR 4"},
        Damage{"ADataSizePastTheEnd",
               [](Archive& a) {
                   Put(a.bytes, a.programAt + 7, 1u << 30, 4);
                   FixHeaderCrc(a.bytes, a.programAt);
               },
               "обрізано посеред даних файлу"},
        Damage{"ShorterThanTheMarker", [](Archive& a) { a.bytes.resize(4); }, "не архів RAR 4"},
        Damage{"CutWithinABlocksFixedPart", [](Archive& a) { a.bytes.resize(a.endAt + 3); },
               "обрізано посеред заголовка (зміщення"},
        Damage{"AHeaderSizeBelowTheFixedPart",
               [](Archive& a) { Put(a.bytes, a.programAt + 5, 5, 2); },
               "обрізано посеред заголовка (зміщення"},
        Damage{"ALongBlockTooShortForItsDataSize",
               [](Archive& a) {
                   Put(a.bytes, a.mainAt + 5, 9, 2);
                   SetFlags(a, a.mainAt, 0x8000);
               },
               "пошкоджено заголовок (зміщення 7)"},
        Damage{"AFileHeaderShorterThanItsFixedPart",
               [](Archive& a) {
                   Put(a.bytes, a.scriptAt + 5, 20, 2);
                   FixHeaderCrc(a.bytes, a.scriptAt);
               },
               "пошкоджено заголовок файлу"},
        Damage{"ANameLongerThanItsHeader",
               [](Archive& a) {
                   Put(a.bytes, a.scriptAt + 26, 200, 2);
                   FixHeaderCrc(a.bytes, a.scriptAt);
               },
               "пошкоджено заголовок файлу"},
        Damage{"AnEmptyName",
               [](Archive& a) {
                   Put(a.bytes, a.scriptAt + 26, 0, 2);
                   FixHeaderCrc(a.bytes, a.scriptAt);
               },
               "ім'я файлу \"\" виходить за межі каталогу"},
        Damage{"ANameWithADrive",
               [](Archive& a) {
                   a.bytes.replace(a.scriptAt + 32, 3, "C:\\");
                   FixHeaderCrc(a.bytes, a.scriptAt);
               },
               "ім'я файлу \"C:\\255.01.sql\" виходить за межі каталогу"},
        Damage{"ANameWithAnEmptyPart",
               [](Archive& a) {
                   a.bytes.replace(a.scriptAt + 32, 3, "u\\\\");
                   FixHeaderCrc(a.bytes, a.scriptAt);
               },
               "виходить за межі каталогу"},
        Damage{"ANameEndingInADot",
               [](Archive& a) {
                   a.bytes.replace(a.scriptAt + 35, 10, "abcdefgh/.");
                   FixHeaderCrc(a.bytes, a.scriptAt);
               },
               "ім'я файлу \"up\\abcdefgh/.\" виходить за межі каталогу"}),
    [](const auto& info) { return std::string(info.param.name); });

// A member of 4 GiB and more keeps the high halves of its sizes after the fixed header.
TEST(ListRarArchive, ReadsTheSixtyFourBitSizesOfALargeMember) {
    Archive archive = MakeArchive();
    std::string& bytes = archive.bytes;
    const std::size_t at = archive.programAt;
    const std::size_t headerSize = 32 + 15;
    std::string header = bytes.substr(at, headerSize);
    header.insert(32, std::string(8, '\0'));
    Put(header, 32, 0, 4);              // packed size, high half
    Put(header, 36, 2, 4);              // unpacked size, high half
    Put(header, 3, 0x8000 | 0x0100, 2); // a long block of a large file
    Put(header, 5, headerSize + 8, 2);
    bytes.replace(at, headerSize, header);
    FixHeaderCrc(bytes, at);
    const auto members = ListRarArchive(Bytes(bytes));
    ASSERT_EQ(members.size(), 3u);
    EXPECT_EQ(members[2].name, "Norvanework.exe");
    EXPECT_EQ(members[2].unpackedSize, (std::uint64_t{2} << 32) + Program.size());
    EXPECT_EQ(members[2].packedSize, Program.size());
    EXPECT_EQ(bytes.substr(members[2].dataOffset, members[2].packedSize), Program);
}

// RAR writes a name its system's code page cannot hold as that page's text, a NUL, and the
// UTF-16 units packed against it.
TEST(ListRarArchive, DecodesANamePackedAsRarPacksUnicode) {
    Archive archive = MakeArchive();
    std::string& bytes = archive.bytes;
    const std::size_t at = archive.programAt;
    const std::size_t nameSize = 15;
    // "Акт.fr3": the plain part "?" x3 ".fr3"; high byte 0x04; units А(0x10) к(0x3A) т(0x42)
    // under the high byte, then a run of four taken from the plain name.
    std::string field = "???.fr3";
    field += '\0';
    field += "\x04";
    field += static_cast<char>(0x57); // kinds 1, 1, 1, 3
    field += "\x10\x3A\x42";
    field += "\x02"; // a run of 2 + 2 from the plain name
    const std::string header = bytes.substr(at, 32);
    std::string newHeader = header + field;
    Put(newHeader, 3, 0x8000 | 0x0200, 2);
    Put(newHeader, 5, newHeader.size(), 2);
    Put(newHeader, 26, field.size(), 2);
    bytes.replace(at, 32 + nameSize, newHeader);
    FixHeaderCrc(bytes, at);
    const auto members = ListRarArchive(Bytes(bytes));
    ASSERT_EQ(members.size(), 3u);
    EXPECT_EQ(members[2].name, "Акт.fr3");
    EXPECT_EQ(bytes.substr(members[2].dataOffset, members[2].packedSize), Program);
}

// The name a member gets when its header holds the plain name, a NUL and the packed units.
std::string NameOfPacked(const std::string& plain, const std::string& packed) {
    Archive archive = MakeArchive();
    std::string& bytes = archive.bytes;
    const std::size_t at = archive.programAt;
    const std::string field = plain + '\0' + packed;
    std::string header = bytes.substr(at, 32) + field;
    Put(header, 3, 0x8000 | 0x0200, 2);
    Put(header, 5, header.size(), 2);
    Put(header, 26, field.size(), 2);
    bytes.replace(at, 32 + 15, header);
    FixHeaderCrc(bytes, at);
    const auto members = ListRarArchive(Bytes(bytes));
    EXPECT_EQ(bytes.substr(members.at(2).dataOffset, members.at(2).packedSize), Program);
    return members.at(2).name;
}

struct PackedName {
    const char* what;
    std::string plain;
    std::string packed; // the common high byte, then flag bytes and units
    std::string name;
};

TEST(ListRarArchive, DecodesEveryKindOfPackedUnit) {
    using namespace std::string_literals;
    const PackedName cases[] = {
        {"a run from the plain name, then a low byte", "caf?", "\x00\xC0\x01\xE9"s, "café"},
        {"both bytes, then a run", "?12", "\x00\xB0\xAC\x20\x00"s, "€12"},
        {"a surrogate pair", "??", "\x00\xA0\x3D\xD8\x00\xDE"s, "😀"},
        {"a run shifted by a correction", "/01", "\x04\xC0\x81\x01"s, "абв"},
        {"a run longer than the plain name", "ab", "\x00\xC0\x7F"s, "ab"},
        {"a high surrogate with no pair", "?x", "\x00\x80\x00\xD8\x78"s, "\xED\xA0\x80x"},
        {"units cut off inside the last one", "?", "\x00\x80\x41"s, "A"},
        {"a high surrogate last", "?", "\x00\x80\x00\xD8"s, "\xED\xA0\x80"},
        {"a high surrogate before a unit past the low ones", "??", "\x00\xA0\x00\xD8\x00\xE0"s,
         "\xED\xA0\x80\xEE\x80\x80"},
        {"a low surrogate alone", "?", "\x00\x80\x00\xDC"s, "\xED\xB0\x80"},
        {"a shifted run longer than the plain name", "/0", "\x04\xC0\x85\x01"s, "аб"},
    };
    for (const PackedName& c : cases)
        EXPECT_EQ(NameOfPacked(c.plain, c.packed), c.name) << c.what;
}

// A name flagged as packed Unicode that carries no packed part is its plain name.
TEST(ListRarArchive, ANameFlaggedUnicodeWithoutItsPackedPartIsThePlainName) {
    Archive archive = MakeArchive();
    SetFlags(archive, archive.programAt, 0x0200);
    const auto members = ListRarArchive(Bytes(archive.bytes));
    ASSERT_EQ(members.size(), 3u);
    EXPECT_EQ(members[2].name, "Norvanework.exe");
}

} // namespace
} // namespace norvane::package
