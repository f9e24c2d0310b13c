#pragma once

#include <optional>
#include <string>

namespace norvane::platform {

/// The value of an environment variable of this process, UTF-8; nothing when it is unset or
/// empty.
std::optional<std::string> EnvironmentValue(const std::string& name);

} // namespace norvane::platform
