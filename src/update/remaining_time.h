#pragma once

#include <chrono>
#include <string>

namespace norvane::update {

/// The estimate of the time left once position of max steps took elapsed, as "hh:nn:ss":
/// hours of the day, so whole days are not shown. position must be at least 1.
std::string RemainingTimeText(int max, int position, std::chrono::duration<double> elapsed);

} // namespace norvane::update
