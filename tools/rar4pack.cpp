// rar4pack: makes a RAR 4 archive of stored members from folders and single files.
#include "rar4/rar4_writer.h"

#include <cstring>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr const char* Usage =
    "usage: rar4pack <archive.rar> <source-folder>\n"
    "       rar4pack <archive.rar> --file <source-file> <name-in-archive> [--file ...]\n"
    "Packs every file and folder under the source folder (paths relative to it), or the\n"
    "given files under the given names, stored without compression.\n";

struct SingleFile {
    std::filesystem::path source;
    std::string name;
};

} // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    using namespace norvane::rar4;
    if (argc < 3) {
        std::cerr << Usage;
        return 2;
    }
    const fs::path archive = argv[1];
    std::vector<SingleFile> files;
    fs::path folder;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--file") == 0) {
            if (i + 2 >= argc) {
                std::cerr << "rar4pack: --file needs a source file and a name\n" << Usage;
                return 2;
            }
            files.push_back({argv[i + 1], argv[i + 2]});
            i += 2;
        } else if (folder.empty() && files.empty() && i + 1 == argc) {
            folder = argv[i];
        } else {
            std::cerr << "rar4pack: unexpected argument \"" << argv[i] << "\"\n" << Usage;
            return 2;
        }
    }
    try {
        if (!folder.empty()) {
            PackFolder(archive, folder);
            return 0;
        }
        try {
            ArchiveWriter writer(archive);
            for (const auto& file : files) {
                std::ifstream in(file.source, std::ios::binary);
                if (!in)
                    throw std::runtime_error("cannot open " + file.source.string());
                const std::string bytes{std::istreambuf_iterator<char>(in),
                                        std::istreambuf_iterator<char>()};
                if (in.bad())
                    throw std::runtime_error("cannot read " + file.source.string());
                writer.AddFile(file.name, bytes, DosTimeOf(file.source));
            }
            writer.Finish();
        } catch (...) {
            std::error_code ignored;
            fs::remove(archive, ignored);
            throw;
        }
    } catch (const std::exception& error) {
        std::cerr << "rar4pack: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
