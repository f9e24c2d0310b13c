#include "base/crc32.h"

#include <gtest/gtest.h>

namespace norvane {
namespace {

TEST(Crc32, GivesTheStandardCheckValueWholeOrContinued) {
    const std::string_view check = "123456789";
    EXPECT_EQ(Crc32(check), 0xCBF43926u);
    EXPECT_EQ(Crc32(check.substr(4), Crc32(check.substr(0, 4))), 0xCBF43926u);
    EXPECT_EQ(Crc32(""), 0u);
    EXPECT_EQ(Crc32(std::string_view("\0", 1)), 0xD202EF8Du);
}

} // namespace
} // namespace norvane
