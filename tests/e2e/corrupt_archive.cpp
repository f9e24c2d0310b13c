// Copies an archive cut off in the middle, as a broken download or a full disk leaves it.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: corrupt_archive <in.rar> <out.rar>\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() < 64) {
        std::fprintf(stderr, "%s is too short\n", argv[1]);
        return 1;
    }
    bytes.resize(bytes.size() * 2 / 3);
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return out ? 0 : 1;
}
