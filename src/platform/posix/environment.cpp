#include "platform/environment.h"

#include <cstdlib>

namespace norvane::platform {

std::optional<std::string> EnvironmentValue(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr || *value == '\0')
        return std::nullopt;
    return value;
}

} // namespace norvane::platform
