#include "rar4/rar4_writer.h"

#include "support/package_builder.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <random>
#include <sys/stat.h>

namespace norvane::testing {
namespace {

namespace fs = std::filesystem;

// A bit-by-bit CRC-32, written apart from the writer's table so that a fault in one shows.
std::uint32_t SlowCrc32(std::string_view bytes) {
    std::uint32_t crc = 0xffffffffu;
    for (const char c : bytes) {
        crc ^= static_cast<unsigned char>(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

std::uint32_t Le(std::string_view bytes, std::size_t at, int size) {
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    return value;
}

struct Block {
    std::size_t offset = 0;
    int type = 0;
    std::uint32_t flags = 0;
    bool headerCrcOk = false;
    // File blocks only.
    std::string name;
    std::uint32_t packed = 0, unpacked = 0, fileCrc = 0, attributes = 0, dosTime = 0;
    int host = 0, version = 0, method = 0;
    std::string data;
};

// Reads the archive block by block as an extractor would, without trusting the writer.
std::vector<Block> ParseArchive(const std::string& archive) {
    const std::string marker("Rar!\x1a\x07\x00", 7);
    EXPECT_EQ(archive.substr(0, 7), marker);
    std::vector<Block> blocks;
    std::size_t at = 7;
    while (at + 7 <= archive.size()) {
        Block block;
        block.offset = at;
        const auto crc = Le(archive, at, 2);
        block.type = static_cast<int>(Le(archive, at + 2, 1));
        block.flags = Le(archive, at + 3, 2);
        const auto size = Le(archive, at + 5, 2);
        block.headerCrcOk =
            (SlowCrc32(std::string_view(archive).substr(at + 2, size - 2)) & 0xffff) == crc;
        std::size_t next = at + size;
        if (block.type == 0x74) {
            block.packed = Le(archive, at + 7, 4);
            block.unpacked = Le(archive, at + 11, 4);
            block.host = static_cast<int>(Le(archive, at + 15, 1));
            block.fileCrc = Le(archive, at + 16, 4);
            block.dosTime = Le(archive, at + 20, 4);
            block.version = static_cast<int>(Le(archive, at + 24, 1));
            block.method = static_cast<int>(Le(archive, at + 25, 1));
            const auto nameSize = Le(archive, at + 26, 2);
            block.attributes = Le(archive, at + 28, 4);
            block.name = archive.substr(at + 32, nameSize);
            block.data = archive.substr(next, block.packed);
            next += block.packed;
        }
        blocks.push_back(block);
        at = next;
    }
    EXPECT_EQ(at, archive.size()) << "blocks do not end where the archive ends";
    return blocks;
}

// Every file and folder under root: relative path -> bytes, folders as "<folder>".
std::map<std::string, std::string> Tree(const fs::path& root) {
    std::map<std::string, std::string> tree;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const auto relative = entry.path().lexically_relative(root).generic_string();
        tree[relative] = entry.is_directory() ? "<folder>" : ReadFile(entry.path());
    }
    return tree;
}

// Runs Debian's extractor the way the installer does: x -o+ "<archive>", in the target folder.
int Extract(const fs::path& archive, const fs::path& into) {
    fs::create_directories(into);
    const std::string command =
        "cd '" + into.string() + "' && unrar x -o+ '" + archive.string() + "' > /dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string AllByteValues() {
    std::string bytes;
    for (int i = 0; i < 256; ++i)
        bytes.push_back(static_cast<char>(i));
    return bytes + bytes;
}

std::string Random(std::size_t size, unsigned seed) {
    std::mt19937 engine(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(engine() & 0xff);
    return bytes;
}

const std::vector<PackageFile> MixedTree = {
    {"Norvanework.exe", AllByteValues()},
    {"empty.txt", ""},
    {"up/255.01.sql", "INSERT INTO T VALUES (1);\r\nCOMMIT WORK;"},
    {"up/INFO_DOC.NOTE_U.ID 10.blo", Random(1024 * 1024, 7)},
    {"Report/Rep 1.fr3", "<xml/>"},
    {"a/b/c/deep file.bin", Random(70000, 9)},
};

TEST(Rar4Writer, PacksDosTimes) {
    struct Case {
        rar4::DosDateTime time;
        std::uint32_t packed;
    };
    const Case cases[] = {
        {{1980, 1, 1, 0, 0, 0}, 0x00210000u},
        {{2024, 5, 17, 13, 45, 58},
         (44u << 25 | 5u << 21 | 17u << 16) | (13u << 11 | 45u << 5 | 29u)},
        {{2024, 5, 17, 13, 45, 59},
         (44u << 25 | 5u << 21 | 17u << 16) | (13u << 11 | 45u << 5 | 29u)},
        {{1970, 6, 1, 12, 0, 0}, 0x00210000u},
        {{2200, 1, 1, 0, 0, 0},
         (127u << 25 | 12u << 21 | 31u << 16) | (23u << 11 | 59u << 5 | 29u)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(rar4::PackDosTime(c.time), c.packed) << c.time.year << "-" << c.time.second;
}

TEST(Rar4Writer, WritesHeadersAnExtractorChecks) {
    TempFolder temp;
    MakeRarArchiveOf(temp.Path() / "p.rar", MixedTree);
    const auto blocks = ParseArchive(ReadFile(temp.Path() / "p.rar"));
    ASSERT_GE(blocks.size(), 3u);
    EXPECT_EQ(blocks.front().type, 0x73);
    EXPECT_EQ(blocks.back().type, 0x7b);

    std::map<std::string, const Block*> members;
    for (const auto& block : blocks) {
        EXPECT_TRUE(block.headerCrcOk) << "block at " << block.offset;
        if (block.type == 0x74)
            members[block.name] = &block;
    }
    // Folders come before what they hold; paths are relative with backslashes.
    std::vector<std::string> order;
    for (const auto& block : blocks)
        if (block.type == 0x74)
            order.push_back(block.name);
    const std::vector<std::string> expected = {"Norvanework.exe",
                                               "Report",
                                               "Report\\Rep 1.fr3",
                                               "a",
                                               "a\\b",
                                               "a\\b\\c",
                                               "a\\b\\c\\deep file.bin",
                                               "empty.txt",
                                               "up",
                                               "up\\255.01.sql",
                                               "up\\INFO_DOC.NOTE_U.ID 10.blo"};
    EXPECT_EQ(order, expected);

    for (const auto& [name, block] : members) {
        SCOPED_TRACE(name);
        EXPECT_EQ(block->host, 2);
        EXPECT_EQ(block->version, 29);
        EXPECT_EQ(block->method, 0x30);
        EXPECT_EQ(block->packed, block->unpacked);
        EXPECT_EQ(block->fileCrc, SlowCrc32(block->data));
        EXPECT_NE(block->dosTime, 0u);
        const bool folder = (block->flags & 0x00e0) == 0x00e0;
        const bool expectFolder =
            name == "Report" || name == "up" || (name.starts_with("a") && !name.ends_with(".bin"));
        EXPECT_EQ(folder, expectFolder);
        EXPECT_EQ(block->attributes, folder ? 0x10u : 0x20u);
    }
    EXPECT_EQ(members.at("Norvanework.exe")->data, AllByteValues());
    EXPECT_EQ(members.at("empty.txt")->unpacked, 0u);
}

TEST(Rar4Writer, DebianExtractorRestoresEveryPathAndByte) {
    TempFolder temp;
    const fs::path source = temp.Path() / "source";
    MakeFolderTree(source, MixedTree);
    fs::create_directories(source / "empty folder");
    MakeRarArchive(temp.Path() / "255.rar", source);

    const fs::path out = temp.Path() / "out";
    ASSERT_EQ(Extract(temp.Path() / "255.rar", out), 0);
    EXPECT_EQ(Tree(out), Tree(source));
}

TEST(Rar4Writer, ExtractingAgainReplacesChangedFilesWhole) {
    TempFolder temp;
    MakeRarArchiveOf(temp.Path() / "p.rar", {{"x.exe", "new"}, {"up/1.sql", "one"}});
    const fs::path out = temp.Path() / "out";
    WriteFile(out / "x.exe", "an older and much longer program");
    ASSERT_EQ(Extract(temp.Path() / "p.rar", out), 0);
    EXPECT_EQ(ReadFile(out / "x.exe"), "new");
    EXPECT_EQ(ReadFile(out / "up" / "1.sql"), "one");
}

TEST(Rar4Writer, DamagedHeadersMakeTheExtractorFail) {
    TempFolder temp;
    MakeRarArchiveOf(temp.Path() / "good.rar", MixedTree);
    const std::string good = ReadFile(temp.Path() / "good.rar");
    const auto blocks = ParseArchive(good);
    const Block* target = nullptr;
    for (const auto& block : blocks)
        if (block.name == "up\\255.01.sql")
            target = &block;
    ASSERT_NE(target, nullptr);

    struct Damage {
        const char* what;
        std::size_t offset;
    };
    const Damage damages[] = {
        {"a letter of the member's name", target->offset + 32 + 3},
        {"the member's packed size", target->offset + 8},
        {"the member's header CRC", target->offset},
        {"the archive header", 7 + 3},
    };
    for (const auto& damage : damages) {
        SCOPED_TRACE(damage.what);
        std::string bad = good;
        bad[damage.offset] = static_cast<char>(bad[damage.offset] ^ 0x5a);
        const fs::path archive = temp.Path() / "bad.rar";
        WriteFile(archive, bad);
        fs::remove_all(temp.Path() / "out");
        EXPECT_NE(Extract(archive, temp.Path() / "out"), 0);
    }
    // A cut-off archive fails as well.
    WriteFile(temp.Path() / "cut.rar", good.substr(0, good.size() / 2));
    EXPECT_NE(Extract(temp.Path() / "cut.rar", temp.Path() / "out-cut"), 0);
}

TEST(Rar4Writer, DamagedDataNoLongerMatchesItsCrc) {
    TempFolder temp;
    MakeRarArchiveOf(temp.Path() / "p.rar", {{"x.exe", "program bytes"}});
    std::string archive = ReadFile(temp.Path() / "p.rar");
    archive[archive.find("program")] ^= 0x01;
    const auto blocks = ParseArchive(archive);
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_NE(blocks[1].fileCrc, SlowCrc32(blocks[1].data));
}

TEST(Rar4Writer, RefusesNamesThatLeaveTheExtractionFolder) {
    TempFolder temp;
    rar4::ArchiveWriter writer(temp.Path() / "p.rar");
    for (const char* name :
         {"", "../x", "a/../../x", "/etc/passwd", "\\x", "a//b", "C:x", "a\\.\\b"}) {
        SCOPED_TRACE(name);
        EXPECT_THROW(writer.AddFile(name, std::string_view("x"), 0), std::invalid_argument);
    }
    // "/" and "\" both separate folders and are stored as "\".
    writer.AddFile("Report/a.fr3", std::string_view("a"), 0);
    writer.AddFile("Report\\b.fr3", std::string_view("b"), 0);
    writer.Finish();
    const auto blocks = ParseArchive(ReadFile(temp.Path() / "p.rar"));
    ASSERT_EQ(blocks.size(), 4u);
    EXPECT_EQ(blocks[1].name, "Report\\a.fr3");
    EXPECT_EQ(blocks[2].name, "Report\\b.fr3");
}

TEST(Rar4Writer, NonAsciiNamesAreMarkedUtf8) {
    TempFolder temp;
    MakeRarArchiveOf(temp.Path() / "p.rar", {{"Report/Кошторис.fr3", "x"}, {"plain.exe", "y"}});
    const auto blocks = ParseArchive(ReadFile(temp.Path() / "p.rar"));
    for (const auto& block : blocks) {
        if (block.type != 0x74)
            continue;
        const bool unicode = (block.flags & 0x0200) != 0;
        EXPECT_EQ(unicode, block.name == "Report\\Кошторис.fr3") << block.name;
    }
}

TEST(Rar4Writer, FailedPackingLeavesNoArchive) {
    TempFolder temp;
    const fs::path source = temp.Path() / "source";
    MakeFolderTree(source, {{"a.exe", "a"}});
    ASSERT_EQ(::mkfifo((source / "pipe").c_str(), 0600), 0);
    EXPECT_THROW(MakeRarArchive(temp.Path() / "p.rar", source), std::runtime_error);
    EXPECT_FALSE(fs::exists(temp.Path() / "p.rar"));
    EXPECT_THROW(MakeRarArchive(temp.Path() / "q.rar", temp.Path() / "missing"),
                 std::runtime_error);
    EXPECT_FALSE(fs::exists(temp.Path() / "q.rar"));
}

int RunRar4Pack(const std::string& arguments) {
    const int status = std::system(
        (std::string("'") + RAR4PACK_PATH + "' " + arguments + " > /dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Rar4Pack, PacksAFolderAndSingleFiles) {
    TempFolder temp;
    const fs::path source = temp.Path() / "source";
    MakeFolderTree(source, MixedTree);
    ASSERT_EQ(RunRar4Pack("'" + (temp / "folder.rar") + "' '" + source.string() + "'"), 0);
    ASSERT_EQ(Extract(temp.Path() / "folder.rar", temp.Path() / "out1"), 0);
    EXPECT_EQ(Tree(temp.Path() / "out1"), Tree(source));

    ASSERT_EQ(RunRar4Pack("'" + (temp / "files.rar") + "' --file '" +
                          (source / "empty.txt").string() + "' 'Report\\new name.fr3' --file '" +
                          (source / "Norvanework.exe").string() + "' main.exe"),
              0);
    ASSERT_EQ(Extract(temp.Path() / "files.rar", temp.Path() / "out2"), 0);
    const std::map<std::string, std::string> expected = {
        {"Report", "<folder>"}, {"Report/new name.fr3", ""}, {"main.exe", AllByteValues()}};
    EXPECT_EQ(Tree(temp.Path() / "out2"), expected);
}

TEST(Rar4Pack, BadArgumentsFailWithoutAnArchive) {
    TempFolder temp;
    EXPECT_NE(RunRar4Pack(""), 0);
    EXPECT_NE(RunRar4Pack("'" + (temp / "a.rar") + "' '" + (temp / "missing") + "'"), 0);
    EXPECT_NE(RunRar4Pack("'" + (temp / "a.rar") + "' --file '" + (temp / "missing") + "' x"), 0);
    EXPECT_NE(RunRar4Pack("'" + (temp / "a.rar") + "' --file only-one"), 0);
    EXPECT_FALSE(fs::exists(temp.Path() / "a.rar"));
}

} // namespace
} // namespace norvane::testing
