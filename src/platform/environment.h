#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace norvane::platform {

/// The value of an environment variable of this process, UTF-8; nothing when it is unset or
/// empty.
std::optional<std::string> EnvironmentValue(const std::string& name);

/// Who this process is, as a database administrator would look for it: the computer's name,
/// the process id and the user it runs as (UTF-8; empty where the system does not say).
struct ProcessIdentity {
    std::string host;
    std::int64_t processId = 0;
    std::string user;
};
ProcessIdentity ThisProcess();

} // namespace norvane::platform
