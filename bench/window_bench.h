#pragma once

#include <filesystem>

namespace norvane::bench {

/// The Qt window's share of an executor run: rounds of 10,000 INSERTs (a script it writes in
/// folder) in the Qt window against a window that draws nothing, and the cost of a line from a
/// script of 10,000 SET lines run setRepeats times. Needs a display; prints one result
/// line per measure.
int WindowChild(const std::filesystem::path& folder, int rounds, int setRepeats);

} // namespace norvane::bench
