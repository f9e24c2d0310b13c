#include "base/exceptions.h"
#include "base/text.h"
#include "support/expect_throw.h"

#include <gtest/gtest.h>

namespace norvane {
namespace {

TEST(TrimControl, RemovesBlanksAndControlCharactersOnly) {
    EXPECT_EQ(TrimControl(" \t\r\n\x01SET TERM ^ ;\x1f \x7f"), "SET TERM ^ ;\x1f \x7f");
    EXPECT_EQ(TrimControl(std::string_view("\0 a\0", 4)), "a");
    EXPECT_EQ(TrimControl("   "), "");
    EXPECT_EQ(TrimControl("\xD0\x9F "), "\xD0\x9F"); // bytes above 127 stay
}

TEST(TryStrToInt32, AcceptsSignedDecimalInRange) {
    struct Case {
        std::string_view text;
        std::optional<std::int32_t> expected;
    };
    const Case cases[] = {
        {"255", 255},
        {"-7", -7},
        {"+7", 7},
        {"0255", 255},
        {"2147483647", INT32_MAX},
        {"-2147483648", INT32_MIN},
        {"2147483648", std::nullopt},
        {"", std::nullopt},
        {"-", std::nullopt},
        {"abc", std::nullopt},
        {"12a", std::nullopt},
        {" 12", std::nullopt},
        {"1.5", std::nullopt},
        {"99999999999999999999999", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TryStrToInt32(c.text), c.expected) << c.text;
}

TEST(StrToInt32, RaisesTheConversionErrorWithTheText) {
    EXPECT_THROW_MSG(StrToInt32("X"), EConvertError, "'X' is not a valid integer value");
}

TEST(ReplaceAll, DoesNotRescanInsertedText) {
    EXPECT_EQ(ReplaceAll("K1 5.K2 7", " ", "="), "K1=5.K2=7");
    EXPECT_EQ(ReplaceAll("a.b.c", ".", ")and("), "a)and(b)and(c");
    EXPECT_EQ(ReplaceAll("aa", "a", "aa"), "aaaa");
    EXPECT_EQ(ReplaceAll("", ".", "x"), "");
    // An empty pattern would match everywhere without end.
    EXPECT_EQ(ReplaceAll("ab", "", "x"), "ab");
}

TEST(SameTextAscii, IgnoresOnlyAsciiCase) {
    EXPECT_TRUE(SameTextAscii("Norvanework.EXE", "norvanework.exe"));
    EXPECT_FALSE(SameTextAscii("\xD0\x9F", "\xD0\xBF")); // Cyrillic case is not folded
    EXPECT_TRUE(StartsWithAscii("set term", "SET "));
    EXPECT_FALSE(StartsWithAscii("SE", "SET "));
}

TEST(OneLine, JoinsAMessagesLinesWithOneBlank) {
    EXPECT_EQ(OneLine("Error reading data from the connection.\r\nconnection lost\n\n"),
              "Error reading data from the connection. connection lost");
    EXPECT_EQ(OneLine("ends with a break \n"), "ends with a break");
    EXPECT_EQ(OneLine(""), "");
}

} // namespace
} // namespace norvane
