// Makes a damaged copy of a package archive, as a broken download, a full disk or a failing
// medium leaves it:
//   corrupt_archive <in.rar> <out.rar> cut-at-member <n>   cut just before the nth file member
//   corrupt_archive <in.rar> <out.rar> cut-inside-member <n> cut in the middle of its bytes
//   corrupt_archive <in.rar> <out.rar> flip-member <n>     one byte of its stored bytes changed
#include "package/rar_archive.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <vector>

namespace {

struct FileMember {
    norvane::package::RarMember member;
    std::size_t headerStart = 0;
};

// The members with bytes, each with where its header starts: where the block before it ends.
std::vector<FileMember> FileMembers(const std::string& bytes) {
    const auto main = static_cast<unsigned char>(bytes[12]) | static_cast<unsigned char>(bytes[13])
                                                                  << 8;
    std::size_t blockStart = 7 + static_cast<std::size_t>(main);
    std::vector<FileMember> files;
    for (auto& member :
         norvane::package::ListRarArchive(std::as_bytes(std::span(bytes.data(), bytes.size())))) {
        if (!member.folder && member.packedSize > 1)
            files.push_back({member, blockStart});
        blockStart = static_cast<std::size_t>(member.dataOffset + member.packedSize);
    }
    return files;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: corrupt_archive <in.rar> <out.rar> "
                             "cut-at-member|cut-inside-member|flip-member <n>\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string how = argv[3];
    const auto files = FileMembers(bytes);
    const std::size_t n = std::strtoul(argv[4], nullptr, 10);
    if (n == 0 || n > files.size()) {
        std::fprintf(stderr, "%s has no file member %zu\n", argv[1], n);
        return 1;
    }
    const auto& member = files[n - 1].member;
    const auto middle = static_cast<std::size_t>(member.dataOffset + member.packedSize / 2);
    if (how == "cut-at-member") {
        bytes.resize(files[n - 1].headerStart);
    } else if (how == "cut-inside-member") {
        bytes.resize(middle);
    } else if (how == "flip-member") {
        bytes[middle] = static_cast<char>(bytes[middle] ^ 0x01);
    } else {
        std::fprintf(stderr, "unknown damage %s\n", how.c_str());
        return 2;
    }
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return out ? 0 : 1;
}
