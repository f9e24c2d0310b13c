#include "update/remaining_time.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace norvane::update {

std::string RemainingTimeText(int max, int position, std::chrono::duration<double> elapsed) {
    const double spent = elapsed.count();
    const double total =
        static_cast<double>(max) * spent / static_cast<double>(std::max(position, 1));
    const double remaining = std::max(0.0, total - spent);
    // Rounded to the millisecond first, then cut to whole seconds, as a time of day is.
    const auto milliseconds = static_cast<std::int64_t>(std::llround(remaining * 1000.0));
    const std::int64_t seconds = milliseconds / 1000;
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", static_cast<int>(seconds / 3600 % 24),
                  static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
    return text;
}

} // namespace norvane::update
