// Copies an archive with one byte of its last member's data flipped, so that its checksum
// no longer holds.
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
    // The end-of-archive block is 7 bytes; the byte before it belongs to the last member.
    bytes[bytes.size() - 8] = static_cast<char>(bytes[bytes.size() - 8] ^ 0x5A);
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return out ? 0 : 1;
}
