#include "platform/raw_items.h"

#include <gtest/gtest.h>

namespace norvane::platform {
namespace {

TEST(RawItems, AnExecutableThatEmbedsNothingListsAndFindsNothing) {
    EXPECT_TRUE(EnumerateRawItems().empty());
    EXPECT_FALSE(FindRawItem("255_RAR").has_value());
    EXPECT_FALSE(FindRawItem("").has_value());
}

} // namespace
} // namespace norvane::platform
