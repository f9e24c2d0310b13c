#pragma once

#include <string>

namespace norvane::platform {

/// The local date and time now, "YYYY-MM-DD hh:mm:ss".
std::string LocalTimeText();

} // namespace norvane::platform
