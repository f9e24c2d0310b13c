#include "base/sha256.h"

#include <gtest/gtest.h>

#include <string>

namespace norvane {
namespace {

// The published test vectors, and messages whose padding falls on each side of a block's end.
TEST(Sha256Hex, GivesTheKnownDigests) {
    struct Case {
        std::string message;
        const char* digest;
    };
    const auto a = [](std::size_t count) { return std::string(count, 'a'); };
    const Case cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {a(55), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
        {a(56), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
        {a(63), "7d3e74a05d7db15bce4ad9ec0658ea98e3f06eeecf16b4c6fff2da457ddc2f34"},
        {a(64), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
        {a(119), "31eba51c313a5c08226adf18d4a359cfdfd8d2e816b13f4af952f7ea6584dcfb"},
        {a(120), "2f3d335432c70b580af0e8e1b3674a7c020d683aa5f73aaaedfdc55af904c21c"},
        {a(1000000), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Sha256Hex(c.message), c.digest) << c.message.size() << " bytes";
}

TEST(Sha256Hex, EveryByteValueCounts) {
    std::string bytes(256, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i);
    const std::string digest = Sha256Hex(bytes);
    // A NUL or a byte above 127 must not end or be folded into the message.
    bytes[200] = static_cast<char>(0xC9);
    EXPECT_NE(Sha256Hex(bytes), digest);
    bytes[200] = static_cast<char>(200);
    EXPECT_EQ(Sha256Hex(bytes), digest);
    EXPECT_NE(Sha256Hex(bytes.substr(0, 255)), digest);
}

} // namespace
} // namespace norvane
