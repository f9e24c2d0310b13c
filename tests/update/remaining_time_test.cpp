#include "update/remaining_time.h"

#include <gtest/gtest.h>

#include <ostream>

namespace norvane::update {
namespace {

struct EstimateCase {
    int max;
    int position;
    double elapsedSeconds;
    const char* text;
};

void PrintTo(const EstimateCase& c, std::ostream* out) {
    *out << c.position << " of " << c.max << " in " << c.elapsedSeconds << " s";
}

class RemainingTimeTest : public ::testing::TestWithParam<EstimateCase> {};

TEST_P(RemainingTimeTest, FormatsHoursMinutesSeconds) {
    const EstimateCase& c = GetParam();
    EXPECT_EQ(RemainingTimeText(c.max, c.position, std::chrono::duration<double>(c.elapsedSeconds)),
              c.text);
}

INSTANTIATE_TEST_SUITE_P(Estimates, RemainingTimeTest,
                         ::testing::Values(EstimateCase{100, 50, 10.0, "00:00:10"},
                                           EstimateCase{3, 2, 3600.0, "00:30:00"},
                                           EstimateCase{100, 100, 5.0, "00:00:00"},
                                           EstimateCase{10, 1, 1.0 * 3600 + 61, "09:09:09"},
                                           // A day or more: the whole days are not shown.
                                           EstimateCase{1000, 1, 90.0, "00:58:30"},
                                           EstimateCase{2, 1, 86400.0 + 3723, "01:02:03"},
                                           // Rounded to the millisecond, then cut to the second.
                                           EstimateCase{2, 1, 0.9996, "00:00:01"},
                                           EstimateCase{2, 1, 0.9994, "00:00:00"},
                                           EstimateCase{2, 1, 0.0, "00:00:00"}));

} // namespace
} // namespace norvane::update
