#include "update/script_lines.h"

#include "base/exceptions.h"
#include "support/expect_throw.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <ostream>

#include <string>
#include <vector>

namespace norvane::update {
namespace {

using namespace std::string_literals;

struct SplitCase {
    std::string text;
    std::vector<std::string> lines;
};

void PrintTo(const SplitCase& c, std::ostream* out) {
    *out << c.lines.size() << " lines from " << ::testing::PrintToString(c.text);
}

class SplitLinesTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitLinesTest, SplitsAtEveryKindOfLineEnd) {
    const SplitCase& c = GetParam();
    const std::vector<std::string_view> views = SplitLines(c.text);
    EXPECT_EQ(std::vector<std::string>(views.begin(), views.end()), c.lines);
    EXPECT_EQ(CountLines(c.text), c.lines.size());
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SplitLinesTest,
    ::testing::Values(SplitCase{"", {}}, SplitCase{"a", {"a"}}, SplitCase{"a\r\nb\r\n", {"a", "b"}},
                      SplitCase{"a\nb", {"a", "b"}}, SplitCase{"a\rb\r", {"a", "b"}},
                      SplitCase{"a\r\r\nb", {"a", "", "b"}}, SplitCase{"a\n\r", {"a", ""}},
                      SplitCase{"\n", {""}}, SplitCase{"a\n\nb", {"a", "", "b"}},
                      SplitCase{"\xc0\xff\r\n\x01 ", {"\xc0\xff", "\x01 "}},
                      SplitCase{"\xef\xbb\xbf"
                                "A;\r\nB;",
                                {"A;", "B;"}},
                      SplitCase{"\xef\xbb\xbf", {}},
                      SplitCase{"A\n\xef\xbb\xbf", {"A", "\xef\xbb\xbf"}}));

struct NulCase {
    std::string text;
    std::size_t line;
};

void PrintTo(const NulCase& c, std::ostream* out) {
    *out << ::testing::PrintToString(c.text);
}

class NulByteTest : public ::testing::TestWithParam<NulCase> {};

TEST_P(NulByteTest, NamesItsLineAndLeavesNoLinesToWalk) {
    const NulCase& c = GetParam();
    EXPECT_EQ(NulByteLine(c.text), c.line);
    EXPECT_EQ(CountLines(c.text), 0u);
    EXPECT_GE(SplitLines(c.text).size(), c.line);
}

INSTANTIATE_TEST_SUITE_P(Texts, NulByteTest,
                         ::testing::Values(NulCase{"\0"s, 1}, NulCase{"a\0b\nc"s, 1},
                                           NulCase{"x\ny\0"s, 2}, NulCase{"x\r\n\r\n\0"s, 3},
                                           NulCase{"x\r\r\0\0\n"s, 3},
                                           NulCase{"\xef\xbb\xbf\na\0"s, 2}));

TEST(ScriptLinesTest, ReadsAFileAndKeepsItsLines) {
    testing::TempFolder folder;
    // Short enough to sit in a string's own storage: the views must still point at the text.
    testing::WriteFile(folder / "a.sql", "A;\r\nB;");
    const ScriptLines script(folder / "a.sql");
    ASSERT_EQ(script.Lines().size(), 2u);
    EXPECT_EQ(script.Lines()[0], "A;");
    EXPECT_EQ(script.Lines()[1], "B;");
    EXPECT_EQ(CountScriptLines(folder / "a.sql"), 2u);
    EXPECT_FALSE(script.NulLine());

    testing::WriteFile(folder / "b.sql", "A;\r\nB\0;"s);
    const ScriptLines damaged(folder / "b.sql");
    EXPECT_TRUE(damaged.Lines().empty());
    EXPECT_EQ(damaged.NulLine(), 2u);
    EXPECT_EQ(CountScriptLines(folder / "b.sql"), 0u);
}

TEST(ScriptLinesTest, MissingFileRaises) {
    testing::TempFolder folder;
    const std::string missing = folder / "none.sql";
    EXPECT_THROW_MSG(ScriptLines{missing}, EFOpenError, testing::MissingFileMessage(missing));
    EXPECT_THROW_MSG(CountScriptLines(missing), EFOpenError, testing::MissingFileMessage(missing));
}

} // namespace
} // namespace norvane::update
