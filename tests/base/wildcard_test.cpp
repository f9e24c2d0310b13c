#include "base/wildcard.h"

#include <gtest/gtest.h>

namespace norvane {
namespace {

TEST(MatchesMask, FollowsWindowsWildcards) {
    struct Case {
        std::string_view name;
        std::string_view mask;
        bool matches;
    };
    const Case cases[] = {
        {"255.01.sql", "*.sql", true},
        {"X.SQL", "*.sql", true},
        {"255.01.sql.log", "*.sql", false},
        {"255.01.~sql", "*.sql", false},
        {"README", "*.*", true},
        {"a.b.c", "*.*", true},
        {".", "*.*", true},
        {"Norvanework.exe", "*.exe", true},
        {"x.exe.bak", "*.exe", false},
        {"t.fr3", "*.FR3", true},
        {"ab", "a?", true},
        {"a", "a?", false},
        {"anything", "*", true},
        {"", "*", true},
        {"T1.F1.K1 5.blo", "*.blo", true},
        {"T1.F1.K1 5.BLO", "*.blo", true},
        {"abc", "a*c*", true},
        {"abd", "a*c", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MatchesMask(c.name, c.mask), c.matches) << c.name << " ~ " << c.mask;
}

} // namespace
} // namespace norvane
