#pragma once

#include <string_view>

namespace norvane {

/// Windows file-mask matching: ASCII case ignored, "*" any run, "?" one character, and "*.*"
/// every name, with or without a full stop in it.
bool MatchesMask(std::string_view name, std::string_view mask);

} // namespace norvane
